// Accumulating min/max/sum/sum of squares: every variant against a scalar model of
// its summation order (written here from the rule, not from the library), bit for
// bit, at every count around the block widths and every alignment, also flush
// against guard pages; the stated values; and the properties a caller relies on
// when feeding a record in blocks.
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

// A variant: its entry point, block width W and alignment boundary A.
template <class S, class O, std::uint32_t W, std::uintptr_t A, auto Entry>
struct Variant {
    using Sample = S;
    using Offset = O;
    static constexpr std::uint32_t kWidth = W;
    static constexpr std::uintptr_t kBoundary = A;
    static void call(const S* d, std::uint32_t n, Stats<S>& s, O o)
    {
        Entry(d, n, &s.min, &s.max, &s.sum, &s.squares, o);
    }
};
using Variants = ::testing::Types<Variant<double, double, 4, 32, zrcalcGetMinMaxAveRMS_double>,
                                  Variant<float, float, 8, 32, zrcalcGetMinMaxAveRMS_float>,
                                  Variant<std::int16_t, float, 8, 16, zrcalcGetMinMaxAveRMS_int16_t>,
                                  Variant<std::int32_t, double, 4, 16, zrcalcGetMinMaxAveRMS_int32_t>>;

// ---------------------------------------------------------------------------
// Scalar model of the summation order.
// ---------------------------------------------------------------------------
template <class V, class S = typename V::Sample, class O = typename V::Offset>
Stats<S> model(const S* x, std::uint32_t n, Stats<S> s, O o)
{
    constexpr bool kFloat = std::is_same_v<S, float>;
    constexpr std::uint32_t W = V::kWidth;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (x[i] < s.min) s.min = x[i];
        if (x[i] > s.max) s.max = x[i];
    }
    // One sample at a time on the totals: a float offset is added in single precision.
    auto one_by_one = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t i = from; i < to; ++i) {
            double y = static_cast<double>(x[i]) + o;
            if constexpr (std::is_same_v<O, float>) y = static_cast<double>(static_cast<float>(x[i]) + o);
            s.sum = s.sum + static_cast<double>(x[i]);
            s.squares = std::fma(y, y, s.squares);
        }
    };
    if (n < W) {
        one_by_one(0, n);
        return s;
    }
    const auto a = reinterpret_cast<std::uintptr_t>(x);
    const auto h = static_cast<std::uint32_t>((V::kBoundary - a % V::kBoundary) % V::kBoundary / sizeof(S));
    // Float lanes begin as the head block itself (-0.0 + x is x for every x);
    // the others at 0.0.
    double S4[4], Q4[4];
    for (int j = 0; j < 4; ++j) S4[j] = Q4[j] = kFloat ? -0.0 : 0.0;
    // Lane j takes e_j, then e_(j+4) when W = 8, in double. Samples outside
    // [from, to) (the lanes a float head or tail leaves out) add -0.0.
    auto block = [&](const S* e, std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t j = 0; j < 4; ++j) {
            for (std::uint32_t k = j; k < W; k += 4) {
                const bool in = k >= from && k < to;
                const double xk = in ? static_cast<double>(e[k]) : -0.0;
                const double yk = in ? xk + static_cast<double>(o) : -0.0;
                S4[j] = S4[j] + xk;
                Q4[j] = std::fma(yk, yk, Q4[j]);
            }
        }
    };
    std::uint32_t i = h;
    if constexpr (kFloat) {
        i = h == 0 ? 8 : h;
        block(x, 0, i);
        for (; n - i >= 8; i += 8) block(x + i, 0, 8);
        if (i < n) block(x + n - 8, 8 - (n - i), 8);
    } else {
        one_by_one(0, h);
        for (; n - i >= W; i += W) block(x + i, 0, W);
    }
    s.sum = s.sum + ((S4[0] + S4[2]) + (S4[1] + S4[3]));
    s.squares = s.squares + ((Q4[0] + Q4[2]) + (Q4[1] + Q4[3]));
    if constexpr (!kFloat) one_by_one(i, n);
    return s;
}

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
::testing::AssertionResult SameStats(const Stats<S>& expected, const Stats<S>& actual)
{
    for (auto r : {zrtest::BitsEqual(expected.min, actual.min) << " (minimum)",
                   zrtest::BitsEqual(expected.max, actual.max) << " (maximum)",
                   zrtest::BitsEqual(expected.sum, actual.sum) << " (sum)",
                   zrtest::BitsEqual(expected.squares, actual.squares) << " (sum of squares)"})
        if (!r) return r;
    return ::testing::AssertionSuccess();
}

