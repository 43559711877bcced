// zrCalcCAOverallPressure and zrCalcCARunningVal against models of their block and
// tail rules through the sweep driver, their stated values, and both over many
// cycles the way a host calls them.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrtest::Dir;
constexpr float kStart = std::numeric_limits<float>::min();

// Blocks of eight in double (fma, a true division), the last m mod 8 in float with
// the reciprocal; the maximum is the largest updated value strictly above the start.
void overall(const float* x, float* a, uint32_t m, uint64_t n, float* highest)
{
    const double N = double(n);
    const float q = 1.0f / float(double(n + 1));
    *highest = kStart;
    for (uint32_t i = 0; i < m; ++i) {
        const float ai = a[i], xi = x[i];
        a[i] = i < m / 8 * 8 ? float(std::fma(N, double(ai), double(xi)) / (N + 1))
                             : zrcalc::fused_multiply_add(float(N), ai, xi) * q;
        if (a[i] > *highest) *highest = a[i];
    }
}

// Copies at n = 0; else blocks add and divide, the rest add in another order and
// multiply by the reciprocal; the divisor is n + 1 while n < W, then W.
void running(const float* x, const float* o, float* s, float* g, uint32_t m, uint64_t n, uint32_t W)
{
    const float d = n < W ? float(double(n)) + 1.0f : float(W);
    for (uint32_t i = 0; i < m; ++i) {
        const bool block = i < m / 8 * 8;
        if (n == 0) {
            s[i] = g[i] = x[i];
            continue;
        }
        s[i] = n < W ? (block ? x[i] + s[i] : s[i] + x[i]) : block ? (x[i] + s[i]) - o[i] : (x[i] - o[i]) + s[i];
        g[i] = block ? s[i] / d : (1.0f / d) * s[i];
    }
}

std::vector<float> with_a_nan(std::size_t n, uint64_t seed)
{
    auto v = zrtest::random_samples<float>(n, seed);
    if (n && seed % 3 == 0) v[seed / 3 % n] = NAN;
    return v;
}

const zrtest::Array kInOut{zrtest::elem_of<float>(), Dir::InOut, {}, zrtest::random_fill<float>()};

// The range starts at 5 (end exclusive) and at 3 (end inclusive): the pointers are
// not offset by it. 2^60 + 2^36 + 128 rounds differently to float directly and
// through double, and n + 1 differently from N + 1; 2^32 + 1 would be 1 in 32 bits.
// Divisors that are not powers of two tell a division from a reciprocal.
zrtest::Case overall_case(uint64_t n)
{
    return {"zrCalcCAOverallPressure", "n " + std::to_string(n),
            {zrtest::in<float>(zrtest::fill_with<float>(with_a_nan)), kInOut, zrtest::cell<float>(Dir::Out)}, 40,
            [=](zrtest::Arrays a, uint32_t m) {
                zrCalcCAOverallPressure(a.at<float>(0), a.at<float>(1), 5, 5 + m, n, a.at<float>(2));
            },
            [=](zrtest::Arrays a, uint32_t m) { overall(a.at<float>(0), a.at<float>(1), m, n, a.at<float>(2)); },
            {}, {131}, 3};
}

// leavingValues is an empty array, flush against a guard page, while n < W.
zrtest::Case running_case(uint64_t n, uint32_t W)
{
    const auto leaving = [=](uint32_t m) { return n >= W ? std::size_t(m) : 0; };
    return {"zrCalcCARunningVal", "n " + std::to_string(n) + " W " + std::to_string(W),
            {zrtest::in<float>(), zrtest::in<float>(zrtest::random_fill<float>(), leaving), kInOut,
             zrtest::out<float>()}, 40,
            [=](zrtest::Arrays a, uint32_t m) {
                zrCalcCARunningVal(a.at<float>(0), a.at<float>(1), a.at<float>(2), a.at<float>(3), 3, 2 + m, n, W);
            },
            [=](zrtest::Arrays a, uint32_t m) {
                running(a.at<float>(0), a.at<float>(1), a.at<float>(2), a.at<float>(3), m, n, W);
            },
            {}, {131}};
}

