#include "engine/FastStrings.h"
#include "engine/KeywordSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace std::string_literals;

namespace {

struct TPosCase {
    std::string source;
    std::string pattern;
    size_t start;
    size_t expected;
};

} // namespace

TEST(FastStrings, CharPos) {
    const TPosCase cases[] = {
        {"abcabc", "c", 1, 3},      // found
        {"abcabc", "c", 4, 6},      // from a later start
        {"abcabc", "c", 6, 6},      // at the very end, starting there
        {"abcabc", "c", 7, 0},      // start past the end
        {"abcabc", "z", 1, 0},      // not found
        {"", "a", 1, 0},            // empty string
        {"abc", "a", 0, 0},         // start below 1
        {"a\0b"s, "b", 1, 3},       // does not stop at a zero byte
        {"a\0b"s, "\0"s, 1, 2},     // finds a zero byte
        {"\r\r\n", "\n", 1, 3},     // control bytes are bytes
        {"\xFF\x80", "\x80", 1, 2}, // so are high bytes
    };
    for (const TPosCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " / " + testing::PrintToString(c.pattern));
        EXPECT_EQ(FastCharPos(c.source, c.pattern[0], c.start), c.expected);
    }
}

TEST(FastStrings, PosWithCase) {
    const TPosCase cases[] = {
        {"hello world", "world", 1, 7}, // found
        {"hello world", "world", 7, 7}, // start on the match
        {"hello world", "world", 8, 0}, // start past the match
        {"hello world", "World", 1, 0}, // case counts
        {"hello world", "d", 11, 11},   // pattern at the very end
        {"hello world", "ld!", 1, 0},   // would run past the end
        {"hello world", "o", 12, 0},    // start past the end
        {"hello world", "o", 0, 0},     // start below 1
        {"", "a", 1, 0},                // empty source
        {"abc", "", 1, 0},              // empty pattern
        {"ab", "abc", 1, 0},            // pattern longer than source
        {"aaab", "aab", 1, 2},          // partial match first
        {"x\r\ny\r\n", "\r\n", 1, 2},   // line ends
        {"x\r\ny\r\n", "\r\n", 3, 5},   // the next line end
        {"x\ry\r\n", "\r\n", 1, 4},     // a lone CR is no line end
        {"a\0\r\nb"s, "\r\n", 1, 3},    // zero byte before
        {"x\0y\0z"s, "\0z"s, 1, 4},     // zero byte in the pattern
        {"----- Original Message ----", "----- Original Message -----", 1, 0},
        {"> ----- Original Message -----\r\n", "----- Original Message -----", 1, 3},
    };
    for (const TPosCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " / " + testing::PrintToString(c.pattern) + " @" +
                     std::to_string(c.start));
        EXPECT_EQ(FastPos(c.source, c.pattern, c.start), c.expected);
    }
}

TEST(FastStrings, PosWithoutCase) {
    const TPosCase cases[] = {
        {"Hello WORLD", "world", 1, 7}, // found, other case
        {"Hello WORLD", "wOrLd", 8, 0}, // start past the match
        {"Hello WORLD", "d", 11, 11},   // at the very end
        {"Hello WORLD", "x", 1, 0},     // not found
        {"Hello WORLD", "o", 12, 0},    // start past the end
        {"", "a", 1, 0},                // empty source
        {"abc", "", 1, 0},              // empty pattern
        {"abc", "ABCD", 1, 0},          // longer than the source
        {"aaaaaaaab", "AAAB", 1, 6},    // repetitive text
        {"abababaabab", "ABAAB", 1, 5}, // match found after falling back
        {"a\0B"s, "\0b"s, 1, 2},        // zero bytes compared like any other
        {"x-y_z", "X-Y_Z", 1, 1},       // non-letters map to themselves
    };
    for (const TPosCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " / " + testing::PrintToString(c.pattern) + " @" +
                     std::to_string(c.start));
        EXPECT_EQ(FastPosNoCase(c.source, c.pattern, c.start), c.expected);
    }
}

// The linear search against the plain definition: every start position, both sides upper-cased.
TEST(FastStrings, PosWithoutCaseAgreesWithTheDefinition) {
    std::mt19937 random(1234);
    // Mostly one letter in both cases makes long self-overlapping patterns, which exercise every fall-back of
    // the search; the wider alphabet brings zero bytes and accented letters.
    const std::string narrow = "aAaAaAb", wide = "aAbB\0\xE9\xC9"s;
    auto make = [&](size_t maxLength, const std::string& alphabet) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s)
            c = alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string& alphabet = round % 2 ? narrow : wide;
        const std::string source = make(40, alphabet);
        const std::string pattern = make(9, alphabet);
        const size_t start = 1 + random() % (source.size() + 2);
        const std::string upperSource = AnsiUpperCase(source), upperPattern = AnsiUpperCase(pattern);
        size_t expected = 0;
        if (!pattern.empty() && start <= source.size()) {
            const size_t found = upperSource.find(upperPattern, start - 1);
            expected = found == std::string::npos ? 0 : found + 1;
        }
        ASSERT_EQ(FastPosNoCase(source, pattern, start), expected)
            << testing::PrintToString(source) << " / " << testing::PrintToString(pattern) << " @" << start;
    }
}

