// The array arctangent against a scalar model of its steps: through the sweep
// driver (both paths, in place too), then densely over every octave with the
// thresholds and the stated values, within its error of atanf and of atan.
#include "support/sweep.h"

namespace {

float f(uint32_t b) { float x; return std::memcpy(&x, &b, 4), x; }

// The stated rule: below four elements the double arctangent, else the kernel's steps
// (u + base is +0 or above, or NaN, so OR-ing the sign bit in is copysign).
void atan_model(const float* in, float* out, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        const float x = in[i], a = std::fabs(x), T1 = f(0x3F28F5C3), T2 = f(0x401A827A);
        const float t = a > T2 ? (1.0f / a) * -1.0f : a > T1 ? (a - 1.0f) / (a + 1.0f) : a, z = t * t;
        float p = f(0xBF6003FD), q = z + f(0x41C6DE23);
        for (uint32_t c : {0xC18142A3, 0xC2960462, 0xC2F5C5F9, 0xC281B350}) p = zrtest::fused(p, z, f(c));
        for (uint32_t c : {0x432506EA, 0x43D870C7, 0x43F2B1F9, 0x43428CF8}) q = zrtest::fused(q, z, f(c));
        const float u = zrtest::fused(t, (p * z) / q, t);
        const float r = a > T2 ? (u - f(0x332BCC77)) + float(M_PI / 2) : a > T1 ? (u - f(0x32ABCC77)) + float(M_PI / 4)
                                                                                 : u + 0.0f;
        out[i] = n < 4 ? float(std::atan(double(x))) : std::copysign(r, x);
    }
}

// Counts 0..40: the double path, four to seven, then head, blocks from each input
// alignment and tail; in place too. Values in [-4, 4) reach all three ranges.
ZRTEST_SWEEP(atan)
{
    return {{"zrcalcATan_float", "", {zrtest::in<float>(zrtest::random_fill<float>(4.0)), zrtest::out<float>()}, 40,
             [](zrtest::Arrays a, uint32_t n) { zrcalcATan_float(a.at<float>(0), a.at<float>(1), n); },
             [](zrtest::Arrays a, uint32_t n) { atan_model(a.at<float>(0), a.at<float>(1), n); }, {{1, {0}, {0}}}}};
}

// The stated values, each threshold and the next float above it (only 0.66f itself
// tells two paths apart by its bits) and the worst places of the measurement at
// every float (1 ulp from atanf, 1.0221 ulp of the result from atan), then every
// 2^14-th float of each sign against the model and within both bounds.
TEST(ATan, StatedValuesAndErrorOfAtanf)
{
    const uint32_t stated[][2] = {{0x80000000, 0x80000000}, {0x3F800000, 0x3F490FDB}, {0x7F800000, 0x3FC90FDB},
                                  {0xFF800000, 0xBFC90FDB}, {0xFFC00001, 0xFFC00001}, {0x3F28F5C3, 0x3F1557EF},
                                  {0x3F28F5C4, 0x3F1557F0}, {0x401A827A, 0x3F96CBE4}, {0x401A827B, 0x3F96CBE4},
                                  {0x3A27BA3B, 0x3A27BA3A}, {0x3FC6D565, 0x3F7FB2F2}};
    std::vector<float> x;
    for (const auto& s : stated) x.push_back(f(s[0]));
    for (uint32_t b = 0; b < 0x7F800000; b += 0x4000) x.insert(x.end(), {f(b), -f(b)});
    std::vector<float> y(x.size()), model = x;
    zrcalcATan_float(x.data(), y.data(), uint32_t(x.size()));
    atan_model(model.data(), model.data(), uint32_t(x.size()));
    ASSERT_TRUE(zrtest::BitsEqual(model.data(), y.data(), x.size()));
    for (std::size_t i = 0; i < std::size(stated); ++i) EXPECT_TRUE(zrtest::BitsEqual(f(stated[i][1]), y[i]));
    for (std::size_t i = 0; i < x.size(); ++i) {  // in units of the last place of the exact result; NaN passes
        const double e = std::atan(double(x[i])), ulp = std::ldexp(1, std::max(std::ilogb(float(e)), -126) - 23);
        ASSERT_FALSE(std::fabs(y[i] - atanf(x[i])) > ulp || std::fabs(y[i] - e) > 1.023 * ulp) << x[i];
    }
}

}  // namespace
