// The order of the message list's rows by one of its columns: Item Num by number, Date by the moment it
// names (dates that cannot be read after the others, among themselves by text), From, To and Subject as
// text in the user's locale with case ignored. Sorts are stable: rows that compare equal keep their order.
#pragma once

#include "ui/FoundMessages.h"

#include <array>
#include <cstdint>
#include <vector>

class TListOrder {
public:
    static constexpr int kItemNumColumn = 0;
    static constexpr int kColumnCount = 5; // Item Num, Date, From, To, Subject

    // Reads `messages`, which must outlive it and not change meanwhile.
    explicit TListOrder(const TFoundMessages& messages) : Messages(messages) {}

    // Sorts `rows` (message indices) by `column`, ascending or descending; rows that compare equal keep their
    // order in either direction.
    void Sort(std::vector<uint32_t>& rows, int column, bool ascending);

private:
    // Each message's place in the column's order, equal for messages that compare equal; made on the
    // column's first sort and kept, so that later sorts of it are a counting sort.
    const std::vector<uint32_t>& Ranks(int column);
    std::vector<uint32_t> RankByText(TFoundMessages::TField field) const;
    std::vector<uint32_t> RankByDate() const;

    const TFoundMessages& Messages;
    std::array<std::vector<uint32_t>, kColumnCount> Ranks_;
};
