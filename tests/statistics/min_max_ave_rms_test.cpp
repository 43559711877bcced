// Accumulating min/max/sum/sum of squares: every variant against a scalar model of
// its summation order (written here from the rule, not from the library) through
// the sweep driver; the stated values; and the property a caller relies on when
// feeding a record in blocks.

#include "statistics/running_totals.h"

namespace {

using zrtest::Stats;

// The caller's running totals, in the order of the entry point's arguments.
// A variant: its entry point, block width W and alignment boundary A.
template <class S, class O, std::uint32_t W, std::uintptr_t A, auto Entry>
struct Variant {
    using Sample = S;
    using Offset = O;
    static constexpr std::uint32_t kWidth = W;
    static constexpr std::uintptr_t kBoundary = A;
    static void call(const S* x, uint32_t n, Stats<S>& t, O o) { Entry(x, n, &t.min, &t.max, &t.sum, &t.squares, o); }
};
using DoubleVariant = Variant<double, double, 4, 32, zrcalcGetMinMaxAveRMS_double>;
using FloatVariant = Variant<float, float, 8, 32, zrcalcGetMinMaxAveRMS_float>;
using Int16Variant = Variant<std::int16_t, float, 8, 16, zrcalcGetMinMaxAveRMS_int16_t>;
using Int32Variant = Variant<std::int32_t, double, 4, 16, zrcalcGetMinMaxAveRMS_int32_t>;


// Integers over their whole range; floating point spread over 2^-30 .. 2^30 times
// the base scale, so that a different order of the sums shows in the last bits,
// with an infinity or a NaN planted now and then (an infinite sample is counted
// once, at its own place, wherever the block lies: the float lanes that a head or
// tail leaves out must not turn it into 0 * inf). Below one block the samples are
// often zeros (all -0.0, or of both signs) against zero priors: ties with the bounds
// and zero sums keep their sign.
template <class S>
std::vector<S> samples(std::size_t n, std::uint64_t seed, std::uint32_t width)
{
    auto v = zrtest::random_samples<S>(n, seed);
    std::mt19937 rng(static_cast<std::uint32_t>(seed) ^ 0x5eedu);
    if constexpr (std::is_floating_point_v<S>) {
        for (auto& x : v) x = std::ldexp(x, static_cast<int>(rng() % 61) - 30);
        if (n && seed % 3 == 1) v[rng() % n] = rng() % 2 ? std::numeric_limits<S>::infinity() : NAN;
    }
    if (n < width && seed % 2)  // all -0.0, or zeros of both signs
        for (auto& x : v) x = seed % 4 == 3 && rng() % 2 ? S(0) : S(-0.0);
    return v;
}


// Arrays: the samples, then the four totals as one cell of bytes. Every count
// 0..40 (five blocks of eight); offsets 0.1 (inexact, so a float offset added in
// the wrong precision changes the last bits) and 0; int16 also at the offsets
// whose squares are exact (halves, large integers).
template <class V>
void add_cases(const char* entry, std::vector<zrtest::Case>& cases, std::vector<double> offsets = {0.1, 0.0})
{
    using S = typename V::Sample;
    for (const typename V::Offset o : offsets) {
        const auto totals = [](zrtest::Arrays a) -> Stats<S>& { return *a.at<Stats<S>>(1); };
        cases.push_back({entry, "offset " + std::to_string(o),
                         {zrtest::in<S>(zrtest::fill_with<S>([](std::size_t n, std::uint64_t seed) {
                              return samples<S>(n, seed, V::kWidth);
                          })),
                          zrtest::totals_cell<S>()},
                         40, [=](zrtest::Arrays a, std::uint32_t n) { V::call(a.at<S>(0), n, totals(a), o); },
                         [=](zrtest::Arrays a, std::uint32_t n) {  // on a copy of the totals (see running_totals.h)
                             totals(a) = zrtest::running_totals<S, typename V::Offset, V::kWidth, V::kBoundary>(
                                 a.at<S>(0), n, totals(a), o, a.at<S>(0));
                         },
                         {}, {}, 3});
    }
}

ZRTEST_SWEEP(min_max_ave_rms)
{
    std::vector<zrtest::Case> cases;
    add_cases<DoubleVariant>("zrcalcGetMinMaxAveRMS_double", cases);
    add_cases<FloatVariant>("zrcalcGetMinMaxAveRMS_float", cases);
    add_cases<Int16Variant>("zrcalcGetMinMaxAveRMS_int16_t", cases, {0.1, 0.0, 0.5, -0.5, 40000, -40000.5});
    add_cases<Int32Variant>("zrcalcGetMinMaxAveRMS_int32_t", cases);
    return cases;
}

template <class V>
class MinMaxAveRms : public ::testing::Test {};
using Variants = ::testing::Types<DoubleVariant, FloatVariant, Int16Variant, Int32Variant>;
TYPED_TEST_SUITE(MinMaxAveRms, Variants);

template <class S>
::testing::AssertionResult same_stats(const Stats<S>& e, const Stats<S>& a)
{
    auto r = zrtest::BitsEqual(e.min, a.min) << " (minimum)";
    if (r) r = zrtest::BitsEqual(e.max, a.max) << " (maximum)";
    if (r) r = zrtest::BitsEqual(e.sum, a.sum) << " (sum)";
    return r ? zrtest::BitsEqual(e.squares, a.squares) << " (sum of squares)" : r;
}

// The values stated for every variant; rows for a single variant name it. The
// double row is 8 bytes past a 32-byte boundary: three head samples and one tail
// sample; summed one by one the 1 after 1e16 is lost and the last 1 is kept (any
// lane order gives 0 or 2). The float rows: eight samples at a boundary are the
// head alone; nine 4 bytes past it are a seven-sample head and samples 7 and 8
// through the last eight; each sample is counted once.
enum class Only { Any, Double, Float, Int16, Int32 };
template <class S>
constexpr Only kOnly = std::is_same_v<S, double> ? Only::Double : std::is_same_v<S, float> ? Only::Float
                       : std::is_same_v<S, std::int16_t> ? Only::Int16 : Only::Int32;
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
    // Sample 1 lies in the head and in a lane of the last eight that is left out:
    // counted once, it makes both sums infinite, not 0 * inf.
    {"an infinite sample in a lane left out", Only::Float, 4, {1, HUGE_VAL, 3, 4, 5, 6, 7, 8, 9}, 0.5,
     {100, -100, 0, 0}, {1, HUGE_VAL, HUGE_VAL, HUGE_VAL}},
    {"limits, short path", Only::Int16, -1, {1, -32768, 1, 32767, 1}, 0, {0, 0, 0, 0}, {-32768, 32767, 2, 2147418116}},
    {"limits, block path", Only::Int16, -1, {1, -32768, 1, 1, 1, 1, 1, 1, 1, 32767, 1}, 0, {0, 0, 0, 0},
     {-32768, 32767, 8, 2147418122}},
    {"4096 times 32767, summed exactly", Only::Int16, -1, std::vector<double>(4096, 32767), 0, {0, 0, 0, 0},
     {0, 32767, 4096.0 * 32767, 4096.0 * 32767 * 32767}},
    {"4096 times -32768: two squares fill 32 bits", Only::Int16, -1, std::vector<double>(4096, -32768), 0,
     {0, 0, 0, 0}, {-32768, 0, -0x1p27, 0x1p42}},
};

