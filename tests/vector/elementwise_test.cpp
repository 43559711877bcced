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
// Each names its element type T, its number of input arrays (0: it works in place
// on the destination's prior contents), the values per element of its inputs
// (2 for complex pairs), the largest number of elements one of its vector steps
// takes (the sweeps run to twice that plus five), and the kind of values it is fed.
// run() calls the library; model() is the sequential loop of the rule.

enum class Values { Finite, WithNaNs };

template <class E, int kIn, std::uint32_t kPassElements, std::size_t kPerElement = 1, Values kKind = Values::Finite>
struct Op {
    using T = E;
    static constexpr int kInputs = kIn;
    static constexpr std::uint32_t kPass = kPassElements;
    static constexpr std::size_t kValuesPerElement = kPerElement;
    static constexpr Values kValues = kKind;
};

constexpr double kScalarD = 0.1;
constexpr float kScalarF = 0.1f;
constexpr float kFactorF = 1.0f / 3.0f;
constexpr float kSource2FactorF = -2.7f;
constexpr double kFactorD = 1.0 / 3.0;

struct AddScalarDouble : Op<double, 1, 16> {
    static void run(T* d, const T* const* in, std::uint32_t n) { zrcalcAddScalarToVector_double_cdecl(d, in[0], kScalarD, n); }
    static void model(T* d, const T* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = kScalarD + in[0][i];
    }
};
struct AddScalarFloat : Op<float, 1, 32> {
    static void run(T* d, const T* const* in, std::uint32_t n) { zrcalcAddScalarToVector_float_cdecl(d, in[0], kScalarF, n); }
    static void model(T* d, const T* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = kScalarF + in[0][i];
    }
};
struct AddVectorsAndMultiply : Op<float, 2, 32> {
    static void run(T* d, const T* const* in, std::uint32_t n)
    {
        zrcalcAddVectorsAndMultiplyByScalar_float(d, in[0], in[1], n, kSource2FactorF, kFactorF);
    }
    static void model(T* d, const T* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = std::fma(in[1][i], kSource2FactorF, in[0][i]) * kFactorF;
    }
};
struct SubtractVectorsAndMultiply : Op<float, 2, 32> {
    static void run(T* d, const T* const* in, std::uint32_t n)
    {
        zrcalcSubtractVectorsAndMultiplyByScalar_float(d, in[0], in[1], n, kFactorF);
    }
    static void model(T* d, const T* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = (in[0][i] - in[1][i]) * kFactorF;
    }
};
struct ScaleDouble : Op<double, 0, 16> {
    static void run(T* d, const T* const*, std::uint32_t n) { zrcalcMultiplyVectorByScalar_double(d, n, kFactorD); }
    static void model(T* d, const T* const*, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = kFactorD * d[i];
    }
};
struct ScaleFloat : Op<float, 0, 32> {
    static void run(T* d, const T* const*, std::uint32_t n) { zrcalcMultiplyVectorByScalar_float(d, n, kFactorF); }
    static void model(T* d, const T* const*, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = kFactorF * d[i];
    }
};
template <class E, void (*kRun)(E*, const E*, const E*, uint32_t)>
struct MultiplyVectors : Op<E, 2, 32 / sizeof(E) * 4> {
    static void run(E* d, const E* const* in, std::uint32_t n) { kRun(d, in[0], in[1], n); }
    static void model(E* d, const E* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = in[0][i] * in[1][i];
    }
};
template <class E, void (*kRun)(E*, const E*, uint32_t)>
struct SquareRoots : Op<E, 1, 32 / sizeof(E)> {
    static void run(E* d, const E* const* in, std::uint32_t n) { kRun(d, in[0], n); }
    static void model(E* d, const E* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = std::sqrt(in[0][i]);
    }
};
template <class E, void (*kRun)(E*, const E*, bool, uint32_t), bool kSquared>
struct ComplexMagnitudes : Op<E, 1, 32 / sizeof(E) * 2, 2> {
    static void run(E* d, const E* const* in, std::uint32_t n) { kRun(d, in[0], kSquared, n); }
    static void model(E* d, const E* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) {
            const E re = in[0][2 * i], im = in[0][2 * i + 1];
            const E p = std::fma(im, im, re * re);
            d[i] = kSquared ? p : std::sqrt(p);
        }
    }
};
template <class E, void (*kRun)(E*, const E*, const E*, uint32_t)>
struct Maxima : Op<E, 2, 32 / sizeof(E) * 4, 1, Values::WithNaNs> {
    static void run(E* d, const E* const* in, std::uint32_t n) { kRun(d, in[0], in[1], n); }
    static void model(E* d, const E* const* in, std::uint32_t n)
    {
        for (std::uint32_t i = 0; i < n; ++i) d[i] = std::fmax(in[0][i], in[1][i]);
    }
};

