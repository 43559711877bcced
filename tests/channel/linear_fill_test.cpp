#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

// Both names of the fill of one element type; lambdas give the two conventions
// one pointer type on 32-bit x86.
template <class T>
struct Fill;
template <>
struct Fill<double> {
    static constexpr void (*names[2])(double*, uint32_t, double, double) = {
        [](double* b, uint32_t n, double f, double o) { zrcalcChannelFillBufferWithLinearFunction_double(b, n, f, o); },
        [](double* b, uint32_t n, double f, double o) {
            zrcalcChannelFillBufferWithLinearFunction_double_cdecl(b, n, f, o);
        }};
    // The index is exact in double.
    static double rule(uint32_t i, double f, double o) { return std::fma(double(i), f, o); }
};
template <>
struct Fill<float> {
    static constexpr void (*names[2])(float*, uint32_t, float, float) = {
        [](float* b, uint32_t n, float f, float o) { zrcalcChannelFillBufferWithLinearFunction_float(b, n, f, o); },
        [](float* b, uint32_t n, float f, float o) {
            zrcalcChannelFillBufferWithLinearFunction_float_cdecl(b, n, f, o);
        }};
    // The index exactly in double, then rounded once to float.
    static float rule(uint32_t i, float f, float o) { return std::fma(float(double(i)), f, o); }
};

template <class T>
std::vector<T> expected(uint32_t begin, uint32_t end, T f, T o)
{
    std::vector<T> out;
    for (uint32_t i = begin; i < end; ++i) out.push_back(Fill<T>::rule(i, f, o));
    return out;
}

template <class T>
class LinearFill : public ::testing::Test {};
using ElementTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(LinearFill, ElementTypes);

// Counts 0..40 (past a pass of 32 and a tail) at every alignment, in both names,
// with factors and offsets whose products need the single rounding; nothing past
// count is written.
TYPED_TEST(LinearFill, FollowsTheRuleAtEveryCountAndAlignment)
{
    using T = TypeParam;
    const auto fs = zrtest::random_samples<T>(3, 5, 100.0), os = zrtest::random_samples<T>(3, 6, 1e4);
    const T sentinel = T(-999);
    for (int k = 0; k < 3; ++k)
        for (auto fill : Fill<T>::names)
            for (std::size_t offset : zrtest::alignment_offsets<T>())
                for (uint32_t count = 0; count <= 40; ++count) {
                    const zrtest::OffsetArray<T> buffer(std::vector<T>(41, sentinel), offset);
                    fill(buffer.data(), count, fs[k], os[k]);
                    auto want = expected<T>(0, count, fs[k], os[k]);
                    want.resize(41, sentinel);
                    ASSERT_TRUE(BitsEqual(want.data(), buffer.data(), 41))
                        << "count " << count << ", offset " << offset;
                }
}

// The buffer flush against a PROT_NONE page after it, then before it; count 0
// gets a read-only buffer of no elements.
TYPED_TEST(LinearFill, TouchesOnlyTheCallersBuffer)
{
    using T = TypeParam;
    for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before})
        for (uint32_t count = 0; count <= 40; ++count) {
            zrtest::GuardedArray<T> buffer(count, guard);
            if (count == 0) buffer.make_read_only();
            Fill<T>::names[0](buffer.data(), count, T(0.75), T(-3));
            ASSERT_TRUE(BitsEqual(expected<T>(0, count, T(0.75), T(-3)).data(), buffer.data(), count)) << count;
        }
}

TYPED_TEST(LinearFill, OneElementIsTheOffset)
{
    using T = TypeParam;
    T out = 0;
    Fill<T>::names[0](&out, 1, T(1e30), T(-2.5));
    EXPECT_TRUE(BitsEqual(T(-2.5), out));
}

TEST(LinearFillDouble, ElementThreeIsTheFusedResult)
{
    std::vector<double> out(4);
    zrcalcChannelFillBufferWithLinearFunction_double(out.data(), 4, 0.1, -0.30000000000000004);
    EXPECT_TRUE(BitsEqual(-2.7755575615628914e-17, out[3]));
}

// Past 2^24 the float index rounds: 2^24 + 1 ties to 2^24, 2^24 + 3 to 2^24 + 4.
// The vector passes cover these indexes.
TEST(LinearFillFloat, IndexesPast2To24RoundOnceToNearest)
{
    constexpr uint32_t kFrom = (1u << 24) - 40, kCount = (1u << 24) + 70;
    std::vector<float> out(kCount);
    zrcalcChannelFillBufferWithLinearFunction_float(out.data(), kCount, 1.0f, 0.0f);
    EXPECT_TRUE(BitsEqual(out[1u << 24], out[(1u << 24) + 1]));
    EXPECT_TRUE(BitsEqual(16777220.0f, out[(1u << 24) + 3]));
    EXPECT_TRUE(BitsEqual(expected<float>(kFrom, kCount, 1.0f, 0.0f).data(), out.data() + kFrom, kCount - kFrom));
}

}  // namespace