// Bit for bit; a NaN sum matches any NaN (its payload is not part of the rule).
template <class V, class S = typename V::Sample>
::testing::AssertionResult CallMatchesModel(const S* data, std::uint32_t n, const Stats<S>& prior, typename V::Offset o)
{
    Stats<S> actual = prior, expected = model<V>(data, n, prior, o);
    V::call(data, n, actual, o);
    if (std::isnan(expected.sum) && std::isnan(actual.sum)) expected.sum = actual.sum;
    if (std::isnan(expected.squares) && std::isnan(actual.squares)) expected.squares = actual.squares;
    return SameStats(expected, actual) << " (count " << n << ")";
}

template <class V>
class MinMaxAveRms : public ::testing::Test {};
TYPED_TEST_SUITE(MinMaxAveRms, Variants);

// Every count 0..40 at every alignment, and flush against an inaccessible page
// after, then before the read-only block (at count 0 the pointer lies on the page,
// and nothing may change). Two priors: bounds that the samples replace, and bounds
// beyond every sample that must be kept. The offset 0.1 is inexact, so a float
// offset added in the wrong precision changes the last bits.
TYPED_TEST(MinMaxAveRms, MatchesTheModelAtEveryCountAndAlignment)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const typename V::Offset offset(0.1);
    const S lowest = std::numeric_limits<S>::lowest(), highest = std::numeric_limits<S>::max();
    for (const Stats<S>& prior : {Stats<S>{highest, lowest, 0.75, 2.5}, Stats<S>{lowest, highest, -3.0, 1e-3}}) {
        for (std::uint32_t n = 0; n <= 40; ++n) {
            const std::vector<S> values = samples<S>(n, n);
            for (std::size_t offsetBytes : zrtest::alignment_offsets<S>()) {
                const zrtest::OffsetArray<S> data(values, offsetBytes);
                EXPECT_TRUE(CallMatchesModel<V>(data.data(), n, prior, offset)) << " at +" << offsetBytes;
            }
            for (zrtest::Guard guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
                zrtest::GuardedArray<S> data(values.data(), n, guard);
                data.make_read_only();
                EXPECT_TRUE(CallMatchesModel<V>(data.data(), n, prior, offset)) << " with guard pages";
            }
        }
    }
}

// The values stated for every variant; rows for a single variant name it. The
// double row is 8 bytes past a 32-byte boundary: three head samples and one tail
// sample; summed one by one the 1 after 1e16 is lost and the last 1 is kept (any
// lane order gives 0 or 2). The float rows: eight samples at a boundary are the
// head alone; nine 4 bytes past it are a seven-sample head and samples 7 and 8
// through the last eight; each sample is counted once.
enum class Only { Any, Double, Float, Int16 };
template <class S>
constexpr Only kOnly = std::is_same_v<S, double> ? Only::Double
                       : std::is_same_v<S, float> ? Only::Float
                       : std::is_same_v<S, std::int16_t> ? Only::Int16 : Only::Any;
struct Stated {
    const char* what;
    Only only;
    int offsetBytes;    // -1: every alignment
    std::vector<double> x;
    double offset;
    double prior[4], expected[4];  // min, max, sum, sum of squares
};
const std::vector<double> kRamp = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // average 5
const Stated kStated[] = {
    {"one sample between the bounds", Only::Any, -1, {3}, 0.5, {-5, 10, 0, 0}, {-5, 10, 3, 12.25}},
    {"one sample above", Only::Any, -1, {12}, 0.5, {-5, 10, 0, 0}, {-5, 12, 12, 156.25}},
    {"one sample below", Only::Any, -1, {-7}, 0.5, {-5, 10, 0, 0}, {-7, 10, -7, 42.25}},
    {"offset 0", Only::Any, -1, kRamp, 0, {100, -100, 0, 0}, {1, 9, 45, 285}},
    {"offset -average: squared deviations", Only::Any, -1, kRamp, -5, {100, -100, 0, 0}, {1, 9, 45, 60}},
    {"head of three, one tail sample", Only::Double, 8, {1e16, 1, -1e16, 1}, 0, {0, 0, 0, 0},
     {-1e16, 1e16, 1, std::fma(1.0, 1.0, std::fma(-1e16, -1e16, std::fma(1.0, 1.0, 1e32)))}},
    {"eight at a boundary", Only::Float, 0, {1, 2, 3, 4, 5, 6, 7, 8}, 0.5, {100, -100, 0, 0}, {1, 8, 36, 242}},
    {"nine 4 bytes past one", Only::Float, 4, kRamp, 0.5, {100, -100, 0, 0}, {1, 9, 45, 332.25}},
    {"limits, short path", Only::Int16, -1, {1, -32768, 1, 32767, 1}, 0, {0, 0, 0, 0}, {-32768, 32767, 2, 2147418116}},
    {"limits, block path", Only::Int16, -1, {1, -32768, 1, 1, 1, 1, 1, 1, 1, 32767, 1}, 0, {0, 0, 0, 0},
     {-32768, 32767, 8, 2147418122}},
    {"4096 times 32767, summed exactly", Only::Int16, -1, std::vector<double>(4096, 32767), 0, {0, 0, 0, 0},
     {0, 32767, 4096.0 * 32767, 4096.0 * 32767 * 32767}},
};

