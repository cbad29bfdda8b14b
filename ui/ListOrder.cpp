#include "ui/ListOrder.h"

#include "ui/TextCollation.h"

#include <algorithm>
#include <numeric>

namespace {

TFoundMessages::TField FieldOfColumn(int column) {
    return static_cast<TFoundMessages::TField>(column - 1);
}

// One message as the rank computation sorts it: sixteen bytes of its key as two numbers, read from an array in
// order (a comparison that had to look the message up would wait on memory at every step), and its index.
struct TSortRecord {
    uint64_t High;
    uint64_t Low;
    uint32_t Index;
};

bool SamePrefix(const TSortRecord& a, const TSortRecord& b) {
    return a.High == b.High && a.Low == b.Low;
}

// Ranks messages by keys of any length, sixteen bytes at a time: the records are sorted by their first sixteen
// bytes; each run of equal ones is sorted by the next sixteen, and so on; a run whose keys ended together is
// sorted by `tie` (below 0, 0, above 0), which alone decides between messages of equal keys.
template <typename TPrefixAt, typename TTie> class TRanker {
public:
    TRanker(size_t count, TPrefixAt prefixAt, TTie tie) : PrefixAt(prefixAt), Tie(tie), Ranks(count) {}

    std::vector<uint32_t> Run() {
        std::vector<TSortRecord> records(Ranks.size());
        for (uint32_t i = 0; i < records.size(); ++i)
            records[i].Index = i;
        SortRun(records.begin(), records.end(), 0);
        return std::move(Ranks);
    }

private:
    using TIterator = std::vector<TSortRecord>::iterator;

    void SortRun(TIterator begin, TIterator end, size_t depth) {
        for (TIterator record = begin; record != end; ++record) {
            const TTextCollation::TPrefix prefix = PrefixAt(record->Index, depth);
            record->High = prefix.High;
            record->Low = prefix.Low;
        }
        std::sort(begin, end, [](const TSortRecord& a, const TSortRecord& b) {
            return a.High != b.High ? a.High < b.High : a.Low < b.Low;
        });
        for (TIterator first = begin; first != end;) {
            TIterator last = first + 1;
            while (last != end && SamePrefix(*first, *last))
                ++last;
            if (last - first == 1)
                Ranks[first->Index] = NextRank++;
            else if ((first->Low & 0xFF) == 0) // the keys ended within these sixteen bytes: all equal
                SortByTie(first, last);
            else
                SortRun(first, last, depth + 16);
            first = last;
        }
    }

    void SortByTie(TIterator begin, TIterator end) {
        std::sort(begin, end, [&](const TSortRecord& a, const TSortRecord& b) { return Tie(a.Index, b.Index) < 0; });
        for (TIterator record = begin; record != end; ++record) {
            if (record != begin && Tie((record - 1)->Index, record->Index) < 0)
                ++NextRank;
            Ranks[record->Index] = NextRank;
        }
        ++NextRank;
    }

    TPrefixAt PrefixAt;
    TTie Tie;
    std::vector<uint32_t> Ranks;
    uint32_t NextRank = 0;
};

template <typename TPrefixAt, typename TTie>
std::vector<uint32_t> RankMessages(size_t count, TPrefixAt prefixAt, TTie tie) {
    return TRanker<TPrefixAt, TTie>(count, prefixAt, tie).Run();
}

} // namespace

std::vector<uint32_t> TListOrder::RankByText(TFoundMessages::TField field) const {
    const TTextCollation& collation = TTextCollation::Instance();
    return RankMessages(
        Messages.Size(),
        [&](uint32_t index, size_t depth) { return collation.PrimaryPrefix(Messages.Field(index, field), depth); },
        [&](uint32_t a, uint32_t b) { return collation.Compare(Messages.Field(a, field), Messages.Field(b, field)); });
}

// Readable dates by their moment (equal moments are equal, whatever their text), then the others by text.
std::vector<uint32_t> TListOrder::RankByDate() const {
    const TTextCollation& collation = TTextCollation::Instance();
    auto prefixAt = [&](uint32_t index, size_t) {
        const std::optional<int64_t> moment = Messages.DateMoment(index);
        // Offset so that the order of the signed moments is the order of the unsigned numbers; a low byte of
        // zero says that nothing follows.
        return moment ? TTextCollation::TPrefix{static_cast<uint64_t>(*moment) ^ (uint64_t(1) << 63), 0}
                      : TTextCollation::TPrefix{UINT64_MAX, 0};
    };
    auto tie = [&](uint32_t a, uint32_t b) {
        if (Messages.DateMoment(a) && Messages.DateMoment(b))
            return 0;
        return collation.Compare(Messages.Field(a, TFoundMessages::kDate), Messages.Field(b, TFoundMessages::kDate));
    };
    return RankMessages(Messages.Size(), prefixAt, tie);
}

const std::vector<uint32_t>& TListOrder::Ranks(int column) {
    std::vector<uint32_t>& ranks = Ranks_[column];
    if (ranks.size() != Messages.Size()) {
        if (column == kItemNumColumn) {
            ranks.resize(Messages.Size());
            std::iota(ranks.begin(), ranks.end(), 0u);
        } else if (FieldOfColumn(column) == TFoundMessages::kDate) {
            ranks = RankByDate();
        } else {
            ranks = RankByText(FieldOfColumn(column));
        }
    }
    return ranks;
}

// A counting sort by rank: stable, and linear in the rows and the ranks.
void TListOrder::Sort(std::vector<uint32_t>& rows, int column, bool ascending) {
    if (column < 0 || column >= kColumnCount || rows.empty())
        return;
    const std::vector<uint32_t>& ranks = Ranks(column);
    const uint32_t top = *std::max_element(ranks.begin(), ranks.end());
    auto slot = [&](uint32_t index) { return ascending ? ranks[index] : top - ranks[index]; };
    std::vector<uint32_t> starts(static_cast<size_t>(top) + 2, 0);
    for (uint32_t index : rows)
        ++starts[slot(index) + 1];
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::vector<uint32_t> sorted(rows.size());
    for (uint32_t index : rows)
        sorted[starts[slot(index)]++] = index;
    rows.swap(sorted);
}