using Operations = ::testing::Types<
    AddScalarDouble, AddScalarFloat, AddVectorsAndMultiply, SubtractVectorsAndMultiply, ScaleDouble, ScaleFloat,
    MultiplyVectors<double, zrcalcMultiplyVectors_double_cdecl>, MultiplyVectors<float, zrcalcMultiplyVectors_float_cdecl>,
    SquareRoots<double, zrcalcSqrtVector_double_cdecl>, SquareRoots<float, zrcalcSqrtVector_float_cdecl>,
    ComplexMagnitudes<double, zrcalcComplexVectorAbs_double_cdecl, false>,
    ComplexMagnitudes<double, zrcalcComplexVectorAbs_double_cdecl, true>,
    ComplexMagnitudes<float, zrcalcComplexVectorAbs_float_cdecl, false>,
    ComplexMagnitudes<float, zrcalcComplexVectorAbs_float_cdecl, true>,
    Maxima<double, zrcalcVectorsMax_double_cdecl>, Maxima<float, zrcalcVectorsMax_float_cdecl>>;

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
        for (int k = 0; k < Operation::kInputs; ++k) inputs.push_back(values<T>(length, 31 * n + k, Operation::kValues));
        // Inputs of the maxima meet their partner's value or its opposite zero often.
        if constexpr (Operation::kValues == Values::WithNaNs) {
            for (std::size_t i = 0; i < length; i += 3) inputs[1][i] = i % 2 ? inputs[0][i] : -inputs[0][i];
        }
        std::vector<const T*> pointers;
        for (const auto& in : inputs) pointers.push_back(in.data());
        expected = prior;
        Operation::model(expected.data(), pointers.data(), n);
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
                const std::vector<T> initial = values<T>(length + 2 * kMargin + count, count * 7 + shared, Values::Finite);
                std::vector<T> expected = initial, actual = initial;
                const auto call = [&](std::vector<T>& memory, void (*f)(T*, const T* const*, std::uint32_t)) {
                    std::vector<const T*> pointers;
                    for (int k = 0; k < Operation::kInputs; ++k)
                        pointers.push_back(k == shared || shared == Operation::kInputs ? memory.data() + kMargin
                                                                                       : layout.inputs[k].data());
                    f(memory.data() + kMargin + shift, pointers.data(), count);
                };
                call(expected, Operation::model);
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

TEST(AddScalarToVector, InPlaceAddsTheScalarToEachElementOnce)
{
    std::vector<double> data(100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<double>(i);
    zrcalcAddScalarToVector_double_cdecl(data.data(), data.data(), 0.5, 100);
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], static_cast<double>(i) + 0.5) << i;
}

TEST(MultiplyVectors, DestinationOneAfterSourceMultipliesTheUpdatedPreviousElement)
{
    // destination = source1 + 1: element i stores over source1[i + 1], which
    // element i + 1 then reads, so 1 doubles along the whole array.
    std::vector<float> memory(65, 7.0f);
    memory[0] = 1.0f;
    const std::vector<float> twos(64, 2.0f);
    zrcalcMultiplyVectors_float_cdecl(memory.data() + 1, memory.data(), twos.data(), 64);
    for (int k = 0; k <= 64; ++k) EXPECT_EQ(memory[k], std::ldexp(1.0f, k)) << k;
}

TEST(AddVectorsAndMultiplyByScalar, UnitFactorsGiveTheSumAndMinusOneTheDifferenceRoundedOnce)
{
    constexpr std::uint32_t kCount = 45;  // one vector pass and a scalar tail
    const auto a = zrtest::random_samples<float>(kCount, 5), b = zrtest::random_samples<float>(kCount, 6);
    std::vector<float> sum(kCount), difference(kCount);
    zrcalcAddVectorsAndMultiplyByScalar_float(sum.data(), a.data(), b.data(), kCount, 1.0f, 1.0f);
    zrcalcAddVectorsAndMultiplyByScalar_float_cdecl(difference.data(), a.data(), b.data(), kCount, -1.0f, 1.0f);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        EXPECT_TRUE(BitsEqual(a[i] + b[i], sum[i])) << i;
        EXPECT_TRUE(BitsEqual(a[i] - b[i], difference[i])) << i;
    }
}

TEST(AddVectorsAndMultiplyByScalar, RoundsTheScaledSumOnce)
{
    // (1 + e)^2 = 1 + 2e + e^2: the fused step keeps the e^2 that a rounded
    // product would lose, in the vector lanes and in the scalar tail alike.
    const float e = std::ldexp(1.0f, -23);
    const std::vector<float> source1(33, -(1.0f + 2 * e)), source2(33, 1.0f + e);
    std::vector<float> out(33);
    zrcalcAddVectorsAndMultiplyByScalar_float(out.data(), source1.data(), source2.data(), 33, 1.0f + e, 2.0f);
    for (float v : out) EXPECT_EQ(v, 2 * e * e);
}

