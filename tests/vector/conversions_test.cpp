// The integer conversions against their element rules through the sweep driver
// (the narrowing one also in place), and the values stated for them.

#include "support/sweep.h"

namespace {

// Two passes of 32 and a tail. The element rules: sign extension, and the low 16
// bits read as two's complement (no saturation). Narrowing in place, every element
// is read before a result lands on it: the results fill the first 2 * count bytes,
// the rest keeps the source bytes.
template <class From, class To>
zrtest::Case conversion(const char* entry, void (*call)(const From*, To*, uint32_t))
{
    zrtest::Case c{entry, "", {zrtest::in<From>(), zrtest::out<To>()}, 72,
                   [call](zrtest::Arrays a, uint32_t n) { call(a.at<From>(0), a.at<To>(1), n); },
                   [](zrtest::Arrays a, uint32_t n) {
                       for (uint32_t i = 0; i < n; ++i) a.at<To>(1)[i] = To(std::make_unsigned_t<To>(a.at<From>(0)[i]));
                   }};
    if (sizeof(To) < sizeof(From)) c.overlaps.push_back({1, {0}, {0}});
    return c;
}

ZRTEST_SWEEP(conversions)
{
    return {conversion<int16_t, int32_t>("zrcalcConvertInt16ToInt32",
                                         [](auto s, auto d, uint32_t n) { zrcalcConvertInt16ToInt32(s, d, n); }),
            conversion<int32_t, int16_t>("zrcalcConvertInt32ToInt16",
                                         [](auto s, auto d, uint32_t n) { zrcalcConvertInt32ToInt16(s, d, n); })};
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

}  // namespace
