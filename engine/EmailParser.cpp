#include "engine/EmailParser.h"

#include "engine/FastStrings.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kOriginalMessageMarker = "----- Original Message -----";

// The names that make a message recognisable, in upper case. The last four carry their value into the record.
constexpr std::array<std::string_view, 10> kRecognisedNames = {
    "RETURN-PATH", "REPLY-TO", "ENVELOPE-TO", "DELIVERY-DATE", "RECEIVED",
    "MESSAGE-ID",  "FROM",     "TO",          "SUBJECT",       "DATE",
};
constexpr size_t kLongestRecognisedName = [] {
    size_t longest = 0;
    for (std::string_view name : kRecognisedNames)
        longest = name.size() > longest ? name.size() : longest;
    return longest;
}();

// A line split in place: views into the line, nothing copied.
struct THeaderView {
    bool Valid = false;
    std::string_view Name;
    std::string_view Value;
};

// Header form: a name of one or more bytes 0x21..0x7E, its first colon, a space. The value runs from that
// space up to the line's last two bytes (its CR LF). Scanning stops at the first byte that cannot be in a
// name, so a body line costs a few bytes, and no byte past `maxName` + 1 is looked at.
THeaderView SplitHeader(std::string_view line, size_t maxName = std::string_view::npos) {
    const size_t scanEnd = maxName < line.size() ? maxName + 1 : line.size();
    size_t colon = 0;
    for (; colon < scanEnd; ++colon) {
        const unsigned char b = static_cast<unsigned char>(line[colon]);
        if (b == ':')
            break;
        if (b < 0x21 || b > 0x7E)
            return {};
    }
    if (colon == 0 || colon == scanEnd || colon + 1 >= line.size() || line[colon + 1] != ' ')
        return {};
    const size_t valueStart = colon + 1;
    const size_t valueEnd = line.size() >= 2 ? line.size() - 2 : 0;
    THeaderView view{true, line.substr(0, colon), {}};
    if (valueEnd > valueStart)
        view.Value = line.substr(valueStart, valueEnd - valueStart);
    return view;
}

bool EqualsUpper(std::string_view name, std::string_view upperName) {
    if (name.size() != upperName.size())
        return false;
    const TAnsiCaseTable& upper = AnsiUpperTable();
    for (size_t i = 0; i < name.size(); ++i)
        if (upper[static_cast<unsigned char>(name[i])] != static_cast<unsigned char>(upperName[i]))
            return false;
    return true;
}

// The field of a record (a TEmail or a TEmailView) that a header name names; null for other names.
template <typename TRecord> auto FieldNamed(std::string_view name, TRecord& record) -> decltype(&record.From) {
    if (EqualsUpper(name, "FROM"))
        return &record.From;
    if (EqualsUpper(name, "TO"))
        return &record.To;
    if (EqualsUpper(name, "SUBJECT"))
        return &record.Subject;
    if (EqualsUpper(name, "DATE"))
        return &record.Date;
    return nullptr;
}

bool IsRecognisedName(std::string_view name) {
    for (std::string_view recognised : kRecognisedNames)
        if (EqualsUpper(name, recognised))
            return true;
    return false;
}

// `text` starts with a recognised header line (it may run on past that line's CR LF: the name stops at the
// first byte that cannot be in a name). Names longer than the longest recognised one are given up on early.
bool StartsWithRecognisedHeader(std::string_view text) {
    const THeaderView header = SplitHeader(text, kLongestRecognisedName);
    return header.Valid && IsRecognisedName(header.Name);
}

// 0-based index of the first CR LF at or after `from`, or npos. Called once per line: memchr finds each CR, and
// the byte after it is tested in place.
size_t FindLineEnd(std::string_view text, size_t from) {
    if (from >= text.size())
        return std::string_view::npos;
    const char* base = text.data();
    const char* last = base + text.size() - 1; // a CR here has no room for its LF
    for (const char* cur = base + from; cur < last;) {
        const auto* cr = static_cast<const char*>(std::memchr(cur, '\r', static_cast<size_t>(last - cur)));
        if (!cr)
            break;
        if (cr[1] == '\n')
            return static_cast<size_t>(cr - base);
        cur = cr + 1;
    }
    return std::string_view::npos;
}

// Where the next reply marker of a text begins, found once for many lines: a line holds the marker when the
// next one at or after the line's start begins before its end (the marker holds no CR, so one that begins in
// the line ends in it).
class TMarkerSearch {
public:
    explicit TMarkerSearch(std::string_view text) : text_(text) {}
    bool InLine(size_t lineStart, size_t lineEnd) {
        if (!searched_ || next_ < lineStart) {
            searched_ = true;
            const size_t found = FastPos(text_, kOriginalMessageMarker, lineStart + 1);
            next_ = found == 0 ? std::string_view::npos : found - 1;
        }
        return next_ < lineEnd;
    }

private:
    std::string_view text_;
    bool searched_ = false;
    size_t next_ = 0;
};

bool IsBlankLine(std::string_view line) {
    return line.size() >= 2 && line[0] == '\r' && line[1] == '\n';
}

} // namespace

std::span<const std::string_view> TEmailParser::RecognisedNames() {
    return kRecognisedNames;
}

