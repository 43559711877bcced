// Power sums and energy against models of their stated orders through the sweep driver; then the stated values
// and counts of 0 and below.

#include "support/sweep.h"

namespace {

using zrtest::Arrays;
using zrtest::BitsEqual;

// Floats whose sums depend on the order: magnitudes from 2^-20 to 2^20, both signs.
zrtest::Array floats(zrtest::Length length = {})
{
    return zrtest::in<float>(zrtest::fill_with<float>([](std::size_t n, std::uint64_t seed) {
        auto v = zrtest::random_samples<float>(n, seed, 1.0);
        const auto e = zrtest::random_samples<uint32_t>(n, seed + 1);
        for (std::size_t i = 0; i < n; ++i) v[i] = std::ldexp(v[i], int(e[i] % 21));
        return v;
    }), std::move(length));
}

// The terms i < n that take(i) selects: the first `grouped` in eight lane sums folded as c_j = lane_(j+4) + lane_j,
// then (c_0 + c_1) + (c_2 + c_3); the rest one after another.
template <class Term, class Take>
double eight_lanes(uint32_t n, uint32_t grouped, Term term, Take take)
{
    double l[8] = {};
    for (uint32_t i = 0; i < grouped; ++i) if (take(i)) l[i % 8] += term(i);
    double s = ((l[4] + l[0]) + (l[5] + l[1])) + ((l[6] + l[2]) + (l[7] + l[3]));
    for (uint32_t i = grouped; i < n; ++i) if (take(i)) s += term(i);
    return s;
}

// p (part 0) or q (part 1): half of line 0; lines 1 to 3 below E; from 8 lines on lines 4 .. F-1 in four partial
// sums; the rest below E; an odd count's last line halved.
double power_model(const float* u, const float* i, uint32_t n, int part)
{
    const auto line = [=](uint32_t k) {
        const double ur = u[2 * k], ui = u[2 * k + 1], ir = i[2 * k], ii = i[2 * k + 1];
        return part == 0 ? ur * ir + ui * ii : ui * ir - ur * ii;
    };
    const uint32_t E = n / 2 * 2, F = n >= 8 ? n / 4 * 4 : 4;
    double s = n ? line(0) / 2 : 0.0, B[4] = {};
    for (uint32_t k = 1; k < std::min(E, 4u); ++k) s += line(k);
    for (uint32_t k = 4; k < F; ++k) B[k % 4] += line(k);
    if (n >= 8) s += (B[0] + B[2]) + (B[1] + B[3]);
    for (uint32_t k = F; k < E; ++k) s += line(k);
    return n % 2 == 1 && n >= 3 ? s + line(n - 1) / 2 : s;
}

float factor(uint32_t n) { return zrtest::random_samples<float>(1, n, 4.0)[0]; }

#define F(k) a.at<float>(k)
#define D(k) a.at<double>(k)

// Both energy sums take a condition array in [-1, 1) (unread by the plain one). The scaled copy also narrows in
// place, and its absolute sum starts from a running value.
ZRTEST_SWEEP(power_sums)
{
    const auto sum = zrtest::cell<double>(zrtest::Dir::Out);
    const auto condition = zrtest::in<float>(zrtest::random_fill<float>(1));
    const std::vector<zrtest::Array> energyArrays = {floats(), floats(), condition, sum, sum};
    const auto energy = [](bool onCondition) {
        return [=](Arrays a, uint32_t n) {
            const auto product = [=](uint32_t i) { return F(0)[i] * F(1)[i]; };
            for (bool negative : {false, true})
                *D(3 + negative) = eight_lanes(n, onCondition ? 0 : n / 8 * 8, product, [=](uint32_t i) {
                    return (!onCondition || F(2)[i] > 0.5f) && (product(i) < 0) == negative;
                });
        };
    };
    std::vector<zrtest::Case> cases = {
        {"zrcalcPowerCalculatePosAndNegEnergy", "", energyArrays, 24,
         [](Arrays a, uint32_t n) { zrcalcPowerCalculatePosAndNegEnergy(F(0), F(1), int32_t(n), D(3), D(4)); },
         energy(false)},
        {"zrcalcPowerCalculatePosAndNegEnergyOnCondition", "", energyArrays, 24,
         [](Arrays a, uint32_t n) { zrcalcPowerCalculatePosAndNegEnergyOnCondition(F(0), F(1), F(2), n, D(3), D(4)); },
         energy(true)},
        {"zrcalcPowerPandQsum", "", {floats([](uint32_t n) { return 2 * n; }), floats([](uint32_t n) { return 2 * n; }),
                                     sum, sum}, 24,
         [](Arrays a, uint32_t n) { zrcalcPowerPandQsum(F(0), F(1), int32_t(n), D(2), D(3)); },
         [](Arrays a, uint32_t n) { *D(2) = power_model(F(0), F(1), n, 0), *D(3) = power_model(F(0), F(1), n, 1); }},
        {"zrcalcPowerMultiplyAndSquareElementsAndSumVector_float", "", {floats(), sum}, 24,
         [](Arrays a, uint32_t n) {
             *D(1) = zrcalcPowerMultiplyAndSquareElementsAndSumVector_float(F(0), int32_t(n), factor(n));
         },
         [](Arrays a, uint32_t n) {
             const auto y = [x = F(0), f = factor(n)](uint32_t i) { return double(x[i] * f); };
             *D(1) = eight_lanes(n, n / 8 * 8, [=](uint32_t i) { return y(i) * y(i); }, [](uint32_t) { return true; });
         }},
    };
    for (int32_t accumulate : {0, 1})
        cases.push_back({"zrcalcPowerSumVectorMultipliedWithScalar_double", accumulate ? "accumulate" : "copy",
                         {zrtest::in<double>(), zrtest::out<float>(), zrtest::cell<double>(zrtest::Dir::InOut)}, 24,
                         [=](Arrays a, uint32_t n) {
                             PowerScaleSumParams p{D(0), F(1), *D(2), factor(n), int32_t(n), accumulate};
                             zrcalcPowerSumVectorMultipliedWithScalar_double(&p);
                             *D(2) = p.absoluteSum;
                         },
                         [=](Arrays a, uint32_t n) {
                             double local = 0.0;
                             for (uint32_t i = 0; i < n; ++i) local += std::fabs(F(1)[i] = float(factor(n) * D(0)[i]));
                             if (accumulate && n > 0) *D(2) = local + *D(2);
                         },
                         {{1, {0}, {0}}}});
    return cases;
}

TEST(PowerSums, StatedValues)
{
    // Line k: u = (k + 1, 1), i = (1, 2): p_k = k + 3, q_k = -2k - 1; line 0 and an odd count's last weigh 1/2.
    const float u[] = {1, 1, 2, 1, 3, 1, 4, 1, 5, 1}, i[] = {1, 2, 1, 2, 1, 2, 1, 2, 1, 2};
    double P, Q, R, S;
    for (auto [n, p, q] : {std::tuple{1, 1.5, -0.5}, {2, 5.5, -3.5}, {3, 8., -6.}, {4, 16.5, -15.5}, {5, 20., -20.}}) {
        zrcalcPowerPandQsum(u, i, n, &P, &Q);
        EXPECT_TRUE(BitsEqual(p, P) && BitsEqual(q, Q)) << n;
    }
    zrcalcPowerPandQsum(u, u, 2, &P, &Q);  // u times its conjugate: |u|^2 = 2 (halved) and 5, q = 0
    EXPECT_TRUE(BitsEqual(1.0 + 5.0, P) && BitsEqual(0.0, Q));

    // A NaN product counts as positive, in the lanes and in the tail; conditions of 0.5 or NaN leave their sample
    // out, in the vector steps and in the tail.
    const float a[] = {1, 4, -0.0f, -3, 2, NAN, 8, 16, NAN}, one[] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const float condition[] = {NAN, 0.5f, std::nextafter(0.5f, 1.0f), 1, 0.5f, NAN, 2};
    zrcalcPowerCalculatePosAndNegEnergy(a, one, 8, &P, &Q);
    zrcalcPowerCalculatePosAndNegEnergy(a + 8, one, 1, &R, &S);
    EXPECT_TRUE(std::isnan(P) && BitsEqual(-3.0, Q) && std::isnan(R) && BitsEqual(0.0, S));
    zrcalcPowerCalculatePosAndNegEnergyOnCondition(a, one, condition, 7, &R, &S);
    EXPECT_TRUE(BitsEqual(8.0, R) && BitsEqual(-3.0, S));

    // A value beyond the float range is infinite in the copy and the sum; the running sum is added once, at the end.
    double source[] = {3e38, -1, 1, 1};
    float copy[4] = {7};
    PowerScaleSumParams s{source, copy, 0x1p53, 2.0f, 2, 1}, t{source + 2, copy + 2, 0x1p53, 1.0f, 2, 1};
    zrcalcPowerSumVectorMultipliedWithScalar_double(&s), zrcalcPowerSumVectorMultipliedWithScalar_double(&t);
    EXPECT_TRUE(std::isinf(copy[0]) && copy[1] == -2.0f && std::isinf(s.absoluteSum));
    EXPECT_TRUE(BitsEqual(0x1p53 + 2, t.absoluteSum)) << "one addition per element would lose both ones";

    // Counts of 0 and below: +0 results; the scaled copy writes nothing, its running sum (here -0) included.
    for (int32_t n : {0, -1, INT32_MIN}) {
        double T = NAN, V = NAN, W = zrcalcPowerMultiplyAndSquareElementsAndSumVector_float(a, n, 1.0f);
        s = {source, copy, -0.0, 1.0f, n, 1};
        zrcalcPowerPandQsum(u, i, n, &P, &Q), zrcalcPowerCalculatePosAndNegEnergy(a, i, n, &R, &S);
        zrcalcPowerCalculatePosAndNegEnergyOnCondition(a, i, condition, n, &T, &V);
        zrcalcPowerSumVectorMultipliedWithScalar_double(&s);
        for (double zero : {P, Q, R, S, T, V, W}) EXPECT_TRUE(BitsEqual(0.0, zero)) << n;
        EXPECT_TRUE(BitsEqual(-0.0, s.absoluteSum) && std::isinf(copy[0])) << n;
    }
}

}  // namespace
