// The averaging filter: both forms against a model of their rules through the sweep driver; where a NaN
// sample's poison stops, which shows where each chain starts and ends and the window the width makes; both
// forms against a long-double moving mean.

#include <array>
#include <numeric>

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

template <class T>
constexpr uint32_t kChunks = 32 / sizeof(T) + 1;

template <class T>
void run(const T* x, T* y, uint32_t width, uint32_t n, bool block)
{
    if constexpr (sizeof(T) == 8)
        (block ? zrcalcCACalcAveFilter_double : zrcalcCACalcAveFilter_double_scalar)(x, y, width, n);
    else
        (block ? zrcalcCACalcAveFilter_float : zrcalcCACalcAveFilter_float_scalar)(x, y, width, n);
}

// The stated rule of each form: the scalar form is one chunk, whose first mean is a running mean and whose steps
// multiply by r; the block form (when its condition holds) K chunks from plain sums times r, all but the last
// dividing by L. A trace shorter than its window is left alone.
template <class T>
void model(const T* x, T* y, uint32_t width, uint32_t n, bool blockForm)
{
    const uint32_t w = width & 0xFFFF, L = w | 1, H = L / 2, K = kChunks<T>;
    if (n < L) return;
    const T l = T(L), r = 1 / l;
    const bool block = blockForm && n >= 16 * (K - 1) && w <= n / (8 * (K - 1));
    const uint32_t chunks = block ? K : 1, Q = block ? (n + K - 1) / K : n;
    for (uint32_t c = 0; c < chunks; ++c) {
        T m = block ? x[c * Q] : 0;
        for (uint32_t k = block; k < L; ++k)
            m = block ? m + x[c * Q + k] : zrcalc::fused_multiply_add(T(k), m, x[k]) / T(k + 1);
        if (block) m = r * m;
        if (c == 0) std::fill(y, y + H + 1, m);
        for (uint32_t p = c * Q + H + 1; p <= std::min(c * Q + Q + H, n - H - 1); ++p) {
            const T t = zrcalc::fused_multiply_add(l, m, x[p + H]) - x[p - H - 1];
            y[p] = m = c + 1 < chunks ? t / l : t * r;
        }
    }
    std::fill(y + n - H - 1, y + n, y[n - H - 1]);
}

// Every count below the window, to it and past it. The block form: widths 0, 3 and 4 across count 16 vectors and
// the thresholds of the block condition (width 4 passes from 32 vectors on, where L = 5 would not), to more than K
// past the last, so across every chunk length; width 31 also around its threshold, at each count modulo K.
// Width 65539 is taken as 3.
ZRTEST_SWEEP(average_filter)
{
    std::vector<zrtest::Case> all;
    const auto add = [&all](auto zero, const char* entry, bool block) {
        using T = decltype(zero);
        constexpr uint32_t V = kChunks<T> - 1;
        for (uint32_t width : {0u, 3u, 4u, 31u, 65539u}) {
            std::vector<uint32_t> more;  // width 31 around its threshold 248 V
            for (uint32_t n = 248 * V - 1; block && width == 31 && n <= 248 * V + V; ++n) more.push_back(n);
            all.push_back({entry, "width " + std::to_string(width), {zrtest::in<T>(), zrtest::out<T>()},
                           block ? 34 * V : 40,
                           [=](zrtest::Arrays a, uint32_t n) { run(a.at<T>(0), a.at<T>(1), width, n, block); },
                           [=](zrtest::Arrays a, uint32_t n) { model(a.at<T>(0), a.at<T>(1), width, n, block); },
                           {}, more});
        }
    };
    add(0.0, "zrcalcCACalcAveFilter_double", true);
    add(0.0f, "zrcalcCACalcAveFilter_float", true);
    add(0.0, "zrcalcCACalcAveFilter_double_scalar", false);
    add(0.0f, "zrcalcCACalcAveFilter_float_scalar", false);
    return all;
}