TEST(TwinEntryPoints, GiveThePlainNamesResults)
{
    constexpr std::uint32_t kCount = 71;
    const auto a = zrtest::random_samples<float>(kCount, 11), b = zrtest::random_samples<float>(kCount, 12);
    std::vector<float> plain(kCount), twin(kCount);
    zrcalcSubtractVectorsAndMultiplyByScalar_float(plain.data(), a.data(), b.data(), kCount, 0.3f);
    zrcalcSubtractVectorsAndMultiplyByScalar_float_cdecl(twin.data(), a.data(), b.data(), kCount, 0.3f);
    EXPECT_TRUE(BitsEqual(plain.data(), twin.data(), kCount));
    zrcalcAddVectorsAndMultiplyByScalar_float(plain.data(), a.data(), b.data(), kCount, 0.7f, -1.5f);
    zrcalcAddVectorsAndMultiplyByScalar_float_cdecl(twin.data(), a.data(), b.data(), kCount, 0.7f, -1.5f);
    EXPECT_TRUE(BitsEqual(plain.data(), twin.data(), kCount));
    std::vector<float> f1 = a, f2 = a;
    zrcalcMultiplyVectorByScalar_float(f1.data(), kCount, 0.3f);
    zrcalcMultiplyVectorByScalar_float_cdecl(f2.data(), kCount, 0.3f);
    EXPECT_TRUE(BitsEqual(f1.data(), f2.data(), kCount));
    std::vector<double> d1(kCount, 1.7), d2(kCount, 1.7);
    zrcalcMultiplyVectorByScalar_double(d1.data(), kCount, 0.3);
    zrcalcMultiplyVectorByScalar_double_cdecl(d2.data(), kCount, 0.3);
    EXPECT_TRUE(BitsEqual(d1.data(), d2.data(), kCount));
}

TEST(ComplexVectorAbs, ThreeFourGivesFiveOrTwentyFiveAndHugeComponentsOverflow)
{
    // Nine pairs: two vector steps of four doubles and one scalar element; the huge
    // pair once in a vector step and once in the tail.
    std::vector<double> pairs;
    for (int i = 0; i < 9; ++i) pairs.insert(pairs.end(), {3.0, 4.0});
    pairs[2 * 2] = pairs[2 * 8] = 1e200;
    pairs[2 * 2 + 1] = pairs[2 * 8 + 1] = 0.0;
    std::vector<double> magnitude(9), squared(9);
    zrcalcComplexVectorAbs_double_cdecl(magnitude.data(), pairs.data(), false, 9);
    zrcalcComplexVectorAbs_double_cdecl(squared.data(), pairs.data(), true, 9);
    const double inf = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 9; ++i) {
        const bool huge = i == 2 || i == 8;
        EXPECT_EQ(magnitude[i], huge ? inf : 5.0) << i;
        EXPECT_EQ(squared[i], huge ? inf : 25.0) << i;
    }
    const float big[2] = {2e19f, 0.0f};
    float out = 0;
    zrcalcComplexVectorAbs_float_cdecl(&out, big, false, 1);
    EXPECT_EQ(out, std::numeric_limits<float>::infinity());
}

TEST(ComplexVectorAbs, FloatWritesIntoItsOwnInput)
{
    std::vector<float> memory;
    for (int i = 0; i < 21; ++i) memory.insert(memory.end(), {3.0f * i, 4.0f * i});
    zrcalcComplexVectorAbs_float_cdecl(memory.data(), memory.data(), false, 21);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(memory[i], 5.0f * i) << i;
    for (int i = 21; i < 42; ++i) EXPECT_EQ(memory[i], i % 2 ? 4.0f * (i / 2) : 3.0f * (i / 2)) << i;
}

TEST(ComplexVectorAbs, AnyNonzeroFlagByteAsksForTheSquares)
{
    // Hosts outside C++ pass TRUE as any nonzero byte; called through the flag
    // byte's plain integer type.
    using ByteFlagAbs = void(ZRCALC_CDECL*)(double*, const double*, std::uint8_t, std::uint32_t);
    const auto abs_with_byte = reinterpret_cast<ByteFlagAbs>(reinterpret_cast<void (*)()>(&zrcalcComplexVectorAbs_double_cdecl));
    const double pairs[2] = {3.0, 4.0};
    for (std::uint8_t flag : {1, 2, 0x80, 0xFF}) {
        double out = 0;
        abs_with_byte(&out, pairs, flag, 1);
        EXPECT_EQ(out, 25.0) << int(flag);
    }
}

TEST(VectorsMax, ANaNOnOneSideGivesTheOtherValueAndTwoNaNsGiveANaN)
{
    // Twenty-one elements: one vector pass of sixteen doubles, a vector step and a
    // scalar element; the cases sit in each of them.
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

TEST(SqrtVector, MinusOneGivesANaNAndMinusZeroStaysMinusZero)
{
    std::vector<double> source(9, 4.0), out(9);
    source[1] = source[8] = -1.0;
    source[2] = source[7] = -0.0;
    zrcalcSqrtVector_double_cdecl(out.data(), source.data(), 9);
    for (std::size_t i : {1, 8}) EXPECT_TRUE(std::isnan(out[i])) << i;
    for (std::size_t i : {2, 7}) EXPECT_TRUE(BitsEqual(-0.0, out[i])) << i;
    EXPECT_EQ(out[0], 2.0);
}

}  // namespace
