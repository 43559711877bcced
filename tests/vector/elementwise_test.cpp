// Element-wise arithmetic: each operation against a sequential loop of its rule,
// written here on its own, bit for bit, at every count up to a few passes past the
// widest vector step and every alignment of every array; in overlapping layouts;
// and flush against inaccessible pages. Then the values stated for the operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

// --- The operations under test -------------------------------------------------
// One line each: element type, input arrays (0: in place on the destination's prior
// contents), values per element of the input (2 for complex pairs), the most
// elements that one vector pass takes (the sweeps run to twice that plus five), the
// kind of input values, the call into the library, and the rule of element i,
// written here on its own. model() runs the rule as the plain sequential loop.

enum class Values { Finite, WithNaNs };

template <class E, int kIn, std::uint32_t kPassElements, std::size_t kPerElement, Values kKind>
struct Op {
    using T = E;
    static constexpr int kInputs = kIn;
    static constexpr std::uint32_t kPass = kPassElements;
    static constexpr std::size_t kValuesPerElement = kPerElement;
    static constexpr Values kValues = kKind;
};

#define OPERATION(Name, E, inputs, pass, perElement, kind, CALL, RULE)                                   \
    struct Name : Op<E, inputs, pass, perElement, Values::kind> {                                        \
        static void run(T* d, const T* const* in, std::uint32_t n) { (void)in, CALL; }                   \
        static T rule(const T* d, const T* const* in, std::size_t i) { return (void)d, (void)in, RULE; } \
    }

template <class T>
T magnitude(T re, T im, bool squared)
{
    const T p = std::fma(im, im, re * re);
    return squared ? p : std::sqrt(p);
}

OPERATION(AddScalarDouble, double, 1, 16, 1, Finite, zrcalcAddScalarToVector_double_cdecl(d, in[0], 0.1, n),
          0.1 + in[0][i]);
OPERATION(AddScalarFloat, float, 1, 32, 1, Finite, zrcalcAddScalarToVector_float_cdecl(d, in[0], 0.1f, n),
          0.1f + in[0][i]);
OPERATION(AddAndScale, float, 2, 32, 1, Finite,
          zrcalcAddVectorsAndMultiplyByScalar_float(d, in[0], in[1], n, -2.7f, 1 / 3.0f),
          std::fma(in[1][i], -2.7f, in[0][i]) * (1 / 3.0f));
OPERATION(SubtractAndScale, float, 2, 32, 1, Finite,
          zrcalcSubtractVectorsAndMultiplyByScalar_float(d, in[0], in[1], n, 1 / 3.0f),
          (in[0][i] - in[1][i]) * (1 / 3.0f));
OPERATION(ScaleDouble, double, 0, 16, 1, Finite, zrcalcMultiplyVectorByScalar_double(d, n, 1 / 3.0), (1 / 3.0) * d[i]);
OPERATION(ScaleFloat, float, 0, 32, 1, Finite, zrcalcMultiplyVectorByScalar_float(d, n, 1 / 3.0f), (1 / 3.0f) * d[i]);
OPERATION(MultiplyDouble, double, 2, 16, 1, Finite, zrcalcMultiplyVectors_double_cdecl(d, in[0], in[1], n),
          in[0][i] * in[1][i]);
OPERATION(MultiplyFloat, float, 2, 32, 1, Finite, zrcalcMultiplyVectors_float_cdecl(d, in[0], in[1], n),
          in[0][i] * in[1][i]);
OPERATION(SqrtDouble, double, 1, 4, 1, Finite, zrcalcSqrtVector_double_cdecl(d, in[0], n), std::sqrt(in[0][i]));
OPERATION(SqrtFloat, float, 1, 8, 1, Finite, zrcalcSqrtVector_float_cdecl(d, in[0], n), std::sqrt(in[0][i]));
OPERATION(AbsDouble, double, 1, 8, 2, Finite, zrcalcComplexVectorAbs_double_cdecl(d, in[0], false, n),
          magnitude(in[0][2 * i], in[0][2 * i + 1], false));
