

#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;

void fill(double* b, uint32_t n, double f, double o) { zrcalcChannelFillBufferWithLinearFunction_double(b, n, f, o); }
void fill(float* b, uint32_t n, float f, float o) { zrcalcChannelFillBufferWithLinearFunction_float(b, n, f, o); }

// The index exactly in double, then rounded once to the element type; one fused
// multiply-add.
template <class T>
T rule(uint32_t i, T f, T o)
{
    return std::fma(T(double(i)), f, o);
}

// Counts 0..72 (two float passes of 32 and a tail); factor and offset, whose
// products need the single rounding, change with the count.
template <class T>
zrtest::Case linear_fill(const char* entry)
{
    const auto factor = [](uint32_t n) { return zrtest::random_samples<T>(1, n, 100.0)[0]; };
    const auto offset = [](uint32_t n) { return zrtest::random_samples<T>(1, n + 1000, 1e4)[0]; };
    return {entry, "", {zrtest::out<T>()}, 72,
            [=](zrtest::Arrays a, uint32_t n) { fill(a.at<T>(0), n, factor(n), offset(n)); },
            [=](zrtest::Arrays a, uint32_t n) {
                for (uint32_t i = 0; i < n; ++i) a.at<T>(0)[i] = rule(i, factor(n), offset(n));
            }};
}

ZRTEST_SWEEP(linear_fill)
{
    return {linear_fill<double>("zrcalcChannelFillBufferWithLinearFunction_double"),
            linear_fill<float>("zrcalcChannelFillBufferWithLinearFunction_float")};
}

TEST(LinearFill, StatedValues)
{
    double d[4];
    fill(d, 4, 0.1, -0.30000000000000004);
    EXPECT_TRUE(BitsEqual(-2.7755575615628914e-17, d[3]));  // a separate multiply and add gives 0
    // Past 2^24 the float index rounds, in the vector passes as in the tail:
    // 2^24 + 1 ties to 2^24, 2^24 + 3 to 2^24 + 4.
    constexpr uint32_t kFrom = (1u << 24) - 40, kCount = (1u << 24) + 70;
    std::vector<float> out(kCount);
    fill(out.data(), kCount, 1.0f, 0.0f);
    EXPECT_EQ(std::vector<float>(&out[1u << 24], &out[(1u << 24) + 4]),
              (std::vector<float>{16777216, 16777216, 16777218, 16777220}));
    for (uint32_t i = kFrom; i < kCount; ++i) ASSERT_TRUE(BitsEqual(rule(i, 1.0f, 0.0f), out[i])) << "index " << i;
}

}  // namespace
