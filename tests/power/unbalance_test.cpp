// Unbalance against a model of its stated rule through the sweep driver (its
// kernel is tested in fastmath/sine_test.cpp); balanced and phase-swapped
// three-phase sets on each path; the stated edge cases.
#include <complex>

#include "common/lanes.h"
#include "fastmath/sin_cos.h"
#include "support/sweep.h"

namespace {

using zrcalc::fused_multiply_add;
using zrtest::BitsEqual;

// The 13 output floats in the order of the block: S0, S1, S2, the two total
// ratios, the two phasor ratios, then Z, P, N as pairs.
constexpr std::size_t kOutputs = 13;

// |Z|, |P| or |N| (k = 0, 1, 2) by the C runtime's cabsf.
float modulus(const float* o, int k) { return std::abs(std::complex<float>(o[7 + 2 * k], o[8 + 2 * k])); }

PowerUnbalanceParams block(const float* const a[3], const float* const theta[3], float* o, uint32_t n)
{
    const auto z = [o](int k) { return reinterpret_cast<ZrcalcComplexFloat*>(o + 7 + 2 * k); };
    return {a[0], a[1], a[2], theta[0], theta[1], theta[2], o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6,
            z(0), z(1), z(2), n};
}

// The rule: element 0's phasors in double; the float lanes over 4 floor(n/4)
// elements; the rest in double; roots; ratios.
void unbalance_rule(const float* const a[3], const float* const theta[3], float* o, uint32_t n)
{
    const float rotation[3][3] = {{0, 0, 0}, {0, 120, 240}, {0, 240, 120}};  // [sum][phase]
    const auto degrees = [&](int k, int p, uint32_t i) {
        return rotation[k][p] ? theta[p][i] - rotation[k][p] : theta[p][i];
    };
    const auto in_double = [&](int k, int p, uint32_t i, bool sine) {
        const double r = double(degrees(k, p, i)) * 0.017453292519943295;
        return sine ? std::sin(r) : std::cos(r);
    };
    const double third = 1.0 / 3.0;
    for (int k = 0; k < 3; ++k)
        for (int im = 0; im < 2; ++im) {
            double sum = double(a[0][0]) * in_double(k, 0, 0, im) * third;
            for (int p = 1; p < 3; ++p) sum = fused_multiply_add(double(a[p][0]) * in_double(k, p, 0, im), third, sum);
            o[7 + 2 * k + im] = float(sum);
        }
    float total[3];
    for (int k = 0; k < 3; ++k) {
        float lane[4] = {};
        for (uint32_t i = 0; i < n / 4 * 4; ++i) {
            float part[2];
            for (int im = 0; im < 2; ++im)
                for (int p = 0; p < 3; ++p) {
                    const zrcalc::SinCos4 v = zrcalc::FastSinCos(_mm_set1_ps(degrees(k, p, i) * 0.0174532924f));
                    const float f = _mm_cvtss_f32(im ? v.sine : v.cosine);
                    part[im] = p ? fused_multiply_add(a[p][i], f, part[im]) : a[p][i] * f;
                }
            lane[i % 4] = fused_multiply_add(part[1], part[1], fused_multiply_add(part[0], part[0], lane[i % 4]));
        }
        total[k] = (lane[0] + lane[1]) + (lane[2] + lane[3]);
        for (uint32_t i = n / 4 * 4; i < n; ++i) {
            double part[2];
            for (int im = 0; im < 2; ++im)
                for (int p = 0; p < 3; ++p)
                    part[im] = p ? fused_multiply_add(double(a[p][i]), in_double(k, p, i, im), part[im])
                                 : double(a[p][i]) * in_double(k, p, i, im);
            total[k] += float(fused_multiply_add(part[0], part[0], part[1] * part[1]));
        }
        o[k] = float(std::sqrt(double(total[k])) * third);
    }
    const float p = modulus(o, 1);
    o[3] = o[1] > 0 ? 100.0f / o[1] * o[2] : 0.0f;
    o[4] = o[1] > 0 ? 100.0f / o[1] * o[0] : 0.0f;
    o[5] = p > 0 ? modulus(o, 2) * (100.0f / p) : 0.0f;
    o[6] = p > 0 ? modulus(o, 0) * (100.0f / p) : 0.0f;
}

// Phase p's amplitudes or angles; array p rebuilds the first phase's values from
// its seed less p. Mostly balanced or swapped sets, exact or nearly, where the
// sums cancel and the last bits of each step show; some independent values,
// zero amplitudes and angles past the kernel's range.
zrtest::Fill phase(int p, bool angle)
{
    return zrtest::fill_with<float>([=](std::size_t n, uint64_t seed) {
        const auto first = zrtest::random_samples<float>(n, seed - p, angle ? 720.0 : 200.0);
        const auto own = zrtest::random_samples<float>(n, seed, 1.0);
        std::vector<float> v(n);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t mode = uint32_t(std::fabs(first[i]) * 64) % 8;  // the same for every phase
            if (!angle) v[i] = mode == 7 ? 0.0f : mode == 6 ? 200 * own[i] : first[i] + 200 + (mode == 5) * own[i];
            else if (mode == 6) v[i] = 720 * own[i];
            else v[i] = (mode == 7 ? first[i] * 2e8f : first[i]) + 120.0f * (p * (mode == 3 ? 2 : 1) % 3) +
                        (mode == 4) * 1e-3f * own[i];
        }
        return v;
    });
}

