// Filters: IIR cascades, the ring FIR and the pink-noise filter, each beside a
// plain scalar loop of the same rule; the FIR also beside VOLK's float dot
// product of the same length (a different rule: VOLK sums in float with its own
// lanes and needs no ring).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_support.h"
#include "zrcalc.h"

#ifdef ZRCALC_HAVE_VOLK
#include <volk/volk.h>
#endif

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

constexpr std::uint32_t kSamples = 1024;  // per call of the array operations

// ------------------------------------------------------------------ IIR

// A stable cascade: `sections` sections of `order` taps each, second-order
// Butterworth-like coefficients (the general form takes the same three taps
// padded with zeros).
struct Cascade {
    Cascade(int32_t sections, int32_t order) : gains(sections, 1.0), taps(sections * (order + 1))
    {
        for (int32_t s = 0; s < sections; ++s) {
            IIRTap* t = &taps[s * (order + 1)];
            t[order].b = 0.0675, t[order - 1].b = 0.135, t[order - 1].a = -1.143, t[order - 2].b = 0.0675,
            t[order - 2].a = 0.413;
        }
        params = {0, sections, order, 0, gains.data(), taps.data()};
    }
    std::vector<double> gains;
    std::vector<IIRTap> taps;
    IIRFilterParams params;
};

void IirArray(benchmark::State& state, int32_t sections, int32_t order)
{
    Cascade c(sections, order);
    Buffer<double> x(kSamples, 1), y(kSamples, 2);
    for (auto _ : state) {
        zrcalcIIRFilterArr_double(&c.params, x.data(), y.data(), kSamples);
        benchmark::DoNotOptimize(y.data());
    }
    set_throughput(state, kSamples, 2 * sizeof(double));
}

// The plain loop: direct form I, one biquad per section.
void IirScalar(benchmark::State& state, int32_t sections)
{
    Buffer<double> x(kSamples, 1), y(kSamples, 2);
    std::vector<double> hist(4 * sections, 0.0);
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kSamples; ++i) {
            double v = x.data()[i];
            for (int32_t s = 0; s < sections; ++s) {
                double* h = &hist[4 * s];
                const double out = 0.0675 * v + 0.135 * h[0] + 0.0675 * h[1] + 1.143 * h[2] - 0.413 * h[3];
                h[1] = h[0], h[0] = v, h[3] = h[2], h[2] = out;
                v = out;
            }
            y.data()[i] = v;
        }
        benchmark::DoNotOptimize(y.data());
    }
    set_throughput(state, kSamples, 2 * sizeof(double));
}

BENCHMARK_CAPTURE(IirArray, second_order_1, 1, 2)->Arg(kSamples);
BENCHMARK_CAPTURE(IirArray, second_order_2, 2, 2)->Arg(kSamples);
BENCHMARK_CAPTURE(IirArray, second_order_4, 4, 2)->Arg(kSamples);
BENCHMARK_CAPTURE(IirArray, general_order_6, 1, 6)->Arg(kSamples);
BENCHMARK_CAPTURE(IirScalar, biquads_1, 1)->Arg(kSamples);
BENCHMARK_CAPTURE(IirScalar, biquads_2, 2)->Arg(kSamples);
BENCHMARK_CAPTURE(IirScalar, biquads_4, 4)->Arg(kSamples);

// ------------------------------------------------------------------ FIR

void Fir(benchmark::State& state)
{
    const auto n = static_cast<int32_t>(state.range(0));
    Buffer<float> ring(n, 3), c(n, 4);
    for (auto _ : state) benchmark::DoNotOptimize(zrcalcFIRFilter_float(ring.data(), c.data(), n, n / 3));
    set_throughput(state, std::size_t(n), 2 * sizeof(float));
}

// The plain loop: the ring in order, one float fused step per tap, widened at the end.
void FirScalar(benchmark::State& state)
{
    const auto n = static_cast<int32_t>(state.range(0));
    Buffer<float> ring(n, 3), c(n, 4);
    for (auto _ : state) {
        float s = 0.0f;
        for (int32_t k = 0, p = n / 3; k < n; ++k, p = p + 1 == n ? 0 : p + 1) s = std::fma(c.data()[k], ring.data()[p], s);
        benchmark::DoNotOptimize(double(s));
    }
    set_throughput(state, std::size_t(n), 2 * sizeof(float));
}

BENCHMARK(Fir)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(FirScalar)->Arg(64)->Arg(256)->Arg(1024);

#ifdef ZRCALC_HAVE_VOLK
void VolkDotProduct(benchmark::State& state)
{
    const auto n = static_cast<unsigned>(state.range(0));
    Buffer<float> a(n, 3), b(n, 4), result(1, 5);
    for (auto _ : state) {
        volk_32f_x2_dot_prod_32f(result.data(), a.data(), b.data(), n);
        benchmark::DoNotOptimize(result.data()[0]);
    }
    set_throughput(state, n, 2 * sizeof(float));
}
BENCHMARK(VolkDotProduct)->Arg(64)->Arg(256)->Arg(1024);
#endif

// ------------------------------------------------------------------ pink noise

void Pink(benchmark::State& state)
{
    Buffer<double> x(kSamples, 6);
    double pink[8] = {};
    for (auto _ : state)
        for (std::uint32_t i = 0; i < kSamples; ++i) benchmark::DoNotOptimize(zrcalcPinkFilter_double(pink, x.data()[i]));
    set_throughput(state, kSamples, sizeof(double));
}

void PinkScalar(benchmark::State& state)
{
    static const double k[8] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616, 0.0, 0.0};
    static const double c[8] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522, -0.0168980, 0.115926, 0.5362};
    Buffer<double> x(kSamples, 6);
    double s[8] = {};
    for (auto _ : state)
        for (std::uint32_t i = 0; i < kSamples; ++i) {
            const double w = x.data()[i] * 0.2;
            for (int j = 0; j < 8; ++j) s[j] = std::fma(s[j], k[j], w * c[j]);
            benchmark::DoNotOptimize(((s[0] + s[4]) + (s[2] + s[6])) + ((s[1] + s[5]) + (s[3] + s[7])));
        }
    set_throughput(state, kSamples, sizeof(double));
}

BENCHMARK(Pink)->Arg(kSamples);
BENCHMARK(PinkScalar)->Arg(kSamples);

}  // namespace
