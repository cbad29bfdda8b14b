#include "ui/ListOrder.h"

#include "ui/TextCollation.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

namespace {

TFoundMessages::TField FieldOfColumn(int column) {
    return static_cast<TFoundMessages::TField>(column - 1);
}

// The primary keys of one column's texts in one block, with the first eight bytes of each as a number, so
// that most comparisons of a sort are one comparison of two integers.
class TTextKeys {
public:
    TTextKeys(const TFoundMessages& messages, TFoundMessages::TField field)
        : Messages(messages), Field(field), Collation(TTextCollation::Instance()) {
        const size_t count = messages.Size();
        Starts.reserve(count + 1);
        Prefixes.reserve(count);
        NeedsSystem.reserve(count);
        Usable = true;
        for (size_t i = 0; i < count; ++i) {
            const std::string_view text = messages.Field(i, field);
            Starts.push_back(Keys.size());
            Usable = Usable && Collation.AppendPrimaryKey(text, Keys);
            NeedsSystem.push_back(Collation.NeedsSystemCompare(text));
            uint64_t prefix = 0;
            const size_t length = Keys.size() - Starts.back();
            for (size_t k = 0; k < 8; ++k)
                prefix = prefix << 8 | (k < length ? static_cast<unsigned char>(Keys[Starts.back() + k]) : 0);
            Prefixes.push_back(prefix);
        }
        Starts.push_back(Keys.size());
    }

    // Below 0, 0 or above 0 as message a's text sorts before, with or after message b's.
    int Compare(uint32_t a, uint32_t b) const {
        if (!Usable)
            return TTextCollation::SystemCompare(Messages.Field(a, Field), Messages.Field(b, Field));
        if (Prefixes[a] != Prefixes[b])
            return Prefixes[a] < Prefixes[b] ? -1 : 1;
        const size_t lengthA = Starts[a + 1] - Starts[a];
        const size_t lengthB = Starts[b + 1] - Starts[b];
        if (lengthA > 8 || lengthB > 8) {
            const size_t common = std::min(lengthA, lengthB);
            const int order = common > 8 ? std::memcmp(&Keys[Starts[a] + 8], &Keys[Starts[b] + 8], common - 8) : 0;
            if (order != 0)
                return order;
        }
        if (lengthA != lengthB)
            return lengthA < lengthB ? -1 : 1;
        if (!NeedsSystem[a] && !NeedsSystem[b])
            return 0;
        const std::string_view textA = Messages.Field(a, Field);
        const std::string_view textB = Messages.Field(b, Field);
        return textA == textB ? 0 : TTextCollation::SystemCompare(textA, textB);
    }

private:
    const TFoundMessages& Messages;
    TFoundMessages::TField Field;
    const TTextCollation& Collation;
    bool Usable = false;
    std::string Keys;
    std::vector<size_t> Starts;
    std::vector<uint64_t> Prefixes;
    std::vector<bool> NeedsSystem;
};

// Ranks from messages in sorted order: a message gets a new rank where it compares after the one before it.
template <typename TCompare>
std::vector<uint32_t> RanksOfSorted(const std::vector<uint32_t>& sorted, size_t count, TCompare compare) {
    std::vector<uint32_t> ranks(count);
    uint32_t rank = 0;
    for (size_t k = 0; k < sorted.size(); ++k) {
        if (k > 0 && compare(sorted[k - 1], sorted[k]) < 0)
            ++rank;
        ranks[sorted[k]] = rank;
    }
    return ranks;
}

std::vector<uint32_t> AllMessages(size_t count) {
    std::vector<uint32_t> indices(count);
    std::iota(indices.begin(), indices.end(), 0u);
    return indices;
}

} // namespace

std::vector<uint32_t> TListOrder::RankByText(TFoundMessages::TField field) const {
    const TTextKeys keys(Messages, field);
    std::vector<uint32_t> sorted = AllMessages(Messages.Size());
    std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) { return keys.Compare(a, b) < 0; });
    return RanksOfSorted(sorted, Messages.Size(), [&](uint32_t a, uint32_t b) { return keys.Compare(a, b); });
}

std::vector<uint32_t> TListOrder::RankByDate() const {
    const TTextKeys keys(Messages, TFoundMessages::kDate);
    auto compare = [&](uint32_t a, uint32_t b) {
        const std::optional<int64_t> momentA = Messages.DateMoment(a);
        const std::optional<int64_t> momentB = Messages.DateMoment(b);
        if (momentA && momentB)
            return *momentA < *momentB ? -1 : (*momentA > *momentB ? 1 : 0);
        if (momentA || momentB)
            return momentA ? -1 : 1; // dates that cannot be read come after the others
        return keys.Compare(a, b);
    };
    std::vector<uint32_t> sorted = AllMessages(Messages.Size());
    std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) { return compare(a, b) < 0; });
    return RanksOfSorted(sorted, Messages.Size(), compare);
}

const std::vector<uint32_t>& TListOrder::Ranks(int column) {
    std::vector<uint32_t>& ranks = Ranks_[column];
    if (ranks.size() != Messages.Size()) {
        if (column == kItemNumColumn)
            ranks = AllMessages(Messages.Size());
        else if (FieldOfColumn(column) == TFoundMessages::kDate)
            ranks = RankByDate();
        else
            ranks = RankByText(FieldOfColumn(column));
    }
    return ranks;
}

void TListOrder::Sort(std::vector<uint32_t>& rows, int column, bool ascending) {
    if (column < 0 || column >= kColumnCount)
        return;
    const std::vector<uint32_t>& ranks = Ranks(column);
    if (ascending)
        std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) { return ranks[a] < ranks[b]; });
    else
        std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) { return ranks[a] > ranks[b]; });
}
