// zrcalcMoveAndGetMinMaxAveRMS_int16_t against a scalar model of its stated
// order, over counts around the 16-sample blocks, strides, and every alignment
// of source and destination.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

struct Stats {
    int16_t lo, hi;
    double sum, sumOfSquares;
};

// The rule written out one step at a time: which samples go one by one and
// which in blocks depends on the count, the stride and one array's address.
Stats model(const int16_t* source, uint32_t count, int32_t stride, float offset, Stats s,
            const int16_t* destination, std::vector<int16_t>& copy)
{
    auto sample = [&](uint32_t i) { return source[static_cast<std::ptrdiff_t>(i) * stride]; };
    copy.assign(count, 0);
    for (uint32_t i = 0; i < count; ++i) {  // integers: the extremes are fixed by value, whatever the order
        copy[i] = sample(i);
        if (copy[i] < s.lo) s.lo = copy[i];
        if (copy[i] > s.hi) s.hi = copy[i];
    }
    auto one_by_one = [&](uint32_t i) {
        const double y = static_cast<double>(static_cast<float>(copy[i]) + offset);
        s.sum = s.sum + copy[i];
        s.sumOfSquares = std::fma(y, y, s.sumOfSquares);
    };
    if (count < 16 || stride <= 0) {
        for (uint32_t i = 0; i < count; ++i) one_by_one(i);
        return s;
    }
    // Blocks start at the 32-byte boundary of the destination (strided) or of the source (contiguous).
    const auto a = reinterpret_cast<uintptr_t>(stride == 1 ? source : destination);
    uint32_t i = 0;
    for (const uint32_t head = (32 - a % 32) % 32 / 2; i < head; ++i) one_by_one(i);
    double lanes[4] = {0, 0, 0, 0}, squares[4] = {0, 0, 0, 0};
    for (; count - i >= 16; i += 16) {
        for (uint32_t k = 0; k < 16; ++k) {
            const double y = static_cast<double>(copy[i + k]) + static_cast<double>(offset);
            lanes[k % 4] = lanes[k % 4] + copy[i + k];
            squares[k % 4] = std::fma(y, y, squares[k % 4]);
        }
    }
    s.sum = s.sum + ((lanes[0] + lanes[2]) + (lanes[1] + lanes[3]));
    s.sumOfSquares = s.sumOfSquares + ((squares[0] + squares[2]) + (squares[1] + squares[3]));
    for (; i < count; ++i) one_by_one(i);
    return s;
}

Stats move(int16_t* destination, const int16_t* source, uint32_t count, int32_t stride, float offset, Stats s)
{
    zrcalcMoveAndGetMinMaxAveRMS_int16_t(destination, source, count, &s.lo, &s.hi, &s.sum, &s.sumOfSquares, offset,
                                         stride);
    return s;
}

::testing::AssertionResult SameStats(const Stats& expected, const Stats& actual)
{
    for (auto r : {zrtest::BitsEqual(expected.lo, actual.lo) << " (minimum)",
                   zrtest::BitsEqual(expected.hi, actual.hi) << " (maximum)",
                   zrtest::BitsEqual(expected.sum, actual.sum) << " (sum)",
                   zrtest::BitsEqual(expected.sumOfSquares, actual.sumOfSquares) << " (sum of squares)"})
        if (!r) return r;
    return ::testing::AssertionSuccess();
}

// The call against the model: statistics bit for bit, the copy element for
// element, and the sum once more against the exact integer total.
::testing::AssertionResult CallMatchesModel(int16_t* destination, const int16_t* first, uint32_t count,
                                            int32_t stride, float offset, Stats prior)
{
    std::vector<int16_t> copy;
    const Stats expected = model(first, count, stride, offset, prior, destination, copy);
    const Stats actual = move(destination, first, count, stride, offset, prior);
    auto result = SameStats(expected, actual);
    if (result) result = zrtest::BitsEqual(copy.data(), destination, count);
    int64_t exact = 0;
    for (int16_t v : copy) exact += v;
    if (result) result = zrtest::BitsEqual(prior.sum + static_cast<double>(exact), actual.sum) << " (exact sum)";
    return result << " (count " << count << ", stride " << stride << ")";
}

// The samples in a span of (count - 1) * |stride| + 1 elements; for a negative
// stride the first sample is the span's last element.
struct Source {
    std::size_t span;
    std::ptrdiff_t first;
};
Source source_layout(uint32_t count, int32_t stride)
{
    if (count == 0) return {0, 0};
    const std::size_t span = static_cast<std::size_t>(count - 1) * std::abs(stride) + 1;
    return {span, stride < 0 ? static_cast<std::ptrdiff_t>(span - 1) : 0};
}

const int32_t kStrides[] = {1, 2, 3, 4, 0, -1, -3};

