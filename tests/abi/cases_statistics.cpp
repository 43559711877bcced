// ABI cases of the statistics: results written through four or five pointers,
// and an offset passed by value as the last (float or double) argument.
#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

// Samples past the widest block of these variants (eight), as halves and small
// integers: every sum and sum of squares is exact in any order of addition.
template <class T>
std::vector<T> samples(std::size_t n = 13)
{
    static const int base[] = {3, -2, 7, 0, -5, 4, 1, 9, -8, 6, 2, -1, 5};
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int b = base[i % 13] + int(i / 13);
        v[i] = std::is_floating_point_v<T> ? T(b * 0.5) : T(b);
    }
    return v;
}

template <class T>
void min_max(const zrabi::Entry<void(const T*, uint32_t, T*, T*)>& entry)
{
    const auto data = samples<T>();
    T minValue = T(99), maxValue = T(-99);  // never read
    entry(data.data(), uint32_t(data.size()), &minValue, &maxValue);
    EXPECT_EQ(minValue, *std::min_element(data.begin(), data.end()));
    EXPECT_EQ(maxValue, *std::max_element(data.begin(), data.end()));
}

// The prior minimum lies inside the samples (so it moves), the prior maximum
// above them (so it stays); the sums start from nonzero totals.
template <class T, class Offset>
void min_max_ave_rms(const zrabi::Entry<void(const T*, uint32_t, T*, T*, double*, double*, Offset)>& entry)
{
    const auto data = samples<T>();
    T minValue = T(1), maxValue = T(100);
    double sum = 0.5, squares = 0.25, expected_sum = 0.5, expected_squares = 0.25;
    entry(data.data(), uint32_t(data.size()), &minValue, &maxValue, &sum, &squares, Offset(0.5));
    for (T x : data) {
        expected_sum += double(x);
        expected_squares += (double(x) + 0.5) * (double(x) + 0.5);
    }
    EXPECT_EQ(minValue, *std::min_element(data.begin(), data.end()));
    EXPECT_EQ(maxValue, T(100));
    EXPECT_TRUE(zrtest::BitsEqual(expected_sum, sum));
    EXPECT_TRUE(zrtest::BitsEqual(expected_squares, squares));
}

}  // namespace

ZRABI_CASE(zrcalcGetMinMax_double) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_float) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_int16_t) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_int32_t) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMaxAveRMS_double) { min_max_ave_rms(entry); }
ZRABI_CASE(zrcalcGetMinMaxAveRMS_float) { min_max_ave_rms(entry); }
ZRABI_CASE(zrcalcGetMinMaxAveRMS_int16_t) { min_max_ave_rms(entry); }
ZRABI_CASE(zrcalcGetMinMaxAveRMS_int32_t) { min_max_ave_rms(entry); }

// Twenty samples at stride 2: the strided block path with a tail.
ZRABI_CASE(zrcalcMoveAndGetMinMaxAveRMS_int16_t)
{
    constexpr uint32_t count = 20;
    const auto source = samples<int16_t>(2 * count);
    std::vector<int16_t> out(count + 1, 0x5A5A), expected(count + 1, 0x5A5A);
    int16_t minValue = 0, maxValue = 0;
    double sum = 1.0, squares = 2.0, expected_sum = 1.0, expected_squares = 2.0;
    entry(out.data(), source.data(), count, &minValue, &maxValue, &sum, &squares, 0.5f, 2);
    for (uint32_t i = 0; i < count; ++i) {
        expected[i] = source[2 * i];
        expected_sum += expected[i];
        expected_squares += (expected[i] + 0.5) * (expected[i] + 0.5);
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(minValue, std::min<int16_t>(0, *std::min_element(expected.begin(), expected.end() - 1)));
    EXPECT_EQ(maxValue, std::max<int16_t>(0, *std::max_element(expected.begin(), expected.end() - 1)));
    EXPECT_TRUE(zrtest::BitsEqual(expected_sum, sum));
    EXPECT_TRUE(zrtest::BitsEqual(expected_squares, squares));
}
