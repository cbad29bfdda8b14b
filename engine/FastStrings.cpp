#include "engine/FastStrings.h"

#include <cstring>
#include <vector>

namespace {

// 0-based index where a search that takes a 1-based `start` begins, or npos when it cannot find anything.
size_t SearchFrom(std::string_view source, size_t start) {
    if (start < 1 || start > source.size())
        return std::string_view::npos;
    return start - 1;
}

} // namespace

const TAnsiCaseTable& AnsiUpperTable() {
    static const TAnsiCaseTable table = BuildAnsiUpperTable();
    return table;
}

size_t FastCharPos(std::string_view source, char c, size_t start) {
    const size_t from = SearchFrom(source, start);
    if (from == std::string_view::npos)
        return 0;
    const void* hit = std::memchr(source.data() + from, static_cast<unsigned char>(c), source.size() - from);
    return hit ? static_cast<const char*>(hit) - source.data() + 1 : 0;
}

// memchr finds each candidate first byte, memcmp checks the rest: linear for the short patterns the parser
// uses (CR LF, the 28-byte reply marker), and it never reads past the last place the pattern can fit.
size_t FastPos(std::string_view source, std::string_view pattern, size_t start) {
    const size_t from = SearchFrom(source, start);
    if (pattern.empty() || from == std::string_view::npos || pattern.size() > source.size() - from)
        return 0;
    const char* base = source.data();
    const char* cur = base + from;
    const char* last = base + (source.size() - pattern.size());
    const unsigned char first = static_cast<unsigned char>(pattern[0]);
    while (cur <= last) {
        const void* hit = std::memchr(cur, first, static_cast<size_t>(last - cur) + 1);
        if (!hit)
            return 0;
        cur = static_cast<const char*>(hit);
        // The parser searches for CR LF once per line: test the second byte before paying for a memcmp call.
        if (pattern.size() == 1 ||
            (cur[1] == pattern[1] && std::memcmp(cur + 2, pattern.data() + 2, pattern.size() - 2) == 0))
            return static_cast<size_t>(cur - base) + 1;
        ++cur;
    }
    return 0;
}

// Knuth-Morris-Pratt over the upper-cased bytes: the keyword comes from the user and the bodies may be
// megabytes long, so the search must not turn quadratic on repetitive text.
size_t FastPosNoCase(std::string_view source, std::string_view pattern, size_t start) {
    const size_t from = SearchFrom(source, start);
    if (pattern.empty() || from == std::string_view::npos || pattern.size() > source.size() - from)
        return 0;
    const TAnsiCaseTable& upper = AnsiUpperTable();
    std::string folded(pattern.size(), '\0');
    for (size_t i = 0; i < pattern.size(); ++i)
        folded[i] = static_cast<char>(upper[static_cast<unsigned char>(pattern[i])]);

    // fallback[i]: length of the longest proper border of folded[0..i].
    std::vector<size_t> fallback(folded.size(), 0);
    for (size_t i = 1, len = 0; i < folded.size(); ++i) {
        while (len > 0 && folded[i] != folded[len])
            len = fallback[len - 1];
        if (folded[i] == folded[len])
            ++len;
        fallback[i] = len;
    }

    size_t matched = 0;
    for (size_t i = from; i < source.size(); ++i) {
        const char c = static_cast<char>(upper[static_cast<unsigned char>(source[i])]);
        while (matched > 0 && c != folded[matched])
            matched = fallback[matched - 1];
        if (c == folded[matched] && ++matched == folded.size())
            return i + 2 - folded.size();
    }
    return 0;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    return needle.empty() || FastPosNoCase(haystack, needle, 1) != 0;
}

std::string CopyStr(std::string_view source, size_t start, size_t count) {
    const size_t from = start < 1 ? 0 : start - 1;
    if (from >= source.size())
        return {};
    return std::string(source.substr(from, count));
}

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string AnsiUpperCase(std::string_view text) {
    const TAnsiCaseTable& upper = AnsiUpperTable();
    std::string result(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        result[i] = static_cast<char>(upper[static_cast<unsigned char>(text[i])]);
    return result;
}
