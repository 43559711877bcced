// The array arctangent against a scalar model of its steps: through the sweep
// driver (both paths, in place too), densely over every octave with its error
// against atanf and the exact arctangent, and at the stated values.
#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;
using zrtest::fused;

float f(uint32_t b) { float x; return std::memcpy(&x, &b, 4), x; }
uint32_t bits_of(float x) { uint32_t b; return std::memcpy(&b, &x, 4), b; }

// The stated steps for one value, two divisions and all.
float atan_rule(float x)
{
    const float a = std::fabs(x), t = a > f(0x401A827A) ? (1.0f / a) * -1.0f
                                    : a > f(0x3F28F5C3) ? (a - 1.0f) / (a + 1.0f) : a;
    const float base = a > f(0x401A827A) ? float(M_PI / 2) : a > f(0x3F28F5C3) ? float(M_PI / 4) : 0.0f;
    const float z = t * t;
    float p = f(0xBF6003FD), q = z + f(0x41C6DE23);
    for (uint32_t c : {0xC18142A3, 0xC2960462, 0xC2F5C5F9, 0xC281B350}) p = fused(p, z, f(c));
    for (uint32_t c : {0x432506EA, 0x43D870C7, 0x43F2B1F9, 0x43428CF8}) q = fused(q, z, f(c));
    float u = fused(t, (p * z) / q, t);
    if (base != 0.0f) u -= base > 1.0f ? f(0x332BCC77) : f(0x32ABCC77);
    return f(bits_of(u + base) | (bits_of(x) & 0x80000000u));
}

// Counts 0..40: the double path, four to seven, then head, blocks from each input
// alignment and tail; in place too. Values in [-4, 4) reach all three ranges.
ZRTEST_SWEEP(atan)
{
    return {{"zrcalcATan_float", "", {zrtest::in<float>(zrtest::random_fill<float>(4.0)), zrtest::out<float>()}, 40,
             [](zrtest::Arrays a, uint32_t n) { zrcalcATan_float(a.at<float>(0), a.at<float>(1), n); },
             [](zrtest::Arrays a, uint32_t n) {
                 for (uint32_t i = 0; i < n; ++i) {
                     const float x = a.at<float>(0)[i];
                     a.at<float>(1)[i] = n < 4 ? float(std::atan(double(x))) : atan_rule(x);
                 }
             },
             {{1, {0}, {0}}}}};
}

// Every 2^13-th float of each sign and the worst places of the measurement at
// every float: 1 ulp from atanf, 1.0221 ulp (of the result) and 1.088e-7 from the
// exact arctangent.
TEST(ATan, FollowsItsStepsWithinItsErrorOfAtanf)
{
    std::vector<float> x = {f(0x3A27BA3B), f(0x3FC6D565), f(0x3FFF878F)}, y;
    for (uint32_t b = 0; b < 0x7F800000; b += 0x2000) x.insert(x.end(), {f(b), -f(b)});
    y.resize(x.size());
    zrcalcATan_float(x.data(), y.data(), uint32_t(x.size()));
    double worst[3] = {0, 0, 0};  // ulp from atanf, ulp and absolute from atan
    for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_TRUE(BitsEqual(atan_rule(x[i]), y[i])) << x[i];
        const double exact = std::atan(double(x[i])), error = std::fabs(y[i] - exact);
        const double ulp = std::ldexp(1.0, std::max(std::ilogb(float(exact)), -126) - 23);
        const double fromAtanf = std::fabs(double(y[i]) - atanf(x[i])) / ulp;
        worst[0] = std::max(worst[0], fromAtanf), worst[1] = std::max(worst[1], error / ulp);
        worst[2] = std::max(worst[2], error);
    }
    EXPECT_LE(worst[0], 1.0);
    EXPECT_TRUE(worst[1] < 1.023 && worst[1] > 1.022 && worst[2] < 1.09e-7) << worst[1] << " " << worst[2];
}

// Five values at a 16-byte boundary (head 0-3, one block 0-3, tail vector 1-4),
// then the thresholds and the next floats above them; only 0.66f itself tells
// the unreduced path from the (a - 1) / (a + 1) one.
TEST(ATan, StatedValues)
{
    const uint32_t stated[][2] = {{0x00000000, 0x00000000}, {0x80000000, 0x80000000}, {0x3F800000, 0x3F490FDB},
                                  {0x7F800000, 0x3FC90FDB}, {0xFF800000, 0xBFC90FDB}, {0x3F28F5C3, 0x3F1557EF},
                                  {0x3F28F5C4, 0x3F1557F0}, {0x401A827A, 0x3F96CBE4}, {0x401A827B, 0x3F96CBE4},
                                  {0xFFC00001, 0xFFC00001}, {0x7F800001, 0x7FC00001}};
    std::vector<float> in, out;
    for (const auto& s : stated) in.push_back(f(s[0])), out.push_back(f(s[1]));
    zrtest::OffsetArray<float> x(in, 0), y(std::vector<float>(in.size()), 0);
    zrcalcATan_float(x.data(), y.data(), 5);
    zrcalcATan_float(x.data() + 5, y.data() + 5, uint32_t(in.size() - 5));
    EXPECT_TRUE(BitsEqual(out.data(), y.data(), in.size()));
}

}  // namespace
