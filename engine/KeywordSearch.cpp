#include "engine/KeywordSearch.h"

TKeywordSearch::TKeywordSearch(std::string_view keyword) : Keyword(keyword), Upper(AnsiUpperTable()) {
    for (char c : keyword)
        Folded.push_back(static_cast<char>(Upper[static_cast<unsigned char>(c)]));
    Skip.fill(Folded.size());
    for (size_t i = 0; i + 1 < Folded.size(); ++i)
        Skip[static_cast<unsigned char>(Folded[i])] = Folded.size() - 1 - i;
}

bool TKeywordSearch::FoundIn(std::string_view text) const {
    const size_t length = Folded.size();
    if (length == 0)
        return true;
    if (length > kLongestSkipping)
        return ContainsNoCase(text, Keyword);
    for (size_t at = 0; at + length <= text.size();) {
        const unsigned char last = Upper[static_cast<unsigned char>(text[at + length - 1])];
        if (last == static_cast<unsigned char>(Folded[length - 1]) && Matches(text.data() + at))
            return true;
        at += Skip[last];
    }
    return false;
}

bool TKeywordSearch::Matches(const char* at) const {
    for (size_t i = 0; i + 1 < Folded.size(); ++i)
        if (Upper[static_cast<unsigned char>(at[i])] != static_cast<unsigned char>(Folded[i]))
            return false;
    return true;
}
