#include "ui/TextCollation.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// A sort key's primary section: two-byte weights up to the first level separator (1). Empty when the key
// does not have that shape.
struct TSortKey {
    std::vector<uint16_t> Primary;
    bool OnlyPrimary = false; // every later level is empty
    bool Shaped = false;
};

TSortKey SortKeyOfByte(char byte) {
    unsigned char key[64] = {};
    int length = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, &byte, 1,
                              reinterpret_cast<char*>(key), sizeof(key));
    TSortKey result;
    int p = 0;
    while (p + 1 < length && key[p] != 1) {
        result.Primary.push_back(static_cast<uint16_t>(key[p] << 8 | key[p + 1]));
        p += 2;
    }
    if (p >= length || key[p] != 1)
        return result;
    result.Shaped = true;
    // What follows the primary weights when nothing else has weight: the separators of the later levels
    // and the end.
    const unsigned char kEmptyLevels[] = {1, 1, 1, 1, 0};
    result.OnlyPrimary = length - p == static_cast<int>(sizeof(kEmptyLevels)) &&
                         std::equal(kEmptyLevels, kEmptyLevels + sizeof(kEmptyLevels), key + p);
    return result;
}

} // namespace

const TTextCollation& TTextCollation::Instance() {
    static const TTextCollation collation;
    return collation;
}

TTextCollation::TTextCollation() {
    CPINFO codePage = {};
    if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize != 1)
        return;
    std::vector<TSortKey> keys(256);
    std::map<uint16_t, uint8_t> codes; // every primary weight in use, in order
    for (int b = 1; b < 256; ++b) {
        keys[b] = SortKeyOfByte(static_cast<char>(b));
        if (!keys[b].Shaped || keys[b].Primary.size() > 3)
            return;
        for (uint16_t weight : keys[b].Primary)
            codes[weight] = 0;
    }
    if (codes.size() > 255)
        return;
    uint8_t next = 1;
    for (auto& entry : codes)
        entry.second = next++;
    for (int b = 1; b < 256; ++b) {
        TByteWeights& weights = Bytes[b];
        weights.Count = static_cast<uint8_t>(keys[b].Primary.size());
        for (size_t i = 0; i < keys[b].Primary.size(); ++i)
            weights.Codes[i] = codes[keys[b].Primary[i]];
        weights.Simple = keys[b].OnlyPrimary;
    }
    Bytes[0].Simple = false; // the list shows texts up to their first zero byte; leave zeros to the system
    Usable = true;
}

void TTextCollation::AppendPrimaryKey(std::string_view text, std::string& key) const {
    if (!Usable)
        return;
    for (char c : text) {
        const TByteWeights& weights = Bytes[static_cast<unsigned char>(c)];
        key.append(reinterpret_cast<const char*>(weights.Codes), weights.Count);
    }
}

bool TTextCollation::NeedsSystemCompare(std::string_view text) const {
    if (!Usable)
        return true;
    for (char c : text)
        if (!Bytes[static_cast<unsigned char>(c)].Simple)
            return true;
    return false;
}

int TTextCollation::SystemCompare(std::string_view a, std::string_view b) {
    int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()));
    return order == 0 ? 0 : order - CSTR_EQUAL;
}

int TTextCollation::Compare(std::string_view a, std::string_view b) const {
    if (a == b) // the same message found many times over
        return 0;
    if (!Usable)
        return SystemCompare(a, b);
    // Walk both primary keys without building them.
    size_t i = 0, j = 0;
    uint8_t ai = 0, bj = 0; // position within the current byte's codes
    for (;;) {
        while (i < a.size() && ai >= Bytes[static_cast<unsigned char>(a[i])].Count) {
            ++i;
            ai = 0;
        }
        while (j < b.size() && bj >= Bytes[static_cast<unsigned char>(b[j])].Count) {
            ++j;
            bj = 0;
        }
        if (i == a.size() || j == b.size())
            break;
        const uint8_t ca = Bytes[static_cast<unsigned char>(a[i])].Codes[ai++];
        const uint8_t cb = Bytes[static_cast<unsigned char>(b[j])].Codes[bj++];
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i != a.size() || j != b.size())
        return i == a.size() ? -1 : 1; // one primary key is a prefix of the other
    if (!NeedsSystemCompare(a) && !NeedsSystemCompare(b))
        return 0;
    return SystemCompare(a, b);
}
