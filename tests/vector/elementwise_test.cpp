// Element-wise arithmetic: every operation against the plain sequential loop of
// its rule, written here on its own, through the sweep driver (also with the
// destination over each source and over both, shifted by a few elements, which
// the sequential loop defines); then the values stated for the operations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/bits.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

enum class Values { Finite, WithNaNs };

// Random values with specials mixed in: signed zeros, infinities, subnormals and
// the extremes; for the maxima NaNs (quiet and signalling) and +0 against -0, and
// the second input meets the first one's value or its opposite every third
// element: each of these the vector path must hand to fmax or get right itself.
// NaNs stay out of the arithmetic: which of two NaN operands an addition returns
// is not part of any rule.
template <class T>
std::vector<T> values(std::size_t n, std::uint64_t seed, Values kind)
{
    using L = std::numeric_limits<T>;
    std::vector<T> v = zrtest::random_samples<T>(n, seed);
    std::mt19937_64 rng(seed ^ 0x9e3779b97f4a7c15u);
    const std::vector<T> specials =
        kind == Values::Finite
            ? std::vector<T>{T(0), -T(0), L::infinity(), -L::infinity(), L::denorm_min(), -L::min(), L::max(), T(1)}
            : std::vector<T>{L::quiet_NaN(), -L::quiet_NaN(), L::signaling_NaN(), T(0), -T(0), T(1), -L::infinity()};
    for (std::size_t i = 0; i < n; ++i)
        if (rng() % 5 == 0) v[i] = specials[rng() % specials.size()];
    return v;
}

template <class T>
zrtest::Fill fill(Values kind, bool partner)
{
    return zrtest::fill_with<T>([kind, partner](std::size_t n, std::uint64_t seed) {
        std::vector<T> v = values<T>(n, seed, kind);
        if (partner) {  // the previous array's values: seed - 1
            const std::vector<T> first = values<T>(n, seed - 1, kind);
            for (std::size_t i = 0; i < n; i += 3) v[i] = i % 2 ? first[i] : -first[i];
        }
        return v;
    });
}

template <class T>
using Call = void (*)(T* d, const T* const* in, std::uint32_t n);
template <class T>
using Rule = T (*)(const T* d, const T* const* in, std::size_t i);

// Destination first (its prior contents are the input of the in-place scaling),
// then the inputs, each of perElement values per element. The sweeps run to two
// passes and five past the widest vector pass.
template <class T>
zrtest::Case elementwise(const char* entry, const char* label, int inputs, std::size_t perElement,
                         std::uint32_t pass, Values kind, Call<T> call, Rule<T> rule)
{
    const auto inputs_of = [inputs](zrtest::Arrays a) {
        return std::array<const T*, 2>{inputs > 0 ? a.at<T>(1) : nullptr, inputs > 1 ? a.at<T>(2) : nullptr};
    };
    zrtest::Case c{entry, label, {}, 2 * pass + 5,
                   [=](zrtest::Arrays a, std::uint32_t n) { call(a.at<T>(0), inputs_of(a).data(), n); },
                   [=](zrtest::Arrays a, std::uint32_t n) {
                       for (std::size_t i = 0; i < n; ++i) a.at<T>(0)[i] = rule(a.at<T>(0), inputs_of(a).data(), i);
                   }};
    c.arrays.push_back({zrtest::elem_of<T>(), inputs ? zrtest::Dir::Out : zrtest::Dir::InOut, zrtest::times(1),
                        fill<T>(Values::Finite, false)});
    const std::vector<std::ptrdiff_t> shifts = perElement == 2 ? std::vector<std::ptrdiff_t>{-4, -1, 0, 1, 2, 3, 4}
                                                               : std::vector<std::ptrdiff_t>{-1, 0, 1};
    for (int k = 1; k <= inputs; ++k) {
        c.arrays.push_back(zrtest::in<T>(fill<T>(kind, k == 2 && kind == Values::WithNaNs), zrtest::times(perElement)));
        c.overlaps.push_back({0, {std::size_t(k)}, shifts});
    }
    if (inputs == 2) c.overlaps.push_back({0, {1, 2}, shifts});
    return c;
}

template <class T>
T magnitude(T re, T im, bool squared)
{
    const T p = std::fma(im, im, re * re);
    return squared ? p : std::sqrt(p);
}

