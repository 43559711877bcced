// zrcalcPowerHarmonicZero and zrcalcPowerFindIndexOfMaxAmplitude against models
// of their rules through the sweep driver, then the stated values. Count 0 of the
// search has an empty array: reading any line faults.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

double total_power(const float* x, uint32_t n)
{
    double total = 0.0;
    for (uint32_t k = 0; k < n; ++k) {
        const double re = x[2 * k], im = x[2 * k + 1];
        total = total + zrcalc::fused_multiply_add(im, im, re * re);
    }
    return total;
}

// One line at a time for every count: the first line whose power beats all before it and 0.0.
int32_t strongest(const float* x, uint32_t n)
{
    float largest = 0.0f;
    int32_t line = 1;
    for (uint32_t k = 1; k < n; ++k)
        if (const float p = zrcalc::fused_multiply_add(x[2 * k + 1], x[2 * k + 1], x[2 * k] * x[2 * k]); p > largest)
            largest = p, line = int32_t(k);
    return line;
}

// Small integers (many equal powers), wide values, each with infinities, NaNs and
// zero lines; or one pair of values in either order, whose powers tie unfused.
std::vector<float> lines(std::size_t n, uint64_t seed)
{
    auto x = zrtest::random_samples<float>(n, seed, seed % 3 ? 1e4 : 3.5);
    std::mt19937_64 rng(seed);
    const float specials[] = {0, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    const float pair[2] = {x.empty() ? 0 : x[0], n < 2 ? 0 : x[1]};
    for (std::size_t i = 0, flip = 0; i < n; ++i) {
        flip = i % 2 ? flip : rng() % 2;
        if (seed % 3 == 2) x[i] = pair[i % 2 ^ flip];
        else x[i] = rng() % 16 == 0 ? specials[rng() % 3] : seed % 3 ? x[i] : std::trunc(x[i]);
    }
    return x;
}

template <class R>
zrtest::Case over_lines(const char* entry, R (*call)(const float*, uint32_t), R (*rule)(const float*, uint32_t))
{
    return {entry, "",
            {zrtest::in<float>(zrtest::fill_with<float>(lines), [](uint32_t n) { return 2 * n; }),
             zrtest::cell<R>(zrtest::Dir::Out)},
            3 * 16 + 3,
            [=](zrtest::Arrays a, uint32_t n) { *a.at<R>(1) = call(a.at<float>(0), n); },
            [=](zrtest::Arrays a, uint32_t n) { *a.at<R>(1) = rule(a.at<float>(0), n); },
            {},
            {100, 257},
            6};
}

ZRTEST_SWEEP(line_power)
{
    return {over_lines<double>("zrcalcPowerHarmonicZero", zrcalcPowerHarmonicZero, total_power),
            over_lines<int32_t>("zrcalcPowerFindIndexOfMaxAmplitude", zrcalcPowerFindIndexOfMaxAmplitude, strongest)};
}

TEST(LinePower, StatedValues)
{
    const float line[] = {3, 4};
    EXPECT_EQ(25.0, zrcalcPowerHarmonicZero(line, 1));
    // Powers 0, 5, 9, 2, then 100, 5, 9, 2: line 0 is ignored.
    const float powers[] = {0, 0, 2, 1, 3, 0, 1, 1}, line0Largest[] = {6, 8, 2, 1, 3, 0, 1, 1};
    EXPECT_EQ(2, zrcalcPowerFindIndexOfMaxAmplitude(powers, 4));
    EXPECT_EQ(2, zrcalcPowerFindIndexOfMaxAmplitude(line0Largest, 4));
}

}  // namespace
