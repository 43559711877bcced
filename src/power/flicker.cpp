// The flickermeter chain over a block of voltage samples (contract, with every
// fused step, in zrcalc.h).
//
// Seven recursive filters follow each other: three low-pass sections, the
// high-pass, the band-pass, the second weighting section and the smoothing. Each
// carries a chain of dependent roundings from one sample to the next; the longest
// are a low-pass section's (A1 y1, the fused step by B, the fused step by A2) and
// the weighting section's (C7 z1 fused, the addition, C4 v fused): three
// latencies, about 12 cycles, per sample. One sample through the whole chain
// takes about 43 arithmetic steps, which two arithmetic ports issue in about 22
// cycles: taken one sample at a time, the chain waits on the ports, not on its
// recursions. Two paths:
//
// Element path: one sample through all seven filters. It takes the first sample
// the state block ever sees (the high-pass is seeded from it), the samples after
// the last whole group of four, and every block of fewer than four samples.
//
// Group path: four samples at a time, in a pipeline that keeps the seven
// recursions in flight together. Every filter splits into the part that needs no
// earlier output of its own (the numerator's sum of a low-pass section, a
// high-pass input product, ...), taken for four samples in one 256-bit vector, and
// its recursion, taken lane by lane in scalar code: about 24 steps per sample, so
// the recursions' 12 cycles set the pace (twice the speed of the element path).
// In pass g filter k works on group g - k, whose inputs filter k - 1 produced in
// the pass before, so within a pass the seven recursions do not wait on each
// other. The first six passes fill the pipeline and the last six drain it.
//
// Same bits on both paths: every value goes through the same operations on the
// same operands in the same order; a vector lane rounds as the scalar operation
// does; and only the schedule differs. The histories live in locals for the whole
// block and reach the state block at its end, so no value can see the schedule.
// The group path reads each input group before it writes any output at or after
// it (outputs lag the inputs by 24 samples), so it computes in place, and with the
// output before the input, as the element path does.
#include <immintrin.h>

#include <cstdint>

#include "zrcalc.h"

namespace {

// The scalar fused steps, each one instruction on register operands: a * b + c,
// a * b - c and c - a * b, each rounded once. The emulator rule of
// common/lanes.h forbids a memory operand on a scalar fused multiply-add; with
// this many values live, the compiler spills some and would fold their reload
// into the instruction, which the lane layer's helper cannot prevent. The
// subtracting forms are single instructions too: negating first and fusing an
// addition gives the same number (a NaN may come out with the other sign), but the
// negation would add a step to a low-pass section's recursion, a longest wait.
inline double fused_multiply_add(double a, double b, double c)
{
    asm("vfmadd231sd %2, %1, %0" : "+x"(c) : "x"(a), "x"(b));
    return c;
}
inline double fused_multiply_subtract(double a, double b, double c)
{
    asm("vfmsub231sd %2, %1, %0" : "+x"(c) : "x"(a), "x"(b));
    return c;
}
inline double fused_negative_multiply_add(double a, double b, double c)
{
    asm("vfnmadd231sd %2, %1, %0" : "+x"(c) : "x"(a), "x"(b));
    return c;
}

constexpr double kDemodulatorScale = 0.5;
constexpr double kOutputScale = 1238400.0;  // 0x12E580: brings the 230 V / 60 W lamp's threshold of perceptibility to 1

// Four consecutive inputs of a filter (lane j is sample i + j) and the inputs one
// and two samples before each.
struct Group {
    __m256d now, back1, back2;
};

// A filter's input history on the group path: its last group of inputs, of which
// lanes 2 and 3 are the inputs two back and one back of the next group.
struct Window {
    __m256d last;

    Group next(__m256d x)
    {
        const __m256d cross = _mm256_permute2f128_pd(last, x, 0x21);  // last2, last3, x0, x1
        last = x;
        return {x, _mm256_shuffle_pd(cross, x, 0x5), cross};         // last3, x0, x1, x2
    }
};

// The recursion of four lanes, strictly in lane order.
template <class Recursion>
__m256d in_lane_order(Recursion r)
{
    const double r0 = r(0);
    const double r1 = r(1);
    const double r2 = r(2);
    const double r3 = r(3);
    return _mm256_set_pd(r3, r2, r1, r0);
}

// A filter's input one and two samples back; the group path keeps them in a Window.
struct InputHistory {
    double in1, in2;

    Window window() const { return {_mm256_set_pd(in1, in2, 0.0, 0.0)}; }
    void keep(const Window& w)
    {
        const __m128d upper = _mm256_extractf128_pd(w.last, 1);
        in2 = _mm_cvtsd_f64(upper), in1 = _mm_cvtsd_f64(_mm_unpackhi_pd(upper, upper));
    }
    void shift(double in) { in2 = in1, in1 = in; }
};

// y = ((x + x2) + 2 x1) B - A1 y1 - A2 y2: A1 y1 rounded, fused with the product by
// B, then A2 y2 fused on.
struct LowPassSection : InputHistory {
    double b, a1, a2, y1, y2;