#define OPERATION(T, entry, label, inputs, perElement, pass, kind, CALL, RULE)                              \
    elementwise<T>(#entry, label, inputs, perElement, pass, Values::kind,                                    \
                   [](T* d, const T* const* in, std::uint32_t n) { (void)in, entry CALL; },                \
                   [](const T* d, const T* const* in, std::size_t i) -> T { return (void)d, (void)in, RULE; })

ZRTEST_SWEEP(elementwise)
{
    return {
        OPERATION(double, zrcalcAddScalarToVector_double_cdecl, "", 1, 1, 16, Finite, (d, in[0], 0.1, n),
                  0.1 + in[0][i]),
        OPERATION(float, zrcalcAddScalarToVector_float_cdecl, "", 1, 1, 32, Finite, (d, in[0], 0.1f, n),
                  0.1f + in[0][i]),
        OPERATION(float, zrcalcAddVectorsAndMultiplyByScalar_float, "", 2, 1, 32, Finite,
                  (d, in[0], in[1], n, -2.7f, 1 / 3.0f), std::fma(in[1][i], -2.7f, in[0][i]) * (1 / 3.0f)),
        OPERATION(float, zrcalcSubtractVectorsAndMultiplyByScalar_float, "", 2, 1, 32, Finite,
                  (d, in[0], in[1], n, 1 / 3.0f), (in[0][i] - in[1][i]) * (1 / 3.0f)),
        OPERATION(double, zrcalcMultiplyVectorByScalar_double, "", 0, 1, 16, Finite, (d, n, 1 / 3.0),
                  (1 / 3.0) * d[i]),
        OPERATION(float, zrcalcMultiplyVectorByScalar_float, "", 0, 1, 32, Finite, (d, n, 1 / 3.0f),
                  (1 / 3.0f) * d[i]),
        OPERATION(double, zrcalcMultiplyVectors_double_cdecl, "", 2, 1, 16, Finite, (d, in[0], in[1], n),
                  in[0][i] * in[1][i]),
        OPERATION(float, zrcalcMultiplyVectors_float_cdecl, "", 2, 1, 32, Finite, (d, in[0], in[1], n),
                  in[0][i] * in[1][i]),
        OPERATION(double, zrcalcSqrtVector_double_cdecl, "", 1, 1, 4, Finite, (d, in[0], n), std::sqrt(in[0][i])),
        OPERATION(float, zrcalcSqrtVector_float_cdecl, "", 1, 1, 8, Finite, (d, in[0], n), std::sqrt(in[0][i])),
        OPERATION(double, zrcalcComplexVectorAbs_double_cdecl, "", 1, 2, 8, Finite, (d, in[0], false, n),
                  magnitude(in[0][2 * i], in[0][2 * i + 1], false)),
        OPERATION(double, zrcalcComplexVectorAbs_double_cdecl, "squared", 1, 2, 8, Finite, (d, in[0], true, n),
                  magnitude(in[0][2 * i], in[0][2 * i + 1], true)),
        OPERATION(float, zrcalcComplexVectorAbs_float_cdecl, "", 1, 2, 16, Finite, (d, in[0], false, n),
                  magnitude(in[0][2 * i], in[0][2 * i + 1], false)),
        OPERATION(float, zrcalcComplexVectorAbs_float_cdecl, "squared", 1, 2, 16, Finite, (d, in[0], true, n),
                  magnitude(in[0][2 * i], in[0][2 * i + 1], true)),
        OPERATION(double, zrcalcVectorsMax_double_cdecl, "", 2, 1, 16, WithNaNs, (d, in[0], in[1], n),
                  std::fmax(in[0][i], in[1][i])),
        OPERATION(float, zrcalcVectorsMax_float_cdecl, "", 2, 1, 32, WithNaNs, (d, in[0], in[1], n),
                  std::fmax(in[0][i], in[1][i])),
    };
}

// --- Stated values -------------------------------------------------------------
// Arrays long enough that the cases fall in vector passes and in scalar tails.

