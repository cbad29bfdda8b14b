// Text order as the user's locale sees it (CompareStringA, case ignored), fast enough to sort a million rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE) costs microseconds per call (about 10 under Wine), too
// much for the twenty million comparisons of a sort of a million rows. A Windows sort key puts the primary
// weights of all characters first; each ANSI byte's primary weights are learned once from its own sort key and
// renumbered as small codes in their order, so a string's primary key is a byte string that compares with
// memcmp (or as numbers, 8 bytes at a time). Where two primary keys differ, they decide, as in the system's comparison;
// where they are equal and either string holds a byte with weights beyond the primary ones (accents, hyphens,
// apostrophes, control bytes), the system's comparison decides. On a code page of more than one byte per character
// every comparison is the system's.
class TTextCollation {
public:
    // Built once from the system's tables.
    static const TTextCollation& Instance();

    // Below 0, 0 or above 0 as `a` sorts before, with or after `b`; the sign CompareStringA gives.
    int Compare(std::string_view a, std::string_view b) const;
    // Sixteen bytes of a primary key as two big-endian numbers, zeros past its end: keys whose prefixes differ
    // sort as their prefixes do.
    struct TPrefix {
        uint64_t High = 0;
        uint64_t Low = 0;
    };
    // Appends `text`'s whole primary key (nothing on a multi-byte code page) to `key`.
    void AppendPrimaryKey(std::string_view text, std::string& key) const;
    // True when two texts of equal primary keys may still differ for the system: `text` holds a byte whose
    // weights go beyond its primary ones.
    bool NeedsSystemCompare(std::string_view text) const;
    // The system's own comparison.
    static int SystemCompare(std::string_view a, std::string_view b);

private:
    TTextCollation();

    struct TByteWeights {
        uint8_t Codes[3] = {}; // primary weights as codes from 1 up; 0 ends them early
        uint8_t Count = 0;
        bool Simple = true; // no weights beyond the primary ones
    };
    bool Usable = false;
    std::array<TByteWeights, 256> Bytes{};
};
