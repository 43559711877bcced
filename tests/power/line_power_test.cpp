// zrcalcPowerHarmonicZero and zrcalcPowerFindIndexOfMaxAmplitude against models
// of their rules through the sweep driver, then the stated values. At count 0 the
// lines are an empty array: reading any of them faults.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {


// Wide values with lines of 0, NaN or infinity among them; one pair of values in
// either order (equal powers everywhere, two values fused, one unfused); or lines
// of 0 and NaN only (no power above 0).
std::vector<float> lines(std::size_t n, uint64_t seed)
{
    auto x = zrtest::random_samples<float>(n, seed, 1e4);
    const float pair[2] = {n ? x[0] : 0, n ? x[1] : 0}, specials[3] = {0, NAN, INFINITY};
    for (std::size_t i = 0; i < n; ++i) {
        const uint64_t r = (seed + i / 2) * 0x9E3779B97F4A7C15u >> 40;  // one draw per line
        if (seed % 3 == 1) x[i] = pair[(i + r) % 2];
        else if (seed % 3 == 2 || r % 16 == 0) x[i] = specials[r / 16 % (seed % 3 == 2 ? 2 : 3)];
    }
    return x;
}

template <class R, class Call>
zrtest::Case over_lines(const char* entry, Call call, R (*rule)(const float*, uint32_t))
{
    return {entry, "", {zrtest::in<float>(zrtest::fill_with<float>(lines), [](uint32_t n) { return 2 * n; }),
                        zrtest::cell<R>(zrtest::Dir::Out)}, 3 * 16 + 3,
            [=](zrtest::Arrays a, uint32_t n) { *a.at<R>(1) = call(a.at<float>(0), n); },
            [=](zrtest::Arrays a, uint32_t n) { *a.at<R>(1) = rule(a.at<float>(0), n); }, {}, {100, 257}, 8};
}

// The total in line order; both squares are exact, so their sum rounds once.
double total(const float* x, uint32_t n)
{
    double sum = 0.0;
    for (uint32_t k = 0; k < 2 * n; k += 2) sum += double(x[k]) * x[k] + double(x[k + 1]) * x[k + 1];
    return sum;
}

// The first line whose power beats 0.0 and every line before it, at every count.
int32_t strongest(const float* x, uint32_t n)
{
    float largest = 0.0f;
    int32_t line = 1;
    for (uint32_t k = 1; k < n; ++k) {
        const float re = x[2 * k], im = x[2 * k + 1], p = zrcalc::fused_multiply_add(im, im, re * re);
        if (p > largest) largest = p, line = int32_t(k);
    }
    return line;
}

ZRTEST_SWEEP(line_power)
{
    return {over_lines<double>("zrcalcPowerHarmonicZero", zrcalcPowerHarmonicZero, total),
            over_lines<int32_t>("zrcalcPowerFindIndexOfMaxAmplitude", zrcalcPowerFindIndexOfMaxAmplitude, strongest)};
}

// Line (3, 4); lines of powers 0, 5, 9, 2, then 100, 5, 9, 2 (line 0 is ignored).
TEST(LinePower, StatedValues)
{
    const float line[] = {3, 4}, powers[] = {0, 0, 2, 1, 3, 0, 1, 1}, line0Largest[] = {6, 8, 2, 1, 3, 0, 1, 1};
    EXPECT_EQ(25.0, zrcalcPowerHarmonicZero(line, 1));
    EXPECT_EQ(2, zrcalcPowerFindIndexOfMaxAmplitude(powers, 4));
    EXPECT_EQ(2, zrcalcPowerFindIndexOfMaxAmplitude(line0Largest, 4));
}

}  // namespace
