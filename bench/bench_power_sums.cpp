// Power sums and energy: each operation beside a plain scalar loop of the same
// rule (the same terms, weights and selections, summed one after another; the
// compiler free to do what -O2 does with it). Sizes: 1 Ki (in L1), 64 Ki (in L2)
// and 16 Mi elements or lines (from memory); items are samples or lines.
//
// The conditional energy and the absolute sum of the scaled copy are one chain
// of additions in index order by their rule, so both forms wait on the latency of
// one addition per element; the lane sums are bound by one addition per lane.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

// ------------------------------------------------------------------ active and reactive power

using PowerSum = void (*)(const float*, const float*, int32_t, double*, double*);

void PandQ(benchmark::State& state, PowerSum sum)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> u(2 * n, 1), i(2 * n, 2);
    double p, q;
    for (auto _ : state) {
        sum(u.data(), i.data(), static_cast<int32_t>(n), &p, &q);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(q);
    }
    set_throughput(state, n, 4 * sizeof(float));
}

void scalar_pandq(const float* u, const float* i, int32_t count, double* activePower, double* reactivePower)
{
    double p = 0.0, q = 0.0;
    for (int32_t k = 0; k < count; ++k) {
        const double ur = u[2 * k], ui = u[2 * k + 1], ir = i[2 * k], ii = i[2 * k + 1];
        const double w = k == 0 || (k == count - 1 && count % 2 == 1) ? 0.5 : 1.0;
        p += w * (ur * ir + ui * ii);
        q += w * (ui * ir - ur * ii);
    }
    *activePower = p;
    *reactivePower = q;
}

void ours_pandq(const float* u, const float* i, int32_t n, double* activePower, double* reactivePower)
{
    zrcalcPowerPandQsum(u, i, n, activePower, reactivePower);
}

// ------------------------------------------------------------------ energy

using Energy = void (*)(const float*, const float*, const float*, int32_t, double*, double*);

void PosAndNeg(benchmark::State& state, Energy energy, int arrays)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> a(n, 3), b(n, 4), condition(n, 5, 0.0, 1.0);
    double positive, negative;
    for (auto _ : state) {
        energy(a.data(), b.data(), condition.data(), static_cast<int32_t>(n), &positive, &negative);
        benchmark::DoNotOptimize(positive);
        benchmark::DoNotOptimize(negative);
    }
    set_throughput(state, n, arrays * sizeof(float));
}

void ours_energy(const float* a, const float* b, const float*, int32_t n, double* positive, double* negative)
{
    zrcalcPowerCalculatePosAndNegEnergy(a, b, n, positive, negative);
}
void ours_energy_on_condition(const float* a, const float* b, const float* c, int32_t n, double* positive,
                              double* negative)
{
    zrcalcPowerCalculatePosAndNegEnergyOnCondition(a, b, c, n, positive, negative);
}

// The plain loops: the float product routed by its sign, c null for every sample.
void scalar_energy(const float* a, const float* b, const float* c, int32_t n, double* positive, double* negative)
{
    double p = 0.0, q = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        if (c && !(c[i] > 0.5f)) continue;
        const float s = a[i] * b[i];
        if (s < 0.0f)
            q += s;
        else
            p += s;
    }
    *positive = p;
    *negative = q;
}
void scalar_energy_all(const float* a, const float* b, const float*, int32_t n, double* positive, double* negative)
{
    scalar_energy(a, b, nullptr, n, positive, negative);
}

// ------------------------------------------------------------------ scaled copy, sum of scaled squares

void ScaledCopy(benchmark::State& state, void (*copy)(PowerScaleSumParams*), int32_t accumulate)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<double> source(n, 6);
    Buffer<float> destination(n, 7);
    PowerScaleSumParams params{source.data(), destination.data(), 0.0, 0.75f, static_cast<int32_t>(n), accumulate};
    for (auto _ : state) {
        copy(&params);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(double) + sizeof(float));
}

void scalar_scaled_copy(PowerScaleSumParams* p)
{
    const double factor = p->factor;
    double local = 0.0;
    for (int32_t i = 0; i < p->count; ++i) {
        p->destination[i] = static_cast<float>(factor * p->source[i]);
        if (p->accumulate) local += std::fabs(static_cast<double>(p->destination[i]));
    }
    if (p->accumulate && p->count > 0) p->absoluteSum = local + p->absoluteSum;
}

void ours_scaled_copy(PowerScaleSumParams* p) { zrcalcPowerSumVectorMultipliedWithScalar_double(p); }

void SumOfSquares(benchmark::State& state, double (*sum)(const float*, int32_t, float))
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> x(n, 8);
    for (auto _ : state) benchmark::DoNotOptimize(sum(x.data(), static_cast<int32_t>(n), 1.25f));
    set_throughput(state, n, sizeof(float));
}

double scalar_squares(const float* x, int32_t n, float factor)
{
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double y = x[i] * factor;
        s += y * y;
    }
    return s;
}

double ours_squares(const float* x, int32_t n, float factor)
{
    return zrcalcPowerMultiplyAndSquareElementsAndSumVector_float(x, n, factor);
}

}  // namespace

#define ZRCALC_SIZES ->Apply(zrbench::standard_sizes)

BENCHMARK_CAPTURE(PandQ, zrcalcPowerPandQsum, ours_pandq) ZRCALC_SIZES;
BENCHMARK_CAPTURE(PandQ, scalar, scalar_pandq) ZRCALC_SIZES;
BENCHMARK_CAPTURE(PosAndNeg, zrcalcPowerCalculatePosAndNegEnergy, ours_energy, 2) ZRCALC_SIZES;
BENCHMARK_CAPTURE(PosAndNeg, scalar, scalar_energy_all, 2) ZRCALC_SIZES;
BENCHMARK_CAPTURE(PosAndNeg, zrcalcPowerCalculatePosAndNegEnergyOnCondition, ours_energy_on_condition, 3)
    ZRCALC_SIZES;
BENCHMARK_CAPTURE(PosAndNeg, scalar_on_condition, scalar_energy, 3) ZRCALC_SIZES;
BENCHMARK_CAPTURE(ScaledCopy, zrcalcPowerSumVectorMultipliedWithScalar_double_accumulate, ours_scaled_copy, 1)
    ZRCALC_SIZES;
BENCHMARK_CAPTURE(ScaledCopy, scalar_accumulate, scalar_scaled_copy, 1) ZRCALC_SIZES;
BENCHMARK_CAPTURE(ScaledCopy, zrcalcPowerSumVectorMultipliedWithScalar_double_copy, ours_scaled_copy, 0)
    ZRCALC_SIZES;
BENCHMARK_CAPTURE(ScaledCopy, scalar_copy, scalar_scaled_copy, 0) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumOfSquares, zrcalcPowerMultiplyAndSquareElementsAndSumVector_float, ours_squares) ZRCALC_SIZES;
BENCHMARK_CAPTURE(SumOfSquares, scalar, scalar_squares) ZRCALC_SIZES;
