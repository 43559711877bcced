// ABI cases of the statistics: results written through four or five pointers,
// and an offset passed by value as the last (float or double) argument.
#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "abi_call.h"
#include "support/bits.h"

namespace {

// Thirteen samples pass the widest block of these variants (eight). Halves and
// small integers keep every sum and sum of squares exact, so the totals do not
// depend on the order of addition.
template <class T>
std::vector<T> samples(std::size_t n = 13)
{
    static const int base[] = {3, -2, 7, 0, -5, 4, 1, 9, -8, 6, 2, -1, 5};
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int b = base[i % 13] + static_cast<int>(i / 13);
        v[i] = std::is_floating_point_v<T> ? static_cast<T>(b * 0.5) : static_cast<T>(b);
    }
    return v;
}

template <class T>
void min_max(const zrabi::Entry<void(const T*, uint32_t, T*, T*)>& entry)
{
    const auto data = samples<T>();
    T minValue = T(99), maxValue = T(-99);  // never read
    entry(data.data(), static_cast<uint32_t>(data.size()), &minValue, &maxValue);
    EXPECT_EQ(minValue, *std::min_element(data.begin(), data.end()));
    EXPECT_EQ(maxValue, *std::max_element(data.begin(), data.end()));
}

// The prior minimum lies inside the samples (so it moves), the prior maximum
// above them (so it stays); the sums start from nonzero totals.
template <class T, class Offset>
void min_max_ave_rms(const zrabi::Entry<void(const T*, uint32_t, T*, T*, double*, double*, Offset)>& entry)
{
    const auto data = samples<T>();
    const Offset offset = Offset(0.5);
    T minValue = T(1), maxValue = T(100);
    double sum = 0.5, sumOfSquares = 0.25;
    entry(data.data(), static_cast<uint32_t>(data.size()), &minValue, &maxValue, &sum, &sumOfSquares, offset);

    double expected_sum = 0.5, expected_squares = 0.25;
    for (T x : data) {
        expected_sum += double(x);
        expected_squares += (double(x) + offset) * (double(x) + offset);
    }
    EXPECT_EQ(minValue, *std::min_element(data.begin(), data.end()));
    EXPECT_EQ(maxValue, T(100));
    EXPECT_TRUE(zrtest::BitsEqual(expected_sum, sum));
    EXPECT_TRUE(zrtest::BitsEqual(expected_squares, sumOfSquares));
}

}  // namespace

ZRABI_CASE(zrcalcGetMinMax_double, void(const double*, uint32_t, double*, double*)) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_float, void(const float*, uint32_t, float*, float*)) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_int16_t, void(const int16_t*, uint32_t, int16_t*, int16_t*)) { min_max(entry); }
ZRABI_CASE(zrcalcGetMinMax_int32_t, void(const int32_t*, uint32_t, int32_t*, int32_t*)) { min_max(entry); }

ZRABI_CASE(zrcalcGetMinMaxAveRMS_double, void(const double*, uint32_t, double*, double*, double*, double*, double))
{
    min_max_ave_rms(entry);
}
ZRABI_CASE(zrcalcGetMinMaxAveRMS_float, void(const float*, uint32_t, float*, float*, double*, double*, float))
{
    min_max_ave_rms(entry);
}
ZRABI_CASE(zrcalcGetMinMaxAveRMS_int16_t,
           void(const int16_t*, uint32_t, int16_t*, int16_t*, double*, double*, float))
{
    min_max_ave_rms(entry);
}
ZRABI_CASE(zrcalcGetMinMaxAveRMS_int32_t,
           void(const int32_t*, uint32_t, int32_t*, int32_t*, double*, double*, double))
{
    min_max_ave_rms(entry);
}

// Twenty samples at stride 2: the strided block path with a tail.
ZRABI_CASE(zrcalcMoveAndGetMinMaxAveRMS_int16_t,
           void(int16_t*, const int16_t*, uint32_t, int16_t*, int16_t*, double*, double*, float, int32_t))
{
    constexpr uint32_t count = 20;
    const auto source = samples<int16_t>(2 * count);
    std::vector<int16_t> destination(count + 1, 0x5A5A);
    int16_t minValue = 0, maxValue = 0;
    double sum = 1.0, sumOfSquares = 2.0;
    entry(destination.data(), source.data(), count, &minValue, &maxValue, &sum, &sumOfSquares, 0.5f, 2);

    int16_t expected_min = 0, expected_max = 0;
    double expected_sum = 1.0, expected_squares = 2.0;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t s = source[2 * i];
        EXPECT_EQ(destination[i], s) << i;
        expected_min = std::min(expected_min, s);
        expected_max = std::max(expected_max, s);
        expected_sum += s;
        expected_squares += (s + 0.5) * (s + 0.5);
    }
    EXPECT_EQ(destination[count], 0x5A5A) << "written past the count";
    EXPECT_EQ(minValue, expected_min);
    EXPECT_EQ(maxValue, expected_max);
    EXPECT_TRUE(zrtest::BitsEqual(expected_sum, sum));
    EXPECT_TRUE(zrtest::BitsEqual(expected_squares, sumOfSquares));
}
