#include "tests/engine/Cp1252.h"

#include "engine/FastStrings.h"

#include <gtest/gtest.h>

// Without Windows the table follows Windows-1252, what a western Windows gives the desktop program.
TEST(AnsiCasePosix, TableIsWindows1252) {
    const TAnsiCaseTable expected = Cp1252UpperTable();
    const TAnsiCaseTable& table = AnsiUpperTable();
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_EQ(table[b], expected[b]) << "byte " << b;
}

TEST(AnsiCasePosix, AccentedLettersMatchTheirCapitals) {
    EXPECT_TRUE(ContainsNoCase("Caf\xC9 cr\xC8me", "caf\xE9")); // É / é
    EXPECT_TRUE(ContainsNoCase("\x9F", "\xFF"));                // Ÿ / ÿ
    EXPECT_FALSE(ContainsNoCase("\xF7", "\xD7"));               // ÷ and × are not a case pair
    EXPECT_EQ(AnsiUpperCase("stra\xDF"
                            "e \xB5"),
              "STRA\xDF"
              "E \xB5"); // ß and µ have no single-byte capital
}
