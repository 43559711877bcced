// zrcalcGetMinMax_{double,float,int16_t,int32_t}: one generic body over the four
// sample types, every count around the vector passes, every alignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

void call(const double* d, uint32_t n, double* lo, double* hi, bool twin)
{
    if (twin)
        zrcalcGetMinMax_double_cdecl(d, n, lo, hi);
    else
        zrcalcGetMinMax_double(d, n, lo, hi);
}
void call(const float* d, uint32_t n, float* lo, float* hi, bool twin)
{
    if (twin)
        zrcalcGetMinMax_float_cdecl(d, n, lo, hi);
    else
        zrcalcGetMinMax_float(d, n, lo, hi);
}
void call(const int16_t* d, uint32_t n, int16_t* lo, int16_t* hi, bool twin)
{
    if (twin)
        zrcalcGetMinMax_int16_t_cdecl(d, n, lo, hi);
    else
        zrcalcGetMinMax_int16_t(d, n, lo, hi);
}
void call(const int32_t* d, uint32_t n, int32_t* lo, int32_t* hi, bool twin)
{
    if (twin)
        zrcalcGetMinMax_int32_t_cdecl(d, n, lo, hi);
    else
        zrcalcGetMinMax_int32_t(d, n, lo, hi);
}

template <class T>
constexpr uint32_t kW = 32 / sizeof(T);

template <class T>
struct Result {
    T lo, hi;
};

// Calls one of the two conventions (alternating by count covers both), with
// outputs that start as a pattern the operation must overwrite.
template <class T>
Result<T> get_min_max(const T* data, uint32_t count)
{
    Result<T> r;
    std::memset(&r, 0x5A, sizeof r);
    call(data, count, &r.lo, &r.hi, count % 2 == 1);
    return r;
}

template <class T>
bool is_nan(T x)
{
    if constexpr (std::is_floating_point_v<T>)
        return std::isnan(x);
    else
        return false;
}

// The stated result by value: the smallest and largest sample, NaNs passed over,
// x_0 when every sample is NaN. Test data has no signed-zero ties, so the value
// fixes the bits.
template <class T>
Result<T> model(const std::vector<T>& x)
{
    std::vector<T> ordered;
    for (T v : x)
        if (!is_nan(v)) ordered.push_back(v);
    if (ordered.empty()) return {x[0], x[0]};
    return {*std::min_element(ordered.begin(), ordered.end()), *std::max_element(ordered.begin(), ordered.end())};
}

template <class T>
::testing::AssertionResult MatchesModel(const std::vector<T>& x, Result<T> actual)
{
    const Result<T> expected = model(x);
    auto lo = zrtest::BitsEqual(expected.lo, actual.lo);
    if (!lo) return lo << " (minimum)";
    auto hi = zrtest::BitsEqual(expected.hi, actual.hi);
    if (!hi) return hi << " (maximum)";
    return ::testing::AssertionSuccess();
}

// Every count through three passes, and two that run the blocks' main loop.
template <class T>
std::vector<uint32_t> planting_counts()
{
    auto counts = zrtest::counts_up_to(3 * kW<T> + 3);
    counts.erase(counts.begin());
    counts.push_back(8 * kW<T> + 3);
    counts.push_back(17 * kW<T> + 5);
    return counts;
}

template <class T>
class GetMinMax : public ::testing::Test {};
using SampleTypes = ::testing::Types<double, float, int16_t, int32_t>;
TYPED_TEST_SUITE(GetMinMax, SampleTypes);

TYPED_TEST(GetMinMax, EveryCountAndAlignmentMatchesTheModel)
{
    using T = TypeParam;
    constexpr uint32_t W = kW<T>;
    std::vector<uint32_t> counts = zrtest::counts_up_to(3 * W + 3);
    for (uint32_t c : {4 * W - 1, 4 * W, 5 * W + 1, 8 * W + 3, 17 * W + 5, 1000u, 4099u}) counts.push_back(c);
    for (uint32_t count : counts) {
        if (count == 0) continue;
        const auto x = zrtest::random_samples<T>(count, 1000 + count);
        for (std::size_t offset : zrtest::alignment_offsets<T>()) {
            const zrtest::OffsetArray<T> data(x, offset);
            EXPECT_TRUE(MatchesModel(x, get_min_max(data.data(), count)))
                << "count " << count << ", offset " << offset;
        }
    }
}

