// ABI cases of the vector primitives. The count passes the widest vector pass
// (32 floats, 16 doubles), so the vector loops run under the trampoline's frame.
// Inputs are small dyadic values: every sum below is exact in any order.
#include <cmath>
#include <cstdint>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

constexpr std::uint32_t kCount = 37;

// start, start + step, ... (n values).
template <class T>
std::vector<T> ramp(T start, T step, std::size_t n = kCount)
{
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = start + step * static_cast<T>(i);
    return v;
}

// An output of kCount elements and one sentinel past the end.
template <class T>
std::vector<T> output()
{
    return std::vector<T>(kCount + 1, T(-7));
}

// out holds rule(i) for every i < kCount, bit for bit, and its sentinel untouched.
template <class T, class Rule>
void expect_elements(const std::vector<T>& out, Rule rule)
{
    auto expected = output<T>();
    for (std::uint32_t i = 0; i < kCount; ++i) expected[i] = rule(i);
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), out.data(), kCount + 1));
}

template <class T>
const std::vector<T> a = ramp<T>(T(-2.5), T(0.25));
template <class T>
const std::vector<T> b = ramp<T>(T(3.0), T(-0.125));

template <class T>
void add_scalar(const zrabi::Entry<void(T*, const T*, T, uint32_t)>& entry)
{
    auto out = output<T>();
    entry(out.data(), a<T>.data(), T(0.1), kCount);
    expect_elements(out, [](std::uint32_t i) { return T(0.1) + a<T>[i]; });
}

template <class T>
void scale_in_place(const zrabi::Entry<void(T*, uint32_t, T)>& entry)
{
    auto data = a<T>;
    data.push_back(T(-7));
    entry(data.data(), kCount, T(1.1));
    expect_elements(data, [](std::uint32_t i) { return T(1.1) * a<T>[i]; });
}

// destination[i] = rule(source1[i], source2[i]).
template <class T, class Rule>
void two_sources(const zrabi::Entry<void(T*, const T*, const T*, uint32_t)>& entry, Rule rule)
{
    auto out = output<T>();
    entry(out.data(), a<T>.data(), b<T>.data(), kCount);
    expect_elements(out, [&](std::uint32_t i) { return rule(a<T>[i], b<T>[i]); });
}

template <class T>
void square_root(const zrabi::Entry<void(T*, const T*, uint32_t)>& entry)
{
    const auto source = ramp<T>(T(0), T(0.75));
    auto out = output<T>();
    entry(out.data(), source.data(), kCount);
    expect_elements(out, [&](std::uint32_t i) { return std::sqrt(source[i]); });
}

// The flag goes first as false: the trampoline fills the upper bytes of its
// slot, which a callee reading the whole slot would take for true.
template <class T>
void complex_abs(const zrabi::Entry<void(T*, const T*, bool, uint32_t)>& entry)
{
    const auto pairs = ramp<T>(T(-6), T(0.5), 2 * kCount);
    for (bool squared : {false, true}) {
        auto out = output<T>();
        entry(out.data(), pairs.data(), squared, kCount);
        expect_elements(out, [&](std::uint32_t i) {
            const T p = std::fma(pairs[2 * i + 1], pairs[2 * i + 1], pairs[2 * i] * pairs[2 * i]);
            return squared ? p : std::sqrt(p);
        });
    }
}

// The double sum of term(x) over the samples.
template <class T, class Term>
void sum_of(const zrabi::Entry<double(const T*, uint32_t)>& entry, Term term)
{
    double expected = 0;
    for (T x : a<T>) expected += term(x);
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(a<T>.data(), kCount)));
    EXPECT_TRUE(zrtest::BitsEqual(0.0, entry(a<T>.data(), 0)));
}

// Integer conversions keep the low bits (int32 to int16 wraps).
template <class From, class To>
void convert(const zrabi::Entry<void(const From*, To*, uint32_t)>& entry, From start, From step)
{
    const auto source = ramp<From>(start, step);
    auto out = output<To>();
    entry(source.data(), out.data(), kCount);
    expect_elements(out, [&](std::uint32_t i) { return To(source[i]); });
}

const auto product = [](auto x, auto y) { return x * y; };
const auto larger = [](auto x, auto y) { return std::fmax(x, y); };

}  // namespace

ZRABI_CASE(zrcalcAddScalarToVector_double_cdecl) { add_scalar(entry); }
ZRABI_CASE(zrcalcAddScalarToVector_float_cdecl) { add_scalar(entry); }
ZRABI_CASE(zrcalcMultiplyVectorByScalar_double) { scale_in_place(entry); }
ZRABI_CASE(zrcalcMultiplyVectorByScalar_float) { scale_in_place(entry); }
ZRABI_CASE(zrcalcMultiplyVectors_double_cdecl) { two_sources(entry, product); }
ZRABI_CASE(zrcalcMultiplyVectors_float_cdecl) { two_sources(entry, product); }
ZRABI_CASE(zrcalcVectorsMax_double_cdecl) { two_sources(entry, larger); }
ZRABI_CASE(zrcalcVectorsMax_float_cdecl) { two_sources(entry, larger); }
ZRABI_CASE(zrcalcSqrtVector_double_cdecl) { square_root(entry); }
ZRABI_CASE(zrcalcSqrtVector_float_cdecl) { square_root(entry); }
ZRABI_CASE(zrcalcComplexVectorAbs_double_cdecl) { complex_abs(entry); }
ZRABI_CASE(zrcalcComplexVectorAbs_float_cdecl) { complex_abs(entry); }

ZRABI_CASE(zrcalcAddVectorsAndMultiplyByScalar_float)
{
    auto out = output<float>();
    entry(out.data(), a<float>.data(), b<float>.data(), kCount, 0.3f, 1.7f);
    expect_elements(out, [](std::uint32_t i) { return std::fma(b<float>[i], 0.3f, a<float>[i]) * 1.7f; });
}

ZRABI_CASE(zrcalcSubtractVectorsAndMultiplyByScalar_float)
{
    auto out = output<float>();
    entry(out.data(), a<float>.data(), b<float>.data(), kCount, 0.7f);
    expect_elements(out, [](std::uint32_t i) { return (a<float>[i] - b<float>[i]) * 0.7f; });
}

ZRABI_CASE(zrcalcSumValues_double) { sum_of(entry, [](double x) { return x; }); }
ZRABI_CASE(zrcalcSumValues_float) { sum_of(entry, [](float x) { return double(x); }); }
ZRABI_CASE(zrcalcSumAbsValues_float) { sum_of(entry, [](float x) { return std::fabs(double(x)); }); }
ZRABI_CASE(zrcalcSumSquaredValues_float) { sum_of(entry, [](float x) { return double(x) * x; }); }

ZRABI_CASE(zrcalcMultiplyVectorsAndCalcSum_float)
{
    double expected = 0;
    for (std::uint32_t i = 0; i < kCount; ++i) expected += double(a<float>[i]) * b<float>[i];
    EXPECT_TRUE(zrtest::BitsEqual(expected, entry(a<float>.data(), b<float>.data(), kCount)));
}

ZRABI_CASE(zrcalcConvertInt16ToInt32) { convert(entry, int16_t(-32768), int16_t(1777)); }
ZRABI_CASE(zrcalcConvertInt32ToInt16) { convert(entry, -70000, 3889); }
