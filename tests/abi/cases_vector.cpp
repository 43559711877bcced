// ABI cases of the vector primitives: element-wise arithmetic, sums and integer
// conversions. Counts pass the widest vector pass (32 floats, 16 doubles), so
// that the vector loops run under the frame that the trampoline sets up.
#include <cmath>
#include <cstdint>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

constexpr std::uint32_t kCount = 37;

// start, start + step, ...: exact for the small dyadic values used here.
template <class T>
std::vector<T> ramp(std::size_t n, T start, T step)
{
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = start + step * static_cast<T>(i);
    return v;
}

template <class T>
void add_scalar(const zrabi::Entry<void(T*, const T*, T, uint32_t)>& entry)
{
    const auto source = ramp<T>(kCount, T(-4.5), T(0.375));
    std::vector<T> destination(kCount), expected(kCount);
    const T scalar = T(0.1);
    entry(destination.data(), source.data(), scalar, kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = scalar + source[i];
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount));
}

template <class T>
void multiply_by_scalar_in_place(const zrabi::Entry<void(T*, uint32_t, T)>& entry)
{
    auto data = ramp<T>(kCount, T(-3.25), T(0.5));
    std::vector<T> expected(kCount);
    const T factor = T(1.1);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = factor * data[i];
    entry(data.data(), kCount, factor);
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), data.data(), kCount));
}

// destination[i] = rule(source1[i], source2[i]) for the two-source operations.
template <class T, class Rule>
void two_sources(const zrabi::Entry<void(T*, const T*, const T*, uint32_t)>& entry, Rule rule)
{
    const auto source1 = ramp<T>(kCount, T(-2.5), T(0.25));
    const auto source2 = ramp<T>(kCount, T(3.0), T(-0.125));
    std::vector<T> destination(kCount), expected(kCount);
    entry(destination.data(), source1.data(), source2.data(), kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = rule(source1[i], source2[i]);
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount));
}

template <class T>
void square_root(const zrabi::Entry<void(T*, const T*, uint32_t)>& entry)
{
    const auto source = ramp<T>(kCount, T(0.0), T(0.75));
    std::vector<T> destination(kCount), expected(kCount);
    entry(destination.data(), source.data(), kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = std::sqrt(source[i]);
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount));
}

// The flag goes first as false: the trampoline fills the upper bytes of its
// slot, which a callee reading the whole slot would take for true.
template <class T>
void complex_abs(const zrabi::Entry<void(T*, const T*, bool, uint32_t)>& entry)
{
    const auto pairs = ramp<T>(2 * kCount, T(-6.0), T(0.5));
    std::vector<T> destination(kCount), expected(kCount);
    for (bool squared : {false, true}) {
        entry(destination.data(), pairs.data(), squared, kCount);
        for (std::uint32_t i = 0; i < kCount; ++i) {
            const T re = pairs[2 * i], im = pairs[2 * i + 1];
            const T p = std::fma(im, im, re * re);
            expected[i] = squared ? p : std::sqrt(p);
        }
        EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount)) << "squared " << squared;
    }
}

// Sums over dyadic values whose partial sums are all exact, so the result is
// the same in every order of addition.
template <class T>
std::vector<T> dyadic_samples()
{
    std::vector<T> v(kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) v[i] = static_cast<T>((static_cast<int>(i % 7) - 3) * 0.5 + i * 0.25);
    return v;
}

}  // namespace

ZRABI_CASE(zrcalcAddScalarToVector_double_cdecl, void(double*, const double*, double, uint32_t)) { add_scalar(entry); }
ZRABI_CASE(zrcalcAddScalarToVector_float_cdecl, void(float*, const float*, float, uint32_t)) { add_scalar(entry); }

ZRABI_CASE(zrcalcAddVectorsAndMultiplyByScalar_float,
           void(float*, const float*, const float*, uint32_t, float, float))
{
    const auto source1 = ramp<float>(kCount, -2.5f, 0.25f), source2 = ramp<float>(kCount, 3.0f, -0.125f);
    std::vector<float> destination(kCount), expected(kCount);
    entry(destination.data(), source1.data(), source2.data(), kCount, 0.3f, 1.7f);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = std::fma(source2[i], 0.3f, source1[i]) * 1.7f;
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount));
}

ZRABI_CASE(zrcalcSubtractVectorsAndMultiplyByScalar_float,
           void(float*, const float*, const float*, uint32_t, float))
{
    const auto source1 = ramp<float>(kCount, -2.5f, 0.25f), source2 = ramp<float>(kCount, 3.0f, -0.125f);
    std::vector<float> destination(kCount), expected(kCount);
    entry(destination.data(), source1.data(), source2.data(), kCount, 0.7f);
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = (source1[i] - source2[i]) * 0.7f;
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), destination.data(), kCount));
}

