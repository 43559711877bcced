// Accumulating min/max/sum/sum of squares: every variant against a scalar model of
// its summation order (written here from the rule, not from the library), bit for
// bit, at every count around the block widths and every alignment; the stated
// values; and the properties a caller relies on when feeding a record in blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

template <class S>
struct Stats {
    S min, max;
    double sum, squares;
};

// ---------------------------------------------------------------------------
// The four variants: entry points, block geometry, and how a sample is shifted
// where the library takes it one at a time (inside blocks it is always
// double(x) + double(offset)).
// ---------------------------------------------------------------------------
#define ZRTEST_ENTRIES(fn)                                                                               \
    static void call(const Sample* d, std::uint32_t n, Stats<Sample>& s, Offset o)                       \
    {                                                                                                    \
        fn(d, n, &s.min, &s.max, &s.sum, &s.squares, o);                                                 \
    }                                                                                                    \
    static void call_cdecl(const Sample* d, std::uint32_t n, Stats<Sample>& s, Offset o)                 \
    {                                                                                                    \
        fn##_cdecl(d, n, &s.min, &s.max, &s.sum, &s.squares, o);                                         \
    }

struct DoubleVariant {
    using Sample = double;
    using Offset = double;
    static constexpr std::uint32_t kWidth = 4, kBoundary = 32;
    static constexpr Offset kOffset = 0.1;
    static double shift_one(Sample x, Offset o) { return x + o; }
    ZRTEST_ENTRIES(zrcalcGetMinMaxAveRMS_double)
};
struct FloatVariant {
    using Sample = float;
    using Offset = float;
    static constexpr std::uint32_t kWidth = 8, kBoundary = 32;
    static constexpr Offset kOffset = 0.1f;
    static double shift_one(Sample x, Offset o) { return static_cast<double>(x + o); }
    ZRTEST_ENTRIES(zrcalcGetMinMaxAveRMS_float)
};
struct Int16Variant {
    using Sample = std::int16_t;
    using Offset = float;
    static constexpr std::uint32_t kWidth = 8, kBoundary = 16;
    static constexpr Offset kOffset = 0.3f;
    static double shift_one(Sample x, Offset o) { return static_cast<double>(static_cast<float>(x) + o); }
    ZRTEST_ENTRIES(zrcalcGetMinMaxAveRMS_int16_t)
};
struct Int32Variant {
    using Sample = std::int32_t;
    using Offset = double;
    static constexpr std::uint32_t kWidth = 4, kBoundary = 16;
    static constexpr Offset kOffset = -0.7;
    static double shift_one(Sample x, Offset o) { return static_cast<double>(x) + o; }
    ZRTEST_ENTRIES(zrcalcGetMinMaxAveRMS_int32_t)
};
#undef ZRTEST_ENTRIES

// ---------------------------------------------------------------------------
// Scalar model of the summation order.
// ---------------------------------------------------------------------------
template <class V>
void model_one(Stats<typename V::Sample>& s, typename V::Sample x, typename V::Offset o)
{
    s.sum = s.sum + static_cast<double>(x);
    const double y = V::shift_one(x, o);
    s.squares = std::fma(y, y, s.squares);
}

template <class V>
double shift_block(typename V::Sample x, typename V::Offset o)
{
    return static_cast<double>(x) + static_cast<double>(o);
}

inline double lanes_02_13(const double (&l)[4]) { return (l[0] + l[2]) + (l[1] + l[3]); }

// The float variant: head and tail are the first and last eight samples scaled by
// factors 1.0 / 0.0 in single precision.
inline void model_float_blocks(const float* x, std::uint32_t n, Stats<float>& s, float o, std::uint32_t h)
{
    const std::uint32_t taken = h == 0 ? 8 : h;
    double S[4], Q[4], xs[8], ys[8];
    auto factored = [&](const float* e, auto keep) {
        for (int j = 0; j < 8; ++j) {
            const float f = keep(j) ? 1.0f : 0.0f;
            xs[j] = static_cast<double>(f * e[j]);
            ys[j] = static_cast<double>(f * o) + xs[j];
        }
    };
    factored(x, [&](int j) { return j < static_cast<int>(taken); });
    for (int j = 0; j < 4; ++j) {
        S[j] = xs[j] + xs[j + 4];
        Q[j] = std::fma(ys[j + 4], ys[j + 4], ys[j] * ys[j]);
    }
    auto add_block = [&] {
        for (int j = 0; j < 4; ++j) {
            S[j] = (S[j] + xs[j]) + xs[j + 4];
            Q[j] = std::fma(ys[j + 4], ys[j + 4], std::fma(ys[j], ys[j], Q[j]));
        }
    };
    const std::uint32_t blocks = (n - taken) / 8, r = (n - taken) % 8;
    for (std::uint32_t b = 0; b < blocks; ++b) {
        factored(x + taken + 8 * b, [](int) { return true; });
        add_block();
    }
    if (r > 0) {
        factored(x + n - 8, [&](int j) { return j >= static_cast<int>(8 - r); });
        add_block();
    }
    s.sum = s.sum + lanes_02_13(S);
    s.squares = s.squares + lanes_02_13(Q);
}

