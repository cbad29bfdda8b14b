// The keyword test of the message list and of `ostrevan-scan --keyword`, prepared once for many bodies: it gives
// ContainsNoCase's answer (both sides upper-cased through AnsiUpperTable()) without building the keyword's table
// again for every body.
#pragma once

#include "engine/FastStrings.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

class TKeywordSearch {
public:
    // Keywords up to this long are searched by Horspool's method, which skips up to the keyword's length at each
    // step; its worst case is the keyword's length times the body's, so longer keywords go to ContainsNoCase,
    // which is linear whatever the keyword.
    static constexpr size_t kLongestSkipping = 64;

    explicit TKeywordSearch(std::string_view keyword);
    // `text` holds the keyword, case ignored. An empty keyword is found everywhere. Safe on several threads.
    bool FoundIn(std::string_view text) const;

private:
    bool Matches(const char* at) const;

    std::string Keyword;
    const TAnsiCaseTable& Upper;
    std::string Folded;
    std::array<size_t, 256> Skip{};
};
