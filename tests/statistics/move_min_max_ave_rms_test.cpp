// zrcalcMoveAndGetMinMaxAveRMS_int16_t against a scalar model of its stated
// order, over counts around the 16-sample blocks, strides, and every alignment
// of source and destination.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// The rule written out one step at a time. Which samples go one by one and which
// in blocks depends on the count, the stride and one array's address.
class Model {
public:
    Model(const int16_t* source, uint32_t count, int32_t stride, float offset, Stats prior,
          const void* destinationAddress)
        : source_(source), stride_(stride), offset_(offset), s_(prior), out_(count)
    {
        if (count == 0) return;
        if (count < 16 || stride <= 0) {
            one_by_one(0, count, true);
            return;
        }
        // Samples before the 32-byte boundary of the destination (strided) or of
        // the source (contiguous).
        const void* aligned = stride == 1 ? static_cast<const void*>(source) : destinationAddress;
        const uint32_t head = static_cast<uint32_t>((32 - reinterpret_cast<uintptr_t>(aligned) % 32) % 32 / 2);
        const uint32_t blocks = (count - head) / 16;
        // Integers: the extremes are fixed by value, whatever the order.
        for (uint32_t i = 0; i < count; ++i) compare(sample(i));
        one_by_one(0, head, false);
        double lanes[4] = {0, 0, 0, 0}, squares[4] = {0, 0, 0, 0};
        for (uint32_t b = 0; b < blocks; ++b) {
            for (uint32_t k = 0; k < 16; ++k) {
                const uint32_t i = head + 16 * b + k;
                const int16_t e = sample(i);
                out_[i] = e;
                const double y = static_cast<double>(e) + static_cast<double>(offset_);
                lanes[k % 4] = lanes[k % 4] + e;
                squares[k % 4] = std::fma(y, y, squares[k % 4]);
            }
        }
        s_.sum = s_.sum + ((lanes[0] + lanes[2]) + (lanes[1] + lanes[3]));
        s_.sumOfSquares = s_.sumOfSquares + ((squares[0] + squares[2]) + (squares[1] + squares[3]));
        one_by_one(head + 16 * blocks, count, false);
    }
    const Stats& stats() const { return s_; }
    const std::vector<int16_t>& copy() const { return out_; }

private:
    int16_t sample(uint32_t i) const { return source_[static_cast<std::ptrdiff_t>(i) * stride_]; }
    void compare(int16_t v)
    {
        if (v < s_.lo) s_.lo = v;
        if (v > s_.hi) s_.hi = v;
    }
    void one_by_one(uint32_t begin, uint32_t end, bool withCompare)
    {
        for (uint32_t i = begin; i < end; ++i) {
            const int16_t v = sample(i);
            out_[i] = v;
            if (withCompare) compare(v);
            const double y = static_cast<double>(static_cast<float>(v) + offset_);
            s_.sum = s_.sum + v;
            s_.sumOfSquares = std::fma(y, y, s_.sumOfSquares);
        }
    }
    const int16_t* source_;
    std::ptrdiff_t stride_;
    float offset_;
    Stats s_;
    std::vector<int16_t> out_;
};

// Runs one of the two conventions (alternating by count covers both).
Stats move(int16_t* destination, const int16_t* source, uint32_t count, int32_t stride, float offset, Stats s)
{
    if (count % 2)
        zrcalcMoveAndGetMinMaxAveRMS_int16_t_cdecl(destination, source, count, &s.lo, &s.hi, &s.sum,
                                                   &s.sumOfSquares, offset, stride);
    else
        zrcalcMoveAndGetMinMaxAveRMS_int16_t(destination, source, count, &s.lo, &s.hi, &s.sum, &s.sumOfSquares,
                                             offset, stride);
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

constexpr Stats kNeutral{std::numeric_limits<int16_t>::max(), std::numeric_limits<int16_t>::min(), 0.0, 0.0};

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

// One call on fresh random samples at the given array offsets, against the model.
::testing::AssertionResult AgreesWithModel(uint32_t count, int32_t stride, std::size_t sourceOffset,
                                           std::size_t destinationOffset, float offset, Stats prior)
{
    const Source layout = source_layout(count, stride);
    const zrtest::OffsetArray<int16_t> source(zrtest::random_samples<int16_t>(layout.span, 17 * count + stride),
                                              sourceOffset);
    zrtest::OffsetArray<int16_t> destination(count, destinationOffset);
    const int16_t* first = source.data() + layout.first;
    const Model model(first, count, stride, offset, prior, destination.data());
    auto result = SameStats(model.stats(), move(destination.data(), first, count, stride, offset, prior));
    if (result) result = zrtest::BitsEqual(model.copy().data(), destination.data(), count);
    return result << " (count " << count << ", stride " << stride << ", offsets " << sourceOffset << "/"
                  << destinationOffset << ")";
}

// 0.31830988f is inexact in float: the element and the block form of the shifted
// sample differ, so a sample added on the wrong path changes the last bits.
TEST(MoveAndGetMinMaxAveRMS, EveryCountStrideAndAlignmentMatchesTheModel)
{
    const Stats prior{100, -100, 5.5, 0.125};
    for (int32_t stride : kStrides) {
        // At a stride of 0 or below the addresses choose nothing.
        const auto offsets = stride > 0 ? zrtest::alignment_offsets<int16_t>() : std::vector<std::size_t>{0, 2};
        for (uint32_t count = 0; count <= 70; ++count)
            for (std::size_t sourceOffset : offsets)
                for (std::size_t destinationOffset : offsets)
                    ASSERT_TRUE(AgreesWithModel(count, stride, sourceOffset, destinationOffset, 0.31830988f, prior));
    }
}

// Longer blocks (100 samples at stride 4 among them): many passes of the loop.
TEST(MoveAndGetMinMaxAveRMS, LongBlocksMatchTheModel)
{
    for (int32_t stride : kStrides)
        for (uint32_t count : {100u, 1000u, 4099u})
            for (std::size_t offset : {0u, 6u, 30u})
                EXPECT_TRUE(AgreesWithModel(count, stride, offset, 32 - offset, 0.70710677f, kNeutral));
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
                    const Source layout = source_layout(count, stride);
                    std::vector<int16_t> values(layout.span, 5);
                    values[static_cast<std::size_t>(count - 1 - at) * stride] = 32767;
                    values[static_cast<std::size_t>(at) * stride] = -32768;
                    const zrtest::OffsetArray<int16_t> source(values, offset);
                    zrtest::OffsetArray<int16_t> destination(count, offset);
                    const Stats s = move(destination.data(), source.data(), count, stride, 0.0f, kNeutral);
                    ASSERT_EQ(s.lo, -32768) << "count " << count << ", at " << at << ", offset " << offset;
                    ASSERT_EQ(s.hi, at == count - 1 - at ? 5 : 32767) << "count " << count << ", at " << at;
                }
            }
        }
    }
}