template <class V>
Stats<typename V::Sample> model(const typename V::Sample* x, std::uint32_t n, Stats<typename V::Sample> s,
                                typename V::Offset o)
{
    using Sample = typename V::Sample;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (x[i] < s.min) s.min = x[i];
        if (x[i] > s.max) s.max = x[i];
    }
    if (n < V::kWidth) {
        for (std::uint32_t i = 0; i < n; ++i) model_one<V>(s, x[i], o);
        return s;
    }
    const auto a = reinterpret_cast<std::uintptr_t>(x);
    const std::uint32_t h = static_cast<std::uint32_t>((V::kBoundary - a % V::kBoundary) % V::kBoundary / sizeof(Sample));
    if constexpr (std::is_same_v<Sample, float>) {
        model_float_blocks(x, n, s, o, h);
        return s;
    }
    std::uint32_t i = 0;
    for (; i < h; ++i) model_one<V>(s, x[i], o);
    double S[4] = {0, 0, 0, 0}, Q[4] = {0, 0, 0, 0};
    for (; n - i >= V::kWidth; i += V::kWidth) {
        for (int j = 0; j < 4; ++j) {
            const double y = shift_block<V>(x[i + j], o);
            if (V::kWidth == 4) {
                S[j] = S[j] + static_cast<double>(x[i + j]);
                Q[j] = std::fma(y, y, Q[j]);
            } else {
                const double y4 = shift_block<V>(x[i + j + 4], o);
                S[j] = (S[j] + static_cast<double>(x[i + j])) + static_cast<double>(x[i + j + 4]);
                Q[j] = std::fma(y4, y4, std::fma(y, y, Q[j]));
            }
        }
    }
    s.sum = s.sum + lanes_02_13(S);
    s.squares = s.squares + lanes_02_13(Q);
    for (; i < n; ++i) model_one<V>(s, x[i], o);
    return s;
}

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

// Integers over their whole range; floating point spread over 2^-30 .. 2^30 times
// the base scale, so that a different order of the sums shows in the last bits.
template <class S>
std::vector<S> samples(std::size_t n, std::uint64_t seed)
{
    auto v = zrtest::random_samples<S>(n, seed);
    if constexpr (std::is_floating_point_v<S>) {
        std::mt19937 rng(static_cast<std::uint32_t>(seed) ^ 0x5eedu);
        for (auto& x : v) x = std::ldexp(x, static_cast<int>(rng() % 61) - 30);
    }
    return v;
}

template <class S>
Stats<S> some_prior(std::uint64_t seed)
{
    const S v = samples<S>(1, seed ^ 0xabcdef)[0];
    return {v, v, 0.75, 2.5};
}

template <class S>
::testing::AssertionResult SameStats(const Stats<S>& expected, const Stats<S>& actual)
{
    for (auto r : {zrtest::BitsEqual(expected.min, actual.min), zrtest::BitsEqual(expected.max, actual.max),
                   zrtest::BitsEqual(expected.sum, actual.sum),
                   zrtest::BitsEqual(expected.squares, actual.squares)}) {
        if (!r) return ::testing::AssertionFailure() << "(min, max, sum, squares in this order) " << r.message();
    }
    return ::testing::AssertionSuccess();
}

template <class V>
class MinMaxAveRms : public ::testing::Test {};
using Variants = ::testing::Types<DoubleVariant, FloatVariant, Int16Variant, Int32Variant>;
TYPED_TEST_SUITE(MinMaxAveRms, Variants);

constexpr std::uint32_t kMaxCount = 40;

// ---------------------------------------------------------------------------
// The summation order, on every path
// ---------------------------------------------------------------------------

