// Unbalance against a model of its stated rule through the sweep driver (the
// kernel is tested in fastmath/sine_test.cpp); balanced, phase-swapped and zero
// sets on each path.
#include <complex>

#include "common/lanes.h"
#include "fastmath/sin_cos.h"
#include "support/sweep.h"

namespace {

using zrcalc::fused_multiply_add;

// The 13 output floats in the order of the block: S0, S1, S2, the total ratios,
// the phasor ratios, then Z, P, N as pairs; |Z|, |P|, |N| by cabsf.
constexpr std::size_t kOutputs = 13;
float modulus(const float* o, int k) { return std::abs(std::complex<float>(o[7 + 2 * k], o[8 + 2 * k])); }

// Arrays: the amplitudes of phases 1 to 3, their angles, the outputs.
void call(zrtest::Arrays x, uint32_t n)
{
    float* o = x.at<float>(6);
    const auto z = [o](int k) { return reinterpret_cast<ZrcalcComplexFloat*>(o + 7 + 2 * k); };
    const PowerUnbalanceParams b = {x.at<float>(0), x.at<float>(1), x.at<float>(2), x.at<float>(3), x.at<float>(4),
                                    x.at<float>(5), o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6, z(0), z(1), z(2), n};
    zrcalcPowerUnbalance(&b);
}

// The rule, sum k at a time: element 0's phasor in double; four float lanes over
// 4 floor(n/4) elements, the rest in double; the root; then the ratios.
void unbalance_rule(zrtest::Arrays x, uint32_t n)
{
    const auto A = [x](int p, uint32_t i) { return x.at<float>(p)[i]; };
    float* o = x.at<float>(6);
    const float rotation[3][3] = {{0, 0, 0}, {0, 120, 240}, {0, 240, 120}};  // [sum][phase]
    for (int k = 0; k < 3; ++k) {
        const auto deg = [&](int p, uint32_t i) { return rotation[k][p] ? A(3 + p, i) - rotation[k][p] : A(3 + p, i); };
        const auto trig = [&](int p, uint32_t i, int im) {
            const double r = double(deg(p, i)) * 0.017453292519943295;
            return im ? std::sin(r) : std::cos(r);
        };
        float lane[4] = {}, part[2];
        for (uint32_t i = 0; i < n / 4 * 4; ++i) {
            for (int p = 0; p < 3; ++p) {
                const zrcalc::SinCos4 v = zrcalc::FastSinCos(_mm_set1_ps(deg(p, i) * 0.0174532924f));
                const float c = _mm_cvtss_f32(v.cosine), s = _mm_cvtss_f32(v.sine);
                part[0] = p ? fused_multiply_add(A(p, i), c, part[0]) : A(p, i) * c;
                part[1] = p ? fused_multiply_add(A(p, i), s, part[1]) : A(p, i) * s;
            }
            lane[i % 4] = fused_multiply_add(part[1], part[1], fused_multiply_add(part[0], part[0], lane[i % 4]));
        }
        o[k] = (lane[0] + lane[1]) + (lane[2] + lane[3]);
        for (uint32_t i = n / 4 * 4; i < n; ++i) {
            double sum[2];
            for (int im = 0; im < 2; ++im) {
                sum[im] = A(0, i) * trig(0, i, im);
                for (int p = 1; p < 3; ++p) sum[im] = fused_multiply_add(double(A(p, i)), trig(p, i, im), sum[im]);
            }
            o[k] += float(fused_multiply_add(sum[0], sum[0], sum[1] * sum[1]));
        }
        o[k] = float(std::sqrt(double(o[k])) * (1.0 / 3));
        for (int im = 0; im < 2; ++im) {
            double sum = A(0, 0) * trig(0, 0, im) * (1.0 / 3);
            for (int p = 1; p < 3; ++p) sum = fused_multiply_add(A(p, 0) * trig(p, 0, im), 1.0 / 3, sum);
            o[7 + 2 * k + im] = float(sum);
        }
    }
    const float p = modulus(o, 1);
    o[3] = o[1] > 0 ? 100.0f / o[1] * o[2] : 0.0f, o[4] = o[1] > 0 ? 100.0f / o[1] * o[0] : 0.0f;
    o[5] = p > 0 ? modulus(o, 2) * (100.0f / p) : 0.0f, o[6] = p > 0 ? modulus(o, 0) * (100.0f / p) : 0.0f;
}

// Phase p's amplitudes or angles: array p rebuilds the first phase's values from
// its seed less p. Mostly balanced or swapped sets, exact or nearly, where the sums
// cancel and the last bits of each step show; some independent values, zero
// amplitudes (all three phases at once too), angles past the kernel's range.
zrtest::Fill phase(int p, bool angle)
{
    return zrtest::fill_with<float>([=](std::size_t n, uint64_t seed) {
        const auto first = zrtest::random_samples<float>(n, seed - p, angle ? 720.0 : 200.0);
        auto v = zrtest::random_samples<float>(n, seed, 1.0);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t mode = uint32_t(std::fabs(first[i]) * 64) % 8;  // the same for every phase
            const float rotated = (mode == 7 ? first[i] * 2e8f : first[i]) + 120.0f * (p * (mode == 3 ? 2 : 1) % 3);
            if (angle) v[i] = mode == 6 ? 720 * v[i] : rotated + (mode == 4) * 1e-3f * v[i];
            if (!angle) v[i] = mode == 7 ? 0.0f : mode == 6 ? 200 * v[i] : first[i] + 200 + (mode == 5) * v[i];
        }
        return v;
    });
}

