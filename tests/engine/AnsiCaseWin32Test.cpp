#include "tests/engine/Cp1252.h"

#include "engine/FastStrings.h"

#include <gtest/gtest.h>
#include <windows.h>

// Where Windows runs a western code page, what it says agrees with the Windows-1252 rules of the POSIX build,
// so both builds find the same keywords.
TEST(AnsiCaseWin32, TableMatchesWindows1252OnAWesternCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "ANSI code page is " << GetACP();
    const TAnsiCaseTable expected = Cp1252UpperTable();
    const TAnsiCaseTable& table = AnsiUpperTable();
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_EQ(table[b], expected[b]) << "byte " << b;
}

TEST(AnsiCaseWin32, AsciiIsPlainUpperCase) {
    const TAnsiCaseTable& table = AnsiUpperTable();
    for (unsigned b = 0; b < 128; ++b)
        EXPECT_EQ(table[b], b >= 'a' && b <= 'z' ? b - 0x20 : b) << "byte " << b;
}