OPERATION(AbsSquaredDouble, double, 1, 8, 2, Finite, zrcalcComplexVectorAbs_double_cdecl(d, in[0], true, n),
          magnitude(in[0][2 * i], in[0][2 * i + 1], true));
OPERATION(AbsFloat, float, 1, 16, 2, Finite, zrcalcComplexVectorAbs_float_cdecl(d, in[0], false, n),
          magnitude(in[0][2 * i], in[0][2 * i + 1], false));
OPERATION(AbsSquaredFloat, float, 1, 16, 2, Finite, zrcalcComplexVectorAbs_float_cdecl(d, in[0], true, n),
          magnitude(in[0][2 * i], in[0][2 * i + 1], true));
OPERATION(MaxDouble, double, 2, 16, 1, WithNaNs, zrcalcVectorsMax_double_cdecl(d, in[0], in[1], n),
          std::fmax(in[0][i], in[1][i]));
OPERATION(MaxFloat, float, 2, 32, 1, WithNaNs, zrcalcVectorsMax_float_cdecl(d, in[0], in[1], n),
          std::fmax(in[0][i], in[1][i]));

using Operations = ::testing::Types<AddScalarDouble, AddScalarFloat, AddAndScale, SubtractAndScale, ScaleDouble,
                                    ScaleFloat, MultiplyDouble, MultiplyFloat, SqrtDouble, SqrtFloat, AbsDouble,
                                    AbsSquaredDouble, AbsFloat, AbsSquaredFloat, MaxDouble, MaxFloat>;

template <class Operation, class T>
void model(T* d, const T* const* in, std::uint32_t n)
{
    for (std::size_t i = 0; i < n; ++i) d[i] = Operation::rule(d, in, i);
}

// --- Inputs --------------------------------------------------------------------

// Random values with specials mixed in: signed zeros, infinities, subnormals and
// the extremes; for the maxima also NaNs (quiet and signalling, on one side or
// both), +0 against -0 and equal pairs, each of which the vector path must hand to
// fmax or get right on its own. NaNs stay out of the arithmetic: which of two NaN
// operands an addition returns is not part of any rule.
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

template <class Operation>
struct Layout {
    using T = typename Operation::T;
    std::uint32_t count;
    std::vector<T> prior;                // the destination before the call
    std::vector<std::vector<T>> inputs;  // each of Operation::kInputs arrays
    std::vector<T> expected;             // the destination after the model

    explicit Layout(std::uint32_t n) : count(n)
    {
        const std::size_t length = Operation::kValuesPerElement * n;
        prior = values<T>(n, 1000 + n, Values::Finite);
        for (int k = 0; k < Operation::kInputs; ++k)
            inputs.push_back(values<T>(length, 31 * n + k, Operation::kValues));
        // Inputs of the maxima meet their partner's value or its opposite zero often.
        if constexpr (Operation::kValues == Values::WithNaNs) {
            for (std::size_t i = 0; i < length; i += 3) inputs[1][i] = i % 2 ? inputs[0][i] : -inputs[0][i];
        }
        std::vector<const T*> pointers;
        for (const auto& in : inputs) pointers.push_back(in.data());
        expected = prior;
        model<Operation>(expected.data(), pointers.data(), n);
    }
};

template <class Operation>
class Elementwise : public ::testing::Test {};
TYPED_TEST_SUITE(Elementwise, Operations);

// Calls f(offsets) for every combination of one alignment offset per array.
template <class T, class F>
void for_each_alignment(int arrays, F&& f, std::vector<std::size_t> chosen = {})
{
    if (static_cast<int>(chosen.size()) == arrays) return f(chosen);
    for (std::size_t offset : zrtest::alignment_offsets<T>()) {
        chosen.push_back(offset);
        for_each_alignment<T>(arrays, f, chosen);
        chosen.pop_back();
    }
}

