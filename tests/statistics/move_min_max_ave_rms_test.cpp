// zrcalcMoveAndGetMinMaxAveRMS_int16_t against a scalar model of its stated
// order through the sweep driver: counts around the 16-sample blocks, every
// stride kind, every alignment of source and destination, in place at stride 1.

#include "statistics/running_totals.h"

namespace {

// Arrays: destination, source (a span of (count - 1) * |stride| + 1 samples; for
// a negative stride the first sample is its last element), the totals. The
// model copies, then folds the samples in order: blocks of 16 from the 32-byte
// boundary of the destination (strided) or of the source (contiguous), none for a
// stride of 0 or below. 0.31830988f is inexact in float: the element and the block
// form of the shifted sample differ, so a sample added on the wrong path changes
// the last bits. The offsets 0, -0.5 and 40000.5 make every square exact.
zrtest::Case move(int32_t stride, float offset = 0.31830988f)
{
    using Stats = zrtest::Stats<int16_t>;
    const auto span = [stride](uint32_t count) { return count ? std::size_t(count - 1) * std::abs(stride) + 1 : 0; };
    const auto first = [=](zrtest::Arrays a, uint32_t count) {
        return a.at<int16_t>(1) + (stride < 0 && count ? span(count) - 1 : 0);
    };
    zrtest::Case c{"zrcalcMoveAndGetMinMaxAveRMS_int16_t",
                   "stride " + std::to_string(stride) + ", offset " + std::to_string(offset),
                   {zrtest::out<int16_t>(), zrtest::in<int16_t>(zrtest::random_fill<int16_t>(), span),
                    zrtest::totals_cell<int16_t>()},
                   70,
                   [=](zrtest::Arrays a, uint32_t n) {
                       Stats& t = *a.at<Stats>(2);
                       zrcalcMoveAndGetMinMaxAveRMS_int16_t(a.at<int16_t>(0), first(a, n), n, &t.min, &t.max, &t.sum,
                                                            &t.squares, offset, stride);
                   },
                   [=](zrtest::Arrays a, uint32_t n) {  // the totals by value (see running_totals.h)
                       int16_t* destination = a.at<int16_t>(0);
                       for (uint32_t i = 0; i < n; ++i) destination[i] = first(a, n)[std::ptrdiff_t(i) * stride];
                       *a.at<Stats>(2) = zrtest::running_totals<int16_t, float, 16, 32>(
                           destination, n, *a.at<Stats>(2), offset, stride == 1 ? first(a, n) : destination,
                           stride > 0);
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
    for (float offset : {0.0f, -0.5f, 40000.5f}) cases.push_back(move(1, offset));
    cases.push_back(move(3, -40000.0f));
    return cases;
}

}  // namespace