TYPED_TEST(MinMaxAveRms, StatedValues)
{
    using V = TypeParam;
    using S = typename V::Sample;
    for (const Stated& row : kStated) {
        if (row.only != Only::Any && row.only != kOnly<S>) continue;
        const auto stats = [](const double (&v)[4]) { return Stats<S>{S(v[0]), S(v[1]), v[2], v[3]}; };
        for (std::size_t offsetBytes = 0; offsetBytes < 32; offsetBytes += sizeof(S)) {
            if (row.offsetBytes >= 0 && offsetBytes != std::size_t(row.offsetBytes)) continue;
            const zrtest::OffsetArray<S> data(std::vector<S>(row.x.begin(), row.x.end()), offsetBytes);
            Stats<S> actual = stats(row.prior);
            V::call(data.data(), std::uint32_t(row.x.size()), actual, typename V::Offset(row.offset));
            EXPECT_TRUE(same_stats(stats(row.expected), actual)) << row.what << ", at +" << offsetBytes;
        }
    }
}

// A record fed in pieces gives the statistics of the whole, bit for bit, where no
// sum rounds: integer samples and an offset of one half.
TYPED_TEST(MinMaxAveRms, SplitBlockGivesTheSameStatistics)
{
    using V = TypeParam;
    using S = typename V::Sample;
    std::vector<S> values(1000);
    const auto r = zrtest::random_samples<std::int16_t>(values.size(), 2024);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = S(r[i] / 64);
    const typename V::Offset offset(0.5);
    Stats<S> whole{values[0], values[0], -0.0, 0.0};
    V::call(values.data(), 1000, whole, offset);
    for (std::uint32_t cut : {1u, 3u, 7u, 8u, 9u, 333u, 996u, 999u}) {
        Stats<S> pieces{values[0], values[0], -0.0, 0.0};
        V::call(values.data(), cut, pieces, offset);
        V::call(values.data() + cut, 1000 - cut, pieces, offset);
        EXPECT_TRUE(same_stats(whole, pieces)) << "cut at " << cut;
    }
}

