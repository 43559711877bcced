// The fast logarithm: the values stated for it, and its error against the C
// library's log10 in every octave of normal floats.
#include "fastmath/fast_log10.h"

#include "support/sweep.h"

namespace {

using zrcalc::FastLog10;
using zrtest::BitsEqual;

float lane0(__m128 v) { return _mm_cvtss_f32(v); }
float log10x4(float x) { return lane0(zrcalc::FastLog10x4(_mm_set1_ps(x))); }
float from_bits(uint32_t b) { float f; return std::memcpy(&f, &b, 4), f; }

TEST(FastLog10, StatedValues)
{
    for (int k = -126; k < 128; ++k)  // powers of two: the exponent, exactly
        ASSERT_EQ(float(k), lane0(zrcalc::FastLog2Core(_mm_set1_ps(std::ldexp(1.0f, k))))) << k;
    for (auto f : {FastLog10, log10x4}) {
        EXPECT_TRUE(BitsEqual(0.0f, f(1.0f)));
        EXPECT_TRUE(BitsEqual(from_bits(0x3E9A209B), f(2.0f)));  // 0.30103001
        EXPECT_TRUE(BitsEqual(from_bits(0x421A209B), f(INFINITY)));
        EXPECT_TRUE(BitsEqual(from_bits(0x421A209B), f(-INFINITY)));
        EXPECT_NEAR(1.00002, f(10.0f), 1e-5);
        EXPECT_NEAR(1.99994, f(100.0f), 1e-5);
        EXPECT_NEAR(-8.99999, f(1e-9f), 1e-5);
        for (uint32_t nan : {0x7FC00000u, 0xFFC00001u, 0x7F800001u, 0x7FFFFFFFu}) {  // finite, (128, 129) * log10 2
            EXPECT_GT(f(from_bits(nan)), 38.53f);
            EXPECT_LT(f(from_bits(nan)), 38.84f);
        }
        for (uint32_t denormal : {1u, 0x400000u, 0x7FFFFFu, 0x807FFFFFu}) {  // [-127, -126) * log10 2
            EXPECT_GE(f(from_bits(denormal)), from_bits(0xC218EC5A));
            EXPECT_LT(f(from_bits(denormal)), -37.929f);
        }
    }
    for (float zero : {0.0f, -0.0f}) {  // -127 * log10 2 in the two final scalings
        EXPECT_TRUE(BitsEqual(from_bits(0xC218EC59), FastLog10(zero)));
        EXPECT_TRUE(BitsEqual(from_bits(0xC218EC5A), log10x4(zero)));
    }
}

// The stated core, one value: the significand m with the exponent of 1, the
// exponent field less the bias, three fused steps of the cubic, one fused last step.
float log2_rule(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, 4);
    const float m = from_bits((b & 0x7FFFFF) | 0x3F800000), e = float(int(b >> 23 & 0xFF) - 127);
    const float cubic = std::fma(std::fma(std::fma(-0.107254423f, m, 0.688243866f), m, -1.75647175f), m, 2.61761045f);
    return std::fma(m - 1.0f, cubic, e);
}

// Every normal octave: significands at a stride of 2^12, and each of the last 2^11
// below the next power of two, where the fit is worst; eight lanes of neighbours
// and their negatives. Every form against the stated core and its final scaling,
// bit for bit; the error of both base-10 forms against log10.
TEST(FastLog10, EveryFormFollowsTheCoreWithinItsErrorOfLog10InEveryOctave)
{
    constexpr double kBound = 1.23e-4;  // measured over all normal floats: 1.2285e-4
    double worst = 0;
    for (uint32_t bits = 0x00800000; bits < 0x7F800000;) {
        float x[8], l8[8], l4[4], v[4];
        for (uint32_t k = 0; k < 8; ++k) x[k] = (k % 2 ? -1 : 1) * from_bits(bits ^ (k / 2));
        _mm256_storeu_ps(l8, zrcalc::FastLog2Core(_mm256_loadu_ps(x)));
        _mm_storeu_ps(l4, zrcalc::FastLog2Core(_mm_loadu_ps(x)));
        _mm_storeu_ps(v, zrcalc::FastLog10x4(_mm_loadu_ps(x)));
        for (uint32_t k = 0; k < 8; ++k) {
            const float l = log2_rule(x[k]);
            ASSERT_TRUE(BitsEqual(l, l8[k]) && BitsEqual(float(double(l) * 0.3010299952006788), FastLog10(x[k])) &&
                        (k >= 4 || (BitsEqual(l, l4[k]) && BitsEqual(l * 0.30103001f, v[k]))))
                << std::hex << bits << " lane " << k;
        }
        ASSERT_TRUE(BitsEqual(v[0], v[1])) << "a negative x gives |x|'s result";
        const double exact = std::log10(double(x[0]));
        worst = std::max({worst, std::fabs(FastLog10(x[0]) - exact), std::fabs(v[0] - exact)});
        const uint32_t fraction = bits & 0x7FFFFF;
        bits += fraction < 0x7FF000 ? 0x1000 : fraction < 0x7FF800 ? 0x800 : 1;
    }
    EXPECT_LT(worst, kBound);
    EXPECT_GT(worst, 1.2e-4);  // the sweep reaches the worst places
}

}  // namespace
