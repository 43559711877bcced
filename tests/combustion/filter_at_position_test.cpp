// zrcalcCACalcFilter_{float,int32_t,int16_t} against a model of their order
// through the sweep driver (whose alignments move the head length), then the
// stated values.

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;
using zrtest::OffsetArray;
template <class T>
using Filter = float (*)(const T*, uint32_t, const float*, uint32_t);

// Short: newest first from 0. Block, window oldest first: head, whole blocks, tail;
// each block's sample l goes to lane l % 4, times its mask, and is fused on except
// in the head's first four, which start the lanes as plain products.
template <class T>
float model(const T* newest, uint32_t n, const float* c, uint32_t stride)
{
    constexpr uint32_t W = sizeof(T) == 2 ? 8 : 4;
    const auto X = [&](uint32_t i) { return float(newest[std::ptrdiff_t(i) - std::ptrdiff_t(n - 1)]); };
    const auto d = [&](uint32_t i) { return c[std::size_t(n - 1 - i) * stride]; };
    float y = 0, P[4];
    if (n < W) {
        for (uint32_t i = n; i-- > 0;) y = zrcalc::fused_multiply_add(d(i), X(i), y);
        return y;
    }
    const uint32_t h = zrcalc::elements_before_boundary(newest - (n - 1), 16, sizeof(T)), H = h ? h : W;
    const auto block = [&](uint32_t i, auto on, bool head) {
        for (uint32_t l = 0; l < W; ++l) {
            const float x = X(i + l) * (on(l) ? 1.0f : 0.0f);
            P[l % 4] = head && l < 4 ? x * d(i + l) : zrcalc::fused_multiply_add(d(i + l), x, P[l % 4]);
        }
    };
    block(0, [&](uint32_t l) { return l < H; }, true);
    uint32_t i = H;
    for (; n - i >= W; i += W) block(i, [](uint32_t) { return true; }, false);
    if (const uint32_t r = n - i) block(n - W, [&](uint32_t l) { return l >= W - r; }, false);
    return (P[0] + P[2]) + (P[1] + P[3]);
}

// The sample array is the window; coefficients hold (count - 1) * stride + 1.
template <class T>
zrtest::Case filter(const char* entry, Filter<T> call, uint32_t stride)
{
    const auto weights = [stride](uint32_t n) { return n ? std::size_t(n - 1) * stride + 1 : 0; };
    return {entry, "stride " + std::to_string(stride),
            {zrtest::in<T>(), zrtest::in<float>(zrtest::random_fill<float>(1.0), weights),
             zrtest::cell<float>(zrtest::Dir::Out)}, 40,
            [=](zrtest::Arrays a, uint32_t n) { *a.at<float>(2) = call(a.at<T>(0) + n - 1, n, a.at<float>(1), stride); },
            [=](zrtest::Arrays a, uint32_t n) { *a.at<float>(2) = model(a.at<T>(0) + n - 1, n, a.at<float>(1), stride); }};
}

ZRTEST_SWEEP(filter_at_position)
{
    std::vector<zrtest::Case> cases;
    for (uint32_t stride : {1u, 3u, 0u}) {
        cases.push_back(filter<float>("zrcalcCACalcFilter_float", zrcalcCACalcFilter_float, stride));
        cases.push_back(filter<int32_t>("zrcalcCACalcFilter_int32_t", zrcalcCACalcFilter_int32_t, stride));
        cases.push_back(filter<int16_t>("zrcalcCACalcFilter_int16_t", zrcalcCACalcFilter_int16_t, stride));
    }
    return cases;
}

TEST(CalcFilter, StatedValues)
{
    const float one[1] = {1.0f}, third[1] = {1 / 3.0f}, inf = std::numeric_limits<float>::infinity();
    // One sample: one rounded product; integer extremes converted, 2^31 - 1 rounding up to 2^31.
    const int32_t i32[4] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX};
    const int16_t i16[2] = {-32768, 32767};
    EXPECT_TRUE(BitsEqual(0x1p31f * third[0], zrcalcCACalcFilter_int32_t(&i32[0], 1, third, 1)));
    EXPECT_TRUE(BitsEqual(-0x1p31f, zrcalcCACalcFilter_int32_t(&i32[1], 1, one, 1)));
    EXPECT_TRUE(BitsEqual(0x1p32f, zrcalcCACalcFilter_int32_t(&i32[3], 4, one, 0)));
    EXPECT_TRUE(BitsEqual(-32768.0f, zrcalcCACalcFilter_int16_t(&i16[0], 1, one, 1)));
    EXPECT_TRUE(BitsEqual(32767.0f * third[0], zrcalcCACalcFilter_int16_t(&i16[1], 1, third, 1)));
    // Stride 0 weights all by coefficients[0]; the three paths sum 1 .. n exactly.
    const OffsetArray<float> ramp({1, 2, 3, 4, 5, 6, 7, 8, 9}, 4);
    const float half[1] = {0.5f};
    for (uint32_t n : {3u, 4u, 9u})
        EXPECT_TRUE(BitsEqual(n * (n + 1) / 4.0f, zrcalcCACalcFilter_float(ramp.data() + n - 1, n, half, 0))) << n;
    // At a 16-byte boundary, count 3 runs newest first (1 + -1e8 + 1 = -1e8), count 4
    // adds four plain products as (1e8 + -1e8) + (1 + 1).
    const OffsetArray<float> cancel({1e8f, 1, -1e8f, 1}, 0);
    const float ones[4] = {1, 1, 1, 1};
    EXPECT_TRUE(BitsEqual(-1e8f, zrcalcCACalcFilter_float(cancel.data() + 3, 3, ones, 1)));
    EXPECT_TRUE(BitsEqual(2.0f, zrcalcCACalcFilter_float(cancel.data() + 3, 4, ones, 1)));
    // A masked lane multiplies by 0: an infinity there gives NaN. Float count 5 at a
    // boundary re-reads x_1 in the tail; int16 count 8 two bytes past one has H = 7 and
    // masks the newest sample in its head, whose infinite weight then gives NaN too.
    const OffsetArray<float> spike({1, inf, 1, 1, 1}, 0);
    EXPECT_TRUE(BitsEqual(inf, zrcalcCACalcFilter_float(spike.data() + 3, 4, ones, 0)));
    EXPECT_TRUE(std::isnan(zrcalcCACalcFilter_float(spike.data() + 4, 5, ones, 0)));
    const float infFirst[8] = {inf, 1, 1, 1, 1, 1, 1, 1};
    for (std::size_t offset : {0u, 2u}) {
        const OffsetArray<int16_t> x({1, 1, 1, 1, 1, 1, 1, 1}, offset);
        EXPECT_EQ(offset != 0, std::isnan(zrcalcCACalcFilter_int16_t(x.data() + 7, 8, infFirst, 1))) << offset;
    }
}

}  // namespace
