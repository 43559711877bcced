// The fast logarithm: every form against the stated core, at special values and
// densely in every octave; its error against the C library's log10; the values
// stated for it.
#include "fastmath/fast_log10.h"

#include "support/sweep.h"

namespace {

using zrcalc::FastLog10;
using zrtest::BitsEqual;

float from_bits(uint32_t b) { float f; return std::memcpy(&f, &b, 4), f; }
float log10x4(float x) { return _mm_cvtss_f32(zrcalc::FastLog10x4(_mm_set1_ps(x))); }

bool same_bits(__m256 a, __m256 b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The stated core: the significand m with the exponent of 1, the exponent field
// less the bias, three fused steps of the cubic and a fused last step.
float log2_rule(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, 4);
    const float m = from_bits((b & 0x7FFFFF) | 0x3F800000), e = float(int(b >> 23 & 0xFF) - 127);
    const float cubic = std::fma(std::fma(std::fma(-0.107254423f, m, 0.688243866f), m, -1.75647175f), m, 2.61761045f);
    return std::fma(m - 1.0f, cubic, e);
}

// Zeros, denormals, infinities and NaNs; in every normal octave the significands
// at a stride of 2^15 and the last 2^8 below the next power of two, where the fit
// is worst (both base-10 forms reach their largest error there). Each negated too.
TEST(FastLog10, EveryFormFollowsTheCoreWithinItsErrorOfLog10)
{
    std::vector<uint32_t> xs = {0, 1, 0x400000, 0x7FFFFF, 0x7F800000, 0x7FC00000, 0x7F800001, 0x7FFFFFFF};
    for (uint32_t e = 1; e < 255; ++e)
        for (uint32_t f = 0; f < 0x800000; f += f < 0x7F8000 ? 0x8000 : f < 0x7FFF00 ? 0x7F00 : 1)
            xs.push_back(e << 23 | f);
    double worst = 0;
    for (uint32_t b : xs) {
        for (const float x : {from_bits(b), -from_bits(b)}) {
            const float l = log2_rule(x), v4 = log10x4(x), v = FastLog10(x);
            const __m128 x4 = _mm_set1_ps(x), l4 = _mm_set1_ps(l);  // the four-lane forms side by side
            ASSERT_TRUE(same_bits(zrcalc::FastLog2Core(_mm256_set1_ps(x)), _mm256_set1_ps(l)) &&
                        same_bits(_mm256_set_m128(zrcalc::FastLog10x4(x4), zrcalc::FastLog2Core(x4)),
                                  _mm256_set_m128(_mm_mul_ps(l4, _mm_set1_ps(0.30103001f)), l4)) &&
                        BitsEqual(float(double(l) * 0.3010299952006788), v))
                << std::hex << b;
            if (std::isnormal(x)) worst = std::max({worst, std::fabs(v - std::log10(std::fabs(double(x)))),
                                                     std::fabs(v4 - std::log10(std::fabs(double(x))))});
        }
    }
    EXPECT_LT(worst, 1.23e-4);  // measured over all normal floats: 1.2285e-4
    EXPECT_GT(worst, 1.2e-4);   // the sweep reaches the worst places
}

TEST(FastLog10, StatedValues)
{
    static_assert(zrcalc::kLog10ScalarScale == 0.3010299952006788);  // bits 0x3FD3441350201FFD
    for (int k = -126; k < 128; ++k) ASSERT_EQ(float(k), log2_rule(std::ldexp(1.0f, k)));  // powers of two: exact
    for (auto log10 : {FastLog10, log10x4}) {
        EXPECT_TRUE(BitsEqual(0.0f, log10(1.0f)) && BitsEqual(from_bits(0x3E9A209B), log10(2.0f)));  // 0.30103001
        EXPECT_TRUE(BitsEqual(from_bits(0x421A209B), log10(INFINITY)));
        EXPECT_NEAR(38.69, log10(NAN), 0.16);                 // finite, (128, 129) * log10 2
        EXPECT_NEAR(-38.08, log10(from_bits(0x400000)), 0.16);  // a denormal: [-127, -126) * log10 2
    }
    EXPECT_TRUE(BitsEqual(from_bits(0xC218EC59), FastLog10(0.0f)));  // -127 in the two final scalings
    EXPECT_TRUE(BitsEqual(from_bits(0xC218EC5A), log10x4(-0.0f)));
}

}  // namespace
