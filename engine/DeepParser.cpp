#include "engine/DeepParser.h"

#include "engine/EmailParser.h"
#include "engine/FastStrings.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Beside the ten recognised names, the names that mail carries and other header-like text rarely does.
constexpr std::string_view kMoreMailNames[] = {
    "CC",
    "BCC",
    "SENDER",
    "IN-REPLY-TO",
    "REFERENCES",
    "DELIVERED-TO",
    "X-ORIGINAL-TO",
    "X-MAILER",
    "RESENT-FROM",
    "RESENT-TO",
    "RESENT-DATE",
    "RESENT-MESSAGE-ID",
    "MIME-VERSION",
    "CONTENT-TYPE",
    "CONTENT-TRANSFER-ENCODING",
    "DKIM-SIGNATURE",
    "ARC-SEAL",
    "ARC-MESSAGE-SIGNATURE",
    "ARC-AUTHENTICATION-RESULTS",
    "AUTHENTICATION-RESULTS",
    "RECEIVED-SPF",
    "LIST-ID",
    "LIST-UNSUBSCRIBE",
    "ERRORS-TO",
    "THREAD-INDEX",
};
// Names that other formats use too (HTTP sends Date and Content-Type): they count, but not on their own.
constexpr std::string_view kSharedNames[] = {"DATE", "MIME-VERSION", "CONTENT-TYPE", "CONTENT-TRANSFER-ENCODING"};
// Names that a message as stored carries and a reply's quoted header block or an inline forward never does.
constexpr std::string_view kStoredNames[] = {
    "RETURN-PATH",   "ENVELOPE-TO",  "DELIVERY-DATE",  "RECEIVED", "MESSAGE-ID",   "DELIVERED-TO",
    "X-ORIGINAL-TO", "MIME-VERSION", "DKIM-SIGNATURE", "ARC-SEAL", "RECEIVED-SPF", "AUTHENTICATION-RESULTS",
};
// A stored message's first line, as mail software writes it: a new message begins there even without a blank line
// before it (mailboxes whose messages follow one another directly).
constexpr std::string_view kFirstStoredNames[] = {"RETURN-PATH", "DELIVERED-TO"};