TEST(ElementwiseValues, AddAndScaleWithUnitFactorsIsTheSumOrTheDifferenceRoundedOnce)
{
    const auto a = zrtest::random_samples<float>(45, 5), b = zrtest::random_samples<float>(45, 6);
    std::vector<float> sum(45), difference(45);
    zrcalcAddVectorsAndMultiplyByScalar_float(sum.data(), a.data(), b.data(), 45, 1.0f, 1.0f);
    zrcalcAddVectorsAndMultiplyByScalar_float(difference.data(), a.data(), b.data(), 45, -1.0f, 1.0f);
    for (std::size_t i = 0; i < 45; ++i) {
        EXPECT_TRUE(BitsEqual(a[i] + b[i], sum[i])) << i;
        EXPECT_TRUE(BitsEqual(a[i] - b[i], difference[i])) << i;
    }
    // (1 + e)^2 - (1 + 2e) = e^2 survives only if the product is not rounded alone.
    const float e = std::ldexp(1.0f, -23);
    const std::vector<float> s1(33, -(1 + 2 * e)), s2(33, 1 + e);
    zrcalcAddVectorsAndMultiplyByScalar_float(sum.data(), s1.data(), s2.data(), 33, 1 + e, 2.0f);
    for (std::size_t i = 0; i < 33; ++i) EXPECT_EQ(sum[i], 2 * e * e) << i;
}

TEST(ElementwiseValues, ComplexAbsOfThreeFourIsFiveOrTwentyFiveAndHugeComponentsOverflow)
{
    std::vector<double> pairs;
    for (int i = 0; i < 9; ++i) pairs.insert(pairs.end(), {3.0, 4.0});
    pairs[2 * 2] = pairs[2 * 8] = 1e200;  // elements 2 (vector pass) and 8 (tail)
    pairs[2 * 2 + 1] = pairs[2 * 8 + 1] = 0.0;
    std::vector<double> magnitude(9), squared(9);
    zrcalcComplexVectorAbs_double_cdecl(magnitude.data(), pairs.data(), false, 9);
    zrcalcComplexVectorAbs_double_cdecl(squared.data(), pairs.data(), true, 9);
    for (int i = 0; i < 9; ++i) {
        const bool huge = i == 2 || i == 8;
        EXPECT_EQ(magnitude[i], huge ? HUGE_VAL : 5.0) << i;
        EXPECT_EQ(squared[i], huge ? HUGE_VAL : 25.0) << i;
    }
}

// Hosts outside C++ may pass TRUE as any nonzero byte: called through the flag
// byte's plain integer type.
TEST(ElementwiseValues, ComplexAbsTakesAnyNonzeroFlagByteForSquares)
{
    using ByteFlagAbs = void(ZRCALC_CDECL*)(double*, const double*, std::uint8_t, std::uint32_t);
    const auto abs_with_byte =
        reinterpret_cast<ByteFlagAbs>(reinterpret_cast<void (*)()>(&zrcalcComplexVectorAbs_double_cdecl));
    const double pairs[2] = {3.0, 4.0};
    for (std::uint8_t flag : {1, 2, 0x80, 0xFF}) {
        double out = 0;
        abs_with_byte(&out, pairs, flag, 1);
        EXPECT_EQ(out, 25.0) << int(flag);
    }
}

TEST(ElementwiseValues, MaxOfANaNAndOneIsOneAndOfTwoNaNsANaN)
{
    // 21 doubles: a pass of 16, a vector of 4 and one element; the cases in each.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t at : {3, 17, 20}) {
        std::vector<double> a(21, 0.5), b(21, -0.5), out(21);
        a[at] = nan, b[at] = 1.0;
        a[at - 1] = 1.0, b[at - 1] = nan;
        a[at - 2] = nan, b[at - 2] = nan;
        zrcalcVectorsMax_double_cdecl(out.data(), a.data(), b.data(), 21);
        EXPECT_EQ(out[at], 1.0);
        EXPECT_EQ(out[at - 1], 1.0);
        EXPECT_TRUE(std::isnan(out[at - 2]));
        EXPECT_EQ(out[at - 3], 0.5);
    }
}

TEST(ElementwiseValues, SqrtOfMinusOneIsANaNAndOfMinusZeroMinusZero)
{
    std::vector<double> source(9, 4.0), out(9);
    source[1] = source[8] = -1.0;
    source[2] = source[7] = -0.0;
    zrcalcSqrtVector_double_cdecl(out.data(), source.data(), 9);
    EXPECT_TRUE(std::isnan(out[1]) && std::isnan(out[8]));
    EXPECT_TRUE(BitsEqual(-0.0, out[2]) && BitsEqual(-0.0, out[7]));
    EXPECT_EQ(out[0], 2.0);
}

}  // namespace