// Random samples, and signed zeros, which make the signs of zero partial sums
// visible: the lanes left out of the float head and tail must add nothing, and
// the lane sums are added even when no whole block was summed (a prior -0.0 sum
// becomes +0.0). Which zero is reported as minimum or maximum is not fixed.
TYPED_TEST(MinMaxAveRms, MatchesTheScalarOrderAtEveryCountAndAlignment)
{
    using V = TypeParam;
    using S = typename V::Sample;
    std::mt19937 rng(7);
    for (bool zeros : {false, true}) {
        if (zeros && !std::is_floating_point_v<S>) continue;
        for (std::size_t offsetBytes : zrtest::alignment_offsets<S>()) {
            for (std::uint32_t n = 0; n <= kMaxCount; ++n) {
                const std::uint64_t seed = n * 131 + offsetBytes;
                std::vector<S> values = samples<S>(n, seed);
                Stats<S> prior = some_prior<S>(seed);
                typename V::Offset offset = V::kOffset;
                if (zeros) {
                    for (auto& z : values) z = (rng() % 4 == 0) ? S(0) : -S(0);
                    prior = {S(1), S(-1), (rng() % 2) ? 0.0 : -0.0, -0.0};
                    offset = 0;
                }
                const zrtest::OffsetArray<S> data(values, offsetBytes);
                Stats<S> actual = prior;
                V::call(data.data(), n, actual, offset);
                Stats<S> expected = model<V>(data.data(), n, prior, offset);
                if (zeros && expected.min == actual.min && expected.max == actual.max) {
                    expected.min = actual.min;
                    expected.max = actual.max;
                }
                EXPECT_TRUE(SameStats(expected, actual))
                    << "count " << n << ", " << offsetBytes << " bytes past a 64-byte boundary" << (zeros ? ", zeros" : "");
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Memory: nothing outside the caller's block is read, and nothing of it written
// ---------------------------------------------------------------------------

TYPED_TEST(MinMaxAveRms, CountZeroTouchesNothing)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const zrtest::GuardedArray<S> noSamples(0, zrtest::Guard::After);  // points at a PROT_NONE page
    const Stats<S> prior{S(7), S(-7), -0.0, 3.0};
    Stats<S> stats = prior;
    V::call(noSamples.data(), 0, stats, V::kOffset);
    EXPECT_TRUE(SameStats(prior, stats));
    V::call_cdecl(noSamples.data(), 0, stats, V::kOffset);
    EXPECT_TRUE(SameStats(prior, stats));
}

TYPED_TEST(MinMaxAveRms, ReadsOnlyTheBlockWithGuardPagesOnEitherSide)
{
    using V = TypeParam;
    using S = typename V::Sample;
    for (zrtest::Guard guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
        for (std::uint32_t n = 0; n <= kMaxCount; ++n) {
            const std::vector<S> values = samples<S>(n, n);
            zrtest::GuardedArray<S> data(values.data(), n, guard);
            data.make_read_only();
            const Stats<S> prior = some_prior<S>(n);
            Stats<S> actual = prior;
            V::call(data.data(), n, actual, V::kOffset);
            EXPECT_TRUE(SameStats(model<V>(data.data(), n, prior, V::kOffset), actual)) << "count " << n;
        }
    }
}

// ---------------------------------------------------------------------------
// What a caller relies on
// ---------------------------------------------------------------------------

TYPED_TEST(MinMaxAveRms, OneSampleMovesOnlyTheBoundItLiesOutside)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const S values[] = {S(3), S(12), S(-7)};
    const Stats<S> expected[] = {{S(-5), S(10), 3.0, 12.25}, {S(-5), S(12), 12.0, 156.25}, {S(-7), S(10), -7.0, 42.25}};
    for (int k = 0; k < 3; ++k) {
        Stats<S> stats{S(-5), S(10), 0.0, 0.0};
        V::call(&values[k], 1, stats, typename V::Offset(0.5));
        EXPECT_TRUE(SameStats(expected[k], stats)) << "sample " << +values[k];
    }
}

TYPED_TEST(MinMaxAveRms, OffsetShiftsOnlyTheSquares)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const std::vector<S> ramp = {S(1), S(2), S(3), S(4), S(5), S(6), S(7), S(8), S(9)};  // average 5
    for (std::size_t offsetBytes : zrtest::alignment_offsets<S>()) {
        const zrtest::OffsetArray<S> data(ramp, offsetBytes);
        Stats<S> plain{S(100), S(-100), 0.0, 0.0}, centred = plain;
        V::call(data.data(), 9, plain, typename V::Offset(0));
        V::call(data.data(), 9, centred, typename V::Offset(-5));
        EXPECT_EQ(45.0, plain.sum);
        EXPECT_EQ(45.0, centred.sum);
        EXPECT_EQ(285.0, plain.squares);
        EXPECT_EQ(60.0, centred.squares);  // sum of squared deviations
        EXPECT_EQ(S(1), centred.min);
        EXPECT_EQ(S(9), centred.max);
    }
}

TYPED_TEST(MinMaxAveRms, PriorBoundsBeyondAllSamplesAreKept)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const S below = std::numeric_limits<S>::lowest(), above = std::numeric_limits<S>::max();
    for (std::uint32_t n : {V::kWidth - 1, 3 * V::kWidth + 1}) {  // short path, block path
        const zrtest::OffsetArray<S> data(samples<S>(n, 99), sizeof(S));
        Stats<S> stats{below, above, 0.0, 0.0};
        V::call(data.data(), n, stats, V::kOffset);
        EXPECT_EQ(below, stats.min) << "count " << n;
        EXPECT_EQ(above, stats.max) << "count " << n;
    }
}