ZRABI_CASE(zrcalcMultiplyVectorByScalar_double, void(double*, uint32_t, double)) { multiply_by_scalar_in_place(entry); }
ZRABI_CASE(zrcalcMultiplyVectorByScalar_float, void(float*, uint32_t, float)) { multiply_by_scalar_in_place(entry); }

ZRABI_CASE(zrcalcMultiplyVectors_double_cdecl, void(double*, const double*, const double*, uint32_t))
{
    two_sources(entry, [](double a, double b) { return a * b; });
}
ZRABI_CASE(zrcalcMultiplyVectors_float_cdecl, void(float*, const float*, const float*, uint32_t))
{
    two_sources(entry, [](float a, float b) { return a * b; });
}

ZRABI_CASE(zrcalcSqrtVector_double_cdecl, void(double*, const double*, uint32_t)) { square_root(entry); }
ZRABI_CASE(zrcalcSqrtVector_float_cdecl, void(float*, const float*, uint32_t)) { square_root(entry); }

ZRABI_CASE(zrcalcComplexVectorAbs_double_cdecl, void(double*, const double*, bool, uint32_t)) { complex_abs(entry); }
ZRABI_CASE(zrcalcComplexVectorAbs_float_cdecl, void(float*, const float*, bool, uint32_t)) { complex_abs(entry); }

ZRABI_CASE(zrcalcVectorsMax_double_cdecl, void(double*, const double*, const double*, uint32_t))
{
    two_sources(entry, [](double a, double b) { return std::fmax(a, b); });
}
ZRABI_CASE(zrcalcVectorsMax_float_cdecl, void(float*, const float*, const float*, uint32_t))
{
    two_sources(entry, [](float a, float b) { return std::fmax(a, b); });
}

ZRABI_CASE(zrcalcSumValues_double, double(const double*, uint32_t))
{
    const auto data = dyadic_samples<double>();
    double expected = 0;
    for (double x : data) expected += x;
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(data.data(), kCount)));
    EXPECT_TRUE(zrtest::BitsEqual(0.0, entry(data.data(), 0)));
}

ZRABI_CASE(zrcalcSumValues_float, double(const float*, uint32_t))
{
    const auto data = dyadic_samples<float>();
    double expected = 0;
    for (float x : data) expected += x;
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(data.data(), kCount)));
}

ZRABI_CASE(zrcalcSumAbsValues_float, double(const float*, uint32_t))
{
    const auto data = dyadic_samples<float>();
    double expected = 0;
    for (float x : data) expected += std::fabs(x);
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(data.data(), kCount)));
}

ZRABI_CASE(zrcalcSumSquaredValues_float, double(const float*, uint32_t))
{
    const auto data = dyadic_samples<float>();
    double expected = 0;
    for (float x : data) expected += double(x) * x;
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(data.data(), kCount)));
}

ZRABI_CASE(zrcalcMultiplyVectorsAndCalcSum_float, double(const float*, const float*, uint32_t))
{
    const auto a = dyadic_samples<float>();
    const auto b = ramp<float>(kCount, 2.0f, -0.25f);
    double expected = 0;
    for (std::uint32_t i = 0; i < kCount; ++i) expected += double(a[i]) * b[i];
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(a.data(), b.data(), kCount)));
}

ZRABI_CASE(zrcalcConvertInt16ToInt32, void(const int16_t*, int32_t*, uint32_t))
{
    std::vector<int16_t> source(kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) source[i] = static_cast<int16_t>(i * 1777 - 32768);
    std::vector<int32_t> destination(kCount + 1, 0x5A5A5A5A);
    entry(source.data(), destination.data(), kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) EXPECT_EQ(destination[i], source[i]) << i;
    EXPECT_EQ(destination[kCount], 0x5A5A5A5A) << "written past the count";
}

ZRABI_CASE(zrcalcConvertInt32ToInt16, void(const int32_t*, int16_t*, uint32_t))
{
    const std::vector<int32_t> source = {70000, -1, 32768, 32767, -32769, 0};
    std::vector<int16_t> destination(source.size() + 1, 0x5A5A);
    entry(source.data(), destination.data(), static_cast<uint32_t>(source.size()));
    const std::vector<int16_t> expected = {4464, -1, -32768, 32767, 32767, 0, 0x5A5A};
    EXPECT_EQ(destination, expected);
}
