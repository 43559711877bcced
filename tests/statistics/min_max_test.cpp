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

template <class T>
using MinMaxFn = void(ZRCALC_STDCALL*)(const T*, uint32_t, T*, T*);
template <class T>
using MinMaxCdeclFn = void(ZRCALC_CDECL*)(const T*, uint32_t, T*, T*);

template <class T>
struct Entry;
template <>
struct Entry<double> {
    static constexpr MinMaxFn<double> stdcall = zrcalcGetMinMax_double;
    static constexpr MinMaxCdeclFn<double> cdecl_twin = zrcalcGetMinMax_double_cdecl;
};
template <>
struct Entry<float> {
    static constexpr MinMaxFn<float> stdcall = zrcalcGetMinMax_float;
    static constexpr MinMaxCdeclFn<float> cdecl_twin = zrcalcGetMinMax_float_cdecl;
};
template <>
struct Entry<int16_t> {
    static constexpr MinMaxFn<int16_t> stdcall = zrcalcGetMinMax_int16_t;
    static constexpr MinMaxCdeclFn<int16_t> cdecl_twin = zrcalcGetMinMax_int16_t_cdecl;
};
template <>
struct Entry<int32_t> {
    static constexpr MinMaxFn<int32_t> stdcall = zrcalcGetMinMax_int32_t;
    static constexpr MinMaxCdeclFn<int32_t> cdecl_twin = zrcalcGetMinMax_int32_t_cdecl;
};

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
    if (count % 2)
        Entry<T>::cdecl_twin(data, count, &r.lo, &r.hi);
    else
        Entry<T>::stdcall(data, count, &r.lo, &r.hi);
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

// The extremes planted at every position: the unaligned head, either half of a
// block, the overlap of the last vector, the tail.
TYPED_TEST(GetMinMax, FindsTheExtremesWhereverTheyLie)
{
    using T = TypeParam;
    constexpr uint32_t W = kW<T>;
    for (uint32_t count = 1; count <= 3 * W + 3; ++count) {
        for (std::size_t offset : zrtest::alignment_offsets<T>()) {
            for (uint32_t at = 0; at < count; ++at) {
                std::vector<T> x(count, T(5));
                x[at] = T(-7);
                x[count - 1 - at] = at == count - 1 - at ? T(-7) : T(9);
                const zrtest::OffsetArray<T> data(x, offset);
                ASSERT_TRUE(MatchesModel(x, get_min_max(data.data(), count)))
                    << "count " << count << ", offset " << offset << ", at " << at;
            }
        }
    }
}

TYPED_TEST(GetMinMax, ReportsTheTypeLimitsExactly)
{
    using T = TypeParam;
    using Limits = std::numeric_limits<T>;
    for (uint32_t count : {1u, kW<T> - 1, kW<T>, 2 * kW<T> + 1}) {
        std::vector<T> x = zrtest::random_samples<T>(count, 7);
        x[count / 2] = Limits::lowest();
        x[count - 1] = Limits::max();
        if (count == 1) x[0] = Limits::lowest();
        const auto r = get_min_max(x.data(), count);
        EXPECT_TRUE(zrtest::BitsEqual(Limits::lowest(), r.lo)) << count;
        EXPECT_TRUE(zrtest::BitsEqual(count == 1 ? Limits::lowest() : Limits::max(), r.hi)) << count;
    }
}

TYPED_TEST(GetMinMax, CountZeroReadsAndWritesNothing)
{
    using T = TypeParam;
    zrtest::GuardedArray<T> empty(0, zrtest::Guard::After);
    T lo = T(3), hi = T(4);
    Entry<T>::stdcall(empty.data(), 0, &lo, &hi);
    Entry<T>::cdecl_twin(empty.data(), 0, &lo, &hi);
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
            Entry<T>::stdcall(data.data(), count, lo.data(), hi.data());
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
        for (uint32_t count = 1; count <= 3 * kW<T> + 3; ++count) {
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
