// Element-wise arithmetic: every operation against the plain sequential loop of
// its rule, written here on its own, through the sweep driver (also with the
// destination over each source and over both, shifted by a few elements, which
// the sequential loop defines); then the values stated for the operations.

#include <array>

#include "support/sweep.h"

namespace {

using zrtest::BitsEqual;

// Random values with specials mixed in: signed zeros, infinities, subnormals and
// the extremes; for the maxima NaNs (quiet and signalling) and +0 against -0, and
// the second input meets the first one's value (seed - 1 gives the first input's
// values) or its opposite every third element: each of these the vector path must
// hand to fmax or get right itself. NaNs stay out of the arithmetic: which of two
// NaN operands an addition returns is not part of any rule.
template <class T>
std::vector<T> values(std::size_t n, std::uint64_t seed, bool nans, bool partner = false)
{
    using L = std::numeric_limits<T>;
    std::vector<T> v = zrtest::random_samples<T>(n, seed), first = partner ? values<T>(n, seed - 1, nans) : v;
    std::mt19937_64 rng(seed ^ 0x9e3779b97f4a7c15u);
    const std::vector<T> specials =
        nans ? std::vector<T>{L::quiet_NaN(), -L::quiet_NaN(), L::signaling_NaN(), T(0), -T(0), T(1), -L::infinity()}
             : std::vector<T>{T(0), -T(0), L::infinity(), -L::infinity(), L::denorm_min(), -L::min(), L::max(), T(1)};
    for (std::size_t i = 0; i < n; ++i) {
        if (rng() % 5 == 0) v[i] = specials[rng() % specials.size()];
        if (partner && i % 3 == 0) v[i] = i % 2 ? first[i] : -first[i];
    }
    return v;
}

template <class T>
using Call = void (*)(T* d, const T* const* in, std::uint32_t n);
template <class T>
using Rule = T (*)(const T* d, const T* const* in, std::size_t i);

// Destination first (its prior contents are the input of the in-place scaling),
// then the inputs, each of perElement values per element, each also shared with
// the destination; the sweeps run to two passes and five past the widest pass.
template <class T>
zrtest::Case elementwise(const char* entry, const char* label, int inputs, std::size_t perElement,
                         std::uint32_t pass, bool nans, Call<T> call, Rule<T> rule)
{
    const auto in = [inputs](zrtest::Arrays a) {
        return std::array<const T*, 2>{inputs > 0 ? a.at<T>(1) : nullptr, inputs > 1 ? a.at<T>(2) : nullptr};
    };
    zrtest::Case c{entry, label,
                   {{zrtest::elem_of<T>(), inputs ? zrtest::Dir::Out : zrtest::Dir::InOut, {},
                     zrtest::fill_with<T>([](std::size_t n, std::uint64_t s) { return values<T>(n, s, false); })}},
                   2 * pass + 5, [=](zrtest::Arrays a, std::uint32_t n) { call(a.at<T>(0), in(a).data(), n); },
                   [=](zrtest::Arrays a, std::uint32_t n) {
                       for (std::size_t i = 0; i < n; ++i) a.at<T>(0)[i] = rule(a.at<T>(0), in(a).data(), i);
                   }};
    const std::vector<std::ptrdiff_t> shifts = perElement == 2 ? std::vector<std::ptrdiff_t>{-4, -1, 0, 1, 2, 3, 4}
                                                               : std::vector<std::ptrdiff_t>{-1, 0, 1};
    for (std::size_t k = 1; k <= std::size_t(inputs); ++k) {
        c.arrays.push_back(zrtest::in<T>(zrtest::fill_with<T>([=](std::size_t n, std::uint64_t seed) {
                                             return values<T>(n, seed, nans, nans && k == 2);
                                         }),
                                         [=](std::uint32_t n) { return perElement * n; }));
        c.overlaps.push_back({0, {k}, shifts});
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

// An operation of element type E (a double pass of `pass` elements), or the same
// operation for double and float (a float pass twice as long).
#define OPERATION(E, entry, label, inputs, perElement, pass, nans, CALL, RULE)                              \
    elementwise<E>(#entry, label, inputs, perElement, pass, nans,                                           \
                   [](E* d, const E* const* in, std::uint32_t n) { (void)in, entry CALL; },                 \
                   [](const E* d, const E* const* in, std::size_t i) { return (void)d, (void)in, RULE; })
#define BOTH_TYPES(stem, suffix, label, inputs, perElement, pass, nans, CALL, RULE)                         \
    OPERATION(double, stem##double##suffix, label, inputs, perElement, pass, nans, CALL, RULE),             \
        OPERATION(float, stem##float##suffix, label, inputs, perElement, 2 * pass, nans, CALL, RULE)

ZRTEST_SWEEP(elementwise)
{
    return {
        BOTH_TYPES(zrcalcAddScalarToVector_, _cdecl, "", 1, 1, 16, false, (d, in[0], 0.1f, n), 0.1f + in[0][i]),
        OPERATION(float, zrcalcAddVectorsAndMultiplyByScalar_float, "", 2, 1, 32, false,
                  (d, in[0], in[1], n, -2.7f, 1 / 3.0f), std::fma(in[1][i], -2.7f, in[0][i]) * (1 / 3.0f)),
        OPERATION(float, zrcalcSubtractVectorsAndMultiplyByScalar_float, "", 2, 1, 32, false,
                  (d, in[0], in[1], n, 1 / 3.0f), (in[0][i] - in[1][i]) * (1 / 3.0f)),
        OPERATION(double, zrcalcMultiplyVectorByScalar_double, "", 0, 1, 16, false, (d, n, 1 / 3.0), (1 / 3.0) * d[i]),
        OPERATION(float, zrcalcMultiplyVectorByScalar_float, "", 0, 1, 32, false, (d, n, 1 / 3.0f), (1 / 3.0f) * d[i]),
        BOTH_TYPES(zrcalcMultiplyVectors_, _cdecl, "", 2, 1, 16, false, (d, in[0], in[1], n), in[0][i] * in[1][i]),
        BOTH_TYPES(zrcalcSqrtVector_, _cdecl, "", 1, 1, 4, false, (d, in[0], n), std::sqrt(in[0][i])),
        BOTH_TYPES(zrcalcComplexVectorAbs_, _cdecl, "", 1, 2, 8, false, (d, in[0], false, n),
                   magnitude(in[0][2 * i], in[0][2 * i + 1], false)),
        BOTH_TYPES(zrcalcComplexVectorAbs_, _cdecl, "squared", 1, 2, 8, false, (d, in[0], true, n),
                   magnitude(in[0][2 * i], in[0][2 * i + 1], true)),
        BOTH_TYPES(zrcalcVectorsMax_, _cdecl, "", 2, 1, 16, true, (d, in[0], in[1], n), std::fmax(in[0][i], in[1][i])),
    };
}

// --- Stated values, in vector passes and in scalar tails ------------------------

// (1 + e)^2 - (1 + 2e) = e^2 survives only if the product is not rounded alone.
TEST(ElementwiseValues, AddAndScaleFusesTheProductAndTheSum)
{
    const float e = std::ldexp(1.0f, -23);
    const std::vector<float> s1(33, -(1 + 2 * e)), s2(33, 1 + e);
    std::vector<float> out(33);
    zrcalcAddVectorsAndMultiplyByScalar_float(out.data(), s1.data(), s2.data(), 33, 1 + e, 2.0f);
    EXPECT_EQ(out, std::vector<float>(33, 2 * e * e));
}

// |3 + 4i| is 5, squared 25; components of 1e200 (elements 2 and 8) overflow. The
// flag is any nonzero byte, as hosts outside C++ pass TRUE (called through the
// flag byte's plain integer type).
TEST(ElementwiseValues, ComplexAbsValuesAndFlagBytes)
{
    std::vector<double> pairs;
    for (int i = 0; i < 9; ++i) pairs.insert(pairs.end(), {i % 6 == 2 ? 1e200 : 3.0, i % 6 == 2 ? 0.0 : 4.0});
    std::vector<double> magnitude(9), squared(9);
    zrcalcComplexVectorAbs_double_cdecl(magnitude.data(), pairs.data(), false, 9);
    zrcalcComplexVectorAbs_double_cdecl(squared.data(), pairs.data(), true, 9);
    EXPECT_EQ(magnitude, (std::vector<double>{5, 5, HUGE_VAL, 5, 5, 5, 5, 5, HUGE_VAL}));
    EXPECT_EQ(squared, (std::vector<double>{25, 25, HUGE_VAL, 25, 25, 25, 25, 25, HUGE_VAL}));
    using ByteFlagAbs = void(ZRCALC_CDECL*)(double*, const double*, std::uint8_t, std::uint32_t);
    const auto abs_with_byte =
        reinterpret_cast<ByteFlagAbs>(reinterpret_cast<void (*)()>(&zrcalcComplexVectorAbs_double_cdecl));
    for (std::uint8_t flag : {1, 2, 0x80, 0xFF}) {
        abs_with_byte(magnitude.data(), pairs.data(), flag, 1);
        EXPECT_EQ(magnitude[0], 25.0) << int(flag);
    }
}

// The maximum of a NaN and 1 is 1, of two NaNs a NaN: in a pass of 16, a vector
// of 4 and the last element of 21. The square root of -1 is a NaN, of -0 -0.
TEST(ElementwiseValues, MaxAndSqrtOfSpecialValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t at : {3, 17, 20}) {
        std::vector<double> a(21, 0.5), b(21, -0.5), out(21);
        a[at] = b[at - 1] = a[at - 2] = b[at - 2] = nan;
        b[at] = a[at - 1] = 1.0;
        zrcalcVectorsMax_double_cdecl(out.data(), a.data(), b.data(), 21);
        EXPECT_TRUE(out[at] == 1.0 && out[at - 1] == 1.0 && std::isnan(out[at - 2]) && out[at - 3] == 0.5) << at;
    }
    std::vector<double> source(9, 4.0), out(9);
    source[1] = source[8] = -1.0;
    source[2] = source[7] = -0.0;
    zrcalcSqrtVector_double_cdecl(out.data(), source.data(), 9);
    EXPECT_TRUE(std::isnan(out[1]) && std::isnan(out[8]) && out[0] == 2.0);
    EXPECT_TRUE(BitsEqual(-0.0, out[2]) && BitsEqual(-0.0, out[7]));
}

}  // namespace