// The type's limits planted at every position: the unaligned head, either half of
// a block, the overlap of the last vector, the tail. Integers compare signed.
TYPED_TEST(GetMinMax, FindsTheExtremesWhereverTheyLie)
{
    using T = TypeParam;
    const T lowest = std::numeric_limits<T>::lowest(), highest = std::numeric_limits<T>::max();
    for (uint32_t count : planting_counts<T>()) {
        for (std::size_t offset : zrtest::alignment_offsets<T>()) {
            for (uint32_t at = 0; at < count; ++at) {
                std::vector<T> x(count, T(5));
                x[count - 1 - at] = highest;
                x[at] = lowest;
                const zrtest::OffsetArray<T> data(x, offset);
                ASSERT_TRUE(MatchesModel(x, get_min_max(data.data(), count)))
                    << "count " << count << ", offset " << offset << ", at " << at;
            }
        }
    }
}

TYPED_TEST(GetMinMax, CountZeroReadsAndWritesNothing)
{
    using T = TypeParam;
    zrtest::GuardedArray<T> empty(0, zrtest::Guard::After);
    T lo = T(3), hi = T(4);
    call(empty.data(), 0, &lo, &hi, false);
    call(empty.data(), 0, &lo, &hi, true);
    EXPECT_EQ(lo, T(3));
    EXPECT_EQ(hi, T(4));
}

// Flush against an inaccessible page after and before the block, read-only, and
// with the two outputs in guarded single-element arrays.
TYPED_TEST(GetMinMax, ReadsNothingOutsideTheBlock)
{
    using T = TypeParam;
    for (uint32_t count = 1; count <= 3 * kW<T> + 3; ++count) {
        const auto x = zrtest::random_samples<T>(count, 50 + count);
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            zrtest::GuardedArray<T> data(x.data(), count, guard);
            data.make_read_only();
            zrtest::GuardedArray<T> lo(1, guard), hi(1, guard);
            call(data.data(), count, lo.data(), hi.data(), false);
            EXPECT_TRUE(MatchesModel(x, Result<T>{lo[0], hi[0]})) << count;
        }
    }
}

// NaN samples are passed over on the short and on the block path alike; a block
// of NaNs reports its first sample.
TYPED_TEST(GetMinMax, PassesOverNaNSamples)
{
    using T = TypeParam;
    if constexpr (std::is_floating_point_v<T>) {
        const T nan = std::numeric_limits<T>::quiet_NaN();
        for (uint32_t count : planting_counts<T>()) {
            for (std::size_t offset : {std::size_t{0}, sizeof(T)}) {
                for (uint32_t at = 0; at < count; ++at) {
                    auto x = zrtest::random_samples<T>(count, 300 + count);
                    x[at] = nan;
                    x[(at + 3) % count] = nan;
                    const zrtest::OffsetArray<T> data(x, offset);
                    ASSERT_TRUE(MatchesModel(x, get_min_max(data.data(), count)))
                        << "count " << count << ", NaN at " << at;
                }
            }
            // All NaN, each with its own payload: the first one is reported.
            std::vector<T> x(count);
            for (uint32_t i = 0; i < count; ++i) {
                using Bits = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
                Bits bits;
                std::memcpy(&bits, &nan, sizeof bits);
                bits += i + 1;
                std::memcpy(&x[i], &bits, sizeof bits);
            }
            const auto r = get_min_max(x.data(), count);
            EXPECT_TRUE(zrtest::BitsEqual(x[0], r.lo)) << count;
            EXPECT_TRUE(zrtest::BitsEqual(x[0], r.hi)) << count;
        }
    }
}

// Zeros of both signs compare equal; a lane keeps the later of equal samples, so
// when the last zeros of the block (just before a last vector of larger or smaller
// values) share a sign, that sign is reported whatever the zeros before them.
TYPED_TEST(GetMinMax, SignedZerosResolveToTheLaterSample)
{
    using T = TypeParam;
    if constexpr (std::is_floating_point_v<T>) {
        constexpr uint32_t W = kW<T>;
        for (T lastZero : {T(0.0), T(-0.0)}) {
            for (uint32_t count = 2 * W; count <= 24 * W; count += 3) {
                for (std::size_t offset : zrtest::alignment_offsets<T>()) {
                    auto x = zrtest::random_samples<T>(count, count);
                    for (auto& v : x) v = std::signbit(v) ? T(-0.0) : T(0.0);
                    std::fill(x.end() - 2 * W, x.end() - W, lastZero);
                    for (T beyond : {T(1), T(-1)}) {
                        std::fill(x.end() - W, x.end(), beyond);
                        const zrtest::OffsetArray<T> data(x, offset);
                        const auto r = get_min_max(data.data(), count);
                        const T zero = beyond > 0 ? r.lo : r.hi;
                        ASSERT_TRUE(zrtest::BitsEqual(lastZero, zero)) << "count " << count << ", offset " << offset;
                    }
                }
            }
        }
    }
}

}  // namespace
