// The default output: one row per message, with Item Num, Offset, Date, From, To, Subject.
#pragma once

#include "engine/Email.h"

#include <cstdint>
#include <string>
#include <string_view>

// A field value fit for one table cell: the leading space that follows a header's colon dropped, control bytes
// shown as '.', bytes of 0x80 and above as '?', and cut to `width` characters with "..." at the end.
std::string TableCell(std::string_view value, size_t width);

class TTableWriter {
public:
    std::string Header() const;
    // `index` is the message's position in the scan's result; `offset` its byte offset on the volume.
    std::string Row(uint64_t index, uint64_t offset, const TEmailView& email) const;
    // The same row in two parts, ItemCell(index) + RowAfterItem(offset, email), so that the part after the item
    // number can be made before the message's place in the output is known.
    std::string ItemCell(uint64_t index) const;
    std::string RowAfterItem(uint64_t offset, const TEmailView& email) const;
};