TYPED_TEST(Elementwise, MatchesTheSequentialRuleAtEveryCountAndAlignment)
{
    using Operation = TypeParam;
    using T = typename Operation::T;
    for (std::uint32_t count = 0; count <= 2 * Operation::kPass + 5; ++count) {
        const Layout<Operation> layout(count);
        for_each_alignment<T>(1 + Operation::kInputs, [&](const std::vector<std::size_t>& offsets) {
            zrtest::OffsetArray<T> destination(layout.prior, offsets[0]);
            std::vector<zrtest::OffsetArray<T>> inputs;
            inputs.reserve(Operation::kInputs);
            std::vector<const T*> pointers;
            for (int k = 0; k < Operation::kInputs; ++k) {
                inputs.emplace_back(layout.inputs[k], offsets[k + 1]);
                pointers.push_back(inputs.back().data());
            }
            Operation::run(destination.data(), pointers.data(), count);
            ASSERT_TRUE(BitsEqual(layout.expected.data(), destination.data(), count))
                << "count " << count << ", destination offset " << offsets[0];
        });
        if (this->HasFatalFailure()) return;
    }
}

// The destination on top of one input (or of all inputs at once), shifted by -1, 0
// or +1 elements, and for the complex pairs by up to two pairs: the whole memory
// afterwards must be what the sequential loop leaves in it.
TYPED_TEST(Elementwise, OverlappingCallsGiveTheSequentialLoopsResult)
{
    using Operation = TypeParam;
    using T = typename Operation::T;
    if (Operation::kInputs == 0) GTEST_SKIP() << "works in place on one array";
    constexpr std::ptrdiff_t kMargin = 4;
    const std::vector<std::ptrdiff_t> shifts =
        Operation::kValuesPerElement == 2 ? std::vector<std::ptrdiff_t>{-4, -1, 0, 1, 2, 3, 4}
                                          : std::vector<std::ptrdiff_t>{-1, 0, 1};
    for (std::uint32_t count = 0; count <= 2 * Operation::kPass + 5; ++count) {
        const std::size_t length = Operation::kValuesPerElement * count;
        const Layout<Operation> layout(count);
        for (int shared = 0; shared <= Operation::kInputs; ++shared) {  // shared == kInputs: all of them
            for (std::ptrdiff_t shift : shifts) {
                const std::vector<T> initial =
                    values<T>(length + 2 * kMargin + count, count * 7 + shared, Values::Finite);
                std::vector<T> expected = initial, actual = initial;
                const auto call = [&](std::vector<T>& memory, void (*f)(T*, const T* const*, std::uint32_t)) {
                    std::vector<const T*> pointers;
                    for (int k = 0; k < Operation::kInputs; ++k)
                        pointers.push_back(k == shared || shared == Operation::kInputs ? memory.data() + kMargin
                                                                                       : layout.inputs[k].data());
                    f(memory.data() + kMargin + shift, pointers.data(), count);
                };
                call(expected, model<Operation, T>);
                call(actual, Operation::run);
                ASSERT_TRUE(BitsEqual(expected.data(), actual.data(), expected.size()))
                    << "count " << count << ", destination = input " << shared << " + " << shift;
            }
        }
    }
}

// Every array flush against a PROT_NONE page after it, then before it; the inputs
// read-only. One element read or written outside the arrays faults. At count 0 the
// arrays start on the guard page itself, so nothing at all may be touched.
TYPED_TEST(Elementwise, TouchesNothingOutsideItsArrays)
{
    using Operation = TypeParam;
    using T = typename Operation::T;
    for (zrtest::Guard guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
        for (std::uint32_t count = 0; count <= 2 * Operation::kPass + 5; ++count) {
            const Layout<Operation> layout(count);
            zrtest::GuardedArray<T> destination(layout.prior.data(), count, guard);
            std::vector<std::unique_ptr<zrtest::GuardedArray<T>>> inputs;
            std::vector<const T*> pointers;
            for (const auto& values : layout.inputs) {
                inputs.push_back(std::make_unique<zrtest::GuardedArray<T>>(values.data(), values.size(), guard));
                inputs.back()->make_read_only();
                pointers.push_back(inputs.back()->data());
            }
            Operation::run(destination.data(), pointers.data(), count);
            ASSERT_TRUE(BitsEqual(layout.expected.data(), destination.data(), count)) << "count " << count;
        }
    }
}