TYPED_TEST(MinMaxAveRms, SplitBlockGivesTheSameBoundsAndSumsUpToRounding)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const std::uint32_t n = 1000;
    const std::vector<S> values = samples<S>(n, 2024);
    Stats<S> whole{values[0], values[0], 0.0, 0.0};
    V::call(values.data(), n, whole, V::kOffset);
    double magnitude = 0.0;
    for (S x : values) magnitude += std::fabs(static_cast<double>(x));
    // A float offset is added in single precision where samples are taken one by one.
    const double squaresTolerance = std::is_same_v<typename V::Offset, float> ? 1e-6 : 1e-13;
    for (std::uint32_t cut : {1u, 3u, 7u, 8u, 9u, 333u, 996u, 999u}) {
        Stats<S> pieces{values[0], values[0], 0.0, 0.0};
        V::call(values.data(), cut, pieces, V::kOffset);
        V::call_cdecl(values.data() + cut, n - cut, pieces, V::kOffset);
        EXPECT_TRUE(zrtest::BitsEqual(whole.min, pieces.min)) << "cut at " << cut;
        EXPECT_TRUE(zrtest::BitsEqual(whole.max, pieces.max)) << "cut at " << cut;
        EXPECT_NEAR(whole.sum, pieces.sum, 1e-13 * magnitude) << "cut at " << cut;
        EXPECT_NEAR(whole.squares, pieces.squares, squaresTolerance * whole.squares) << "cut at " << cut;
    }
}

// ---------------------------------------------------------------------------
// Stated cases of single variants
// ---------------------------------------------------------------------------

// 8 bytes past a 32-byte boundary: three head samples, no whole block, one tail
// sample. Summed one by one the 1 after 1e16 is lost and the last 1 is kept; any
// lane order would give 0 or 2.
TEST(MinMaxAveRmsDouble, FourSamplesAfterAThreeSampleHead)
{
    const zrtest::OffsetArray<double> data({1e16, 1.0, -1e16, 1.0}, 8);
    Stats<double> s{0.0, 0.0, 0.0, 0.0};
    zrcalcGetMinMaxAveRMS_double(data.data(), 4, &s.min, &s.max, &s.sum, &s.squares, 0.0);
    EXPECT_EQ(1.0, s.sum);
    EXPECT_EQ(std::fma(1.0, 1.0, std::fma(-1e16, -1e16, std::fma(1.0, 1.0, 1e32))), s.squares);
    EXPECT_EQ(-1e16, s.min);
    EXPECT_EQ(1e16, s.max);

    const zrtest::OffsetArray<double> lowLast({1.0, 2.0, 3.0, -100.0}, 8);  // a tail sample
    Stats<double> t{0.0, 0.0, 0.0, 0.0};
    zrcalcGetMinMaxAveRMS_double(lowLast.data(), 4, &t.min, &t.max, &t.sum, &t.squares, 0.0);
    EXPECT_EQ(-100.0, t.min);
    EXPECT_EQ(3.0, t.max);
}

// Eight samples at a 32-byte boundary: the head takes all eight, no block, no
// tail. Nine samples 4 bytes past it: a seven-sample head, no whole block, and
// samples 7 and 8 through the last eight. Each sample is counted once.
TEST(MinMaxAveRmsFloat, HeadAndTailCountEverySampleOnce)
{
    const zrtest::OffsetArray<float> eight({1, 2, 3, 4, 5, 6, 7, 8}, 0), nine({1, 2, 3, 4, 5, 6, 7, 8, 9}, 4);
    Stats<float> s{100, -100, 0.0, 0.0}, t = s;
    zrcalcGetMinMaxAveRMS_float(eight.data(), 8, &s.min, &s.max, &s.sum, &s.squares, 0.5f);
    EXPECT_TRUE(SameStats<float>({1, 8, 36.0, 242.0}, s));
    zrcalcGetMinMaxAveRMS_float(nine.data(), 9, &t.min, &t.max, &t.sum, &t.squares, 0.5f);
    EXPECT_TRUE(SameStats<float>({1, 9, 45.0, 332.25}, t));
}