// Counts 0..20: the double path alone, 4 and 8 in float, each with a tail; element
// 0 is read at count 0 too. The first amplitudes at every alignment; every load
// takes any address the same way, so the other arrays stay at one.
ZRTEST_SWEEP(unbalance)
{
    std::vector<zrtest::Array> arrays;
    for (int i = 0; i < 7; ++i)
        arrays.push_back({zrtest::elem_of<float>(), i < 6 ? zrtest::Dir::In : zrtest::Dir::Out,
                          [i](uint32_t n) { return i < 6 ? std::max<std::size_t>(n, 1) : kOutputs; },
                          i < 6 ? phase(i % 3, i >= 3) : zrtest::random_fill<float>(), i ? 32u : 4u});
    return {{"zrcalcPowerUnbalance", "", arrays, 20, call, unbalance_rule, {}, {}, 4}};
}

// Equal amplitudes, angles theta + 120 d p for phase p (d = 1: balanced, d = 2:
// phases 2 and 3 exchanged), on the double path, the float path and both.
TEST(Unbalance, BalancedSwappedAndZeroSets)
{
    for (uint32_t n : {1u, 4u, 37u})
        for (const float A : {230.0f, 0.0f})
            for (int d : {1, 2}) {
                std::vector<float> amplitude(n, A), t;
                for (int p = 0; p < 3; ++p)
                    for (uint32_t i = 0; i < n; ++i) t.push_back(-30.0f + 11.0f * i + 120.0f * (p * d % 3));
                float o[kOutputs];
                void* arrays[7] = {&amplitude[0], &amplitude[0], &amplitude[0], &t[0], &t[n], &t[2 * n], o};
                call(zrtest::Arrays{arrays}, n);
                for (std::size_t r = 0; r < kOutputs && A == 0; ++r) EXPECT_EQ(0.0f, o[r]);  // both references fail
                if (A == 0) continue;
                const std::complex<float> phasor(o[7 + 2 * d], o[8 + 2 * d]);  // P, or N when swapped
                EXPECT_NEAR(std::abs(phasor - std::polar(A, -0.523598776f)), 0, 1e-4f) << n << d;
                EXPECT_NEAR(o[d], A * std::sqrt(float(n)), 1e-3f * n) << n << d;
                for (int k : {0, 3 - d}) EXPECT_TRUE(o[k] < 1e-3f * n && modulus(o, k) < 1e-4f) << n << d << k;
                for (int r = 3; r < 7 && d == 1; ++r) EXPECT_NEAR(o[r], 0, 1e-3f) << n;  // percent
            }
}

}  // namespace
