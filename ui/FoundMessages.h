// The messages of one scan as the desktop program keeps them: the four header values its list shows, each
// message's place in the spool file and on the volume, and the moment its date names. Texts and bodies stay
// in the spool and are read from there when the preview, the filter or the export needs them.
#pragma once

#include "engine/Email.h"
#include "ui/MessageSpool.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TFoundMessages {
public:
    // The list's columns that show a header value.
    enum TField { kDate = 0, kFrom, kTo, kSubject, kFieldCount };

    TFoundMessages() = default;
    explicit TFoundMessages(std::unique_ptr<TMessageSpool> spool) : Spool(std::move(spool)) {}
    TFoundMessages(TFoundMessages&&) = default;
    TFoundMessages& operator=(TFoundMessages&&) = default;

    size_t Size() const { return Entries.size(); }
    bool Empty() const { return Entries.empty(); }

    // Spools the message's full text and keeps its header values. Raises TSpoolError when the spool cannot
    // take the text; the message is then not added.
    void Add(const TEmailView& email);
    // Writes out the spool's buffer. Raises TSpoolError.
    void Flush();
    // After a TSpoolError: forgets the messages whose text did not reach the spool file.
    void DropUnstored();

    // A header value as the list shows it: up to its first zero byte, with the space after the colon.
    std::string_view Field(size_t index, TField field) const;
    // The moment the Date value names; empty when it cannot be read.
    std::optional<int64_t> DateMoment(size_t index) const;

    // Every line of the message, header and body, byte for byte as found (the export writes it).
    std::string FullText(size_t index) const;
    // The blank line that closed the header block and every line after it (the preview shows it).
    std::string Body(size_t index) const;
    // Indices of the messages whose body holds `keyword`, case ignored as ContainsNoCase does it, in
    // ascending order. Reads the spool once, front to back, in large pieces.
    std::vector<uint32_t> MessagesWithKeyword(std::string_view keyword) const;

    // The spool file; empty when there is none.
    std::string SpoolPath() const { return Spool ? Spool->Path() : std::string(); }

private:
    static constexpr int64_t kUnreadableDate = INT64_MIN;
    static constexpr size_t kFieldBlockBytes = 1 << 20;

    struct TEntry {
        uint64_t SpoolOffset;
        int64_t Date; // seconds since 1970 UTC, or kUnreadableDate
        uint32_t TextSize;
        uint32_t BodySize;
        uint32_t FieldBlock; // the four values stand one after another in this block
        uint32_t FieldOffset;
        uint32_t FieldLengths[kFieldCount];
    };

    std::unique_ptr<TMessageSpool> Spool;
    // A deque grows without moving what it holds: no second copy of a million entries while it grows.
    std::deque<TEntry> Entries;
    std::vector<std::unique_ptr<char[]>> FieldBlocks;
    size_t LastBlockUsed = 0;
    size_t LastBlockSize = 0;
};
