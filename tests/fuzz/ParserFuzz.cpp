// The message parser: the start test and the splitter against the rules written out step by step
// (tests/engine/ReferenceParser.h), the shape of what the splitter cuts, and the splitter that hands records on
// as it cuts them against the one that collects them.
// Input: the start test's limit (2 bytes), then the text.
#include "engine/EmailParser.h"
#include "tests/engine/CountingPump.h"
#include "tests/engine/ReferenceParser.h"
#include "tests/fuzz/FuzzInput.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

bool SameRecord(const TEmail& a, const TEmail& b) {
    return a.From == b.From && a.To == b.To && a.Subject == b.Subject && a.Date == b.Date && a.FullText == b.FullText &&
           a.Body == b.Body;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The records lie back to back in the text from the first start on, each made of whole lines; a body is the tail
// of its record from a blank line on; the four fields are single values without a line end.
void CheckShape(std::string_view text, const TEmailArray& records, const std::vector<uint64_t>& starts) {
    FUZZ_CHECK(starts.size() == records.size());
    for (size_t k = 0; k < records.size(); ++k) {
        const TEmail& e = records[k];
        FUZZ_CHECK(starts[k] <= text.size() && text.substr(starts[k], e.FullText.size()) == e.FullText);
        if (k + 1 < records.size())
            FUZZ_CHECK(starts[k] + e.FullText.size() == starts[k + 1]);
        FUZZ_CHECK(EndsWith(e.FullText, "\r\n"));
        FUZZ_CHECK(EndsWith(e.FullText, e.Body));
        FUZZ_CHECK(e.Body.empty() || e.Body.compare(0, 2, "\r\n") == 0);
        for (const std::string* field : {&e.From, &e.To, &e.Subject, &e.Date})
            FUZZ_CHECK(field->find("\r\n") == std::string::npos && field->size() < e.FullText.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint32_t limit = input.Word();
    const std::string text(input.Rest());
    const TEmailParser parser;

    FUZZ_CHECK(parser.IsMessageStart(text, limit) == reference::IsMessageStart(text, limit));

    const std::string firstLine = text.substr(0, text.find("\r\n") == std::string::npos ? 0 : text.find("\r\n") + 2);
    const TRPCField field = parser.ParseHeaderLine(firstLine);
    const TRPCField expectedField = reference::ParseHeaderLine(firstLine);
    FUZZ_CHECK(field.Valid == expectedField.Valid && field.Name == expectedField.Name &&
               field.Value == expectedField.Value);
    FUZZ_CHECK(parser.IsRecognisedHeader(field) == reference::IsRecognisedHeader(field));

    TCountingPump pump;
    std::vector<uint64_t> starts;
    const TEmailArray records = parser.SplitMessages(text, pump, &starts);
    uint64_t expectedPasses = 0;
    std::vector<uint64_t> expectedStarts;
    const TEmailArray expected = reference::SplitMessages(text, &expectedPasses, &expectedStarts);
    FUZZ_CHECK(records.size() == expected.size());
    for (size_t k = 0; k < records.size(); ++k)
        FUZZ_CHECK(SameRecord(records[k], expected[k]));
    FUZZ_CHECK(starts == expectedStarts);
    FUZZ_CHECK(pump.Points() == expectedPasses);
    CheckShape(text, records, starts);

    // Handed on one by one as they are cut: the same records, offsets and pump points.
    TCountingPump sinkPump;
    size_t handed = 0;
    parser.SplitMessages(text, sinkPump, [&](TEmail&& email, uint64_t start) {
        FUZZ_CHECK(handed < records.size() && SameRecord(email, records[handed]) && start == starts[handed]);
        ++handed;
    });
    FUZZ_CHECK(handed == records.size() && sinkPump.Points() == pump.Points());
    return 0;
}
