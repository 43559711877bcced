// Bit-for-bit comparison of results, naming the first differing element and both
// values in decimal and in hexadecimal bits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <type_traits>

namespace zrtest {

template <class T>
std::string describe(T value)
{
    std::ostringstream out;
    if constexpr (std::is_floating_point_v<T>) {
        using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
        Bits bits;
        std::memcpy(&bits, &value, sizeof bits);
        out << std::setprecision(sizeof(T) == 8 ? 17 : 9) << value << " (0x" << std::hex << bits << ")";
    } else {
        out << +value;
    }
    return out.str();
}

template <class T>
bool same_bits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <class T>
::testing::AssertionResult BitsEqual(T expected, T actual)
{
    if (same_bits(expected, actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << describe(expected) << ", actual " << describe(actual);
}

template <class T>
::testing::AssertionResult BitsEqual(const T* expected, const T* actual, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (!same_bits(expected[i], actual[i]))
            return ::testing::AssertionFailure() << "element " << i << " of " << count << " differs: expected "
                                                 << describe(expected[i]) << ", actual " << describe(actual[i]);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace zrtest
