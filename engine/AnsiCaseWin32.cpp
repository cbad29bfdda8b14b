// The ANSI upper-case mapping as the running Windows has it, asked one byte at a time so that a lead byte of
// a double-byte code page is never paired with its neighbour.
#include "engine/FastStrings.h"

#include <windows.h>

TAnsiCaseTable BuildAnsiUpperTable() {
    TAnsiCaseTable table{};
    for (unsigned b = 0; b < 256; ++b) {
        char c = static_cast<char>(b);
        CharUpperBuffA(&c, 1);
        table[b] = static_cast<unsigned char>(c);
    }
    return table;
}