// Float samples at the offset 0 have exact squares, 2^-298 to 2^256 (the fused
// steps may be adds): extreme exponents, subnormal to the largest, against the
// model's fused steps, at offsets +0 and -0.
TEST(FloatStatistics, ExactSquaresAtExtremeExponents)
{
    for (int top : {-126, -100, 0, 100, 127}) {
        std::vector<float> x = zrtest::random_samples<float>(203, top + 500, 1.0);
        for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::ldexp(x[i], top - int(i % 24));
        for (float offset : {0.0f, -0.0f}) {
            Stats<float> actual{1, -1, 0.5, 0.25};
            FloatVariant::call(x.data(), 203, actual, offset);
            EXPECT_TRUE(same_stats(zrtest::running_totals<float, float, 8, 32>(x.data(), 203, {1, -1, 0.5, 0.25},
                                                                                offset, x.data()),
                                   actual))
                << top;
        }
    }
}

// int16 squares near the largest sums that no step of the double lanes rounds.
// With the offset 32767.875, a lane's sum of squares counts in units of 1/64:
// 32767 adds about 2^38 of them and -32768 adds 1. The first 32769 samples of
// 32767 in a lane stay below 2^53 units, the next reach past it, and the ones
// after them round away. Cases: one lane past the bound (each lane in turn);
// all four just below it, their total far beyond. Each from another prior, at
// 2 bytes past a boundary (a head of 7 or 15: sample i goes to lane (i + 1) % 4),
// through both int16 statistics, against the stated order.
TEST(Int16Statistics, SquaresNearTheBoundOfExactness)
{
    const float offset = 32767.875f;
    const std::uint32_t n = 4 * 32870 + 3;
    const std::uint32_t above = 32775, big[5][4] = {{above}, {0, above}, {0, 0, above}, {0, 0, 0, above},
                                                    {32769, 32768, 32769, 32767}};
    const double priors[5] = {0.0, 1e20, -3.5, 1e-3, 0x1p60};
    for (int c = 0; c < 5; ++c) {
        std::vector<std::int16_t> v(n, -32768);
        for (std::uint32_t i = 0; i < n; ++i) v[i] = (i + 1) / 4 < big[c][(i + 1) % 4] ? 32767 : -32768;
        const zrtest::OffsetArray<std::int16_t> x(v, 2);
        const Stats<std::int16_t> prior{32767, -32768, priors[c], priors[4 - c]};
        Stats<std::int16_t> whole = prior, moved = prior;
        Int16Variant::call(x.data(), n, whole, offset);
        zrcalcMoveAndGetMinMaxAveRMS_int16_t(v.data(), x.data(), n, &moved.min, &moved.max, &moved.sum,
                                             &moved.squares, offset, 1);
        const auto model = zrtest::running_totals<std::int16_t, float, 8, 16>(x.data(), n, prior, offset, x.data());
        EXPECT_TRUE(same_stats(model, whole)) << "case " << c;
        EXPECT_TRUE(same_stats(zrtest::running_totals<std::int16_t, float, 16, 32>(x.data(), n, prior, offset,
                                                                                    x.data()), moved))
            << "case " << c;
    }
}

}  // namespace
