// zrcalcGetMinMax_{double,float,int16_t,int32_t} through the sweep driver, and
// the sign of zeros that tie on the block path.

#include "support/sweep.h"

namespace {

void call(const double* d, uint32_t n, double* lo, double* hi) { zrcalcGetMinMax_double(d, n, lo, hi); }
void call(const float* d, uint32_t n, float* lo, float* hi) { zrcalcGetMinMax_float(d, n, lo, hi); }
void call(const int16_t* d, uint32_t n, int16_t* lo, int16_t* hi) { zrcalcGetMinMax_int16_t(d, n, lo, hi); }
void call(const int32_t* d, uint32_t n, int32_t* lo, int32_t* hi) { zrcalcGetMinMax_int32_t(d, n, lo, hi); }

template <class T>
constexpr uint32_t kW = 32 / sizeof(T);

// The stated result: from the first sample that is not NaN (x_0 when all are), a
// sample replaces a bound only when strictly beyond it; count 0 writes nothing.
template <class T>
void model(const T* x, uint32_t n, T* lo, T* hi)
{
    if (n == 0) return;
    uint32_t start = 0;
    while (start < n && x[start] != x[start]) ++start;
    *lo = *hi = x[start == n ? 0 : start];
    for (uint32_t i = start; i < n; ++i) {
        if (x[i] < *lo) *lo = x[i];
        if (x[i] > *hi) *hi = x[i];
    }
}

// Random samples with the type's limits planted at random places (head, either
// half of a block, the overlapping last vector, the tail); for floating point also
// NaNs, now and then a block of NaNs alone (distinct payloads), and below one
// vector zeros of both signs, whose ties only the element loop decides.
template <class T>
std::vector<T> samples(std::size_t n, uint64_t seed)
{
    auto x = zrtest::random_samples<T>(n, seed);
    std::mt19937_64 rng(seed);
    using L = std::numeric_limits<T>;
    if (n) x[rng() % n] = L::max(), x[rng() % n] = L::lowest();
    if constexpr (std::is_floating_point_v<T>) {
        if (n < kW<T>)
            for (auto& v : x) v = rng() % 3 ? v : rng() % 2 ? T(0) : -T(0);
        if (n && seed % 4 == 1) x[rng() % n] = x[rng() % n] = L::quiet_NaN();
        if (seed % 8 == 2)  // payloads i + 1; a float NaN widened and narrowed again keeps its payload
            for (std::size_t i = 0; i < n; ++i) x[i] = T(sizeof(T) == 8 ? std::nan(std::to_string(i + 1).c_str())
                                                                        : std::nanf(std::to_string(i + 1).c_str()));
    }
    return x;
}

// Through three passes (short path, one block or none, the overlapped last
// vector) and three counts that run the four-way block loop; the outputs start as
// values that count 0 must leave.
template <class T>
zrtest::Case min_max(const char* entry)
{
    constexpr uint32_t W = kW<T>;
    return {entry, "",
            {zrtest::in<T>(zrtest::fill_with<T>(samples<T>)), zrtest::cell<T>(zrtest::Dir::Out),
             zrtest::cell<T>(zrtest::Dir::Out)},
            3 * W + 3,
            [](zrtest::Arrays a, uint32_t n) { call(a.at<T>(0), n, a.at<T>(1), a.at<T>(2)); },
            [](zrtest::Arrays a, uint32_t n) { model(a.at<T>(0), n, a.at<T>(1), a.at<T>(2)); },
            {},
            {5 * W + 1, 8 * W + 3, 17 * W + 5},
            8};
}

ZRTEST_SWEEP(min_max)
{
    return {min_max<double>("zrcalcGetMinMax_double"), min_max<float>("zrcalcGetMinMax_float"),
            min_max<int16_t>("zrcalcGetMinMax_int16_t"), min_max<int32_t>("zrcalcGetMinMax_int32_t")};
}

template <class T>
class GetMinMax : public ::testing::Test {};
using FloatingTypes = ::testing::Types<double, float>;
TYPED_TEST_SUITE(GetMinMax, FloatingTypes);

// Zeros of both signs compare equal and a lane keeps the later of equal samples,
// so the sign of the last zeros before a final vector of larger (smaller) values
// is reported. A fault in the order in which the block loop's runs or the lanes
// are combined shows here and nowhere else.
TYPED_TEST(GetMinMax, SignedZerosResolveToTheLaterSample)
{
    using T = TypeParam;
    constexpr uint32_t W = kW<T>;
    for (T lastZero : {T(0.0), T(-0.0)}) {
        for (uint32_t count = 2 * W; count <= 24 * W; count += 3) {
            auto x = zrtest::random_samples<T>(count, count);
            for (auto& v : x) v = std::signbit(v) ? T(-0.0) : T(0.0);
            std::fill(x.end() - 2 * W, x.end() - W, lastZero);
            for (std::size_t offset = 0; offset < 32; offset += sizeof(T)) {
                for (T beyond : {T(1), T(-1)}) {
                    std::fill(x.end() - W, x.end(), beyond);
                    const zrtest::OffsetArray<T> data(x, offset);
                    T lo, hi;
                    call(data.data(), count, &lo, &hi);
                    ASSERT_TRUE(zrtest::BitsEqual(lastZero, beyond > 0 ? lo : hi))
                        << "count " << count << ", offset " << offset;
                }
            }
        }
    }
}

}  // namespace
