// The sums against a model of their lane order, through the sweep driver; then
// the values stated for them.

#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;
using Step = double (*)(double acc, double a, double b);

// The stated order, lane by lane: elements 8g + k go to lane k of A (k < 4) or of
// B, V = B + A, (V0 + V1) + (V2 + V3), then the rest one by one from there.
template <class T>
double model_sum(Step step, const T* a, const T* b, std::uint32_t count)
{
    const std::uint32_t grouped = count / 8 * 8;
    double lane[8] = {};  // A0..A3, B0..B3
    for (std::uint32_t i = 0; i < grouped; ++i) lane[i % 8] = step(lane[i % 8], a[i], b[i]);
    double s = ((lane[4] + lane[0]) + (lane[5] + lane[1])) + ((lane[6] + lane[2]) + (lane[7] + lane[3]));
    for (std::uint32_t i = grouped; i < count; ++i) s = step(s, a[i], b[i]);
    return s;
}

// Values whose sums depend on the order: magnitudes from 2^-20 to 2^20, both signs.
template <class T>
zrtest::Fill mixed_magnitudes()
{
    return zrtest::fill_with<T>([](std::size_t n, std::uint64_t seed) {
        auto v = zrtest::random_samples<T>(n, seed, 1.0);
        const auto e = zrtest::random_samples<std::int32_t>(n, seed + 1);
        for (std::size_t i = 0; i < n; ++i) v[i] = std::ldexp(v[i], e[i] % 21);
        return v;
    });
}

// Arrays: the data, a second vector (read by the dot product alone), the result.
// Five groups of eight; count 0 gives +0.
template <class T>
zrtest::Case sum(const char* entry, double (*call)(const T*, const T*, std::uint32_t), Step step)
{
    return {entry, "", {zrtest::in<T>(mixed_magnitudes<T>()), zrtest::in<T>(mixed_magnitudes<T>()),
                        zrtest::cell<double>(zrtest::Dir::Out)}, 40,
            [=](zrtest::Arrays a, std::uint32_t n) { *a.at<double>(2) = call(a.at<T>(0), a.at<T>(1), n); },
            [=](zrtest::Arrays a, std::uint32_t n) { *a.at<double>(2) = model_sum(step, a.at<T>(0), a.at<T>(1), n); }};
}

#define ONE_ARRAY(T, entry) [](const T* a, const T*, std::uint32_t n) { return entry(a, n); }

ZRTEST_SWEEP(sums)
{
    const Step plain = [](double acc, double a, double) { return acc + a; };
    return {
        sum<double>("zrcalcSumValues_double", ONE_ARRAY(double, zrcalcSumValues_double), plain),
        sum<float>("zrcalcSumValues_float", ONE_ARRAY(float, zrcalcSumValues_float), plain),
        sum<float>("zrcalcSumAbsValues_float", ONE_ARRAY(float, zrcalcSumAbsValues_float),
                   [](double acc, double a, double) { return acc + std::fabs(a); }),
        sum<float>("zrcalcSumSquaredValues_float", ONE_ARRAY(float, zrcalcSumSquaredValues_float),
                   [](double acc, double a, double) { return std::fma(a, a, acc); }),
        sum<float>("zrcalcMultiplyVectorsAndCalcSum_float",
                   [](const float* a, const float* b, uint32_t n) {
                       return zrcalcMultiplyVectorsAndCalcSum_float(a, b, n);
                   },
                   [](double acc, double a, double b) { return std::fma(a, b, acc); }),
    };
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

// The products of widened floats are exact from 2^-298 to 2^256, so a fused step
// and an add of the product give the same bits: floats of extreme exponents
// (subnormal to the largest), against the model's fused steps.
TEST(Sums, FusedStepsAtExtremeExponents)
{
    const std::uint32_t n = 203;
    for (int top : {-126, -100, 0, 100, 127}) {
        std::vector<float> a = zrtest::random_samples<float>(n, top + 500, 1.0), b = a;
        for (std::uint32_t i = 0; i < n; ++i) {
            a[i] = std::ldexp(a[i], top - int(i % 24));
            b[n - 1 - i] = std::ldexp(b[n - 1 - i], top - int(i % 23));
        }
        const Step fused = [](double acc, double x, double y) { return std::fma(x, y, acc); };
        EXPECT_TRUE(BitsEqual(model_sum(fused, a.data(), a.data(), n), zrcalcSumSquaredValues_float(a.data(), n)))
            << top;
        EXPECT_TRUE(BitsEqual(model_sum(fused, a.data(), b.data(), n),
                              zrcalcMultiplyVectorsAndCalcSum_float(a.data(), b.data(), n)))
            << top;
    }
}

}  // namespace
