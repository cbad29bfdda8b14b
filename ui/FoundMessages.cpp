#include "ui/FoundMessages.h"

#include "engine/KeywordSearch.h"
#include "engine/MailDate.h"

#include <algorithm>
#include <cstring>

namespace {

// The text a list cell shows: the control's text ends at the first zero byte.
std::string_view ShownText(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Bodies are searched in pieces of about this size, read from the spool in one call each.
constexpr size_t kFilterReadBytes = 8 << 20;

} // namespace

void TFoundMessages::Add(const TEmailView& email) {
    const std::string_view shown[kFieldCount] = {ShownText(email.Date), ShownText(email.From), ShownText(email.To),
                                                 ShownText(email.Subject)};
    size_t fieldBytes = 0;
    for (std::string_view value : shown)
        fieldBytes += value.size();

    TEntry entry = {};
    entry.SpoolOffset = Spool->Append(email.FullText);
    entry.Date = ParseMailDate(shown[kDate]).value_or(kUnreadableDate);
    entry.TextSize = static_cast<uint32_t>(email.FullText.size());
    // The body is the tail of the full text (the parser cuts both from one stretch).
    entry.BodySize = static_cast<uint32_t>(std::min(email.Body.size(), email.FullText.size()));

    if (FieldBlocks.empty() || LastBlockSize - LastBlockUsed < fieldBytes) {
        LastBlockSize = std::max(kFieldBlockBytes, fieldBytes);
        FieldBlocks.push_back(std::make_unique<char[]>(LastBlockSize));
        LastBlockUsed = 0;
    }
    entry.FieldBlock = static_cast<uint32_t>(FieldBlocks.size() - 1);
    entry.FieldOffset = static_cast<uint32_t>(LastBlockUsed);
    char* place = FieldBlocks.back().get() + LastBlockUsed;
    for (int field = 0; field < kFieldCount; ++field) {
        std::memcpy(place, shown[field].data(), shown[field].size());
        place += shown[field].size();
        entry.FieldLengths[field] = static_cast<uint32_t>(shown[field].size());
    }
    LastBlockUsed += fieldBytes;
    Entries.push_back(entry);
}

void TFoundMessages::Flush() {
    if (Spool)
        Spool->Flush();
}

void TFoundMessages::DropUnstored() {
    const uint64_t stored = Spool ? Spool->StoredBytes() : 0;
    while (!Entries.empty() && Entries.back().SpoolOffset + Entries.back().TextSize > stored)
        Entries.pop_back();
}

std::string_view TFoundMessages::Field(size_t index, TField field) const {
    const TEntry& entry = Entries[index];
    const char* start = FieldBlocks[entry.FieldBlock].get() + entry.FieldOffset;
    for (int before = 0; before < field; ++before)
        start += entry.FieldLengths[before];
    return std::string_view(start, entry.FieldLengths[field]);
}

std::optional<int64_t> TFoundMessages::DateMoment(size_t index) const {
    const int64_t moment = Entries[index].Date;
    return moment == kUnreadableDate ? std::nullopt : std::optional<int64_t>(moment);
}

std::string TFoundMessages::FullText(size_t index) const {
    const TEntry& entry = Entries[index];
    return Spool->Read(entry.SpoolOffset, entry.TextSize);
}

std::string TFoundMessages::Body(size_t index) const {
    const TEntry& entry = Entries[index];
    return Spool->Read(entry.SpoolOffset + entry.TextSize - entry.BodySize, entry.BodySize);
}

std::vector<uint32_t> TFoundMessages::MessagesWithKeyword(std::string_view keyword) const {
    const TKeywordSearch search(keyword);
    std::vector<uint32_t> matches;
    std::string piece;
    size_t next = 0;
    while (next < Entries.size()) {
        // The messages from `next` on whose texts lie in one read (at least one, however long it is).
        const uint64_t start = Entries[next].SpoolOffset;
        size_t end = next + 1;
        while (end < Entries.size() && Entries[end].SpoolOffset + Entries[end].TextSize - start <= kFilterReadBytes)
            ++end;
        const uint64_t length = Entries[end - 1].SpoolOffset + Entries[end - 1].TextSize - start;
        piece.resize(length);
        Spool->ReadInto(start, length, piece.data());
        for (size_t index = next; index < end; ++index) {
            const TEntry& entry = Entries[index];
            const std::string_view body(piece.data() + (entry.SpoolOffset - start) + entry.TextSize - entry.BodySize,
                                        entry.BodySize);
            if (search.FoundIn(body))
                matches.push_back(static_cast<uint32_t>(index));
        }
        next = end;
    }
    return matches;
}