TEST(FastStrings, ContainsNoCaseIsTheKeywordTest) {
    struct {
        std::string body, keyword;
        bool expected;
    } cases[] = {
        {"\r\nPlease send the INVOICE today\r\n", "invoice", true}, // keyword in small letters, body in capitals
        {"\r\nthe invoice\r\n", "INVOICE", true},                   // keyword in capitals
        {"\r\nthe InVoIcE\r\n", "iNvOiCe", true},                   // mixed
        {"\r\nno match\r\n", "invoice", false},
        {"\r\nshort\r\n", "\r\nshort\r\n!", false}, // longer than the body
        {"\r\nhas a blank\r\n", " ", true},         // one blank
        {"\r\nnoblank\r\n", " ", false},
        {"in\0voice"s, "IN\0VOICE"s, true}, // zero bytes inside
        {"", "x", false},                   // empty body
        {"anything", "", true},             // empty keyword occurs everywhere
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.body) + " / " + testing::PrintToString(c.keyword));
        EXPECT_EQ(ContainsNoCase(c.body, c.keyword), c.expected);
        EXPECT_EQ(TKeywordSearch(c.keyword).FoundIn(c.body), c.expected);
    }
}

// The prepared search skips ahead by the keyword's bytes; on bodies and keywords made of a few letters that
// differ in case only (Windows-1252 pairs among them), at lengths on both sides of its skipping limit, it must
// answer as ContainsNoCase does.
TEST(FastStrings, ThePreparedKeywordSearchAgreesWithContainsNoCase) {
    std::mt19937 random(11);
    const std::string alphabet = "aAbB \xFF\x9F\xE9\xC9\r\n";
    auto text = [&](size_t length, size_t letters) {
        std::string out;
        for (; length > 0; --length)
            out += alphabet[random() % letters];
        return out;
    };
    for (int n = 0; n < 2000; ++n) {
        const std::string body = text(random() % 300, n % 3 == 0 ? 3 : alphabet.size());
        const size_t keywordLength = n % 50 == 0 ? TKeywordSearch::kLongestSkipping + random() % 3 : random() % 9;
        const std::string keyword = text(keywordLength, n % 2 == 0 ? 3 : alphabet.size());
        SCOPED_TRACE(testing::PrintToString(body) + " / " + testing::PrintToString(keyword));
        EXPECT_EQ(TKeywordSearch(keyword).FoundIn(body), ContainsNoCase(body, keyword));
    }
}

TEST(FastStrings, CopyStr) {
    struct {
        std::string source;
        size_t start, count;
        std::string expected;
    } cases[] = {
        {"abcdef", 2, 3, "bcd"},      // inside
        {"abcdef", 1, 6, "abcdef"},   // whole
        {"abcdef", 5, 10, "ef"},      // cut short at the end
        {"abcdef", 6, 1, "f"},        // last byte
        {"abcdef", 7, 1, ""},         // start past the end
        {"abcdef", 0, 2, "ab"},       // start below 1 counts as 1
        {"abcdef", 3, 0, ""},         // nothing asked
        {"", 1, 3, ""},               // empty source
        {"a\0b\0c"s, 2, 3, "\0b\0"s}, // zero bytes survive
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " " + std::to_string(c.start) + "," + std::to_string(c.count));
        EXPECT_EQ(CopyStr(c.source, c.start, c.count), c.expected);
    }
}

TEST(FastStrings, AnsiUpperCase) {
    EXPECT_EQ(AnsiUpperCase("Return-Path: <a@b.c> 09 ~"), "RETURN-PATH: <A@B.C> 09 ~");
    EXPECT_EQ(AnsiUpperCase("a\0b"s), "A\0B"s);
    EXPECT_EQ(AnsiUpperCase(""), "");
    const TAnsiCaseTable& table = AnsiUpperTable();
    for (unsigned b = 0; b < 128; ++b)
        EXPECT_EQ(table[b], b >= 'a' && b <= 'z' ? b - 0x20 : b) << "byte " << b;
    EXPECT_EQ(&AnsiUpperTable(), &table); // built once
}
