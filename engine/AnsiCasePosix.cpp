// The ANSI upper-case mapping where there is no Windows to ask: the Windows-1252 rules, which are what the
// desktop program gets on a western Windows.
#include "engine/FastStrings.h"

TAnsiCaseTable BuildAnsiUpperTable() {
    TAnsiCaseTable table{};
    for (unsigned b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b);
    for (unsigned b = 'a'; b <= 'z'; ++b)
        table[b] = static_cast<unsigned char>(b - 0x20);
    // Latin-1 small letters à..þ, except the division sign 0xF7 (ß 0xDF has no single-byte capital).
    for (unsigned b = 0xE0; b <= 0xFE; ++b)
        if (b != 0xF7)
            table[b] = static_cast<unsigned char>(b - 0x20);
    table[0x9A] = 0x8A; // š -> Š
    table[0x9C] = 0x8C; // œ -> Œ
    table[0x9E] = 0x8E; // ž -> Ž
    table[0xFF] = 0x9F; // ÿ -> Ÿ
    return table;
}