    double recur(double t)
    {
        const double y = fused_negative_multiply_add(a2, y2, fused_multiply_subtract(t, b, a1 * y1));
        y2 = y1, y1 = y;
        return y;
    }
    double step(double x)
    {
        const double t = (x + in2) + 2.0 * in1;
        shift(x);
        return recur(t);
    }
    __m256d steps(const Group& x)
    {
        alignas(32) double t[4];
        const __m256d two = _mm256_set1_pd(2.0);
        _mm256_store_pd(t, _mm256_add_pd(_mm256_add_pd(x.now, x.back2), _mm256_mul_pd(two, x.back1)));
        return in_lane_order([&](int j) { return recur(t[j]); });
    }
};

// A first-order section, the high-pass (H0, H1, H2) and the smoothing (C9, C10,
// C11): y = a y1 + (b0 x + b1 x1), the outer addition fused.
struct FirstOrder : InputHistory {
    double b0, b1, a, y1;

    double recur(double p) { return y1 = fused_multiply_add(a, y1, p); }
    double step(double x)
    {
        const double p = b0 * x + b1 * in1;
        shift(x);
        return recur(p);
    }
    __m256d steps(const Group& x)
    {
        alignas(32) double p[4];
        _mm256_store_pd(p, _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(b0), x.now),
                                         _mm256_mul_pd(_mm256_set1_pd(b1), x.back1)));
        return in_lane_order([&](int j) { return recur(p[j]); });
    }
};

// v = (C3 v2 + C1 h2) + (C2 v1 + C0 h); in each bracket the second product is
// rounded and the first fused onto it.
struct BandPass : InputHistory {
    double C0, C1, C2, C3, v1, v2;

    double recur(double c1h2, double c0h)
    {
        const double v = fused_multiply_add(C3, v2, c1h2) + fused_multiply_add(C2, v1, c0h);
        v2 = v1, v1 = v;
        return v;
    }
    double step(double h)
    {
        const double c1h2 = C1 * in2;
        shift(h);
        return recur(c1h2, C0 * h);
    }
    __m256d steps(const Group& h)
    {
        alignas(32) double a[4], c[4];
        _mm256_store_pd(a, _mm256_mul_pd(_mm256_set1_pd(C1), h.back2));
        _mm256_store_pd(c, _mm256_mul_pd(_mm256_set1_pd(C0), h.now));
        return in_lane_order([&](int j) { return recur(a[j], c[j]); });
    }
};

// z = C4 v + ((C8 z2 + C6 v2) + (C7 z1 + C5 v1)); in each bracket the second
// product is rounded and the first fused onto it, and C4 v is fused onto the sum.
struct Weighting : InputHistory {
    double C4, C5, C6, C7, C8, z1, z2;

    double recur(double v, double c6v2, double c5v1)
    {
        const double z = fused_multiply_add(C4, v, fused_multiply_add(C8, z2, c6v2) + fused_multiply_add(C7, z1, c5v1));
        z2 = z1, z1 = z;
        return z;
    }
    double step(double v)
    {
        const double c6v2 = C6 * in2, c5v1 = C5 * in1;
        shift(v);
        return recur(v, c6v2, c5v1);
    }
    __m256d steps(const Group& v)
    {
        alignas(32) double now[4], a[4], c[4];
        _mm256_store_pd(now, v.now);
        _mm256_store_pd(a, _mm256_mul_pd(_mm256_set1_pd(C6), v.back2));
        _mm256_store_pd(c, _mm256_mul_pd(_mm256_set1_pd(C5), v.back1));
        return in_lane_order([&](int j) { return recur(now[j], a[j], c[j]); });
    }
};

struct Chain {
    LowPassSection lowPass[3];
    FirstOrder highPass;
    BandPass bandPass;
    Weighting weighting;
    FirstOrder smoothing;

    // One sample. Seeded, the high-pass takes the low-pass output as its input one
    // sample back too, so that it starts without a step.
    float step(float u, bool seed = false)
    {
        const double x = double(u) * double(u) * kDemodulatorScale;
        const double w = lowPass[2].step(lowPass[1].step(lowPass[0].step(x)));
        if (seed) highPass.in1 = w;
        const double z = weighting.step(bandPass.step(highPass.step(w)));
        return float(smoothing.step(z * z) * kOutputScale);
    }

