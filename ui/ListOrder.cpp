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
// sorted by `tie` (below 0, 0, above 0), which alone decides between messages of equal keys, unless every one of
// them is `settled` (its key says all: equal keys, equal messages), as the many copies of one message are.
template <typename TPrefixAt, typename TTie, typename TSettled> class TRanker {
public:
    TRanker(size_t count, TPrefixAt prefixAt, TTie tie, TSettled settled)
        : PrefixAt(prefixAt), Tie(tie), Settled(settled), Ranks(count) {}

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
        if (std::all_of(begin, end, [&](const TSortRecord& record) { return Settled(record.Index); })) {
            for (TIterator record = begin; record != end; ++record)
                Ranks[record->Index] = NextRank;
            ++NextRank;
            return;
        }
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
    TSettled Settled;
    std::vector<uint32_t> Ranks;
    uint32_t NextRank = 0;
};

template <typename TPrefixAt, typename TTie, typename TSettled>
std::vector<uint32_t> RankMessages(size_t count, TPrefixAt prefixAt, TTie tie, TSettled settled) {
    return TRanker<TPrefixAt, TTie, TSettled>(count, prefixAt, tie, settled).Run();
}

// Every message's primary key in one block, made in one pass in message order, so that each step of the
// ranking reads sixteen bytes of a key instead of walking the message's text again.
class TKeyBlock {
public:
    TKeyBlock(const TFoundMessages& messages, TFoundMessages::TField field) : Starts(messages.Size() + 1) {
        const TTextCollation& collation = TTextCollation::Instance();
        NeedsSystem.reserve(messages.Size());
        for (size_t i = 0; i < messages.Size(); ++i) {
            const std::string_view text = messages.Field(i, field);
            Starts[i] = Keys.size();
            collation.AppendPrimaryKey(text, Keys);
            NeedsSystem.push_back(collation.NeedsSystemCompare(text));
        }
        Starts[messages.Size()] = Keys.size();
    }

    // Sixteen bytes of the key from `skip` on, zeros past its end.
    TTextCollation::TPrefix PrefixAt(uint32_t index, size_t skip) const {
        TTextCollation::TPrefix prefix;
        const size_t start = Starts[index] + skip;
        const size_t end = Starts[index + 1];
        for (size_t k = 0; k < 16 && start + k < end; ++k) {
            uint64_t& half = k < 8 ? prefix.High : prefix.Low;
            half |= static_cast<uint64_t>(static_cast<unsigned char>(Keys[start + k])) << (8 * (7 - k % 8));
        }
        return prefix;
    }
    bool NeedsSystemCompare(uint32_t index) const { return NeedsSystem[index] != 0; }

private:
    std::string Keys;
    std::vector<size_t> Starts;
    std::vector<uint8_t> NeedsSystem;
};

} // namespace

std::vector<uint32_t> TListOrder::RankByText(TFoundMessages::TField field) const {
    const TTextCollation& collation = TTextCollation::Instance();
    const TKeyBlock keys(Messages, field);
    return RankMessages(
        Messages.Size(), [&](uint32_t index, size_t depth) { return keys.PrefixAt(index, depth); },
        [&](uint32_t a, uint32_t b) { return collation.Compare(Messages.Field(a, field), Messages.Field(b, field)); },
        [&](uint32_t index) { return !keys.NeedsSystemCompare(index); });
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
    return RankMessages(Messages.Size(), prefixAt, tie,
                        [&](uint32_t index) { return Messages.DateMoment(index).has_value(); });
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
