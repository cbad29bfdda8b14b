// Both ways of measuring a printable run, whichever this target uses: every byte value at every position of
// a block, so that batching never lets a stop byte through or stops early.
#include "engine/PrintableRun.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Printable(int b) {
    return b == 0x09 || b == 0x0A || b == 0x0B || b == 0x0D || (b >= 0x20 && b <= 0x7E);
}

using TMeasure = size_t (*)(std::span<const uint8_t>);

class PrintableRun : public testing::TestWithParam<TMeasure> {};

TEST_P(PrintableRun, StopsAtTheFirstByteARunMayNotHold) {
    const TMeasure measure = GetParam();
    for (int value = 0; value < 256; ++value) {
        ASSERT_EQ(IsPrintableRunByte(static_cast<uint8_t>(value)), Printable(value)) << value;
        for (size_t position = 0; position < 40; ++position) {
            std::vector<uint8_t> bytes(40 + position % 7, 'A');
            bytes[position] = static_cast<uint8_t>(value);
            const size_t expected = Printable(value) ? bytes.size() : position;
            ASSERT_EQ(measure(bytes), expected) << "byte " << value << " at " << position;
        }
    }
}

TEST_P(PrintableRun, MeasuresEmptyAndShortInputs) {
    const TMeasure measure = GetParam();
    EXPECT_EQ(measure({}), 0u);
    const std::vector<uint8_t> text = {'T', 'o', ':', ' ', '\r', '\n', '\t', '\v'};
    for (size_t length = 0; length <= text.size(); ++length)
        EXPECT_EQ(measure(std::span(text).first(length)), length);
}

INSTANTIATE_TEST_SUITE_P(EveryWay, PrintableRun,
                         testing::Values(&PrintablePrefix, &PrintablePrefixBy16, &PrintablePrefixBy8));

} // namespace
