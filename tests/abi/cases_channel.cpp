// ABI cases of the channel operations: a parameter block behind one pointer,
// and doubles and floats passed by value in stack slots.
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

// Five int16 samples of one channel interleaved with another (stride 2), the
// rest of the output a sentinel.
template <class Params>
void scaled_int16_at_stride_2(const zrabi::Entry<void(const Params*)>& entry)
{
    using T = std::remove_pointer_t<decltype(Params::destination)>;
    const std::vector<int16_t> raw = {-3, 111, 7, 222, 100, 333, -32768, 444, 32767, 555};
    std::vector<T> out(6, T(-7)), expected(6, T(-7));
    Params params{raw.data(), out.data(), T(0.1), T(-0.25), 5, ChannelSampleType_Int16, 2};
    entry(&params);
    for (int k = 0; k < 5; ++k) expected[k] = std::fma(T(raw[2 * k]), T(0.1), T(-0.25));
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), out.data(), out.size()));
}

// Past the widest vector pass, so the vector loop and its tail both run.
template <class T>
void linear_fill(const zrabi::Entry<void(T*, uint32_t, T, T)>& entry)
{
    constexpr uint32_t count = 35;
    std::vector<T> out(count + 1, T(-7)), expected(count + 1, T(-7));
    entry(out.data(), count, T(0.1), T(-0.3));
    for (uint32_t i = 0; i < count; ++i) expected[i] = std::fma(T(i), T(0.1), T(-0.3));
    EXPECT_TRUE(zrtest::BitsEqual(expected.data(), out.data(), out.size()));
}

}  // namespace

ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_double) { scaled_int16_at_stride_2(entry); }
ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_float) { scaled_int16_at_stride_2(entry); }
ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_double) { linear_fill(entry); }
ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_float) { linear_fill(entry); }
