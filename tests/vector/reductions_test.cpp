#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

// One sum of the family: its entry point (single-array members ignore `b`) and the
// step that adds one element's widened values to an accumulator. (Both calling
// conventions are checked by the ABI tests.)
template <class T>
struct Member {
    const char* name;
    bool twoArrays;
    double (*call)(const T* a, const T* b, uint32_t count);
    double (*step)(double acc, double a, double b);
};

const Member<double> kSumDouble{
    "SumValues_double", false, [](const double* a, const double*, uint32_t n) { return zrcalcSumValues_double(a, n); },
    [](double acc, double a, double) { return acc + a; }};

const Member<float> kFloatMembers[] = {
    {"SumValues_float", false, [](const float* a, const float*, uint32_t n) { return zrcalcSumValues_float(a, n); },
     [](double acc, double a, double) { return acc + a; }},
    {"SumAbsValues_float", false,
     [](const float* a, const float*, uint32_t n) { return zrcalcSumAbsValues_float(a, n); },
     [](double acc, double a, double) { return acc + std::fabs(a); }},
    {"SumSquaredValues_float", false,
     [](const float* a, const float*, uint32_t n) { return zrcalcSumSquaredValues_float(a, n); },
     [](double acc, double a, double) { return std::fma(a, a, acc); }},
    {"MultiplyVectorsAndCalcSum_float", true,
     [](const float* a, const float* b, uint32_t n) { return zrcalcMultiplyVectorsAndCalcSum_float(a, b, n); },
     [](double acc, double a, double b) { return std::fma(a, b, acc); }},
};

// The stated order, written out lane by lane: eight partial sums (A0-A3, B0-B3)
// over the whole groups, V = B + A, (V0 + V1) + (V2 + V3), then the rest one by one.
template <class T>
double model_sum(const Member<T>& m, const T* a, const T* b, uint32_t count)
{
    const uint32_t groups = count / 8;
    double s = 0.0;
    if (groups > 0) {
        double lane[8] = {};  // A0..A3, B0..B3
        for (uint32_t g = 0; g < groups; ++g)
            for (int k = 0; k < 8; ++k) {
                const uint32_t i = 8 * g + k;
                lane[k] = m.step(lane[k], a[i], m.twoArrays ? double(b[i]) : 0.0);
            }
        double v[4];
        for (int k = 0; k < 4; ++k) v[k] = lane[4 + k] + lane[k];
        s = (v[0] + v[1]) + (v[2] + v[3]);
    }
    for (uint32_t i = 8 * groups; i < count; ++i) s = m.step(s, a[i], m.twoArrays ? double(b[i]) : 0.0);
    return s;
}

// Values whose sums depend on the order: magnitudes from 2^-20 to 2^20 times the
// scale, both signs.
template <class T>
std::vector<T> mixed_magnitudes(std::size_t count, uint64_t seed)
{
    auto v = zrtest::random_samples<T>(count, seed, 1.0);
    auto e = zrtest::random_samples<int32_t>(count, seed + 1);
    for (std::size_t i = 0; i < count; ++i) v[i] = std::ldexp(v[i], e[i] % 21);
    return v;
}

constexpr uint32_t kMaxCount = 40;  // five groups: every count around each group boundary

// Every count 0..40 (count 0 must give +0) against the model, bit for bit: at
// every alignment of every array, then with the arrays read-only and flush against
// a PROT_NONE page after them and before them, so that any access outside faults.
template <class T>
void check_member(const Member<T>& m)
{
    SCOPED_TRACE(m.name);
    const auto a = mixed_magnitudes<T>(kMaxCount, 11);
    const auto b = mixed_magnitudes<T>(kMaxCount, 23);
    const auto offsetsB = m.twoArrays ? zrtest::alignment_offsets<T>() : std::vector<std::size_t>{0};
    for (std::size_t offA : zrtest::alignment_offsets<T>())
        for (std::size_t offB : offsetsB) {
            const zrtest::OffsetArray<T> arrA(a, offA), arrB(b, offB);
            for (uint32_t count = 0; count <= kMaxCount; ++count)
                ASSERT_TRUE(BitsEqual(model_sum(m, a.data(), b.data(), count), m.call(arrA.data(), arrB.data(), count)))
                    << "count " << count << ", offsets " << offA << "/" << offB;
        }
    for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before})
        for (uint32_t count = 0; count <= kMaxCount; ++count) {
            zrtest::GuardedArray<T> arrA(a.data(), count, guard), arrB(b.data(), count, guard);
            arrA.make_read_only();
            arrB.make_read_only();
            ASSERT_TRUE(BitsEqual(model_sum(m, a.data(), b.data(), count), m.call(arrA.data(), arrB.data(), count)))
                << "count " << count << (guard == zrtest::Guard::After ? ", guard after" : ", guard before");
        }
}

TEST(Sums, MatchTheLaneModelAtEveryCountAndAlignmentReadingOnlyTheArrays)
{
    check_member(kSumDouble);
    for (const auto& m : kFloatMembers) check_member(m);
}

TEST(Sums, BelowEightElementsAddLeftToRight)
{
    // Left to right, 1e16 + 1 loses the 1 each time; any pairing keeps some.
    const double x[7] = {1e16, 1, 1, 1, 1, -1e16, 1};
    const double expected = (((((((0.0 + x[0]) + x[1]) + x[2]) + x[3]) + x[4]) + x[5]) + x[6]);
    EXPECT_EQ(expected, 1.0);
    EXPECT_TRUE(BitsEqual(expected, zrcalcSumValues_double(x, 7)));
}

TEST(Sums, NineElementsPairLanesOfTheTwoAccumulators)
{
    const auto x = mixed_magnitudes<double>(9, 99);
    const double expected = (((x[4] + x[0]) + (x[5] + x[1])) + ((x[6] + x[2]) + (x[7] + x[3]))) + x[8];
    double sequential = 0.0;
    for (double v : x) sequential += v;
    ASSERT_NE(expected, sequential) << "the data must tell the orders apart";
    EXPECT_TRUE(BitsEqual(expected, zrcalcSumValues_double(x.data(), 9)));
}

TEST(Sums, LanesCombineSoThatLargeValuesSwallowTheOnes)
{
    const double x[8] = {1e16, 1, -1e16, 1, 0, 0, 0, 0};
    EXPECT_TRUE(BitsEqual(0.0, zrcalcSumValues_double(x, 8)));
}

TEST(Sums, FloatInputAccumulatesInDouble)
{
    const uint32_t count = (1u << 24) + 1;
    const std::vector<float> ones(count, 1.0f);
    EXPECT_TRUE(BitsEqual(16777217.0, zrcalcSumValues_float(ones.data(), count)));
}

TEST(Sums, AbsoluteValuesCountSignedZerosAsZeroAndKeepNaN)
{
    const float zeros[10] = {-0.0f, 0.0f, -0.0f, -0.0f, 0.0f, -0.0f, -0.0f, -0.0f, -0.0f, 0.0f};
    for (uint32_t n : {3u, 10u}) EXPECT_TRUE(BitsEqual(0.0, zrcalcSumAbsValues_float(zeros, n))) << n;
    float withNaN[10] = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10};
    for (uint32_t at : {1u, 6u, 9u}) {
        float x[10];
        std::copy(withNaN, withNaN + 10, x);
        x[at] = -std::numeric_limits<float>::quiet_NaN();
        EXPECT_TRUE(std::isnan(zrcalcSumAbsValues_float(x, 10))) << at;
    }
    EXPECT_EQ(zrcalcSumAbsValues_float(withNaN, 10), 55.0);
}

}  // namespace