// A prior minimum below every sample and a prior maximum above every sample stay,
// on every path; the sums of one call are exact.
TEST(MoveAndGetMinMaxAveRMS, KeepsOuterPriorsAndSumsExactly)
{
    for (int32_t stride : kStrides) {
        for (uint32_t count : {1u, 15u, 16u, 17u, 40u, 100u, 333u}) {
            const Source layout = source_layout(count, stride);
            auto values = zrtest::random_samples<int16_t>(layout.span, count);
            for (auto& v : values) v = static_cast<int16_t>(v / 4);  // within (-8192, 8192)
            const int16_t* first = values.data() + layout.first;
            std::vector<int16_t> destination(count);
            const Stats s = move(destination.data(), first, count, stride, 0.0f, Stats{-9000, 9000, 0.0, 0.0});
            EXPECT_EQ(s.lo, -9000);
            EXPECT_EQ(s.hi, 9000);
            double exact = 0;
            for (uint32_t i = 0; i < count; ++i) exact += destination[i];
            EXPECT_EQ(s.sum, exact) << count << " " << stride;
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
    const Stats s = move(destination.data(), source.data(), 16, 1, 0.0f, kNeutral);
    EXPECT_EQ(destination, values);
    EXPECT_TRUE(SameStats(Stats{-15000, 14000, -8000.0, 1240000000.0}, s));
}

TEST(MoveAndGetMinMaxAveRMS, CountZeroReadsAndWritesNothing)
{
    zrtest::GuardedArray<int16_t> source(0, zrtest::Guard::After), destination(0, zrtest::Guard::After);
    Stats s{1, 2, 3.0, 4.0};
    s = move(destination.data(), source.data(), 0, 1, 1.0f, s);
    EXPECT_TRUE(SameStats(Stats{1, 2, 3.0, 4.0}, s));
}

// stride = 1 with the source as its own destination: the data stays, the
// statistics are those of a separate copy.
TEST(MoveAndGetMinMaxAveRMS, InPlaceAtStrideOne)
{
    for (uint32_t count = 1; count <= 70; ++count) {
        const auto values = zrtest::random_samples<int16_t>(count, 900 + count);
        for (std::size_t offset : zrtest::alignment_offsets<int16_t>()) {
            zrtest::OffsetArray<int16_t> data(values, offset);
            const Model model(data.data(), count, 1, 1.4142135f, kNeutral, data.data());
            const Stats s = move(data.data(), data.data(), count, 1, 1.4142135f, kNeutral);
            ASSERT_TRUE(SameStats(model.stats(), s)) << count;
            ASSERT_EQ(data.to_vector(), values);
        }
    }
}

// Source and destination flush against an inaccessible page after them, then
// before them; the source read-only, the outputs in guarded cells.
TEST(MoveAndGetMinMaxAveRMS, TouchesNothingOutsideTheArrays)
{
    for (auto sourceGuard : {zrtest::Guard::After, zrtest::Guard::Before}) {
        zrtest::GuardedArray<int16_t> lo(1, sourceGuard), hi(1, sourceGuard);
        zrtest::GuardedArray<double> sum(1, sourceGuard), squares(1, sourceGuard);
        for (auto destinationGuard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            for (int32_t stride : kStrides) {
                for (uint32_t count = 1; count <= 70; ++count) {
                    const Source layout = source_layout(count, stride);
                    const auto values = zrtest::random_samples<int16_t>(layout.span, count);
                    zrtest::GuardedArray<int16_t> source(values.data(), layout.span, sourceGuard);
                    source.make_read_only();
                    zrtest::GuardedArray<int16_t> destination(count, destinationGuard);
                    lo[0] = kNeutral.lo;
                    hi[0] = kNeutral.hi;
                    sum[0] = squares[0] = 0.0;
                    const int16_t* first = source.data() + layout.first;
                    zrcalcMoveAndGetMinMaxAveRMS_int16_t(destination.data(), first, count, lo.data(), hi.data(),
                                                         sum.data(), squares.data(), -0.1f, stride);
                    const Model model(first, count, stride, -0.1f, kNeutral, destination.data());
                    ASSERT_TRUE(SameStats(model.stats(), Stats{lo[0], hi[0], sum[0], squares[0]}))
                        << "count " << count << ", stride " << stride;
                    ASSERT_TRUE(zrtest::BitsEqual(model.copy().data(), destination.data(), count));
                }
            }
        }
    }
}

}  // namespace
