// zrcalcGetMinMax_{double,float,int16_t,int32_t}: one generic body over the four
// sample types, every count around the vector passes, every alignment, and the
// extremes (or NaNs) planted at every position.
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

void call(const double* d, uint32_t n, double* lo, double* hi) { zrcalcGetMinMax_double(d, n, lo, hi); }
void call(const float* d, uint32_t n, float* lo, float* hi) { zrcalcGetMinMax_float(d, n, lo, hi); }
void call(const int16_t* d, uint32_t n, int16_t* lo, int16_t* hi) { zrcalcGetMinMax_int16_t(d, n, lo, hi); }
void call(const int32_t* d, uint32_t n, int32_t* lo, int32_t* hi) { zrcalcGetMinMax_int32_t(d, n, lo, hi); }

template <class T>
constexpr uint32_t kW = 32 / sizeof(T);

// The stated result: the smallest and largest of the samples that are not NaN
// (a NaN is the one value unequal to itself), x_0 when every sample is NaN. Test
// data has no signed-zero ties, so the value fixes the bits.
template <class T>
::testing::AssertionResult MatchesModel(const std::vector<T>& x, T lo, T hi)
{
    T elo = x[0], ehi = x[0];
    bool seen = false;
    for (T v : x) {
        if (v != v) continue;
        if (!seen || v < elo) elo = v;
        if (!seen || v > ehi) ehi = v;
        seen = true;
    }
    if (!zrtest::same_bits(elo, lo)) return zrtest::BitsEqual(elo, lo) << " (minimum)";
    return zrtest::BitsEqual(ehi, hi) << " (maximum)";
}

// Outputs start as a pattern that the operation must overwrite.
template <class T>
::testing::AssertionResult CallMatchesModel(const std::vector<T>& x, std::size_t offsetBytes)
{
    const zrtest::OffsetArray<T> data(x, offsetBytes);
    T r[2];
    std::memset(r, 0x5A, sizeof r);
    call(data.data(), static_cast<uint32_t>(x.size()), &r[0], &r[1]);
    return MatchesModel(x, r[0], r[1]) << " (count " << x.size() << ", offset " << offsetBytes << ")";
}

template <class T>
T nan_with_payload(unsigned payload)
{
    const T nan = std::numeric_limits<T>::quiet_NaN();
    std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t> bits;
    std::memcpy(&bits, &nan, sizeof bits);
    bits += payload;
    T out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

template <class T>
class GetMinMax : public ::testing::Test {};
using SampleTypes = ::testing::Types<double, float, int16_t, int32_t>;
TYPED_TEST_SUITE(GetMinMax, SampleTypes);

// Every count through three passes (short path, count = W with one or no block,
// the overlapped last vector) and three that run the four-way block loop. At
// every alignment: random samples, then the type's limits planted at every
// position (unaligned head, either half of a block, the overlap of the last
// vector, the tail; integers compare signed), then for floating point two NaNs
// at every position and a block of NaNs with distinct payloads. Up to 3W + 3 also
// flush against an inaccessible page after, then before the read-only block,
// with the outputs in guarded cells; at count 0 the block pointer lies on the
// page (or at the start of the pages) and the outputs stay.
TYPED_TEST(GetMinMax, MatchesTheModelAtEveryCountAlignmentAndPosition)
{
    using T = TypeParam;
    constexpr uint32_t W = kW<T>;
    constexpr bool kFloating = std::is_floating_point_v<T>;
    auto counts = zrtest::counts_up_to(3 * W + 3);
    for (uint32_t c : {5 * W + 1, 8 * W + 3, 17 * W + 5}) counts.push_back(c);
    for (uint32_t count : counts) {
        const auto x = zrtest::random_samples<T>(count, 1000 + count);
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            if (count > 3 * W + 3) break;
            zrtest::GuardedArray<T> data(x.data(), count, guard);
            data.make_read_only();
            zrtest::GuardedArray<T> lo(1, guard), hi(1, guard);
            lo[0] = T(3);
            hi[0] = T(4);
            call(data.data(), count, lo.data(), hi.data());
            EXPECT_TRUE(count ? MatchesModel(x, lo[0], hi[0]) : MatchesModel<T>({T(3), T(4)}, lo[0], hi[0]))
                << "guard pages, count " << count;
        }
        for (std::size_t offset : zrtest::alignment_offsets<T>()) {
            if (count == 0) break;
            ASSERT_TRUE(CallMatchesModel(x, offset));
            for (uint32_t at = 0; at < count; ++at) {
                auto y = x;
                y[count - 1 - at] = std::numeric_limits<T>::max();
                y[at] = std::numeric_limits<T>::lowest();
                ASSERT_TRUE(CallMatchesModel(y, offset)) << "limits at " << at;
                if constexpr (kFloating) {
                    y = x;
                    y[at] = y[(at + 3) % count] = std::numeric_limits<T>::quiet_NaN();
                    ASSERT_TRUE(CallMatchesModel(y, offset)) << "NaN at " << at;
                }
            }
            if constexpr (kFloating) {
                std::vector<T> nans(count);
                for (uint32_t i = 0; i < count; ++i) nans[i] = nan_with_payload<T>(i + 1);
                ASSERT_TRUE(CallMatchesModel(nans, offset)) << "all NaN";
            }
        }
    }
}

// Zeros of both signs compare equal and a lane keeps the later of equal samples,
// so the sign of the last zeros before a final vector of larger (smaller) values
// is reported. A fault in the order in which the block loop's runs or the lanes
// are combined shows here and nowhere else.
TYPED_TEST(GetMinMax, SignedZerosResolveToTheLaterSample)
{
    using T = TypeParam;
    if constexpr (std::is_floating_point_v<T>) {
        constexpr uint32_t W = kW<T>;
        for (T lastZero : {T(0.0), T(-0.0)}) {
            for (uint32_t count = 2 * W; count <= 24 * W; count += 3) {
                auto x = zrtest::random_samples<T>(count, count);
                for (auto& v : x) v = std::signbit(v) ? T(-0.0) : T(0.0);
                std::fill(x.end() - 2 * W, x.end() - W, lastZero);
                for (std::size_t offset : zrtest::alignment_offsets<T>()) {
                    for (T beyond : {T(1), T(-1)}) {
                        std::fill(x.end() - W, x.end(), beyond);
                        const zrtest::OffsetArray<T> data(x, offset);
                        T lo, hi;
                        call(data.data(), count, &lo, &hi);
                        ASSERT_TRUE(zrtest::BitsEqual(lastZero, beyond > 0 ? lo : hi))
                            << "count " << count << ", offset " << offset;
                    }
                }
            }
        }
    }
}

}  // namespace