// A NaN mean stays NaN to the end of its chain; a chunk restarts from its own first window. Each row: element
// size, block form, count, width, the NaN's position, the first and the last NaN output.
TEST(AveFilter, ANanSampleShowsWhereEachChainStartsAndEnds)
{
    const std::array<uint32_t, 7> spans[] = {
        // 100 doubles, width 3: K 5, Q 20, L 3, H 1; the chunks produce y[2..21], [22..41], [42..61], [62..81]
        // and [82..98], each from the window at its start; y[0..1] come from chunk 0's, y[99] = y[98].
        {8, 1, 100, 3, 0, 0, 21}, {8, 1, 100, 3, 25, 24, 41}, {8, 1, 100, 3, 61, 60, 81}, {8, 1, 100, 3, 85, 84, 99},
        // 63 doubles and 127 floats take the scalar form; 64 and 128 the block form (L 1, Q 13 and 15).
        {8, 1, 63, 0, 0, 0, 62}, {8, 1, 64, 0, 0, 0, 13}, {4, 1, 127, 0, 0, 0, 126}, {4, 1, 128, 0, 0, 0, 15},
        // Width 4 <= 128 / 32 before it is made odd (L 5, Q 26: chunk 0 ends at 28), 5 not; 65536 is 0. The
        // scalar form: one chain from the first window that holds the NaN (H 2 for width 4, 0 for 65537).
        {8, 1, 128, 4, 0, 0, 28}, {8, 1, 128, 5, 0, 0, 127}, {8, 1, 64, 65536, 0, 0, 13}, {8, 0, 100, 4, 50, 48, 99},
        {4, 0, 100, 65537, 50, 50, 99}};
    const auto expect_span = [&spans](auto zero, const std::array<uint32_t, 7>& s) {
        std::vector<decltype(zero)> x(s[2], 1), y(s[2]);
        x[s[4]] = std::numeric_limits<decltype(zero)>::quiet_NaN();
        run(x.data(), y.data(), s[3], s[2], s[1]);
        for (uint32_t i = 0; i < s[2]; ++i)
            EXPECT_EQ(std::isnan(y[i]), i >= s[5] && i <= s[6]) << "row " << &s - spans << ": y[" << i << "]";
    };
    for (const auto& s : spans) s[0] == 8 ? expect_span(0.0, s) : expect_span(0.0f, s);
}

// Against the moving mean in long double. A step carries the error before it times at most (1 + 4u) and adds at
// most 5u max|x|: three roundings of values up to (L + 1) max|x| scaled back by 1 / L, and that of r. The first
// mean adds at most 2L u max|x|. Over n steps, (2L + 5n)(1 + 4u)^n u max|x| <= 6(n + L) u max|x| for
// n + L <= 2^17, float included. n is the longest chain: count - L in the scalar form, Q in the block form. The
// samples lie in [0, 2000), a mean far from 0, where the rounding of r drifts the scalar form most.
TEST(AveFilter, BothFormsStayNearTheMovingMean)
{
    const auto expect_near = [](auto zero, bool block, uint32_t width, uint32_t n) {
        using T = decltype(zero);
        auto x = zrtest::random_samples<T>(n, width, 1000.0);
        for (T& v : x) v += 1000;
        std::vector<T> y(n);
        run(x.data(), y.data(), width, n, block);
        const uint32_t L = (width & 0xFFFF) | 1, H = L / 2, steps = block ? n / kChunks<T> + 1 : n - L;
        long double sum = std::accumulate(x.begin(), x.begin() + L, 0.0L), worst = 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (i > H && i + H < n) sum += (long double)x[i + H] - x[i - H - 1];
            worst = std::max(worst, std::fabs(y[i] - sum / L));
        }
        EXPECT_LE(worst, 6.0L * (steps + L) * std::numeric_limits<T>::epsilon() / 2 * 2000) << width;
    };
    for (bool block : {true, false}) {
        for (uint32_t width : {0u, 3u, 31u, 1001u})
            expect_near(0.0, block, width, 1 << 16), expect_near(0.0f, block, width, 1 << 16);
        expect_near(0.0, block, 65534, 65535);  // count = L: the mean of the whole trace everywhere
    }
}

}  // namespace
