// zrCalcCAOverallPressure and zrCalcCARunningVal against models of their block and
// tail rules through the sweep driver, their stated values, and both over many
// cycles the way a host calls them.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrtest::Arrays;
using zrtest::Dir;
constexpr float kStart = std::numeric_limits<float>::min();

// Blocks of eight in double (fma, a true division), the last m mod 8 in float with
// the reciprocal; the maximum is the largest updated value strictly above the start.
void overall(const float* x, float* a, uint32_t start, uint32_t end, uint64_t n, float* highest)
{
    const uint32_t m = end - start;
    const double N = double(n);
    *highest = kStart;
    for (uint32_t i = 0; i < m; ++i) {
        const float ai = a[i], xi = x[i];
        a[i] = i < m / 8 * 8 ? float(std::fma(N, double(ai), double(xi)) / (N + 1))
                             : zrcalc::fused_multiply_add(float(N), ai, xi) * (1.0f / float(double(n + 1)));
        *highest = a[i] > *highest ? a[i] : *highest;
    }
}

// Copies at n = 0; else blocks add and divide, the rest add in another order and
// multiply by the reciprocal; the divisor is n + 1 while n < W, then W.
void running(const float* x, const float* o, float* s, float* g, uint32_t start, uint32_t end, uint64_t n, uint32_t W)
{
    const uint32_t m = end + 1 - start;
    const float d = n < W ? float(double(n)) + 1.0f : float(W);
    for (uint32_t i = 0, block = m / 8 * 8; i < m; ++i) {
        s[i] = n == 0 ? x[i] : n < W ? (i < block ? x[i] + s[i] : s[i] + x[i])
                             : i < block ? (x[i] + s[i]) - o[i] : (x[i] - o[i]) + s[i];
        g[i] = n == 0 ? x[i] : i < block ? s[i] / d : (1.0f / d) * s[i];
    }
}

// The range starts at 5 (end exclusive) and at 3 (end inclusive): the pointers are
// not offset by it. 2^60 + 2^36 + 128 rounds differently to float directly and
// through double, and n + 1 differently from N + 1; 2^32 + 1 would be 1 in 32 bits.
// Divisors that are not powers of two tell a division from a reciprocal.
// leavingValues is an empty array, flush against a guard page, while n < W.
ZRTEST_SWEEP(cycle_averages)
{
    const zrtest::Array inOut{zrtest::elem_of<float>(), Dir::InOut, {}, zrtest::random_fill<float>()};
    std::vector<zrtest::Case> cases;
    for (uint64_t n : {0ull, 1ull, 6ull, (1ull << 32) + 1, (1ull << 60) + (1ull << 36) + 128}) {
        const auto body = [n](auto f) -> zrtest::Body {
            return [=](Arrays a, uint32_t m) { f(a.at<float>(0), a.at<float>(1), 5, 5 + m, n, a.at<float>(2)); };
        };
        cases.push_back({"zrCalcCAOverallPressure", "n " + std::to_string(n),
                         {zrtest::in<float>(), inOut, zrtest::cell<float>(Dir::Out)}, 40,
                         body(zrCalcCAOverallPressure), body(overall), {}, {131}, 2});
    }
    for (auto [n, W] : {std::pair<uint64_t, uint32_t>{0, 3}, {2, 3}, {6, 7}, {3, 3}, {(1ull << 32) + 1, 5}, {1, 0}}) {
        const auto body = [n = n, W = W](auto f) -> zrtest::Body {
            return [=](Arrays a, uint32_t m) {
                f(a.at<float>(0), a.at<float>(1), a.at<float>(2), a.at<float>(3), 3, 2 + m, n, W);
            };
        };
        const auto leaving = [n = n, W = W](uint32_t m) { return n >= W ? std::size_t(m) : 0; };
        cases.push_back({"zrCalcCARunningVal", "n " + std::to_string(n) + " W " + std::to_string(W),
                         {zrtest::in<float>(), zrtest::in<float>(zrtest::random_fill<float>(), leaving), inOut,
                          zrtest::out<float>()}, 40, body(zrCalcCARunningVal), body(running), {}, {131}});
    }
    return cases;
}

TEST(OverallPressure, StatedValues)
{
    // n = 0 takes the new trace; a NaN is never the maximum, in the blocks or the tail.
    std::vector<float> x = {1, -2, 5, NAN, 0, 3, -1, 2, 7.5f, NAN, -3}, a(11, 100.0f);
    float highest;
    zrCalcCAOverallPressure(x.data(), a.data(), 4, 15, 0, &highest);
    EXPECT_TRUE(zrtest::BitsEqual(x.data(), a.data(), 11) && highest == 7.5f);
    for (float& v : x) v = -std::fabs(v);  // nothing above the start value
    zrCalcCAOverallPressure(x.data(), a.data(), 4, 15, 0, &highest);
    EXPECT_EQ(kStart, highest);
    // The blocks divide in double: a multiply by 1/6 would give 0x1.000008p+0 here.
    a.assign(8, 0x1.33333ep+0f), x.assign(8, 0x1p-50f);
    zrCalcCAOverallPressure(x.data(), a.data(), 0, 8, 5, &highest);
    // Reversed ranges are empty (not a count wrapped to about 2^32): only the maximum is written.
    zrCalcCAOverallPressure(x.data(), a.data(), 6, 5, 3, &highest);
    zrCalcCARunningVal(x.data(), x.data(), a.data(), a.data(), 5, 3, 1, 3);
    EXPECT_TRUE(a == std::vector<float>(8, 0x1.00000ap+0f) && highest == kStart);
}

// Twelve cycles of whole numbers over one block and five tail elements: the
// running sum holds the last W = 3 cycles exactly, and both averages are the mean
// (with n = 1, 2 and 4 give 3, in the blocks and in the tail).
TEST(CycleAverages, HostProtocolOverManyCycles)
{
    constexpr uint32_t m = 13, W = 3;
    std::vector<std::vector<float>> x(12, std::vector<float>(m));
    std::vector<float> s(m), g(m), average(m, 0.0f);
    for (uint32_t n = 0; n < x.size(); ++n) {
        float highest, last = 0, all = 0;
        for (uint32_t i = 0; i < m; ++i) x[n][i] = float((n * 7 + i * 3) % 11);
        zrCalcCARunningVal(x[n].data(), x[n >= W ? n - W : 0].data(), s.data(), g.data(), 10, 10 + m - 1, n, W);
        zrCalcCAOverallPressure(x[n].data(), average.data(), 10, 10 + m, n, &highest);
        for (uint32_t i = 0; i < m; ++i, last = all = 0) {
            for (uint32_t c = 0; c <= n; ++c) (c + W > n ? last : all) += x[c][i];
            EXPECT_TRUE(last == s[i] && std::fabs(last / float(std::min(n + 1, W)) - g[i]) <= 1e-6f * last &&
                        std::fabs((all + last) / float(n + 1) - average[i]) <= 1e-5f) << n << ", " << i;
        }
    }
}

}  // namespace
