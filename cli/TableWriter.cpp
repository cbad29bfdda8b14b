#include "cli/TableWriter.h"

namespace {

struct TColumn {
    const char* title;
    size_t width;
};
constexpr TColumn kItem{"Item Num", 8};
constexpr TColumn kOffset{"Offset", 12};
constexpr TColumn kDate{"Date", 31};
constexpr TColumn kFrom{"From", 30};
constexpr TColumn kTo{"To", 30};
constexpr TColumn kSubject{"Subject", 40};

std::string Pad(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string RightAligned(const std::string& text, size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

} // namespace

std::string TableCell(std::string_view value, size_t width) {
    if (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    std::string cell;
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        cell.push_back(byte >= 0x80 ? '?' : (byte < 0x20 || byte == 0x7F) ? '.' : c);
    }
    while (!cell.empty() && cell.back() == ' ')
        cell.pop_back();
    if (cell.size() > width)
        cell = width > 3 ? cell.substr(0, width - 3) + "..." : cell.substr(0, width);
    return cell;
}

std::string TTableWriter::Header() const {
    return RightAligned(kItem.title, kItem.width) + "  " + RightAligned(kOffset.title, kOffset.width) + "  " +
           Pad(kDate.title, kDate.width) + "  " + Pad(kFrom.title, kFrom.width) + "  " + Pad(kTo.title, kTo.width) +
           "  " + kSubject.title + "\n";
}

std::string TTableWriter::Row(uint64_t index, uint64_t offset, const TEmailView& email) const {
    return ItemCell(index) + RowAfterItem(offset, email);
}

std::string TTableWriter::ItemCell(uint64_t index) const {
    return RightAligned(std::to_string(index), kItem.width);
}

// Never ends in the spaces that are trimmed: the offset column is never empty.
std::string TTableWriter::RowAfterItem(uint64_t offset, const TEmailView& email) const {
    std::string row = "  " + RightAligned(std::to_string(offset), kOffset.width) + "  " +
                      Pad(TableCell(email.Date, kDate.width), kDate.width) + "  " +
                      Pad(TableCell(email.From, kFrom.width), kFrom.width) + "  " +
                      Pad(TableCell(email.To, kTo.width), kTo.width) + "  " + TableCell(email.Subject, kSubject.width);
    while (!row.empty() && row.back() == ' ')
        row.pop_back();
    return row + "\n";
}
