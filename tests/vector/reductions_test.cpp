#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

// One sum of the family: its entry point (single-array members ignore `b`) and the
// step that adds one element's widened values to an accumulator.
template <class T>
struct Member {
    const char* name;
    double (*call)(const T* a, const T* b, uint32_t count);
    double (*step)(double acc, double a, double b);
};

const Member<double> kSumDouble{
    "SumValues_double", [](const double* a, const double*, uint32_t n) { return zrcalcSumValues_double(a, n); },
    [](double acc, double a, double) { return acc + a; }};

const Member<float> kFloatMembers[] = {
    {"SumValues_float", [](const float* a, const float*, uint32_t n) { return zrcalcSumValues_float(a, n); },
     [](double acc, double a, double) { return acc + a; }},
    {"SumAbsValues_float", [](const float* a, const float*, uint32_t n) { return zrcalcSumAbsValues_float(a, n); },
     [](double acc, double a, double) { return acc + std::fabs(a); }},
    {"SumSquaredValues_float",
     [](const float* a, const float*, uint32_t n) { return zrcalcSumSquaredValues_float(a, n); },
     [](double acc, double a, double) { return std::fma(a, a, acc); }},
    {"MultiplyVectorsAndCalcSum_float",
     [](const float* a, const float* b, uint32_t n) { return zrcalcMultiplyVectorsAndCalcSum_float(a, b, n); },
     [](double acc, double a, double b) { return std::fma(a, b, acc); }},
};

// The stated order, lane by lane: elements 8g + k go to lane k of A (k < 4) or of
// B, V = B + A, (V0 + V1) + (V2 + V3), then the rest one by one from there.
template <class T>
double model_sum(const Member<T>& m, const T* a, const T* b, uint32_t count)
{
    const uint32_t grouped = count / 8 * 8;
    double lane[8] = {};  // A0..A3, B0..B3
    for (uint32_t i = 0; i < grouped; ++i) lane[i % 8] = m.step(lane[i % 8], a[i], b[i]);
    double s = ((lane[4] + lane[0]) + (lane[5] + lane[1])) + ((lane[6] + lane[2]) + (lane[7] + lane[3]));
    for (uint32_t i = grouped; i < count; ++i) s = m.step(s, a[i], b[i]);
    return s;
}

// Values whose sums depend on the order: magnitudes from 2^-20 to 2^20, both signs.
template <class T>
std::vector<T> mixed_magnitudes(std::size_t count, uint64_t seed)
{
    auto v = zrtest::random_samples<T>(count, seed, 1.0);
    const auto e = zrtest::random_samples<int32_t>(count, seed + 1);
    for (std::size_t i = 0; i < count; ++i) v[i] = std::ldexp(v[i], e[i] % 21);
    return v;
}

// Every count 0..40 (five groups; count 0 must give +0) against the model, bit for
// bit: at every alignment of both arrays, then with the arrays read-only and flush
// against a PROT_NONE page after them and before them.
template <class T>
void check_member(const Member<T>& m)
{
    SCOPED_TRACE(m.name);
    constexpr uint32_t kMaxCount = 40;
    const auto a = mixed_magnitudes<T>(kMaxCount, 11), b = mixed_magnitudes<T>(kMaxCount, 23);
    for (uint32_t count = 0; count <= kMaxCount; ++count) {
        const double want = model_sum(m, a.data(), b.data(), count);
        for (std::size_t offA : zrtest::alignment_offsets<T>())
            for (std::size_t offB : zrtest::alignment_offsets<T>()) {
                const zrtest::OffsetArray<T> arrA(a, offA), arrB(b, offB);
                ASSERT_TRUE(BitsEqual(want, m.call(arrA.data(), arrB.data(), count)))
                    << "count " << count << ", offsets " << offA << "/" << offB;
            }
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            zrtest::GuardedArray<T> arrA(a.data(), count, guard), arrB(b.data(), count, guard);
            arrA.make_read_only();
            arrB.make_read_only();
            ASSERT_TRUE(BitsEqual(want, m.call(arrA.data(), arrB.data(), count))) << "count " << count << " guarded";
        }
    }
}

TEST(Sums, MatchTheLaneModelAtEveryCountAndAlignmentReadingOnlyTheArrays)
{
    check_member(kSumDouble);
    for (const auto& m : kFloatMembers) check_member(m);
}

TEST(Sums, StatedValues)
{
    const std::pair<std::vector<double>, double> sums[] = {
        // Below eight, left to right: 1e16 swallows each 1 (any pairing keeps some).
        {{1e16, 1, 1, 1, 1, -1e16, 1}, 1.0},
        // (1e16 + 1) + (-1e16 + 1): each 1 is lost; the exact sum is 2.
        {{1e16, 1, -1e16, 1, 0, 0, 0, 0}, 0.0},
        // ((x4 + x0) + (x5 + x1)) + ((x6 + x2) + (x7 + x3)), then x8; left to right
        // gives 3.5, (V0 + V2) + (V1 + V3) 0.5.
        {{1e16, -1e16, 1, 0, 1, 1, 0, 0, 0.5}, 1.5},
    };
    for (const auto& [x, sum] : sums)
        EXPECT_TRUE(BitsEqual(sum, zrcalcSumValues_double(x.data(), uint32_t(x.size())))) << x.size() << " elements";

    // A float accumulator would stop at 2^24.
    const std::vector<float> ones((1u << 24) + 1, 1.0f);
    EXPECT_TRUE(BitsEqual(16777217.0, zrcalcSumValues_float(ones.data(), uint32_t(ones.size()))));

    // Absolute values: -0 counts as +0, a NaN makes the sum NaN.
    const float zeros[10] = {-0.0f, 0.0f, -0.0f, -0.0f, 0.0f, -0.0f, -0.0f, -0.0f, -0.0f, 0.0f};
    for (uint32_t n : {3u, 10u}) EXPECT_TRUE(BitsEqual(0.0, zrcalcSumAbsValues_float(zeros, n))) << n;
    for (uint32_t at : {1u, 6u, 9u}) {
        float x[10] = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10};
        x[at] = -std::numeric_limits<float>::quiet_NaN();
        EXPECT_TRUE(std::isnan(zrcalcSumAbsValues_float(x, 10))) << at;
    }
}

}  // namespace
