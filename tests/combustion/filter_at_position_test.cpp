// zrcalcCACalcFilter_{float,int32_t,int16_t} against a model of their order
// through the sweep driver (whose alignments move the head length), then the
// stated values.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;

// Short: newest first from 0. Block, window s_0 .. s_{n-1} oldest first: head, whole
// blocks, tail; sample l of a block goes to lane l % 4 times its mask (1 or 0) and is
// fused on. The head's plain products are fused onto -0, which rounds the same.
template <class T>
float model(const T* newest, uint32_t n, const float* c, uint32_t stride)
{
    constexpr uint32_t W = sizeof(T) == 2 ? 8 : 4;
    const auto X = [&](uint32_t i) { return float(newest[std::ptrdiff_t(i) - std::ptrdiff_t(n - 1)]); };
    const auto d = [&](uint32_t i) { return c[std::size_t(n - 1 - i) * stride]; };
    float y = 0, P[4] = {-0.0f, -0.0f, -0.0f, -0.0f};
    if (n < W) {
        for (uint32_t i = n; i-- > 0;) y = zrcalc::fused_multiply_add(d(i), X(i), y);
        return y;
    }
    const std::uintptr_t oldest = reinterpret_cast<std::uintptr_t>(newest) - (n - 1) * sizeof(T);
    const uint32_t h = uint32_t((16 - oldest % 16) % 16 / sizeof(T)), H = h ? h : W;
    const auto block = [&](uint32_t i, uint32_t on, uint32_t off) {  // lanes on .. off-1 count
        for (uint32_t l = 0; l < W; ++l)
            P[l % 4] = zrcalc::fused_multiply_add(d(i + l), X(i + l) * (l >= on && l < off ? 1.0f : 0.0f), P[l % 4]);
    };
    block(0, 0, H);
    uint32_t i = H;
    for (; n - i >= W; i += W) block(i, 0, W);
    if (i < n) block(n - W, W - (n - i), W);
    return (P[0] + P[2]) + (P[1] + P[3]);
}

// The sample array is the window; coefficients hold (count - 1) * stride + 1.
template <class T, class Filter>
zrtest::Case filter(const char* entry, Filter f, uint32_t stride)
{
    const zrtest::Length weights = [stride](uint32_t n) { return n ? std::size_t(n - 1) * stride + 1 : 0; };
    const auto run = [s = stride](auto g) {
        return [=](zrtest::Arrays a, uint32_t n) { *a.at<float>(2) = g(a.at<T>(0) + n - 1, n, a.at<float>(1), s); };
    };
    return {entry, "stride " + std::to_string(stride),
            {zrtest::in<T>(), zrtest::in<float>(zrtest::random_fill<float>(1.0), weights),
             zrtest::cell<float>(zrtest::Dir::Out)},
            40, run(f), run(model<T>)};
}

#define FILTER(T, stride) filter<T>("zrcalcCACalcFilter_" #T, zrcalcCACalcFilter_##T, stride)

ZRTEST_SWEEP(filter_at_position)
{
    std::vector<zrtest::Case> cases;
    for (uint32_t s : {1u, 3u, 0u})
        cases.insert(cases.end(), {FILTER(float, s), FILTER(int32_t, s), FILTER(int16_t, s)});
    return cases;
}

TEST(CalcFilter, StatedValues)
{
    const float inf = std::numeric_limits<float>::infinity(), third = 1 / 3.0f, half = 0.5f, ones[4] = {1, 1, 1, 1};
    // Count 1 is one rounded product; int32 samples are converted, not saturated:
    // 2^31 - 1 becomes 2^31.
    const int32_t max = INT32_MAX;
    EXPECT_TRUE(BitsEqual(0x1p31f * third, zrcalcCACalcFilter_int32_t(&max, 1, &third, 1)));
    // Stride 0 weights every sample by coefficients[0]: 1 .. 9 through head, body and tail.
    const zrtest::OffsetArray<float> ramp({1, 2, 3, 4, 5, 6, 7, 8, 9}, 4);
    EXPECT_TRUE(BitsEqual(22.5f, zrcalcCACalcFilter_float(ramp.data() + 8, 9, &half, 0)));
    // At a 16-byte boundary count 3 runs newest first (1 + -1e8 + 1 = -1e8); count 4
    // adds four plain products as (1e8 + -1e8) + (1 + 1).
    const zrtest::OffsetArray<float> cancel({1e8f, 1, -1e8f, 1}, 0);
    EXPECT_TRUE(BitsEqual(-1e8f, zrcalcCACalcFilter_float(cancel.data() + 3, 3, ones, 1)));
    EXPECT_TRUE(BitsEqual(2.0f, zrcalcCACalcFilter_float(cancel.data() + 3, 4, ones, 1)));
    // A masked lane multiplies by 0, so an infinity there gives NaN: float count 5 at a
    // boundary re-reads s_1 in the tail; int16 count 8 two bytes past one has H = 7 and
    // masks s_7 (weight infinite) in the head.
    const zrtest::OffsetArray<float> spike({1, inf, 1, 1, 1}, 0);
    EXPECT_TRUE(std::isnan(zrcalcCACalcFilter_float(spike.data() + 4, 5, ones, 0)));
    const zrtest::OffsetArray<int16_t> past(std::vector<int16_t>(8, 1), 2);
    EXPECT_TRUE(std::isnan(zrcalcCACalcFilter_int16_t(past.data() + 7, 8, &inf, 0)));
}

}  // namespace