// Every count 0..70 and 100 (every fourth sample at stride 4), every stride, every
// alignment of both arrays. 0.31830988f is inexact in float: the element and the
// block form of the shifted sample differ, so a sample added on the wrong path
// changes the last bits. Priors alternate between bounds that the samples replace
// and the type's limits, which must be kept. At stride 1 also in place.
TEST(MoveAndGetMinMaxAveRMS, EveryCountStrideAndAlignmentMatchesTheModel)
{
    auto counts = zrtest::counts_up_to(70);
    counts.push_back(100);
    for (int32_t stride : kStrides) {
        // At a stride of 0 or below the addresses choose nothing.
        const auto offsets = stride > 0 ? zrtest::alignment_offsets<int16_t>() : std::vector<std::size_t>{0, 2};
        for (uint32_t count : counts) {
            const Stats prior = count % 2 ? Stats{100, -100, 5.5, 0.125} : Stats{-32768, 32767, -2.0, 1e6};
            const Source layout = source_layout(count, stride);
            const auto values = zrtest::random_samples<int16_t>(layout.span, 17 * count + stride);
            for (std::size_t sourceOffset : offsets) {
                const zrtest::OffsetArray<int16_t> source(values, sourceOffset);
                if (stride == 1) {  // in place: the data stays, the statistics are those of a separate copy
                    zrtest::OffsetArray<int16_t> data(values, sourceOffset);
                    ASSERT_TRUE(CallMatchesModel(data.data(), data.data(), count, 1, 0.31830988f, prior)) << "in place";
                    ASSERT_EQ(data.to_vector(), values);
                }
                for (std::size_t destinationOffset : offsets) {
                    zrtest::OffsetArray<int16_t> destination(count, destinationOffset);
                    ASSERT_TRUE(CallMatchesModel(destination.data(), source.data() + layout.first, count, stride,
                                                 0.31830988f, prior))
                        << "offsets " << sourceOffset << "/" << destinationOffset;
                }
            }
        }
    }
}

// The minimum and the maximum planted at every position, on both block paths:
// head, either half of a block, the last 16 samples, the tail. Integer limits are
// reported exactly.
TEST(MoveAndGetMinMaxAveRMS, FindsTheExtremesWhereverTheyLie)
{
    for (int32_t stride : {1, 3}) {
        for (uint32_t count : {16u, 17u, 31u, 32u, 33u, 47u, 48u, 70u}) {
            for (std::size_t offset : zrtest::alignment_offsets<int16_t>()) {
                for (uint32_t at = 0; at < count; ++at) {
                    std::vector<int16_t> values(source_layout(count, stride).span, 5);
                    values[static_cast<std::size_t>(count - 1 - at) * stride] = 32767;
                    values[static_cast<std::size_t>(at) * stride] = -32768;
                    const zrtest::OffsetArray<int16_t> source(values, offset);
                    zrtest::OffsetArray<int16_t> destination(count, offset);
                    const Stats s = move(destination.data(), source.data(), count, stride, 0.0f, Stats{0, 0, 0, 0});
                    ASSERT_EQ(s.lo, -32768) << "count " << count << ", at " << at << ", offset " << offset;
                    ASSERT_EQ(s.hi, at == count - 1 - at ? 5 : 32767) << "count " << count << ", at " << at;
                }
            }
        }
    }
}

// 16 samples at a 32-byte-aligned source: one block, no head, no tail.
TEST(MoveAndGetMinMaxAveRMS, OneAlignedBlock)
{
    std::vector<int16_t> values(16);
    for (int i = 0; i < 16; ++i) values[i] = static_cast<int16_t>((i % 2 ? -1 : 1) * i * 1000);
    const zrtest::OffsetArray<int16_t> source(values, 0);
    std::vector<int16_t> destination(16);
    const Stats s = move(destination.data(), source.data(), 16, 1, 0.0f, Stats{32767, -32768, 0, 0});
    EXPECT_EQ(destination, values);
    EXPECT_TRUE(SameStats(Stats{-15000, 14000, -8000.0, 1240000000.0}, s));
}

// Source and destination flush against an inaccessible page after them, then
// before them; the source read-only, the outputs in guarded cells. At count 0 the
// pointers lie on the inaccessible pages (or at the start of the pages) and the
// outputs stay.
TEST(MoveAndGetMinMaxAveRMS, TouchesNothingOutsideTheArrays)
{
    for (auto sourceGuard : {zrtest::Guard::After, zrtest::Guard::Before}) {
        zrtest::GuardedArray<int16_t> lo(1, sourceGuard), hi(1, sourceGuard);
        zrtest::GuardedArray<double> sum(1, sourceGuard), squares(1, sourceGuard);
        for (auto destinationGuard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            for (int32_t stride : kStrides) {
                for (uint32_t count = 0; count <= 70; ++count) {
                    const Source layout = source_layout(count, stride);
                    const auto values = zrtest::random_samples<int16_t>(layout.span, count);
                    zrtest::GuardedArray<int16_t> source(values.data(), layout.span, sourceGuard);
                    source.make_read_only();
                    zrtest::GuardedArray<int16_t> destination(count, destinationGuard);
                    const Stats prior{1, 2, 3.0, 4.0};
                    lo[0] = prior.lo;
                    hi[0] = prior.hi;
                    sum[0] = prior.sum;
                    squares[0] = prior.sumOfSquares;
                    const int16_t* first = source.data() + layout.first;
                    zrcalcMoveAndGetMinMaxAveRMS_int16_t(destination.data(), first, count, lo.data(), hi.data(),
                                                         sum.data(), squares.data(), -0.1f, stride);
                    std::vector<int16_t> copy;
                    const Stats expected = model(first, count, stride, -0.1f, prior, destination.data(), copy);
                    ASSERT_TRUE(SameStats(expected, Stats{lo[0], hi[0], sum[0], squares[0]}))
                        << "count " << count << ", stride " << stride;
                    ASSERT_TRUE(zrtest::BitsEqual(copy.data(), destination.data(), count));
                }
            }
        }
    }
}

}  // namespace
