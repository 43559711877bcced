// Unbalance against a model of its stated rule through the sweep driver (the
// kernel is tested in fastmath/sine_test.cpp); balanced, phase-swapped and
// zero sets on each path.
#include <complex>

#include "common/lanes.h"
#include "fastmath/sin_cos.h"
#include "support/sweep.h"

namespace {

using zrcalc::fused_multiply_add;

// The 13 output floats in the order of the block: S0, S1, S2, the two total
// ratios, the two phasor ratios, then Z, P, N as pairs.
constexpr std::size_t kOutputs = 13;

// |Z|, |P| or |N| (k = 0, 1, 2) by the C runtime's cabsf.
float modulus(const float* o, int k) { return std::abs(std::complex<float>(o[7 + 2 * k], o[8 + 2 * k])); }

PowerUnbalanceParams block(const float* const* a, const float* const* theta, float* o, uint32_t n)
{
    const auto z = [o](int k) { return reinterpret_cast<ZrcalcComplexFloat*>(o + 7 + 2 * k); };
    return {a[0], a[1], a[2], theta[0], theta[1], theta[2], o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6,
            z(0), z(1), z(2), n};
}

// The rule: element 0's phasors in double; four float lanes over 4 floor(n/4)
// elements; the rest in double; roots; ratios.
void unbalance_rule(const float* const* a, const float* const* theta, float* o, uint32_t n)
{
    const float rotation[3][3] = {{0, 0, 0}, {0, 120, 240}, {0, 240, 120}};  // [sum][phase]
    const auto deg = [&](int k, int p, uint32_t i) {
        return rotation[k][p] ? theta[p][i] - rotation[k][p] : theta[p][i];
    };
    const auto in_double = [&](int k, int p, uint32_t i, int im) {
        const double r = double(deg(k, p, i)) * 0.017453292519943295;
        return double(a[p][i]) * (im ? std::sin(r) : std::cos(r));
    };
    for (int k = 0; k < 3; ++k)
        for (int im = 0; im < 2; ++im)
            o[7 + 2 * k + im] = float(fused_multiply_add(in_double(k, 2, 0, im), 1.0 / 3,
                                                         fused_multiply_add(in_double(k, 1, 0, im), 1.0 / 3,
                                                                            in_double(k, 0, 0, im) * (1.0 / 3))));
    for (int k = 0; k < 3; ++k) {
        float lane[4] = {}, part[2];
        for (uint32_t i = 0; i < n / 4 * 4; ++i) {
            for (int p = 0; p < 3; ++p) {
                const zrcalc::SinCos4 v = zrcalc::FastSinCos(_mm_set1_ps(deg(k, p, i) * 0.0174532924f));
                const float c = _mm_cvtss_f32(v.cosine), s = _mm_cvtss_f32(v.sine);
                part[0] = p ? fused_multiply_add(a[p][i], c, part[0]) : a[p][i] * c;
                part[1] = p ? fused_multiply_add(a[p][i], s, part[1]) : a[p][i] * s;
            }
            lane[i % 4] = fused_multiply_add(part[1], part[1], fused_multiply_add(part[0], part[0], lane[i % 4]));
        }
        o[k] = (lane[0] + lane[1]) + (lane[2] + lane[3]);
        for (uint32_t i = n / 4 * 4; i < n; ++i) {
            double re = in_double(k, 0, i, 0), im = in_double(k, 0, i, 1);
            for (int p = 1; p < 3; ++p) {
                const double r = double(deg(k, p, i)) * 0.017453292519943295;
                re = fused_multiply_add(double(a[p][i]), std::cos(r), re);
                im = fused_multiply_add(double(a[p][i]), std::sin(r), im);
            }
            o[k] += float(fused_multiply_add(re, re, im * im));
        }
        o[k] = float(std::sqrt(double(o[k])) * (1.0 / 3));
    }
    const float p = modulus(o, 1);
    o[3] = o[1] > 0 ? 100.0f / o[1] * o[2] : 0.0f, o[4] = o[1] > 0 ? 100.0f / o[1] * o[0] : 0.0f;
    o[5] = p > 0 ? modulus(o, 2) * (100.0f / p) : 0.0f, o[6] = p > 0 ? modulus(o, 0) * (100.0f / p) : 0.0f;
}

// Phase p's amplitudes or angles; array p rebuilds the first phase's values from
// its seed less p. Mostly balanced or swapped sets, exact or nearly, where the sums
// cancel and the last bits of each step show; some independent values, zero
// amplitudes (all three phases at once too) and angles past the kernel's range.
zrtest::Fill phase(int p, bool angle)
{
    return zrtest::fill_with<float>([=](std::size_t n, uint64_t seed) {
        const auto first = zrtest::random_samples<float>(n, seed - p, angle ? 720.0 : 200.0);
        auto v = zrtest::random_samples<float>(n, seed, 1.0);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t mode = uint32_t(std::fabs(first[i]) * 64) % 8;  // the same for every phase
            if (!angle) v[i] = mode == 7 ? 0.0f : mode == 6 ? 200 * v[i] : first[i] + 200 + (mode == 5) * v[i];
            else if (mode != 6)
                v[i] = (mode == 7 ? first[i] * 2e8f : first[i]) + 120.0f * (p * (mode == 3 ? 2 : 1) % 3) +
                       (mode == 4) * 1e-3f * v[i];
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
    for (int i = 0; i < 6; ++i)
        arrays.push_back({zrtest::elem_of<float>(), zrtest::Dir::In, [](uint32_t n) { return std::max(n, 1u); },
                          phase(i % 3, i >= 3), i ? 32u : 4u});
    arrays.push_back({zrtest::elem_of<float>(), zrtest::Dir::Out, [](uint32_t) { return kOutputs; },
                      zrtest::random_fill<float>(), 32});
    const auto run = [](auto f) {
        return [f](zrtest::Arrays x, uint32_t n) {
            const float* v[6] = {x.at<float>(0), x.at<float>(1), x.at<float>(2),
                                 x.at<float>(3), x.at<float>(4), x.at<float>(5)};
            f(v, v + 3, x.at<float>(6), n);
        };
    };
    return {{"zrcalcPowerUnbalance", "", arrays, 20,
             run([](const float** a, const float** t, float* o, uint32_t n) {
                 const PowerUnbalanceParams b = block(a, t, o, n);
                 zrcalcPowerUnbalance(&b);
             }),
             run(unbalance_rule), {}, {}, 4}};
}

// Equal amplitudes, angles theta + 120 d p for phase p (d = 1: balanced, d = 2:
// phases 2 and 3 exchanged), on the double path, the float path and both.
TEST(Unbalance, BalancedSwappedAndZeroSets)
{
    for (uint32_t n : {1u, 4u, 37u})
        for (const float A : {230.0f, 0.0f})
            for (int d : {1, 2}) {
                std::vector<float> amplitudes(n, A), t;
                for (int p = 0; p < 3; ++p)
                    for (uint32_t i = 0; i < n; ++i) t.push_back(-30.0f + 11.0f * i + 120.0f * (p * d % 3));
                const float* a[3] = {&amplitudes[0], &amplitudes[0], &amplitudes[0]};
                const float* theta[3] = {&t[0], &t[n], &t[2 * n]};
                float o[kOutputs];
                const PowerUnbalanceParams b = block(a, theta, o, n);
                zrcalcPowerUnbalance(&b);
                if (A == 0) {  // every output 0: both references fail
                    for (float v : o) EXPECT_EQ(0.0f, v);
                    continue;
                }
                const std::complex<float> phasor(o[7 + 2 * d], o[8 + 2 * d]);  // P, or N when swapped
                EXPECT_NEAR(std::abs(phasor - std::polar(A, -0.523598776f)), 0, 1e-4f) << n << d;
                EXPECT_NEAR(o[d], A * std::sqrt(float(n)), 1e-3f * n) << n << d;
                for (int k : {0, 3 - d}) EXPECT_TRUE(o[k] < 1e-3f * n && modulus(o, k) < 1e-4f) << n << d << k;
                for (int r = 3; r < 7 && d == 1; ++r) EXPECT_NEAR(o[r], 0, 1e-3f) << n;  // percent
            }
}

}  // namespace
