// Smallest and largest sample of a block, for double, float, int16 and int32
// (contract, NaN rule included, in zrcalc.h).
//
// Below one vector of samples an element loop runs. From one vector on, W lanes
// (one 256-bit register) hold a running minimum and maximum. They start as the
// first W samples, take every whole block of W from the first 32-byte boundary
// on, and finally the last W samples; the first and the last vector overlap the
// blocks, which does not change a minimum or a maximum, so there is no scalar
// head or tail.
//
// The lanes take the taking steps of common/lanes.h: a lane keeps its value only
// when it is strictly smaller (larger) than the new sample. For equal values that
// only matters to the sign of a zero: a lane holds the last of its equal samples.
//
// NaN samples are passed over. The vector lanes would take a NaN and lose it again
// at their next sample (and the minimum before it), so the floating-point vector
// path notes whether any sample was unordered and, when one was, leaves the block
// to the element loop, which never takes a NaN.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::Lanes;

template <class T>
constexpr std::size_t kWidth = 32 / sizeof(T);

template <class T>
bool is_nan(T x)
{
    if constexpr (std::is_floating_point_v<T>)
        return std::isnan(x);
    else
        return false;
}

// The element loop: the short path, and the whole block when it holds a NaN.
// Starts from the first sample that is not NaN (x_0 when all are) and replaces
// only on a strictly smaller or larger sample, so among equal values the first
// one stays and a later NaN is never taken.
template <class T>
void min_max_elements(const T* data, std::size_t count, T* minValue, T* maxValue)
{
    std::size_t start = 0;
    while (start < count && is_nan(data[start])) ++start;
    if (start == count) start = 0;  // all NaN: x_0 stands for the block
    T lo = data[start];
    T hi = data[start];
    for (std::size_t i = start + 1; i < count; ++i) {
        const T x = data[i];
        if (x < lo) lo = x;
        if (x > hi) hi = x;
    }
    *minValue = lo;
    *maxValue = hi;
}

template <class T>
struct Extremes {
    typename Lanes<T>::V lo, hi;
};

template <class T>
void fold(Extremes<T>& e, typename Lanes<T>::V x)
{
    e.lo = Lanes<T>::min_taking(e.lo, x);
    e.hi = Lanes<T>::max_taking(e.hi, x);
}

// Folds a later stretch of samples into an earlier one. The lane step picks the
// smaller value and, between equals, the later one; that rule is associative, so
// stretches folded on their own and merged in order give what one running value
// folding every block in order gives.
template <class T>
void merge_later(Extremes<T>& earlier, const Extremes<T>& later)
{
    earlier.lo = Lanes<T>::min_taking(earlier.lo, later.lo);
    earlier.hi = Lanes<T>::max_taking(earlier.hi, later.hi);
}

// Sets unordered when a or b holds a NaN: one compare covers two vectors.
template <class T>
void note_unordered(typename Lanes<T>::V& unordered, typename Lanes<T>::V a, typename Lanes<T>::V b)
{
    using L = Lanes<T>;
    if constexpr (std::is_floating_point_v<T>) unordered = L::either(unordered, L::unordered(a, b));
}

template <class T>
Extremes<T> start_from(typename Lanes<T>::V x)
{
    return {x, x};
}

// Folds q blocks of W samples from p into e, in order. A single running value
// would wait on the latency of every step; four of them, each over its own
// quarter of the blocks, keep the loads flowing. unordered collects whether any
// sample was NaN.
template <class T>
void fold_blocks(const T* p, std::size_t q, Extremes<T>& e, typename Lanes<T>::V& unordered)
{
    using L = Lanes<T>;
    constexpr std::size_t W = kWidth<T>;
    constexpr std::size_t kRuns = 4;
    const std::size_t run = q / kRuns;
    std::size_t done = 0;
    if (run > 0) {
        const T* p1 = p + run * W;
        const T* p2 = p1 + run * W;
        const T* p3 = p2 + run * W;
        const auto b0 = L::load(p);
        const auto b1 = L::load(p1);
        const auto b2 = L::load(p2);
        const auto b3 = L::load(p3);
        fold(e, b0);
        Extremes<T> e1 = start_from<T>(b1);
        Extremes<T> e2 = start_from<T>(b2);
        Extremes<T> e3 = start_from<T>(b3);
        note_unordered<T>(unordered, b0, b1);
        note_unordered<T>(unordered, b2, b3);
        for (std::size_t i = 1; i < run; ++i) {
            const auto x0 = L::load(p + i * W);
            const auto x1 = L::load(p1 + i * W);
            const auto x2 = L::load(p2 + i * W);
            const auto x3 = L::load(p3 + i * W);
            fold(e, x0);
            fold(e1, x1);
            fold(e2, x2);
            fold(e3, x3);
            note_unordered<T>(unordered, x0, x1);
            note_unordered<T>(unordered, x2, x3);
        }
        merge_later(e, e1);
        merge_later(e, e2);
        merge_later(e, e3);
        done = kRuns * run;
    }
    // The blocks left over after the four quarters follow the last quarter.
    for (std::size_t i = done; i < q; ++i) {
        const auto x = L::load(p + i * W);
        fold(e, x);
        note_unordered<T>(unordered, x, x);
    }
}

template <class T>
void min_max(const T* data, std::uint32_t count, T* minValue, T* maxValue)
{
    using L = Lanes<T>;
    constexpr std::size_t W = kWidth<T>;
    const std::size_t n = count;

    // Nothing to describe: the block is not read and the outputs keep their values.
    if (n == 0) return;

    // Short path: a vector would reach past the block.
    if (n < W) return min_max_elements(data, n, minValue, maxValue);

    // First W samples: the starting lanes; they also cover the unaligned head.
    const auto first = L::load(data);
    Extremes<T> e = start_from<T>(first);

    // Whole blocks from the first 32-byte boundary on.
    const std::size_t head = zrcalc::elements_before_boundary(data, 32, sizeof(T));
    auto unordered = L::unordered(first, first);  // the first W samples, seen here
    fold_blocks(data + head, (n - head) / W, e, unordered);

    // Last W samples: cover the tail behind the last whole block.
    const auto last = L::load(data + (n - W));
    fold(e, last);

    note_unordered<T>(unordered, last, last);
    if (L::any(unordered)) return min_max_elements(data, n, minValue, maxValue);

    *minValue = zrcalc::reduce_min<T>(e.lo);
    *maxValue = zrcalc::reduce_max<T>(e.hi);
}

}  // namespace

void ZRCALC_STDCALL zrcalcGetMinMax_double(const double* data, uint32_t count, double* minValue, double* maxValue)
{
    min_max(data, count, minValue, maxValue);
}

void ZRCALC_STDCALL zrcalcGetMinMax_float(const float* data, uint32_t count, float* minValue, float* maxValue)
{
    min_max(data, count, minValue, maxValue);
}

void ZRCALC_STDCALL zrcalcGetMinMax_int16_t(const int16_t* data, uint32_t count, int16_t* minValue,
                                            int16_t* maxValue)
{
    min_max(data, count, minValue, maxValue);
}

void ZRCALC_STDCALL zrcalcGetMinMax_int32_t(const int32_t* data, uint32_t count, int32_t* minValue,
                                            int32_t* maxValue)
{
    min_max(data, count, minValue, maxValue);
}
