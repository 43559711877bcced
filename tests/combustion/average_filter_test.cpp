// The averaging filter: both forms against a model of their rules through the sweep driver; where a NaN
// sample's poison stops, which shows where each chain starts and ends; the window length made from the width;
// both forms against a long-double moving mean.

#include <array>
#include <numeric>

#include "common/lanes.h"
#include "support/sweep.h"

namespace {

void run(const double* x, double* y, uint32_t width, uint32_t n, bool block)
{
    (block ? zrcalcCACalcAveFilter_double : zrcalcCACalcAveFilter_double_scalar)(x, y, width, n);
}
void run(const float* x, float* y, uint32_t width, uint32_t n, bool block)
{
    (block ? zrcalcCACalcAveFilter_float : zrcalcCACalcAveFilter_float_scalar)(x, y, width, n);
}

template <class T>
constexpr uint32_t kChunks = 32 / sizeof(T) + 1;

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
        T m = 0;
        for (uint32_t k = 0; k < L; ++k) {
            const T xk = x[c * Q + k];
            m = !block ? zrcalc::fused_multiply_add(T(k), m, xk) / T(k + 1) : k ? m + xk : xk;
        }
        if (block) m = r * m;
        if (c == 0) std::fill(y, y + H + 1, m);
        for (uint32_t p = c * Q + H + 1; p <= std::min(c * Q + Q + H, n - H - 1); ++p) {
            m = zrcalc::fused_multiply_add(l, m, x[p + H]) - x[p - H - 1];
            y[p] = m = c + 1 < chunks ? m / l : m * r;
        }
    }
    std::fill(y + n - H - 1, y + n, y[n - H - 1]);
}

// Every count below the window and to the window and beyond. The block form: widths 0, 3 and 4 across count 16
// vectors and the thresholds of the block condition (width 4 passes from 32 vectors on, where L = 5 would not),
// K counts past the last, so across every chunk length; width 31 also around its threshold, once at each count
// modulo K. Width 65539 is taken as 3.
template <class T>
std::vector<zrtest::Case> cases(const char* entry, bool block)
{
    constexpr uint32_t V = kChunks<T> - 1;
    std::vector<zrtest::Case> all;
    for (uint32_t width : {0u, 3u, 4u, 31u, 65539u}) {
        std::vector<uint32_t> more;
        for (uint32_t n = 248 * V - 1; block && width == 31 && n <= 248 * V + V; ++n) more.push_back(n);
        all.push_back({entry, "width " + std::to_string(width), {zrtest::in<T>(), zrtest::out<T>()},
                       block ? 33 * V + kChunks<T> : 40,
                       [=](zrtest::Arrays a, uint32_t n) { run(a.at<T>(0), a.at<T>(1), width, n, block); },
                       [=](zrtest::Arrays a, uint32_t n) { model(a.at<T>(0), a.at<T>(1), width, n, block); }, {},
                       more});
    }
    return all;
}

ZRTEST_SWEEP(average_filter)
{
    std::vector<zrtest::Case> all;
    for (auto more : {cases<double>("zrcalcCACalcAveFilter_double", true),
                      cases<float>("zrcalcCACalcAveFilter_float", true),
                      cases<double>("zrcalcCACalcAveFilter_double_scalar", false),
                      cases<float>("zrcalcCACalcAveFilter_float_scalar", false)})
        all.insert(all.end(), more.begin(), more.end());
    return all;
}

template <class T>
void expect_nan_span(bool block, uint32_t n, uint32_t width, uint32_t at, uint32_t first, uint32_t last)
{
    std::vector<T> x(n, T(1)), y(n);
    x[at] = std::numeric_limits<T>::quiet_NaN();
    run(x.data(), y.data(), width, n, block);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_EQ(std::isnan(y[i]), i >= first && i <= last) << sizeof(T) << "-byte, " << n << " samples, width "
                                                             << width << ", NaN at " << at << ": y[" << i << "]";
}

