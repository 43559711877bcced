// Centred moving average over a whole trace, for double and float traces, in the
// block form and the scalar form (contract, with the exact order of every step, in
// zrcalc.h). The running value is a mean; one sliding step takes it from position
// p - 1 to p as
//     m' = fma(L, m, x[p + H]) - x[p - H - 1], then / L or * r (r = 1 / L).
// Each step needs the one before it, so one window runs at the latency of that chain
// and no faster.
//
// Scalar form: one window over the whole trace, its first mean a running mean.
//
// Block form, for traces long against their window: K chunks (K = 5 for double, 9
// for float), each restarting from the plain sum of its own first window times r.
// Chunks 0 .. K-2 slide side by side, one per lane of a 256-bit register, dividing
// by L; the last chunk slides in scalar code, multiplying by r. It runs in the same
// loop as the lanes, so that its chain waits in the shadow of theirs (the lanes'
// division is the longer wait) instead of after it. The chunks lie Q samples apart:
// lane inputs are gathered and lane results scattered element by element.
// Otherwise the block form is the scalar form.
//
// A trace shorter than its window (outside the contract) is neither read nor
// written: the first window would reach past its end, and the last position E
// would fall before the first.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

using zrcalc::fused_multiply_add;

// Only the low 16 bits of the width count; they decide the block form as they are,
// and an even width grows by one to make the window.
inline std::uint32_t low_width(std::uint32_t width) { return width & 0xFFFFu; }

// Chunk c of K - 1 in lane c: the lanes' arithmetic, and lane c read from or
// written to p[c * Q].
template <class T>
struct ChunkLanes;