// --- Stated values -------------------------------------------------------------
// Arrays long enough that the cases fall in vector passes and in scalar tails.

TEST(ElementwiseValues, AddScalarInPlaceAddsTheScalarOnce)
{
    std::vector<double> data(100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<double>(i);
    zrcalcAddScalarToVector_double_cdecl(data.data(), data.data(), 0.5, 100);
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], static_cast<double>(i) + 0.5) << i;
}

TEST(ElementwiseValues, MultiplyIntoTheNextElementOfTheSourceCompoundsSequentially)
{
    // destination = source1 + 1: element i stores over source1[i + 1], which
    // element i + 1 reads next, so the 1 doubles along the whole array.
    std::vector<float> memory(65, 7.0f);
    memory[0] = 1.0f;
    const std::vector<float> twos(64, 2.0f);
    zrcalcMultiplyVectors_float_cdecl(memory.data() + 1, memory.data(), twos.data(), 64);
    for (int k = 0; k <= 64; ++k) EXPECT_EQ(memory[k], std::ldexp(1.0f, k)) << k;
}

TEST(ElementwiseValues, AddAndScaleWithUnitFactorsIsTheSumOrTheDifferenceRoundedOnce)
{
    const auto a = zrtest::random_samples<float>(45, 5), b = zrtest::random_samples<float>(45, 6);
    std::vector<float> sum(45), difference(45);
    zrcalcAddVectorsAndMultiplyByScalar_float(sum.data(), a.data(), b.data(), 45, 1.0f, 1.0f);
    zrcalcAddVectorsAndMultiplyByScalar_float_cdecl(difference.data(), a.data(), b.data(), 45, -1.0f, 1.0f);
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

TEST(ElementwiseValues, TwinsGiveThePlainNamesResults)
{
    const auto a = zrtest::random_samples<float>(71, 11), b = zrtest::random_samples<float>(71, 12);
    std::vector<float> plain(a), twin(a);
    zrcalcSubtractVectorsAndMultiplyByScalar_float(plain.data(), a.data(), b.data(), 71, 0.3f);
    zrcalcSubtractVectorsAndMultiplyByScalar_float_cdecl(twin.data(), a.data(), b.data(), 71, 0.3f);
    zrcalcMultiplyVectorByScalar_float(plain.data(), 71, 0.7f);
    zrcalcMultiplyVectorByScalar_float_cdecl(twin.data(), 71, 0.7f);
    EXPECT_TRUE(BitsEqual(plain.data(), twin.data(), 71));
    std::vector<double> p(71, 1.7), t(71, 1.7);
    zrcalcMultiplyVectorByScalar_double(p.data(), 71, 0.3);
    zrcalcMultiplyVectorByScalar_double_cdecl(t.data(), 71, 0.3);
    EXPECT_TRUE(BitsEqual(p.data(), t.data(), 71));
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
    const float big[2] = {2e19f, 0.0f};
    float out = 0;
    zrcalcComplexVectorAbs_float_cdecl(&out, big, false, 1);
    EXPECT_EQ(out, HUGE_VALF);
}

TEST(ElementwiseValues, ComplexAbsFloatWritesIntoItsOwnInput)
{
    std::vector<float> memory;
    for (int i = 0; i < 21; ++i) memory.insert(memory.end(), {3.0f * i, 4.0f * i});
    zrcalcComplexVectorAbs_float_cdecl(memory.data(), memory.data(), false, 21);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(memory[i], 5.0f * i) << i;
}

TEST(ElementwiseValues, ComplexAbsTakesAnyNonzeroFlagByteForSquares)
{
    // Hosts outside C++ may pass TRUE as any nonzero byte: called through the
    // flag byte's plain integer type.
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
