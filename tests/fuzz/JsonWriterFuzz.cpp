// ostrevan-scan's JSON writer: every string and every line it writes is plain ASCII that a JSON reader
// (nlohmann/json, independent of the writer) accepts, and reading it back gives every byte and number as given.
// Input: index, offset, run offset (8 bytes each), From, To, Subject, Date (a length byte, then the bytes each),
// the body's length within the full text (2 bytes), then the full text.
#include "cli/JsonWriter.h"
#include "tests/fuzz/FuzzInput.h"

#include <nlohmann/json.hpp>

#include <string>

namespace {

using TJson = nlohmann::ordered_json;

bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The reader gives strings in UTF-8; the writer wrote one character per byte, so every character is below 256.
std::string BytesOf(const std::string& utf8) {
    std::string bytes;
    for (size_t k = 0; k < utf8.size(); ++k) {
        const auto lead = static_cast<unsigned char>(utf8[k]);
        if (lead < 0x80) {
            bytes.push_back(static_cast<char>(lead));
        } else {
            FUZZ_CHECK((lead == 0xC2 || lead == 0xC3) && k + 1 < utf8.size());
            bytes.push_back(static_cast<char>((lead & 0x03) << 6 | (static_cast<unsigned char>(utf8[++k]) & 0x3F)));
        }
    }
    return bytes;
}

void CheckString(std::string_view text) {
    const std::string written = JsonString(text);
    FUZZ_CHECK(IsAscii(written));
    const TJson read = TJson::parse(written, nullptr, false);
    FUZZ_CHECK(read.is_string());
    FUZZ_CHECK(BytesOf(read.get<std::string>()) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    TJsonMessage message;
    message.Index = input.QWord();
    message.Offset = input.QWord();
    message.RunOffset = input.QWord();
    TEmail email;
    for (std::string* field : {&email.From, &email.To, &email.Subject, &email.Date})
        field->assign(input.Take(input.Byte()));
    const uint16_t bodyLength = input.Word();
    email.FullText.assign(input.Rest());
    email.Body = email.FullText.substr(email.FullText.size() - std::min<size_t>(bodyLength, email.FullText.size()));
    message.Email = email;

    CheckString(email.FullText);
    const std::string line = JsonLine(message);
    FUZZ_CHECK(IsAscii(line) && line.find('\n') == line.size() - 1);
    const TJson read = TJson::parse(line, nullptr, false);
    FUZZ_CHECK(read.is_object());
    const char* const keys[] = {"index",   "offset", "run_offset", "from",      "to",
                                "subject", "date",   "size",       "body_size", "sha256"};
    FUZZ_CHECK(read.size() == std::size(keys));
    size_t k = 0;
    for (const auto& item : read.items())
        FUZZ_CHECK(item.key() == keys[k++]);
    FUZZ_CHECK(read["index"].get<uint64_t>() == message.Index && read["offset"].get<uint64_t>() == message.Offset &&
               read["run_offset"].get<uint64_t>() == message.RunOffset);
    FUZZ_CHECK(BytesOf(read["from"].get<std::string>()) == email.From &&
               BytesOf(read["to"].get<std::string>()) == email.To &&
               BytesOf(read["subject"].get<std::string>()) == email.Subject &&
               BytesOf(read["date"].get<std::string>()) == email.Date);
    FUZZ_CHECK(read["size"].get<uint64_t>() == email.FullText.size() &&
               read["body_size"].get<uint64_t>() == email.Body.size());
    const std::string sha = read["sha256"].get<std::string>();
    FUZZ_CHECK(sha.size() == 64 && sha.find_first_not_of("0123456789abcdef") == std::string::npos);
    return 0;
}