ZRTEST_SWEEP(cycle_averages)
{
    return {overall_case(0), overall_case(1), overall_case(6), overall_case((1ull << 32) + 1),
            overall_case((1ull << 60) + (1ull << 36) + 128), running_case(0, 3), running_case(2, 3),
            running_case(6, 7), running_case(3, 3), running_case((1ull << 32) + 1, 5), running_case(1, 0)};
}

TEST(OverallPressure, StatedValues)
{
    std::vector<float> a(9, 2.0f), x(9, 4.0f);  // the block part and one tail element
    float highest;
    zrCalcCAOverallPressure(x.data(), a.data(), 0, 9, 1, &highest);
    EXPECT_EQ(std::vector<float>(9, 3.0f), a);
    EXPECT_EQ(3.0f, highest);
    // n = 0 takes the new trace; a NaN is never the maximum, in the blocks or the tail.
    x = {1, -2, 5, NAN, 0, 3, -1, 2, 7.5f, NAN, -3};
    a.assign(11, 100.0f);
    zrCalcCAOverallPressure(x.data(), a.data(), 4, 15, 0, &highest);
    EXPECT_TRUE(zrtest::BitsEqual(x.data(), a.data(), 11));
    EXPECT_EQ(7.5f, highest);
    x = {-1, 0, -3, -4, -1, -2, -1, 0, 0, -5};
    a.assign(10, 0.0f);  // the NaN above would stay: n = 0 multiplies it by 0
    zrCalcCAOverallPressure(x.data(), a.data(), 0, 10, 0, &highest);
    EXPECT_EQ(kStart, highest);  // nothing above the start value
    // The blocks divide in double: a multiply by 1/6 would give 0x1.000008p+0 here.
    a.assign(8, 0x1.33333ep+0f), x.assign(8, 0x1p-50f);
    zrCalcCAOverallPressure(x.data(), a.data(), 0, 8, 5, &highest);
    const std::vector<float> divided(8, 0x1.00000ap+0f);
    EXPECT_EQ(divided, a);
    // Reversed ranges are empty (not a count wrapped to about 2^32): only the maximum is written.
    zrCalcCAOverallPressure(x.data(), a.data(), 6, 5, 3, &highest);
    zrCalcCARunningVal(x.data(), x.data(), a.data(), a.data(), 5, 3, 1, 3);
    EXPECT_TRUE(divided == a && highest == kStart);
}

// Twelve cycles of whole numbers over one block and five tail elements: the
// running sum holds the last W = 3 cycles exactly, and both averages are the mean.
TEST(CycleAverages, HostProtocolOverManyCycles)
{
    constexpr uint32_t m = 13, W = 3, cycles = 12;
    std::vector<std::vector<float>> x(cycles, std::vector<float>(m));
    for (uint32_t c = 0; c < cycles; ++c)
        for (uint32_t i = 0; i < m; ++i) x[c][i] = float((c * 7 + i * 3) % 11);
    std::vector<float> s(m), g(m), average(m, 0.0f);
    float highest;
    for (uint32_t n = 0; n < cycles; ++n) {
        zrCalcCARunningVal(x[n].data(), x[n >= W ? n - W : 0].data(), s.data(), g.data(), 10, 10 + m - 1, n, W);
        zrCalcCAOverallPressure(x[n].data(), average.data(), 10, 10 + m, n, &highest);
        for (uint32_t i = 0; i < m; ++i) {
            float last = 0, all = 0;
            for (uint32_t c = 0; c <= n; ++c) (c + W > n ? last : all) += x[c][i];
            EXPECT_EQ(last, s[i]) << n << ", " << i;
            EXPECT_FLOAT_EQ(last / float(std::min(n + 1, W)), g[i]) << n << ", " << i;
            EXPECT_NEAR((all + last) / float(n + 1), average[i], 1e-5f) << n << ", " << i;
        }
    }
}

}  // namespace
