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

void widen(const int16_t* s, int32_t* d, uint32_t n) { zrcalcConvertInt16ToInt32(s, d, n); }
void narrow(const int32_t* s, int16_t* d, uint32_t n) { zrcalcConvertInt32ToInt16(s, d, n); }

// The element rules: sign extension, and the low 16 bits read as two's complement.
int32_t widened(int16_t x) { return x; }
int16_t narrowed(int32_t x)
{
    const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(x) & 0xFFFFu);
    return static_cast<int16_t>(low >= 0x8000 ? low - 0x10000 : low);
}

template <class From, class To>
std::vector<To> expected(const std::vector<From>& in, uint32_t count, To (*rule)(From))
{
    std::vector<To> out(count);
    for (uint32_t i = 0; i < count; ++i) out[i] = rule(in[i]);
    return out;
}

// Every count 0..72 x every alignment of both arrays; elements past count stay
// untouched and the source unchanged.
template <class From, class To>
void check_sweep(void (*convert)(const From*, To*, uint32_t), To (*rule)(From))
{
    const auto in = zrtest::random_samples<From>(kMaxCount, 17);
    const To sentinel = 0x5A5A;
    for (std::size_t offIn : zrtest::alignment_offsets<From>())
        for (std::size_t offOut : zrtest::alignment_offsets<To>())
            for (uint32_t count = 0; count <= kMaxCount; ++count) {
                const zrtest::OffsetArray<From> src(in, offIn);
                const zrtest::OffsetArray<To> dst(std::vector<To>(kMaxCount, sentinel), offOut);
                convert(src.data(), dst.data(), count);
                auto want = expected(in, count, rule);
                want.resize(kMaxCount, sentinel);
                ASSERT_TRUE(BitsEqual(want.data(), dst.data(), kMaxCount))
                    << "count " << count << ", offsets " << offIn << "/" << offOut;
                ASSERT_TRUE(BitsEqual(in.data(), src.data(), kMaxCount)) << "source changed";
            }
}

// Both arrays flush against a PROT_NONE page, after and then before them, the
// source read-only (and the destination too for count 0): any access outside
// them faults.
template <class From, class To>
void check_guarded(void (*convert)(const From*, To*, uint32_t), To (*rule)(From))
{
    const auto in = zrtest::random_samples<From>(kMaxCount, 29);
    for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before})
        for (uint32_t count = 0; count <= kMaxCount; ++count) {
            zrtest::GuardedArray<From> src(in.data(), count, guard);
            zrtest::GuardedArray<To> dst(count, guard);
            src.make_read_only();
            if (count == 0) dst.make_read_only();
            convert(src.data(), dst.data(), count);
            ASSERT_TRUE(BitsEqual(expected(in, count, rule).data(), dst.data(), count)) << "count " << count;
        }
}

TEST(Conversions, MatchTheElementRuleAtEveryCountAndAlignment)
{
    check_sweep(widen, widened);
    check_sweep(narrow, narrowed);
}

TEST(Conversions, TouchOnlyTheCallersArrays)
{
    check_guarded(widen, widened);
    check_guarded(narrow, narrowed);
}

TEST(Conversions, StatedValues)
{
    const std::vector<int32_t> wide = {70000, -1, 32768, 32767, -32768, -32769, 65535, INT32_MIN, INT32_MAX};
    const std::vector<int16_t> wideToNarrow = {4464, -1, -32768, 32767, -32768, 32767, -1, 0, -1};
    std::vector<int16_t> narrowOut(wide.size());
    narrow(wide.data(), narrowOut.data(), uint32_t(wide.size()));
    EXPECT_EQ(narrowOut, wideToNarrow);

    const std::vector<int16_t> small = {-32768, 0x7FFF, -1, 0, 1};
    std::vector<int32_t> wideOut(small.size());
    widen(small.data(), wideOut.data(), uint32_t(small.size()));
    EXPECT_EQ(wideOut, (std::vector<int32_t>{-32768, 32767, -1, 0, 1}));
}

// In place every element is read before a result lands on it: the results fill the
// first 2 * count bytes and the rest keeps the source bytes. Each count crosses the
// vector steps at a different point; the guarded buffers catch a step past either
// end.
TEST(Conversions, NarrowingInPlaceAtEveryCountAndAlignment)
{
    const auto in = zrtest::random_samples<int32_t>(kMaxCount, 31);
    auto check = [&](int32_t* buffer, uint32_t count, std::size_t bytes) {
        narrow(buffer, reinterpret_cast<int16_t*>(buffer), count);
        std::vector<unsigned char> want(bytes + 1), actual(bytes + 1);  // never empty
        std::memcpy(want.data(), in.data(), bytes);
        if (count) std::memcpy(want.data(), expected(in, count, narrowed).data(), count * 2);
        std::memcpy(actual.data(), buffer, bytes);
        return BitsEqual(want.data(), actual.data(), bytes);
    };
    for (uint32_t count = 0; count <= kMaxCount; ++count) {
        for (std::size_t off : zrtest::alignment_offsets<int32_t>()) {
            const zrtest::OffsetArray<int32_t> buffer(in, off);
            ASSERT_TRUE(check(buffer.data(), count, kMaxCount * 4)) << "count " << count << ", offset " << off;
        }
        for (auto guard : {zrtest::Guard::After, zrtest::Guard::Before}) {
            zrtest::GuardedArray<int32_t> buffer(in.data(), count, guard);
            ASSERT_TRUE(check(buffer.data(), count, count * 4)) << "count " << count << " guarded";
        }
    }
}

}  // namespace