// A NaN mean stays NaN to the end of its chain, and a chunk restarts from its own first window.
TEST(AveFilter, ANanSampleShowsWhereEachChainStartsAndEnds)
{
    // count 100, width 3, double: K 5, Q 20, L 3, H 1; the chunks produce y[2..21], [22..41], [42..61],
    // [62..81] and [82..98], each from the window at its start; y[0..1] come from chunk 0's, y[99] = y[98].
    for (auto [at, first, last] : {std::array<uint32_t, 3>{0, 0, 21}, {25, 24, 41}, {61, 60, 81}, {85, 84, 99},
                                   {99, 98, 99}})
        expect_nan_span<double>(true, 100, 3, at, first, last);
    // 63 (double) and 127 (float) samples take the scalar form; 64 and 128 the block form (L 1, Q 13 and 15).
    expect_nan_span<double>(true, 63, 0, 0, 0, 62);
    expect_nan_span<double>(true, 64, 0, 0, 0, 13);
    expect_nan_span<float>(true, 127, 0, 0, 0, 126);
    expect_nan_span<float>(true, 128, 0, 0, 0, 15);
    // Width 4 <= 128 / 32 passes before it is made odd (L 5, Q 26: chunk 0 ends at 28); width 5 does not.
    expect_nan_span<double>(true, 128, 4, 0, 0, 28);
    expect_nan_span<double>(true, 128, 5, 0, 0, 127);
    // The scalar form: one chain, from the first window that holds the NaN.
    expect_nan_span<double>(false, 100, 3, 50, 49, 99);
    expect_nan_span<float>(false, 1000, 31, 500, 485, 999);
}

// Only the low 16 bits of the width count, and an even width grows by one.
TEST(AveFilter, WindowLengthFromTheWidth)
{
    const auto x = zrtest::random_samples<float>(3000, 1);
    for (bool block : {true, false})
        for (auto [width, same] : {std::array<uint32_t, 2>{65536, 0}, {65537, 0}, {4, 5}, {65539, 3}}) {
            std::vector<float> y(3000), want(3000);
            run(x.data(), y.data(), width, 3000, block);
            run(x.data(), want.data(), same, 3000, block);
            EXPECT_TRUE(zrtest::BitsEqual(want.data(), y.data(), 3000)) << width << (block ? ", block" : "");
        }
}

// Against the moving mean in long double. A step carries the error before it times at most (1 + 4u) and adds
// at most 5u max|x|: three roundings of values up to (L + 1) max|x| scaled back by 1 / L, and that of r. The
// first mean adds at most 2L u max|x|. Over n steps, (2L + 5n)(1 + 4u)^n u max|x| <= 6(n + L) u max|x| for
// n + L <= 2^17, float included. n is the longest chain: count - L in the scalar form, Q in the block form.
template <class T>
void expect_near_moving_mean(bool block, uint32_t width, uint32_t n)
{
    auto x = zrtest::random_samples<T>(n, width, 1000.0);
    for (T& v : x) v += T(1000);  // in [0, 2000): a mean far from 0 shows a drift
    std::vector<T> y(n);
    run(x.data(), y.data(), width, n, block);
    const uint32_t L = (width & 0xFFFF) | 1, H = L / 2, steps = block ? (n + kChunks<T> - 1) / kChunks<T> : n - L;
    long double sum = std::accumulate(x.begin(), x.begin() + L, 0.0L), worst = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i > H && i + H < n) sum += (long double)x[i + H] - x[i - H - 1];
        worst = std::max(worst, std::fabs(y[i] - sum / L));
    }
    EXPECT_LE(worst, 6.0L * (steps + L) * std::numeric_limits<T>::epsilon() / 2 * 2000) << width;
}

TEST(AveFilter, BothFormsStayNearTheMovingMean)
{
    for (bool block : {true, false}) {
        for (uint32_t width : {0u, 3u, 31u, 1001u}) {
            expect_near_moving_mean<double>(block, width, 1 << 16);
            expect_near_moving_mean<float>(block, width, 1 << 16);
        }
        expect_near_moving_mean<double>(block, 65534, 65535);  // count = L: the mean of the whole trace everywhere
    }
}

}  // namespace
