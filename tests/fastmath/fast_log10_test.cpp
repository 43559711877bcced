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

// Every normal octave: significands at a stride of 2^12, and each of the last 2^11
// below the next power of two, where the fit is worst. A negative x gives |x|'s
// result; the four lanes are independent.
TEST(FastLog10, WithinItsErrorOfLog10InEveryOctave)
{
    constexpr double kBound = 1.23e-4;  // measured over all normal floats: 1.2285e-4
    double worst = 0;
    for (uint32_t bits = 0x00800000; bits < 0x7F800000;) {
        const float x = from_bits(bits);
        const float lanes[4] = {x, -x, from_bits(bits ^ 1), -from_bits(bits ^ 1)};
        float v[4];
        _mm_storeu_ps(v, zrcalc::FastLog10x4(_mm_loadu_ps(lanes)));
        const double exact = std::log10(double(x)), next = std::log10(double(lanes[2]));
        worst = std::max({worst, std::fabs(FastLog10(x) - exact), std::fabs(v[0] - exact), std::fabs(v[2] - next)});
        ASSERT_TRUE(BitsEqual(FastLog10(x), FastLog10(-x))) << bits;
        ASSERT_TRUE(BitsEqual(v[0], v[1]) && BitsEqual(v[2], v[3]) && BitsEqual(v[0], log10x4(x))) << bits;
        const uint32_t fraction = bits & 0x7FFFFF;
        bits += fraction < 0x7FF000 ? 0x1000 : fraction < 0x7FF800 ? 0x800 : 1;
    }
    EXPECT_LT(worst, kBound);
    EXPECT_GT(worst, 1.2e-4);  // the sweep reaches the worst places
}

}  // namespace