    // groupCount groups of four samples, in passes g = 0 .. groupCount + 5; in pass
    // g filter k takes group g - k when there is one. result[k] carries filter k's
    // last group to filter k + 1, which takes it in the next pass (the filters run
    // last to first within a pass, so each takes its input before it is replaced).
    void groups(const float* input, float* output, std::uint32_t groupCount)
    {
        Window lp0 = lowPass[0].window(), lp1 = lowPass[1].window(), lp2 = lowPass[2].window();
        Window hp = highPass.window(), bp = bandPass.window(), wt = weighting.window(), sm = smoothing.window();
        const __m256d half = _mm256_set1_pd(kDemodulatorScale), scale = _mm256_set1_pd(kOutputScale);
        __m256d result[6] = {};
        for (std::uint32_t g = 0; g < groupCount + 6; ++g) {
            const auto live = [&](std::uint32_t k) { return g >= k && g - k < groupCount; };
            if (live(6)) {
                const __m256d s = smoothing.steps(sm.next(_mm256_mul_pd(result[5], result[5])));
                _mm_storeu_ps(output + 4 * (g - 6), _mm256_cvtpd_ps(_mm256_mul_pd(s, scale)));
            }
            if (live(5)) result[5] = weighting.steps(wt.next(result[4]));
            if (live(4)) result[4] = bandPass.steps(bp.next(result[3]));
            if (live(3)) result[3] = highPass.steps(hp.next(result[2]));
            if (live(2)) result[2] = lowPass[2].steps(lp2.next(result[1]));
            if (live(1)) result[1] = lowPass[1].steps(lp1.next(result[0]));
            if (live(0)) {
                const __m256d u = _mm256_cvtps_pd(_mm_loadu_ps(input + 4 * g));
                result[0] = lowPass[0].steps(lp0.next(_mm256_mul_pd(_mm256_mul_pd(u, u), half)));
            }
        }
        lowPass[0].keep(lp0), lowPass[1].keep(lp1), lowPass[2].keep(lp2);
        highPass.keep(hp), bandPass.keep(bp), weighting.keep(wt), smoothing.keep(sm);
    }
};

// The band-pass and the weighting section each keep their own copy of v's
// history, and the band-pass its own of h's, as the state block does.
Chain load(const PowerFlickerState& s)
{
    Chain c;
    for (int k = 0; k < 3; ++k)
        c.lowPass[k] = {{s.stageInput1[k], s.stageInput2[k]}, s.stageGain[k], s.stageFeedback1[k],
                        s.stageFeedback2[k], s.stageOutput1[k], s.stageOutput2[k]};
    const double *C = s.weightingCoefficients, *H = s.highPassCoefficients;
    // The inputs two back of the high-pass and of the smoothing come from the block's
    // first shift: their [0] is written, never read.
    c.highPass = {{s.highPassInputHistory[1], 0.0}, H[0], H[1], H[2], s.highPassOutputHistory[1]};
    c.bandPass = {{s.bandPassInputHistory[1], s.bandPassInputHistory[2]}, C[0], C[1], C[2], C[3],
                  s.bandPassOutputHistory[1], s.bandPassOutputHistory[2]};
    c.weighting = {{s.weightingInputHistory[1], s.weightingInputHistory[2]}, C[4], C[5], C[6], C[7], C[8],
                   s.weightingOutputHistory[1], s.weightingOutputHistory[2]};
    c.smoothing = {{s.smoothingInputHistory[1], 0.0}, C[9], C[10], C[11], s.smoothingOutputHistory[1]};
    return c;
}

// After at least one sample a section's current input and output are its values
// one sample back, and section k + 1's input is section k's output.
void store(const Chain& c, PowerFlickerState& s)
{
    for (int k = 0; k < 3; ++k) {
        const LowPassSection& l = c.lowPass[k];
        s.stageInput[k] = l.in1, s.stageInput1[k] = l.in1, s.stageInput2[k] = l.in2;
        s.stageOutput[k] = l.y1, s.stageOutput1[k] = l.y1, s.stageOutput2[k] = l.y2;
    }
    s.bandPassOutputHistory[1] = c.bandPass.v1, s.bandPassOutputHistory[2] = c.bandPass.v2;
    s.bandPassInputHistory[1] = c.bandPass.in1, s.bandPassInputHistory[2] = c.bandPass.in2;
    s.weightingInputHistory[1] = c.weighting.in1, s.weightingInputHistory[2] = c.weighting.in2;
    s.weightingOutputHistory[1] = c.weighting.z1, s.weightingOutputHistory[2] = c.weighting.z2;
    s.smoothingInputHistory[0] = c.smoothing.in2, s.smoothingInputHistory[1] = c.smoothing.in1;
    s.smoothingOutputHistory[1] = c.smoothing.y1;
    s.highPassInputHistory[0] = c.highPass.in2, s.highPassInputHistory[1] = c.highPass.in1;
    s.highPassOutputHistory[1] = c.highPass.y1;
}

}  // namespace

void ZRCALC_STDCALL zrcalcPowerFlicker(PowerFlickerState* state, const float* input, float* output,
                                       std::uint32_t count)
{
    if (count == 0) return;
    Chain c = load(*state);
    std::uint32_t i = 0;
    if (state->started == 0) {
        output[0] = c.step(input[0], true);
        state->started = 1;
        i = 1;
    }
    const std::uint32_t groupCount = (count - i) / 4;
    c.groups(input + i, output + i, groupCount);
    for (i += 4 * groupCount; i < count; ++i) output[i] = c.step(input[i]);
    store(c, *state);
}
