// zrcalcMoveAndGetMinMaxAveRMS_int16_t against a scalar model of its stated
// order through the sweep driver: counts around the 16-sample blocks, every
// stride kind, every alignment of source and destination, in place at stride 1.

#include "support/sweep.h"

namespace {

// The rule written out one step at a time: which samples go one by one and
// which in blocks depends on the count, the stride and one array's address.
// The totals are kept in locals: the cells lie flush against a guard page, and
// QEMU reads 16 bytes for a scalar fused multiply-add with a memory operand.
void model(int16_t* destination, const int16_t* source, uint32_t count, int32_t stride, float offset, int16_t* loCell,
           int16_t* hiCell, double* sumCell, double* squaresCell)
{
    int16_t lo = *loCell, hi = *hiCell;
    double sum = *sumCell, sumOfSquares = *squaresCell;
    std::vector<int16_t> copy(count);
    for (uint32_t i = 0; i < count; ++i) {  // integers: the extremes are fixed by value, whatever the order
        copy[i] = source[static_cast<std::ptrdiff_t>(i) * stride];
        if (copy[i] < lo) lo = copy[i];
        if (copy[i] > hi) hi = copy[i];
    }
    auto one_by_one = [&](uint32_t i) {
        const double y = static_cast<double>(static_cast<float>(copy[i]) + offset);
        sum = sum + copy[i];
        sumOfSquares = std::fma(y, y, sumOfSquares);
    };
    uint32_t i = 0;
    if (count >= 16 && stride > 0) {
        // Blocks start at the 32-byte boundary of the destination (strided) or of the source (contiguous).
        const auto a = reinterpret_cast<uintptr_t>(stride == 1 ? source : destination);
        for (const uint32_t head = (32 - a % 32) % 32 / 2; i < head; ++i) one_by_one(i);
        double lanes[4] = {0, 0, 0, 0}, squares[4] = {0, 0, 0, 0};
        for (; count - i >= 16; i += 16) {
            for (uint32_t k = 0; k < 16; ++k) {
                const double y = static_cast<double>(copy[i + k]) + static_cast<double>(offset);
                lanes[k % 4] = lanes[k % 4] + copy[i + k];
                squares[k % 4] = std::fma(y, y, squares[k % 4]);
            }
        }
        sum = sum + ((lanes[0] + lanes[2]) + (lanes[1] + lanes[3]));
        sumOfSquares = sumOfSquares + ((squares[0] + squares[2]) + (squares[1] + squares[3]));
    }
    for (; i < count; ++i) one_by_one(i);
    std::copy(copy.begin(), copy.end(), destination);
    *loCell = lo, *hiCell = hi, *sumCell = sum, *squaresCell = sumOfSquares;
}

// Priors: bounds that the samples replace or the type's limits, which must be
// kept; sums that start at -0.0 now and then.
template <class T>
zrtest::Fill prior(int which)
{
    return zrtest::fill_with<T>([which](std::size_t, uint64_t seed) {
        const double values[4][2] = {{100, -32768}, {-100, 32767}, {-0.0, 5.5}, {0.125, 1e6}};
        return std::vector<T>{T(values[which][seed % 2])};
    });
}

// Arrays: destination, source (a span of (count - 1) * |stride| + 1 samples; for
// a negative stride the first sample is its last element), then minimum,
// maximum, sum and sum of squares. 0.31830988f is inexact in float: the element
// and the block form of the shifted sample differ, so a sample added on the wrong
// path changes the last bits.
zrtest::Case move(int32_t stride)
{
    const auto span = [stride](uint32_t count) { return count ? std::size_t(count - 1) * std::abs(stride) + 1 : 0; };
    const auto first = [=](zrtest::Arrays a, uint32_t count) {
        return a.at<int16_t>(1) + (stride < 0 && count ? span(count) - 1 : 0);
    };
    zrtest::Case c{"zrcalcMoveAndGetMinMaxAveRMS_int16_t", "stride " + std::to_string(stride),
                   {zrtest::out<int16_t>(), zrtest::in<int16_t>(zrtest::random_fill<int16_t>(), span),
                    zrtest::cell<int16_t>(zrtest::Dir::InOut, prior<int16_t>(0)),
                    zrtest::cell<int16_t>(zrtest::Dir::InOut, prior<int16_t>(1)),
                    zrtest::cell<double>(zrtest::Dir::InOut, prior<double>(2)),
                    zrtest::cell<double>(zrtest::Dir::InOut, prior<double>(3))},
                   70,
                   [=](zrtest::Arrays a, uint32_t n) {
                       zrcalcMoveAndGetMinMaxAveRMS_int16_t(a.at<int16_t>(0), first(a, n), n, a.at<int16_t>(2),
                                                            a.at<int16_t>(3), a.at<double>(4), a.at<double>(5),
                                                            0.31830988f, stride);
                   },
                   [=](zrtest::Arrays a, uint32_t n) {
                       model(a.at<int16_t>(0), first(a, n), n, stride, 0.31830988f, a.at<int16_t>(2),
                             a.at<int16_t>(3), a.at<double>(4), a.at<double>(5));
                   },
                   {},
                   {100},
                   2};
    if (stride == 1) c.overlaps.push_back({0, {1}, {0}});
    return c;
}

ZRTEST_SWEEP(move_min_max_ave_rms)
{
    std::vector<zrtest::Case> cases;
    for (int32_t stride : {1, 2, 3, 4, 0, -1, -3}) cases.push_back(move(stride));
    return cases;
}

}  // namespace