template <>
struct ChunkLanes<double> {
    using V = __m256d;
    static constexpr std::size_t kLanes = 4;
    static V gather(const double* p, std::size_t Q) { return _mm256_set_pd(p[3 * Q], p[2 * Q], p[Q], p[0]); }
    static void store(double* lanes, V v) { _mm256_store_pd(lanes, v); }
    static V splat(double a) { return _mm256_set1_pd(a); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V slide(V m, V length, V entering, V leaving)
    {
        return _mm256_div_pd(_mm256_sub_pd(_mm256_fmadd_pd(length, m, entering), leaving), length);
    }
};

template <>
struct ChunkLanes<float> {
    using V = __m256;
    static constexpr std::size_t kLanes = 8;
    static V gather(const float* p, std::size_t Q)
    {
        return _mm256_set_ps(p[7 * Q], p[6 * Q], p[5 * Q], p[4 * Q], p[3 * Q], p[2 * Q], p[Q], p[0]);
    }
    static void store(float* lanes, V v) { _mm256_store_ps(lanes, v); }
    static V splat(float a) { return _mm256_set1_ps(a); }
    static V add(V a, V b) { return _mm256_add_ps(a, b); }
    static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V slide(V m, V length, V entering, V leaving)
    {
        return _mm256_div_ps(_mm256_sub_ps(_mm256_fmadd_ps(length, m, entering), leaving), length);
    }
};

// One sliding step of a scalar chain, before its division: fma(L, m, entering) - leaving.
template <class T>
T slide_before_scaling(T m, T length, T entering, T leaving)
{
    return fused_multiply_add(length, m, entering) - leaving;
}

template <class T>
void scalar_form(const T* x, T* y, std::uint32_t width, std::uint32_t count)
{
    const std::uint32_t L = low_width(width) | 1u, H = L / 2;
    if (count < L) return;
    const T length = static_cast<T>(L), r = T(1) / length;

    // First mean: the running mean of x[0 .. L-1], of the samples' magnitude at every
    // step where a sum would grow L times.
    T m = 0;
    for (std::uint32_t k = 0; k < L; ++k)
        m = fused_multiply_add(static_cast<T>(k), m, x[k]) / static_cast<T>(k + 1);
    std::fill(y, y + H + 1, m);

    const std::uint32_t last = count - H - 1;  // the last position whose window lies in the trace
    for (std::uint32_t p = H + 1; p <= last; ++p) {
        m = slide_before_scaling(m, length, x[p + H], x[p - H - 1]) * r;
        y[p] = m;
    }
    std::fill(y + last, y + count, m);
}

template <class T>
void block_form(const T* x, T* y, std::uint32_t width, std::uint32_t count)
{
    using W = ChunkLanes<T>;
    constexpr std::size_t kLanes = W::kLanes, K = kLanes + 1;
    // The window at most 1/32 (double) or 1/64 (float) of a trace of 16 vectors or more.
    const std::uint32_t w = low_width(width);
    if (count < 16 * kLanes || w > count / (8 * kLanes)) return scalar_form(x, y, width, count);

    const std::size_t n = count, L = w | 1u, H = L / 2;
    const std::size_t Q = n / K + (n % K != 0);  // ceil(n / K); n + K - 1 could overflow 32 bits
    const std::size_t lastStart = (K - 1) * Q;   // the last chunk's first window starts here
    const T length = static_cast<T>(L), r = T(1) / length;

    // The first window of every chunk: a plain sum from its first sample on, the
    // lanes' and the last chunk's in the same pass.
    auto s = W::gather(x, Q);
    T sLast = x[lastStart];
    for (std::size_t k = 1; k < L; ++k) {
        s = W::add(s, W::gather(x + k, Q));
        sLast = sLast + x[lastStart + k];
    }
    auto m = W::mul(W::splat(r), s);
    T mLast = r * sLast;
    alignas(32) T lane[kLanes];
    W::store(lane, m);
    std::fill(y, y + H + 1, lane[0]);  // chunk 0's first mean stands for every position up to it

    // Step j takes chunk c to position cQ + H + 1 + j: sample cQ + L + j enters and
    // cQ + j leaves. The last chunk has lastSteps = n - (K - 1) Q - L steps: fewer
    // than the lanes' Q, as K Q >= n, and at least one, as the block condition gives
    // L + 1 <= n / (8 (K - 1)) + 2, which for n >= 16 (K - 1) stays below
    // (n - (K - 1)^2) / K <= n - (K - 1) Q. So no window reads past x[n - 1], and the
    // last chunk ends at the last position E = n - H - 1.
    const auto lengths = W::splat(length);
    const auto lanes_step = [&](std::size_t j) {
        m = W::slide(m, lengths, W::gather(x + L + j, Q), W::gather(x + j, Q));
        W::store(lane, m);
        for (std::size_t c = 0; c < kLanes; ++c) y[c * Q + H + 1 + j] = lane[c];
    };
    const std::size_t lastSteps = n - lastStart - L;
    for (std::size_t j = 0; j < lastSteps; ++j) {
        lanes_step(j);
        mLast = slide_before_scaling(mLast, length, x[lastStart + L + j], x[lastStart + j]) * r;
        y[lastStart + H + 1 + j] = mLast;
    }
    for (std::size_t j = lastSteps; j < Q; ++j) lanes_step(j);
    std::fill(y + (n - H), y + n, mLast);  // after E, y[E]
}

}  // namespace

void ZRCALC_STDCALL zrcalcCACalcAveFilter_double(const double* input, double* output, uint32_t width, uint32_t count)
{
    block_form(input, output, width, count);
}

void ZRCALC_STDCALL zrcalcCACalcAveFilter_float(const float* input, float* output, uint32_t width, uint32_t count)
{
    block_form(input, output, width, count);
}

void ZRCALC_STDCALL zrcalcCACalcAveFilter_double_scalar(const double* input, double* output, uint32_t width,
                                                        uint32_t count)
{
    scalar_form(input, output, width, count);
}

void ZRCALC_STDCALL zrcalcCACalcAveFilter_float_scalar(const float* input, float* output, uint32_t width,
                                                       uint32_t count)
{
    scalar_form(input, output, width, count);
}
