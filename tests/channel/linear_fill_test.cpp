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

void fill(double* b, uint32_t n, double f, double o) { zrcalcChannelFillBufferWithLinearFunction_double(b, n, f, o); }
void fill(float* b, uint32_t n, float f, float o) { zrcalcChannelFillBufferWithLinearFunction_float(b, n, f, o); }

// The index exactly in double, then rounded once to the element type; one fused
// multiply-add.
template <class T>
T rule(uint32_t i, T f, T o)
{
    return std::fma(T(double(i)), f, o);
}

template <class T>
class LinearFill : public ::testing::Test {};
using ElementTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(LinearFill, ElementTypes);

// Counts 0..72 (two float passes of 32 and a tail), with factors and offsets whose
// products need the single rounding, bit for bit: at every alignment, nothing
// written past count; then flush against a PROT_NONE page after the buffer and
// before it (count 0 gets a read-only buffer of no elements).
TYPED_TEST(LinearFill, FollowsTheRuleAtEveryCountAndAlignmentTouchingOnlyTheBuffer)
{
    using T = TypeParam;
    constexpr uint32_t kMaxCount = 72;
    const auto fs = zrtest::random_samples<T>(3, 5, 100.0), os = zrtest::random_samples<T>(3, 6, 1e4);
    const T sentinel = T(-999);
    for (int k = 0; k < 3; ++k)
        for (uint32_t count = 0; count <= kMaxCount; ++count) {
            std::vector<T> want(kMaxCount + 1, sentinel);
            for (uint32_t i = 0; i < count; ++i) want[i] = rule(i, fs[k], os[k]);
            for (std::size_t offset : zrtest::alignment_offsets<T>()) {
                const zrtest::OffsetArray<T> buffer(std::vector<T>(kMaxCount + 1, sentinel), offset);
                fill(buffer.data(), count, fs[k], os[k]);
                ASSERT_TRUE(BitsEqual(want.data(), buffer.data(), kMaxCount + 1))
                    << "count " << count << ", offset " << offset;
            }
            for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
                zrtest::GuardedArray<T> buffer(count, guard);
                if (count == 0) buffer.make_read_only();
                fill(buffer.data(), count, fs[k], os[k]);
                ASSERT_TRUE(BitsEqual(want.data(), buffer.data(), count)) << "count " << count << " guarded";
            }
        }
}

TEST(LinearFill, StatedValues)
{
    double d[4];
    fill(d, 4, 0.1, -0.30000000000000004);
    EXPECT_TRUE(BitsEqual(-2.7755575615628914e-17, d[3]));  // a separate multiply and add gives 0
    // Past 2^24 the float index rounds, in the vector passes as in the tail:
    // 2^24 + 1 ties to 2^24, 2^24 + 3 to 2^24 + 4.
    constexpr uint32_t kFrom = (1u << 24) - 40, kCount = (1u << 24) + 70;
    std::vector<float> out(kCount);
    fill(out.data(), kCount, 1.0f, 0.0f);
    EXPECT_TRUE(BitsEqual(16777216.0f, out[1u << 24]));
    EXPECT_TRUE(BitsEqual(16777216.0f, out[(1u << 24) + 1]));
    EXPECT_TRUE(BitsEqual(16777220.0f, out[(1u << 24) + 3]));
    for (uint32_t i = kFrom; i < kCount; ++i) ASSERT_TRUE(BitsEqual(rule(i, 1.0f, 0.0f), out[i])) << "index " << i;
}

}  // namespace
