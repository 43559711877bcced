// A cascade of IIR sections run one sample at a time (contract in zrcalc.h):
// every section shifts its histories by one sample, forms its output from the
// scaled input and the histories, limits it to +-1e10 and passes it on.
//
// The two forms differ only in the grouping of their sums, and so in rounding:
//  - general (order N): acc = 0; acc = (b_k w_k - a_k y_k) + acc for the taps
//    k = 0 .. N-1 from the oldest; then acc = fma(w_N, b_N, acc); the limit takes
//    the lower bound first, so a NaN becomes -1e10;
//  - second order (order 2, or type 3 whatever the order): B = fma(w1, b1, w0 b0),
//    A = fma(y1, a1, y0 a0), acc = fma(w2, b2, B - A); the limit takes the upper
//    bound first, so a NaN becomes +1e10.
// A tap's (w, y) pair and (b, a) pair are each one 128-bit pair of doubles: the
// shift copies pairs, and b w - a y is one packed product and one horizontal
// subtraction, each product and the difference rounded once as written. The
// single-sample and the array entry points run the same step.
#include <immintrin.h>

#include <cstdint>

#include "common/lanes.h"
#include "zrcalc.h"

namespace {

constexpr double kLimit = 1e10;

inline __m128d history(const IIRTap& t) { return _mm_loadu_pd(&t.w); }       // w, y
inline __m128d coefficients(const IIRTap& t) { return _mm_loadu_pd(&t.b); }  // b, a

// b w - a y, each product rounded, then the difference.
inline double tap_term(const IIRTap& t)
{
    const __m128d products = _mm_mul_pd(history(t), coefficients(t));  // b w, a y
    return _mm_cvtsd_f64(_mm_hsub_pd(products, products));
}

// A comparison is false for a NaN, so the bound tested first replaces it.
inline double limit_lower_first(double x)
{
    x = x > -kLimit ? x : -kLimit;
    return x < kLimit ? x : kLimit;
}
inline double limit_upper_first(double x)
{
    x = x < kLimit ? x : kLimit;
    return x > -kLimit ? x : -kLimit;
}

double general_section(IIRTap* t, int32_t n, double x, double gain)
{
    for (int32_t k = 0; k < n; ++k) _mm_storeu_pd(&t[k].w, history(t[k + 1]));
    t[n].w = x * gain;
    double acc = 0.0;
    for (int32_t k = 0; k < n; ++k) acc = tap_term(t[k]) + acc;
    acc = limit_lower_first(zrcalc::fused_multiply_add(t[n].w, t[n].b, acc));
    t[n].y = acc;
    return acc;
}

double second_order_section(IIRTap* t, double x, double gain)
{
    _mm_storeu_pd(&t[0].w, history(t[1]));
    _mm_storeu_pd(&t[1].w, history(t[2]));
    t[2].w = x * gain;
    const double b = zrcalc::fused_multiply_add(t[1].w, t[1].b, t[0].w * t[0].b);
    const double a = zrcalc::fused_multiply_add(t[1].y, t[1].a, t[0].y * t[0].a);
    const double acc = limit_upper_first(zrcalc::fused_multiply_add(t[2].w, t[2].b, b - a));
    t[2].y = acc;
    return acc;
}

// One sample through the whole cascade.
double filter_sample(IIRFilterParams* filter, double x)
{
    const int32_t sections = filter->sectionCount;
    if (sections <= 0) return x;
    const bool secondOrder = filter->order == 2 || filter->type == 3;
    const int32_t n = secondOrder ? 2 : (filter->order > 0 ? filter->order : 0);
    IIRTap* taps = filter->taps;
    for (int32_t s = 0; s < sections; ++s, taps += n + 1)
        x = secondOrder ? second_order_section(taps, x, filter->sectionGains[s])
                        : general_section(taps, n, x, filter->sectionGains[s]);
    return x;
}

}  // namespace

double ZRCALC_STDCALL zrcalcIIRFilter_double(IIRFilterParams* filter, double input)
{
    return filter_sample(filter, input);
}

double ZRCALC_STDCALL zrcalcIIRFilter_float(IIRFilterParams* filter, float input)
{
    return filter_sample(filter, static_cast<double>(input));
}

// Each sample is read before its result is written, so source may be destination.
void ZRCALC_STDCALL zrcalcIIRFilterArr_double(IIRFilterParams* filter, const double* source, double* destination,
                                              uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) destination[i] = filter_sample(filter, source[i]);
}

void ZRCALC_STDCALL zrcalcIIRFilterArr_float(IIRFilterParams* filter, const float* source, float* destination,
                                             uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        destination[i] = static_cast<float>(filter_sample(filter, static_cast<double>(source[i])));
}