TYPED_TEST(MinMaxAveRms, StatedValues)
{
    using V = TypeParam;
    using S = typename V::Sample;
    for (const Stated& row : kStated) {
        if (row.only != Only::Any && row.only != kOnly<S>) continue;
        const std::vector<S> values(row.x.begin(), row.x.end());
        auto stats = [](const double (&v)[4]) { return Stats<S>{S(v[0]), S(v[1]), v[2], v[3]}; };
        for (std::size_t offsetBytes : zrtest::alignment_offsets<S>()) {
            if (row.offsetBytes >= 0 && offsetBytes != std::size_t(row.offsetBytes)) continue;
            const zrtest::OffsetArray<S> data(values, offsetBytes);
            Stats<S> actual = stats(row.prior);
            V::call(data.data(), static_cast<std::uint32_t>(values.size()), actual, typename V::Offset(row.offset));
            EXPECT_TRUE(SameStats(stats(row.expected), actual)) << row.what << ", at +" << offsetBytes;
        }
    }
}

// A record fed in two pieces: the same bounds, and sums equal up to rounding.
TYPED_TEST(MinMaxAveRms, SplitBlockGivesTheSameBoundsAndSumsUpToRounding)
{
    using V = TypeParam;
    using S = typename V::Sample;
    const std::uint32_t n = 1000;
    const typename V::Offset offset(0.1);
    const std::vector<S> values = samples<S>(n, 2024);
    Stats<S> whole{values[0], values[0], 0.0, 0.0};
    V::call(values.data(), n, whole, offset);
    double magnitude = 0.0;
    for (S x : values) magnitude += std::fabs(static_cast<double>(x));
    // A float offset is added in single precision where samples are taken one by one.
    const double squaresTolerance = std::is_same_v<typename V::Offset, float> ? 1e-6 : 1e-13;
    for (std::uint32_t cut : {1u, 3u, 7u, 8u, 9u, 333u, 996u, 999u}) {
        Stats<S> pieces{values[0], values[0], 0.0, 0.0};
        V::call(values.data(), cut, pieces, offset);
        V::call(values.data() + cut, n - cut, pieces, offset);
        EXPECT_TRUE(zrtest::BitsEqual(whole.min, pieces.min)) << "cut at " << cut;
        EXPECT_TRUE(zrtest::BitsEqual(whole.max, pieces.max)) << "cut at " << cut;
        EXPECT_NEAR(whole.sum, pieces.sum, 1e-13 * magnitude) << "cut at " << cut;
        EXPECT_NEAR(whole.squares, pieces.squares, squaresTolerance * whole.squares) << "cut at " << cut;
    }
}

// A NaN sample never becomes a bound and makes both sums NaN; a NaN bound stays.
// An infinite sample is counted once, at its own place, wherever the block lies:
// the float lanes that a head or tail leaves out must not turn it into 0 * inf.
// Each planted at every position, at every alignment.
TYPED_TEST(MinMaxAveRms, NaNAndInfiniteSamplesAtEveryPlace)
{
    using V = TypeParam;
    using S = typename V::Sample;
    if constexpr (std::is_floating_point_v<S>) {
        const S nan = std::numeric_limits<S>::quiet_NaN(), inf = std::numeric_limits<S>::infinity();
        const Stats<S> priors[] = {{S(1e30), S(-1e30), 0.0, 0.0}, {nan, nan, 1.0, 1.0}};
        for (std::uint32_t n : {3u, 7u, 8u, 9u, 15u, 17u, 23u, 40u}) {
            for (std::uint32_t at = 0; at < n; ++at) {
                std::vector<S> values = samples<S>(n, n);
                for (S special : {nan, inf}) {
                    values[at] = special;
                    for (std::size_t offsetBytes : zrtest::alignment_offsets<S>()) {
                        const zrtest::OffsetArray<S> data(values, offsetBytes);
                        for (const Stats<S>& prior : priors)
                            EXPECT_TRUE(CallMatchesModel<V>(data.data(), n, prior, typename V::Offset(0.5)))
                                << special << " at " << at << ", +" << offsetBytes;
                        Stats<S> s{S(0), S(0), 0.0, 0.0};
                        V::call(data.data(), n, s, typename V::Offset(0.5));
                        EXPECT_TRUE(special == inf ? s.sum == double(inf) && s.squares == double(inf)
                                                   : std::isnan(s.sum) && std::isnan(s.squares))
                            << special << " at " << at << ", count " << n;
                    }
                }
            }
        }
    }
}

}  // namespace