// An infinite sample is summed once, at its own place, wherever the block lies:
// the lanes that the head or tail leave out do not turn it into 0 * inf = NaN.
TEST(MinMaxAveRmsFloat, InfiniteSampleGivesInfiniteSumsAtEveryPlaceAndAlignment)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (std::size_t offsetBytes : zrtest::alignment_offsets<float>()) {
        for (std::uint32_t n : {8u, 9u, 15u, 17u, 23u}) {
            for (std::uint32_t at = 0; at < n; ++at) {
                std::vector<float> values(n, 1.0f);
                values[at] = inf;
                const zrtest::OffsetArray<float> data(values, offsetBytes);
                Stats<float> s{0, 0, 0.0, 0.0};
                zrcalcGetMinMaxAveRMS_float(data.data(), n, &s.min, &s.max, &s.sum, &s.squares, 0.5f);
                EXPECT_EQ(static_cast<double>(inf), s.sum) << "count " << n << ", inf at " << at << ", +" << offsetBytes;
                EXPECT_EQ(static_cast<double>(inf), s.squares) << "count " << n << ", inf at " << at;
                EXPECT_EQ(inf, s.max);
            }
        }
    }
}

TEST(MinMaxAveRmsInt16, FullRangeBoundsAndExactBlockSums)
{
    for (std::uint32_t n : {5u, 40u}) {  // short path, block path
        std::vector<std::int16_t> values(n, 1);
        values[1] = -32768;
        values[n - 2] = 32767;
        Stats<std::int16_t> s{0, 0, 0.0, 0.0};
        zrcalcGetMinMaxAveRMS_int16_t(values.data(), n, &s.min, &s.max, &s.sum, &s.squares, 0.0f);
        EXPECT_EQ(-32768, s.min);
        EXPECT_EQ(32767, s.max);
    }
    const std::vector<std::int16_t> highs(4096, 32767), lows(4096, -32768);
    Stats<std::int16_t> s{0, 0, 0.0, 0.0};
    zrcalcGetMinMaxAveRMS_int16_t(highs.data(), 4096, &s.min, &s.max, &s.sum, &s.squares, 0.0f);
    EXPECT_EQ(4096.0 * 32767, s.sum);
    EXPECT_EQ(4096.0 * 32767 * 32767, s.squares);
    zrcalcGetMinMaxAveRMS_int16_t(lows.data(), 4096, &s.min, &s.max, &s.sum, &s.squares, 0.0f);
    EXPECT_EQ(-4096.0, s.sum);
}

// NaN samples never become a bound; a NaN bound stays. Every position, both paths.
template <class S, class Call>
void check_nan_rule(Call call)
{
    const S nan = std::numeric_limits<S>::quiet_NaN();
    for (std::uint32_t n : {3u, 7u, 8u, 17u, 40u}) {
        for (std::uint32_t at = 0; at < n; ++at) {
            std::vector<S> values(n);
            for (std::uint32_t i = 0; i < n; ++i) values[i] = S(i) - S(10);
            values[at] = nan;
            const S low = at == 0 ? S(-9) : S(-10), high = at == n - 1 ? S(n) - S(12) : S(n) - S(11);
            Stats<S> s{S(1000), S(-1000), 0.0, 0.0};
            call(values.data(), n, s);
            EXPECT_EQ(low, s.min) << "count " << n << ", NaN at " << at;
            EXPECT_EQ(high, s.max) << "count " << n << ", NaN at " << at;
            EXPECT_TRUE(std::isnan(s.sum));
            Stats<S> nanBounds{nan, nan, 0.0, 0.0};
            call(values.data(), n, nanBounds);
            EXPECT_TRUE(std::isnan(nanBounds.min) && std::isnan(nanBounds.max)) << "count " << n;
        }
    }
}

TEST(MinMaxAveRmsNaN, NaNSamplesAreNeverTakenAndNaNBoundsStay)
{
    check_nan_rule<double>([](const double* d, std::uint32_t n, Stats<double>& s) {
        zrcalcGetMinMaxAveRMS_double(d, n, &s.min, &s.max, &s.sum, &s.squares, 0.0);
    });
    check_nan_rule<float>([](const float* d, std::uint32_t n, Stats<float>& s) {
        zrcalcGetMinMaxAveRMS_float(d, n, &s.min, &s.max, &s.sum, &s.squares, 0.0f);
    });
}

}  // namespace
