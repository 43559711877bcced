// The flickermeter chain in samples per second, beside a plain scalar loop of the
// same rule: one sample at a time, the low-pass stage arrays updated in place in
// the state block and the later histories in locals. Sizes: 1 Ki (in L1), 64 Ki
// (in L2) and 16 Mi samples (from memory); the chain is recursive, so its speed
// hardly depends on where the samples lie.
//
// The coefficients are those of a stable chain of the right shape (not a designed
// flickermeter): its values stay far from subnormal numbers, whose slow arithmetic
// would measure the processor instead of the code.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

struct FlickerState {
    double stage[6][3] = {}, gain[3] = {0.02, 0.03, 0.04}, feedback1[3] = {-1.6, -1.5, -1.4},
           feedback2[3] = {0.7, 0.65, 0.6};
    double weighting[12] = {0.3, 0.2, 1.2, -0.5, 0.8, -0.6, 0.1, 0.9, -0.3, 0.05, 0.05, 0.9};
    double highPass[3] = {0.99, -0.99, 0.98};
    double history[8][3] = {};
    PowerFlickerState s{stage[0],   stage[1],   stage[2],   stage[3],   stage[4],   stage[5],   gain,
                        feedback1,  feedback2,  weighting,  highPass,   history[0], history[1], history[2],
                        history[3], history[4], history[5], history[6], history[7], 0};
};

// The rule as it reads, sample by sample.
void plain_flicker(PowerFlickerState* st, const float* input, float* output, uint32_t n)
{
    if (n == 0) return;
    const double *C = st->weightingCoefficients, *H = st->highPassCoefficients;
    double v1 = st->bandPassOutputHistory[1], v2 = st->bandPassOutputHistory[2];
    double hb1 = st->bandPassInputHistory[1], hb2 = st->bandPassInputHistory[2];
    double wv1 = st->weightingInputHistory[1], wv2 = st->weightingInputHistory[2];
    double z1 = st->weightingOutputHistory[1], z2 = st->weightingOutputHistory[2];
    double q1 = st->smoothingInputHistory[1], q2 = 0, s1 = st->smoothingOutputHistory[1];
    double w1 = st->highPassInputHistory[1], w2 = 0, h1 = st->highPassOutputHistory[1];
    double *X = st->stageInput, *X1 = st->stageInput1, *X2 = st->stageInput2;
    double *Y = st->stageOutput, *Y1 = st->stageOutput1, *Y2 = st->stageOutput2;
    for (uint32_t i = 0; i < n; ++i) {
        const double u = input[i];
        X[0] = u * u * 0.5;
        for (int k = 0; k < 3; ++k) {
            Y[k] = std::fma(-st->stageFeedback2[k], Y2[k],
                            std::fma((X[k] + X2[k]) + 2.0 * X1[k], st->stageGain[k], -(st->stageFeedback1[k] * Y1[k])));
            X2[k] = X1[k], X1[k] = X[k], Y2[k] = Y1[k], Y1[k] = Y[k];
            if (k < 2) X[k + 1] = Y[k];
        }
        const double w = Y[2];
        if (st->started == 0) w1 = w, st->started = 1;
        const double h = std::fma(H[2], h1, H[0] * w + H[1] * w1);
        w2 = w1, w1 = w, h1 = h;
        const double v = std::fma(C[3], v2, C[1] * hb2) + std::fma(C[2], v1, C[0] * h);
        v2 = v1, v1 = v, hb2 = hb1, hb1 = h;
        const double z = std::fma(C[4], v, std::fma(C[8], z2, C[6] * wv2) + std::fma(C[7], z1, C[5] * wv1));
        wv2 = wv1, wv1 = v, z2 = z1, z1 = z;
        const double q = z * z;
        const double s = std::fma(C[11], s1, C[9] * q + C[10] * q1);
        q2 = q1, q1 = q, s1 = s;
        output[i] = float(s * 1238400.0);
    }
    st->bandPassOutputHistory[1] = v1, st->bandPassOutputHistory[2] = v2;
    st->bandPassInputHistory[1] = hb1, st->bandPassInputHistory[2] = hb2;
    st->weightingInputHistory[1] = wv1, st->weightingInputHistory[2] = wv2;
    st->weightingOutputHistory[1] = z1, st->weightingOutputHistory[2] = z2;
    st->smoothingInputHistory[0] = q2, st->smoothingInputHistory[1] = q1, st->smoothingOutputHistory[1] = s1;
    st->highPassInputHistory[0] = w2, st->highPassInputHistory[1] = w1, st->highPassOutputHistory[1] = h1;
}

using Flicker = void (*)(PowerFlickerState*, const float*, float*, uint32_t);

void Chain(benchmark::State& state, Flicker flicker)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> input(n, 1, 0.5, 1.5), output(n, 2);
    FlickerState f;
    for (auto _ : state) {
        flicker(&f.s, input.data(), output.data(), static_cast<uint32_t>(n));
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, 2 * sizeof(float));
}

BENCHMARK_CAPTURE(Chain, zrcalcPowerFlicker, zrcalcPowerFlicker)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(Chain, plain_loop, plain_flicker)->Apply(zrbench::standard_sizes);

}  // namespace
