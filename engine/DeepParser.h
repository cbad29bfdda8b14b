// Knows mail as it is really stored, for the deep scan: lines ended by LF or CR LF, header blocks of any size up
// to 16 KiB, mbox "From " envelope lines, 8-bit text, MIME multiparts and attached messages. Finds where messages
// begin anywhere in a run of text and cuts the run into them. Stateless.
#pragma once

#include "engine/Email.h"
#include "engine/MessagePump.h"

#include <cstdint>
#include <span>
#include <string_view>

class TDeepParser {
public:
    // The blank line that closes a header block lies within this many bytes of the block's first byte.
    static constexpr size_t kHeaderBlockLimit = 16 * 1024;

    // A common mail header name (upper case). Two of them must stand in a header block; at least one of those
    // must be one that only mail uses (not Date or Content-Type, which HTTP uses too). A block that also holds
    // one of the names only a stored message has (Received, Message-ID, MIME-Version...) is strong enough to
    // begin a new message inside another's body.
    struct TCommonName {
        std::string_view Name;
        bool MailOnly;
        bool StoredOnly;
    };
    static std::span<const TCommonName> CommonNames();

    // What a header block test found.
    struct THeaderBlock {
        bool Valid = false;  // `text` begins a header block
        bool Strong = false; // and it names something that only a stored message has
    };
    // `text` begins a header block: a header-shaped first line (a UTF-8 byte-order mark may stand before it),
    // then header lines and folded continuations up to a blank line within kHeaderBlockLimit bytes, holding at
    // least two distinct common names, one of them mail-only.
    THeaderBlock HeaderBlockAt(std::string_view text) const;

    // `text` may begin a header block or an envelope line: it starts (after a byte-order mark) with a header name
    // and its colon, or with "From ". A quick test of a few bytes; HeaderBlockAt decides.
    bool MayBeginMessage(std::string_view text) const;

    // `line` (its line end excluded) is an mbox envelope line: "From ", a sender, then a date with a time in it.
    bool IsEnvelopeLine(std::string_view line) const;

    // Cuts a run of text into messages and hands each to `sink` as soon as it is cut, with its offset in `run`.
    // A message begins at the run's start, after an envelope line, at a sector start (the run lies at volume byte
    // `runOffset`; sectors are `sectorSize` bytes; 0: none), or after a blank line where the block is strong. Runs
    // `pump` once before every line of a message, once per stride of other lines that change nothing, and once at
    // the end.
    void SplitMessages(std::string_view run, uint64_t runOffset, uint32_t sectorSize, IMessagePump& pump,
                       const TRecordSink& sink) const;
};