constexpr size_t kLongestName = 76; // a header name longer than this is not taken for one
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool Contains(std::span<const std::string_view> names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<TDeepParser::TCommonName> MakeCommonNames() {
    std::vector<TDeepParser::TCommonName> names;
    auto add = [&](std::string_view name) {
        names.push_back({name, !Contains(kSharedNames, name), Contains(kStoredNames, name)});
    };
    for (std::string_view name : TEmailParser::RecognisedNames())
        add(name);
    for (std::string_view name : kMoreMailNames)
        add(name);
    return names;
}

const std::vector<TDeepParser::TCommonName>& CommonNameTable() {
    static const std::vector<TDeepParser::TCommonName> table = MakeCommonNames();
    return table;
}

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Index of `name` in the common-name table, or -1.
int CommonNameIndex(std::string_view name) {
    if (name.empty())
        return -1;
    const auto& table = CommonNameTable();
    for (size_t k = 0; k < table.size(); ++k)
        if (EqualsAsciiNoCase(name, table[k].Name))
            return static_cast<int>(k);
    return -1;
}

bool IsNameByte(unsigned char b) {
    return b >= 0x21 && b <= 0x7E && b != ':';
}

// Length of the name of a header-shaped line (a name of printable bytes, then a colon), 0 when the line has none.
size_t HeaderNameLength(std::string_view line) {
    const size_t scanEnd = std::min(line.size(), kLongestName + 1);
    size_t k = 0;
    while (k < scanEnd && IsNameByte(static_cast<unsigned char>(line[k])))
        ++k;
    return k > 0 && k < line.size() && line[k] == ':' ? k : 0;
}

// The line that starts at `p`: its content (line end excluded) and where the next line starts. The last line
// of a text may have no line end.
struct TLine {
    std::string_view Content;
    size_t Next;
};

TLine LineAt(std::string_view text, size_t p) {
    const void* lf = std::memchr(text.data() + p, '\n', text.size() - p);
    const size_t end = lf ? static_cast<const char*>(lf) - text.data() : text.size();
    const size_t next = lf ? end + 1 : end;
    size_t contentEnd = end;
    if (lf && contentEnd > p && text[contentEnd - 1] == '\r')
        --contentEnd;
    return {text.substr(p, contentEnd - p), next};
}

bool IsBlank(const TLine& line) {
    return line.Content.empty();
}

// Position of `upperNeedle` in `text` with ASCII case ignored, or npos.
size_t FindNoCase(std::string_view text, std::string_view upperNeedle) {
    if (text.size() < upperNeedle.size())
        return std::string_view::npos;
    for (size_t k = 0; k + upperNeedle.size() <= text.size(); ++k)
        if (EqualsAsciiNoCase(text.substr(k, upperNeedle.size()), upperNeedle))
            return k;
    return std::string_view::npos;
}

bool StartsWithFirstStoredName(std::string_view line) {
    if (line.empty() || (AsciiUpper(line[0]) != 'R' && AsciiUpper(line[0]) != 'D'))
        return false;
    for (std::string_view name : kFirstStoredNames)
        if (line.size() > name.size() && line[name.size()] == ':' &&
            EqualsAsciiNoCase(line.substr(0, name.size()), name))
            return true;
    return false;
}

// The start of the last line that begins at or before `at` (and at or after `from`, itself a line start). The
// walk asks once per sector of text outside messages, so the line feed is looked for sixteen bytes at a time
// where the target has a vector unit and stores words low byte first (the last lane set is then the highest set
// byte of the two words).
size_t LastLineStartAtOrBefore(std::string_view run, size_t from, size_t at) {
    using TCharLanes = char __attribute__((vector_size(16)));
    const char* d = run.data();
    size_t q = at; // the bytes before q are still to be looked at
    if constexpr (sizeof(void*) >= 8 && std::endian::native == std::endian::little) {
        for (; q >= from + 16; q -= 16) {
            TCharLanes lanes;
            std::memcpy(&lanes, d + q - 16, sizeof lanes);
            const TCharLanes hits = lanes == '\n';
            uint64_t halves[2];
            std::memcpy(halves, &hits, sizeof halves);
            if (halves[1] != 0)
                return q - 16 + 8 + (63 - std::countl_zero(halves[1])) / 8 + 1;
            if (halves[0] != 0)
                return q - 16 + (63 - std::countl_zero(halves[0])) / 8 + 1;
        }
    }
    for (; q > from; --q)
        if (d[q - 1] == '\n')
            return q;
    return from;
}

using TLanes = int8_t __attribute__((vector_size(16)));

// The lanes of the sixteen line starts from `at` on that may begin a noteworthy line (see below).
TLanes NoteworthyLanes(const char* at) {
    TLanes previous, current;
    std::memcpy(&previous, at - 1, sizeof previous);
    std::memcpy(&current, at, sizeof current);
    return (previous == '\n') & ((current == '\n') | (current == '\r') | (current == 'F'));
}

bool AnyLane(TLanes lanes) {
    uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// The first line start q in [from, to) (from is a line start after the first) whose line is blank or may be an
// envelope line: run[q - 1] is LF and run[q] is LF, CR or 'F'; `to` when there is none. On targets with a vector
// unit, 64 bytes at a time (four blocks merged before the one test that leaves the unit), then sixteen.
size_t NextNoteworthyLine(std::string_view run, size_t from, size_t to) {
    const char* d = run.data();
    size_t q = std::max<size_t>(from, 1);
    if (sizeof(void*) >= 8) {
        for (; q + 64 <= to; q += 64)
            if (AnyLane(NoteworthyLanes(d + q) | NoteworthyLanes(d + q + 16) | NoteworthyLanes(d + q + 32) |
                        NoteworthyLanes(d + q + 48)))
                break;
        for (; q + 16 <= to; q += 16)
            if (AnyLane(NoteworthyLanes(d + q)))
                break;
    }
    for (; q < to; ++q)
        if (d[q - 1] == '\n' && (d[q] == '\n' || d[q] == '\r' || d[q] == 'F'))
            return q;
    return to;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The MIME structure of the message being cut: the multipart boundaries declared and not yet closed, and whether
// its whole body is an attached message. While either holds, no new message begins inside it.
class TMimeState {
public:
    void Reset() {
        open_.clear();
        attachedBody_ = false;
        inContentType_ = false;
        boundaryMissing_ = false;
        multipart_ = false;
    }
    bool Protects() const { return attachedBody_ || !open_.empty(); }

    // A header line (name and the text after its colon) or a folded continuation of the previous one.
    void HeaderLine(std::string_view name, std::string_view value, bool topLevel) {
        inContentType_ = EqualsAsciiNoCase(name, "CONTENT-TYPE");
        if (inContentType_)
            ContentTypeText(value, topLevel);
    }
    void Continuation(std::string_view text, bool topLevel) {
        if (inContentType_)
            ContentTypeText(text, topLevel);
    }
    void EndOfHeaderLines() {
        inContentType_ = false;
        boundaryMissing_ = multipart_ && open_.empty();
    }

    // A body line: a boundary line closes its multipart ("--b--"); a Content-Type line of a part or of an
    // attached message may declare a new boundary.
    void BodyLine(std::string_view line) {
        // A multipart whose boundary parameter was lost: its first delimiter line tells the boundary.
        if (boundaryMissing_ && line.size() > 2 && line[0] == '-' && line[1] == '-' && line[2] != ' ') {
            open_.emplace_back(line.substr(2));
            boundaryMissing_ = false;
            return;
        }
        if (line.size() >= 2 && line[0] == '-' && line[1] == '-' && !open_.empty()) {
            for (size_t k = open_.size(); k-- > 0;) {
                const std::string& b = open_[k];
                if (line.size() >= 4 + b.size() && line.compare(2, b.size(), b) == 0 &&
                    line.compare(2 + b.size(), 2, "--") == 0) {
                    open_.resize(k);
                    break;
                }
            }
            inContentType_ = false;
            return;
        }
        if (line.empty() || line[0] == ' ' || line[0] == '\t') {
            if (!line.empty())
                Continuation(line, false);
            else
                inContentType_ = false;
            return;
        }
        // Only a Content-Type line matters here; most body lines are settled by their first byte.
        const size_t nameLength = (line[0] | 0x20) == 'c' ? HeaderNameLength(line) : 0;
        if (nameLength > 0)
            HeaderLine(line.substr(0, nameLength), line.substr(nameLength + 1), false);
        else
            inContentType_ = false;
    }

private:
    void ContentTypeText(std::string_view text, bool topLevel) {
        if (topLevel && FindNoCase(text, "MESSAGE/RFC822") != std::string_view::npos)
            attachedBody_ = true;
        if (topLevel && FindNoCase(text, "MULTIPART/") != std::string_view::npos)
            multipart_ = true;
        const size_t at = FindNoCase(text, "BOUNDARY=");
        if (at == std::string_view::npos)
            return;
        std::string_view value = text.substr(at + 9);
        if (!value.empty() && value[0] == '"') {
            value.remove_prefix(1);
            value = value.substr(0, value.find('"'));
        } else {
            size_t end = 0;
            while (end < value.size() && value[end] != ';' && value[end] != ' ' && value[end] != '\t')
                ++end;
            value = value.substr(0, end);
        }
        if (!value.empty() && open_.size() < 64)
            open_.emplace_back(value);
    }

    std::vector<std::string> open_;
    bool attachedBody_ = false;
    bool inContentType_ = false;
    bool multipart_ = false;
    bool boundaryMissing_ = false;
};

} // namespace

std::span<const TDeepParser::TCommonName> TDeepParser::CommonNames() {
    return CommonNameTable();
}

TDeepParser::THeaderBlock TDeepParser::HeaderBlockAt(std::string_view text) const {
    size_t p = text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
    // Settle most text at its first bytes: the first line must be header-shaped.
    if (HeaderNameLength(text.substr(p)) == 0)
        return {};
    const auto& table = CommonNameTable();
    uint64_t seen = 0;
    unsigned distinct = 0;
    bool mailOnly = false;
    bool stored = false;
    const size_t limit = std::min(text.size(), kHeaderBlockLimit);
    for (bool first = true; p < limit; first = false) {
        const TLine line = LineAt(text, p);
        if (line.Next == text.size() && (line.Next == 0 || text[line.Next - 1] != '\n'))
            return {}; // the run ends before the header block does
        if (IsBlank(line)) {
            const bool valid = !first && distinct >= 2 && mailOnly;
            return {valid, valid && stored};
        }
        const char lead = line.Content[0];
        if (lead == ' ' || lead == '\t') {
            if (first)
                return {};
        } else {
            const size_t nameLength = HeaderNameLength(line.Content);
            if (nameLength == 0)
                return {};
            const int k = CommonNameIndex(line.Content.substr(0, nameLength));
            if (k >= 0 && !(seen >> k & 1)) {
                seen |= uint64_t{1} << k;
                ++distinct;
                mailOnly |= table[k].MailOnly;
                stored |= table[k].StoredOnly;
            }
        }
        p = line.Next;
    }
    return {};
}

bool TDeepParser::MayBeginMessage(std::string_view text) const {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    return HeaderNameLength(text) > 0 || text.substr(0, 5) == "From ";
}

bool TDeepParser::IsEnvelopeLine(std::string_view line) const {
    if (line.substr(0, 5) != "From " || line.size() < 5 + 1 + 1 + 10)
        return false;
    const std::string_view rest = line.substr(5);
    const size_t senderEnd = rest.find(' ');
    if (senderEnd == 0 || senderEnd == std::string_view::npos)
        return false;
    // A time such as 13:45 somewhere in the date.
    const std::string_view date = rest.substr(senderEnd);
    for (size_t k = 1; k + 2 < date.size(); ++k)
        if (date[k] == ':' && IsDigit(date[k - 1]) && IsDigit(date[k + 1]) && IsDigit(date[k + 2]))
            return true;
    return false;
}

// One pass per line. Outside a message, a line may begin one where rule allows a start (run start, after a blank
// line or an envelope line, at a sector start; after a blank line the block must be strong). Inside one, the header
// block stores its fields and MIME declarations; the body ends at an envelope line that follows a blank line (the blank
// line and the envelope line belong to no message), or, outside any open multipart or attached message, where a strong
// header block begins after a blank line, at a sector start, or with a stored message's first name. The message is
// handed on at once.
void TDeepParser::SplitMessages(std::string_view run, uint64_t runOffset, uint32_t sectorSize, IMessagePump& pump,
                                const TRecordSink& sink) const {
    enum class TState { Outside, Header, Body };
    TState state = TState::Outside;
    TEmailView current; // From, To, Subject and Date as the last line of each in the header block gives them
    TMimeState mime;
    size_t start = 0;
    size_t bodyStart = std::string_view::npos;
    bool afterEnvelope = false; // the current message began after an envelope line (an mbox member)
    bool previousBlank = true;  // the run's start is a place where a message may begin
    bool previousEnvelope = false;
    size_t previousStart = 0;

    auto finish = [&](size_t end) {
        current.FullText = run.substr(start, end - start);
        if (bodyStart != std::string_view::npos && bodyStart <= end)
            current.Body = run.substr(bodyStart, end - bodyStart);
        sink(current, start);
        current = TEmailView();
        state = TState::Outside;
    };
    auto begin = [&](size_t p, bool fromEnvelope) {
        start = p;
        bodyStart = std::string_view::npos;
        afterEnvelope = fromEnvelope;
        mime.Reset();
        state = TState::Header;
    };
    // The first sector start at or after the line being looked at, moved along with the lines (no division per
    // line); npos without sectors.
    uint64_t sectorStart = sectorSize > 0 ? (sectorSize - runOffset % sectorSize) % sectorSize : UINT64_MAX;
    auto atSectorStart = [&](size_t p) { return p == sectorStart; };

    size_t p = 0;
    for (;;) {
        pump.ProcessMessages();
        if (p >= run.size())
            break;
        TLine line = LineAt(run, p);
        while (sectorStart < p)
            sectorStart += sectorSize;
        // A sector start inside the line where a message begins: the line is cut there, and the next pass, at
        // the sector start, begins that message.
        const uint64_t nextSectorStart = sectorStart > p ? sectorStart : sectorStart + sectorSize;
        const bool sectorStartInside = sectorSize > 0 && nextSectorStart < line.Next;
        auto cutAtSectorStart = [&](bool strong) {
            const uint64_t next = nextSectorStart;
            const THeaderBlock block = HeaderBlockAt(run.substr(next));
            if (!(strong ? block.Strong : block.Valid))
                return false;
            line = {run.substr(p, next - p), static_cast<size_t>(next)};
            return true;
        };
        switch (state) {
        case TState::Outside: {
            // A block whose first name is no common one ("K8Return-Path": a few stray bytes before a message) gives
            // way to a block at a sector start inside its first line.
            const bool candidate = previousBlank || previousEnvelope || atSectorStart(p);
            auto startsWell = [&] {
                return previousEnvelope || CommonNameIndex(line.Content.substr(0, HeaderNameLength(line.Content))) >= 0;
            };
            if (sectorStartInside && !(candidate && startsWell()) && cutAtSectorStart(false))
                break;
            // Where a file or an mbox member begins (run start, sector start, after an envelope line) any header
            // block begins a message; after a blank line amid other text, only one that a stored message has:
            // documents quote the From, To and Subject lines of mail, seldom its Received or Message-ID lines.
            const bool whereFilesBegin = p == 0 || previousEnvelope || atSectorStart(p);
            if (candidate) {
                const THeaderBlock block = HeaderBlockAt(run.substr(p));
                if (whereFilesBegin ? block.Valid : block.Strong)
                    begin(p, previousEnvelope);
            }
            break;
        }
        case TState::Body:
            if (previousBlank && IsEnvelopeLine(line.Content)) {
                finish(previousStart);
            } else if (!mime.Protects() &&
                       (previousBlank || atSectorStart(p) || StartsWithFirstStoredName(line.Content)) &&
                       HeaderBlockAt(run.substr(p)).Strong) {
                finish(p);
                begin(p, false);
            } else {
                if (sectorStartInside && !mime.Protects())
                    cutAtSectorStart(true);
                mime.BodyLine(line.Content);
            }
            break;
        case TState::Header:
            break;
        }
        const bool blank = IsBlank(line);
        if (state == TState::Header) {
            std::string_view content = line.Content;
            if (p == start && content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
                content.remove_prefix(kByteOrderMark.size());
            if (blank) {
                state = TState::Body;
                bodyStart = p;
                mime.EndOfHeaderLines();
            } else if (content[0] == ' ' || content[0] == '\t') {
                mime.Continuation(content, true);
            } else if (const size_t n = HeaderNameLength(content); n > 0) {
                const std::string_view name = content.substr(0, n);
                const std::string_view value = content.substr(n + 1);
                TEmailParser::StoreField(name, value, current);
                mime.HeaderLine(name, value, true);
            }
        }
        previousEnvelope = state == TState::Outside && !blank && IsEnvelopeLine(line.Content);
        previousBlank = blank;
        previousStart = p;
        p = line.Next;
        // Outside a message, lines that are neither blank nor possible envelope lines change nothing: pass them
        // in one stride, up to the line that holds the next sector start.
        if (state == TState::Outside && !blank && !previousEnvelope && p < run.size()) {
            while (sectorStart < p)
                sectorStart += sectorSize;
            const size_t lastStart =
                sectorStart == p ? p : LastLineStartAtOrBefore(run, p, std::min<uint64_t>(sectorStart, run.size()));
            const size_t next = NextNoteworthyLine(run, p, lastStart);
            previousStart = next; // unused outside a message
            p = next;
        }
    }
    if (state == TState::Outside)
        return;
    size_t end = run.size();
    // An mbox member that reaches the run's end carries the blank line the mailbox puts after each message.
    if (afterEnvelope && state == TState::Body && end >= 2 && run[end - 1] == '\n') {
        const size_t lastLine = run.rfind('\n', end - 2);
        const std::string_view last = run.substr(lastLine + 1, end - lastLine - 1);
        if (lastLine != std::string_view::npos && lastLine + 1 > bodyStart && (last == "\n" || last == "\r\n"))
            end = lastLine + 1;
    }
    finish(end);
}