// Counts 0..20: the double path alone, then 4 and 8 in float, and each with a
// tail. Element 0 is read at count 0 too. The first amplitudes at every alignment,
// the other inputs at two (the loads take any address).
ZRTEST_SWEEP(unbalance)
{
    const zrtest::Length atLeastOne = [](uint32_t n) { return std::max<std::size_t>(n, 1); };
    std::vector<zrtest::Array> arrays;
    for (int i = 0; i < 6; ++i) {
        arrays.push_back(zrtest::in<float>(phase(i % 3, i >= 3), atLeastOne));
        arrays.back().alignStep = i ? 20 : 4;
    }
    arrays.push_back(zrtest::out<float>([](uint32_t) { return kOutputs; }));
    arrays.back().alignStep = 32;
    const auto inputs = [](zrtest::Arrays x, const float* v[6]) { for (int i = 0; i < 6; ++i) v[i] = x.at<float>(i); };
    return {{"zrcalcPowerUnbalance", "", arrays, 20,
             [=](zrtest::Arrays x, uint32_t n) {
                 const float* v[6];
                 inputs(x, v);
                 const PowerUnbalanceParams b = block(v, v + 3, x.at<float>(6), n);
                 zrcalcPowerUnbalance(&b);
             },
             [=](zrtest::Arrays x, uint32_t n) {
                 const float* v[6];
                 inputs(x, v);
                 unbalance_rule(v, v + 3, x.at<float>(6), n);
             },
             {}, {}, 3}};
}

// Equal amplitudes A, angles theta + 120 d k for phase k (d = 1: balanced, d = 2:
// phases 2 and 3 exchanged), on the double path, the float path and both.
TEST(Unbalance, BalancedAndSwappedSets)
{
    const float A = 230.0f;
    for (uint32_t n : {1u, 4u, 37u}) {
        for (int d : {1, 2}) {
            std::vector<float> a(n, A), theta[3];
            for (int p = 0; p < 3; ++p)
                for (uint32_t i = 0; i < n; ++i) theta[p].push_back(-30.0f + 11.0f * i + 120.0f * (p * d % 3));
            const float* amplitude[3] = {a.data(), a.data(), a.data()};
            const float* angle[3] = {theta[0].data(), theta[1].data(), theta[2].data()};
            float o[kOutputs];
            const PowerUnbalanceParams b = block(amplitude, angle, o, n);
            zrcalcPowerUnbalance(&b);
            const int lead = d, other = 3 - d;  // sequence k: total o[k], phasor o[7 + 2k], o[8 + 2k]
            const std::complex<float> expected = std::polar(A, -30.0f * 3.14159265f / 180.0f);
            EXPECT_NEAR(std::abs(std::complex<float>(o[7 + 2 * lead], o[8 + 2 * lead]) - expected), 0, 1e-4f);
            EXPECT_NEAR(o[lead], A * std::sqrt(float(n)), 1e-6f * A * n);
            for (int k : {0, other}) {
                EXPECT_NEAR(o[k], 0, 1e-5f * A * n) << n << " " << d;
                EXPECT_NEAR(modulus(o, k), 0, 1e-4f) << n << " " << d;
            }
            for (int r = 3; r < 7 && d == 1; ++r) EXPECT_NEAR(o[r], 0, 1e-3f) << n;  // percent
        }
    }
}

// Count 0 leaves the totals and their ratios at 0 and still gives element 0's
// phasors; zero amplitudes give 0 everywhere; an angle past the kernel's range in
// the float part makes the totals NaN.
TEST(Unbalance, StatedEdges)
{
    const float a[4] = {100, 100, 100, 0}, theta[3][4] = {{10, 1, 2, 3}, {130, 1, 2, 3}, {250, 1e11f, 2, 3}};
    const float* amplitude[3] = {a, a, a};
    const float* zero[3] = {a + 3, a + 3, a + 3};
    const float* angle[3] = {theta[0], theta[1], theta[2]};
    float o[kOutputs], model[kOutputs];
    for (const auto& [amplitudes, n] : {std::pair{amplitude, 0u}, {zero, 0u}, {amplitude, 4u}}) {
        const PowerUnbalanceParams b = block(amplitudes, angle, o, n);
        zrcalcPowerUnbalance(&b);
        unbalance_rule(amplitudes, angle, model, n);
        EXPECT_TRUE(BitsEqual(model, o, kOutputs));
        EXPECT_EQ(n == 4, std::isnan(o[0]) && std::isnan(o[1]) && std::isnan(o[2]));
        for (int i = 0; i < 5 && n == 0; ++i) EXPECT_TRUE(zrtest::BitsEqual(0.0f, o[i])) << i;
        for (int i = 5; i < 13 && amplitudes == zero; ++i) EXPECT_EQ(0.0f, o[i]) << i;
    }
    EXPECT_NEAR(o[9], 100 * std::cos(10 * 3.14159265f / 180), 1e-4f);  // P of element 0 at count 4 as at 0
}

}  // namespace
