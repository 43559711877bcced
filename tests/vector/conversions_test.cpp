#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/bits.h"
#include "support/guarded_buffer.h"
#include "support/sweep.h"
#include "zrcalc.h"

namespace {

using zrtest::BitsEqual;

// Two passes of 32 and a tail: every count around the passes and whole vectors.
constexpr uint32_t kMaxCount = 72;

// The element rules: sign extension, and the low 16 bits read as two's complement.
int32_t widened(int16_t x) { return x; }
int16_t narrowed(int32_t x)
{
    const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(x) & 0xFFFFu);
    return static_cast<int16_t>(low >= 0x8000 ? low - 0x10000 : low);
}

template <class From, class To>
std::vector<To> expected(const std::vector<From>& in, uint32_t count, To (*rule)(From), To fill = 0)
{
    std::vector<To> out(kMaxCount, fill);
    for (uint32_t i = 0; i < count; ++i) out[i] = rule(in[i]);
    return out;
}

// Every count 0..72 against the element rule: at every alignment of both arrays,
// nothing written past count; then with both arrays flush against a PROT_NONE page
// after them and before them, the source read-only (and the destination too for
// count 0), so that any access outside them or to the source faults.
template <class From, class To, class Convert>
void check(Convert convert, To (*rule)(From))
{
    const auto in = zrtest::random_samples<From>(kMaxCount, 17);
    const To sentinel = 0x5A5A;
    for (uint32_t count = 0; count <= kMaxCount; ++count) {
        const auto want = expected(in, count, rule, sentinel);
        for (std::size_t offIn : zrtest::alignment_offsets<From>())
            for (std::size_t offOut : zrtest::alignment_offsets<To>()) {
                const zrtest::OffsetArray<From> src(in, offIn);
                const zrtest::OffsetArray<To> dst(std::vector<To>(kMaxCount, sentinel), offOut);
                convert(src.data(), dst.data(), count);
                ASSERT_TRUE(BitsEqual(want.data(), dst.data(), kMaxCount))
                    << "count " << count << ", offsets " << offIn << "/" << offOut;
            }
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            zrtest::GuardedArray<From> src(in.data(), count, guard);
            zrtest::GuardedArray<To> dst(count, guard);
            src.make_read_only();
            if (count == 0) dst.make_read_only();
            convert(src.data(), dst.data(), count);
            ASSERT_TRUE(BitsEqual(want.data(), dst.data(), count)) << "count " << count << " guarded";
        }
    }
}

TEST(Conversions, MatchTheElementRuleAtEveryCountAndAlignmentTouchingOnlyTheArrays)
{
    check(zrcalcConvertInt16ToInt32, widened);
    check(zrcalcConvertInt32ToInt16, narrowed);
}

TEST(Conversions, StatedValues)
{
    const std::vector<int32_t> wide = {70000, -1, 32768, 32767, -32768, -32769, 65535, INT32_MIN, INT32_MAX};
    std::vector<int16_t> narrowOut(wide.size());
    zrcalcConvertInt32ToInt16(wide.data(), narrowOut.data(), uint32_t(wide.size()));
    EXPECT_EQ(narrowOut, (std::vector<int16_t>{4464, -1, -32768, 32767, -32768, 32767, -1, 0, -1}));

    const std::vector<int16_t> small = {-32768, 0x7FFF, -1, 0, 1};
    std::vector<int32_t> wideOut(small.size());
    zrcalcConvertInt16ToInt32(small.data(), wideOut.data(), uint32_t(small.size()));
    EXPECT_EQ(wideOut, (std::vector<int32_t>{-32768, 32767, -1, 0, 1}));
}

// In place every element is read before a result lands on it: the results fill the
// first 2 * count bytes and the rest keeps the source bytes. Each count crosses the
// vector steps at a different point; the guarded buffers catch a step past either
// end.
TEST(Conversions, NarrowingInPlaceAtEveryCountAndAlignment)
{
    const auto in = zrtest::random_samples<int32_t>(kMaxCount, 31);
    auto check_in_place = [&](int32_t* buffer, uint32_t count, std::size_t bytes) {
        zrcalcConvertInt32ToInt16(buffer, reinterpret_cast<int16_t*>(buffer), count);
        std::vector<unsigned char> want(kMaxCount * 4), actual(kMaxCount * 4);
        std::memcpy(want.data(), in.data(), bytes);
        std::memcpy(want.data(), expected(in, count, narrowed).data(), count * 2);
        std::memcpy(actual.data(), buffer, bytes);
        return BitsEqual(want.data(), actual.data(), bytes);
    };
    for (uint32_t count = 0; count <= kMaxCount; ++count) {
        for (std::size_t off : zrtest::alignment_offsets<int32_t>()) {
            const zrtest::OffsetArray<int32_t> buffer(in, off);
            ASSERT_TRUE(check_in_place(buffer.data(), count, kMaxCount * 4)) << "count " << count << ", offset " << off;
        }
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            zrtest::GuardedArray<int32_t> buffer(in.data(), count, guard);
            ASSERT_TRUE(check_in_place(buffer.data(), count, count * 4)) << "count " << count << " guarded";
        }
    }
}

}  // namespace