TNamePairs::TNamePairs() {
    const TAnsiCaseTable& upper = AnsiUpperTable();
    for (std::string_view name : kRecognisedNames)
        for (int first = 0; first < 256; ++first)
            if (upper[first] == static_cast<unsigned char>(name[0]))
                for (int second = 0; second < 256; ++second)
                    if (upper[second] == static_cast<unsigned char>(name[1]))
                        pairs_.set(first << 8 | second);
}

const TNamePairs& TEmailParser::RecognisedNamePairs() {
    static const TNamePairs pairs;
    return pairs;
}

TRPCField TEmailParser::ParseHeaderLine(std::string_view line) const {
    const THeaderView header = SplitHeader(line);
    TRPCField field;
    field.Valid = header.Valid;
    field.Name.assign(header.Name);
    field.Value.assign(header.Value);
    return field;
}

bool TEmailParser::IsRecognisedHeader(const TRPCField& field) const {
    return IsRecognisedName(field.Name);
}

bool TEmailParser::IsOriginalMessageMarker(std::string_view line) const {
    return FastPos(line, kOriginalMessageMarker, 1) != 0;
}

TEmail TEmailParser::StoreHeaderField(const TRPCField& field, TEmail email) const {
    if (std::string* stored = FieldNamed(field.Name, email))
        stored->assign(field.Value);
    return email;
}

void TEmailParser::StoreField(std::string_view name, std::string_view value, TEmailView& email) {
    if (std::string_view* stored = FieldNamed(name, email))
        *stored = value;
}

// Line 0 must be a recognised header line ending (its CR) before `limit`; then at least three recognised
// header lines, line 0 included, up to the first blank line, which must be whole inside the sample. Only
// line 0 can open the header block, so a sample that does not start with a recognised name is settled by
// its first few bytes.
bool TEmailParser::IsMessageStart(std::string_view sample, uint32_t limit) const {
    if (sample.size() < 2 || !RecognisedNamePairs().MayBeginName(sample.data()))
        return false;
    if (!StartsWithRecognisedHeader(sample))
        return false;
    size_t lineEnd = FindLineEnd(sample, 0);
    if (lineEnd == std::string_view::npos || lineEnd + 1 >= limit) // 1-based CR position must be below limit
        return false;
    unsigned recognised = 1;
    for (size_t p = lineEnd + 2;; p = lineEnd + 2) {
        lineEnd = FindLineEnd(sample, p);
        if (lineEnd == std::string_view::npos)
            return false;
        if (lineEnd == p) // a blank line closes the header block
            return recognised >= 3;
        if (StartsWithRecognisedHeader(sample.substr(p, lineEnd + 2 - p)))
            ++recognised;
    }
}

// One pass per line. Once a record has started, every line belongs to it until the next record starts, so
// its FullText is one stretch of `text` and its Body the tail of that stretch from the closing blank line; its
// fields are views into its lines. The record is handed on as views at once: nothing is copied here.
void TEmailParser::SplitMessages(std::string_view text, IMessagePump& pump, const TRecordSink& sink) const {
    TEmailView current;
    bool started = false;
    bool inHeader = false;
    bool quoted = false;
    size_t recordStart = 0;
    size_t bodyStart = std::string_view::npos; // set while the current record is in its body
    TMarkerSearch markers(text);
    const TNamePairs& namePairs = RecognisedNamePairs();

    auto finishRecord = [&](size_t end) {
        current.FullText = text.substr(recordStart, end - recordStart);
        if (bodyStart != std::string_view::npos)
            current.Body = text.substr(bodyStart, end - bodyStart);
        sink(current, recordStart);
        current = TEmailView();
    };

    size_t p = 0;
    for (;;) {
        pump.ProcessMessages();
        const size_t lineEnd = FindLineEnd(text, p);
        if (lineEnd == std::string_view::npos)
            break;
        const std::string_view line = text.substr(p, lineEnd + 2 - p);
        // Most lines of a body change nothing: a line can only start or feed a record when its first byte may
        // begin a recognised name, and only end or start a quotation when it is blank or holds the marker.
        const bool marker = markers.InLine(p, lineEnd);
        if (!marker && lineEnd != p && !namePairs.MayBeginName(line.data())) {
            p = lineEnd + 2;
            continue;
        }
        const THeaderView header = SplitHeader(line);
        if (header.Valid) {
            if (!quoted && IsRecognisedName(header.Name)) {
                if (!inHeader) {
                    if (started)
                        finishRecord(p);
                    started = true;
                    recordStart = p;
                    bodyStart = std::string_view::npos;
                    inHeader = true;
                }
                StoreField(header.Name, header.Value, current);
            }
        } else if (IsBlankLine(line) && inHeader) {
            inHeader = false;
            bodyStart = p;
        } else if (IsBlankLine(line) && quoted) {
            quoted = false;
        } else if (marker) {
            quoted = true;
        }
        p = lineEnd + 2;
    }
    if (started)
        finishRecord(p);
}

TEmailArray TEmailParser::SplitMessages(std::string_view text, IMessagePump& pump,
                                        std::vector<uint64_t>* starts) const {
    TEmailArray records;
    if (starts)
        starts->clear();
    SplitMessages(text, pump, [&](const TEmailView& email, uint64_t start) {
        records.push_back(TEmail(email));
        if (starts)
            starts->push_back(start);
    });
    return records;
}
