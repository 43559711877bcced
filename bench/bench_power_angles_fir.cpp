// Power angles, the 16-tap power FIR, the total power of spectral lines and the
// strongest line: each operation beside a plain scalar loop of the same rule.
//
// - Angles: orders 1 .. n at 1 and at 10 lines per order; the plain loop takes
//   both arctangents of every order. Items are orders.
// - FIR: one call per position of a 1024-sample ring, the way a host steps
//   through it (15 of the 1024 windows wrap). Items are outputs.
// - Total power and strongest line: 1 Ki, 64 Ki and 16 Mi lines. Items are lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

// ------------------------------------------------------------------ angles

using Angles = void (*)(const float*, float*, int32_t, float, float);

float plain_phase(const float* s, int32_t m)
{
    const float p = static_cast<float>(std::atan2(double(s[2 * m]), double(s[2 * m + 1])) * 57.29577951308232);
    return p < 0.0f ? p + 360.0f : p;
}

float plain_turns_off(float r)
{
    double whole;
    return static_cast<float>(360.0 * std::modf(double(r * 0.00277777785f), &whole));
}

void plain_angles(const float* s, float* out, int32_t n, float reference, float lpo)
{
    for (int32_t k = 1; k <= n; ++k) {
        const float K = static_cast<float>(k);
        const int32_t m = static_cast<int32_t>(K * lpo);
        const float f = std::fma(K, lpo, -static_cast<float>(m));
        const float p1 = plain_phase(s, m), p2 = plain_phase(s, m + 1);
        const float d = p2 > p1 ? p2 - p1 : p2 - p1 + 360.0f;
        float r = -std::fma(f, d, std::fma(-K, reference, p1));
        if (r < -360.0f) r = plain_turns_off(r);
        if (r < -180.0f) r += 360.0f;
        if (r > 360.0f) r = plain_turns_off(r);
        if (r > 180.0f) r -= 360.0f;
        out[k] = r;
    }
}

void PowerAngles(benchmark::State& state, Angles angles, float linesPerOrder)
{
    const auto n = static_cast<int32_t>(state.range(0));
    Buffer<float> spectrum(2 * (static_cast<std::size_t>(n * linesPerOrder) + 2), 1);
    Buffer<float> out(static_cast<std::size_t>(n) + 1, 2);
    for (auto _ : state) {
        angles(spectrum.data(), out.data(), n, 37.5f, linesPerOrder);
        benchmark::ClobberMemory();
    }
    set_throughput(state, static_cast<std::size_t>(n), sizeof(float));
}

// ------------------------------------------------------------------ FIR

float plain_fir(const PowerFirParams* p)
{
    const float* c = p->coefficientSets + std::size_t(p->coefficientSet) * 16;
    const uint32_t s = p->position >= 16 ? p->position - 16 : p->position - 16 + p->ringLength;
    float y = 0.0f;
    if (p->ringLength - s < 16) {
        for (uint32_t t = 0; t < 16; ++t) y = std::fma(c[t], p->ring[(s + t) % p->ringLength], y);
        return y;
    }
    float l[8];
    for (uint32_t j = 0; j < 8; ++j) l[j] = std::fma(p->ring[s + 8 + j], c[8 + j], p->ring[s + j] * c[j]);
    return ((l[4] + l[5]) + (l[6] + l[7])) + ((l[0] + l[1]) + (l[2] + l[3]));
}

void PowerFir(benchmark::State& state, float (*fir)(const PowerFirParams*))
{
    const auto length = static_cast<uint32_t>(state.range(0));
    Buffer<float> ring(length, 3), coefficients(64, 4);
    for (auto _ : state)
        for (uint32_t position = 0; position < length; ++position) {
            const PowerFirParams p{ring.data(), coefficients.data(), position, position % 4, length};
            benchmark::DoNotOptimize(fir(&p));
        }
    set_throughput(state, length, 16 * sizeof(float));
}

// ------------------------------------------------------------------ lines

double plain_total(const float* x, uint32_t n)
{
    double total = 0.0;
    for (uint32_t k = 0; k < n; ++k) {
        const double re = x[2 * k], im = x[2 * k + 1];
        total += std::fma(im, im, re * re);
    }
    return total;
}

int32_t plain_strongest(const float* x, uint32_t n)
{
    float largest = 0.0f;
    int32_t line = 1;
    for (uint32_t k = 1; k < n; ++k) {
        const float power = std::fma(x[2 * k + 1], x[2 * k + 1], x[2 * k] * x[2 * k]);
        if (power > largest) largest = power, line = static_cast<int32_t>(k);
    }
    return line;
}

template <class R>
void OverLines(benchmark::State& state, R (*over)(const float*, uint32_t))
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<float> lines(2 * n, 5);
    for (auto _ : state) benchmark::DoNotOptimize(over(lines.data(), static_cast<uint32_t>(n)));
    set_throughput(state, n, 2 * sizeof(float));
}
constexpr auto TotalPower = OverLines<double>;
constexpr auto StrongestLine = OverLines<int32_t>;

}  // namespace

#define ZRCALC_SIZES ->Apply(zrbench::standard_sizes)
#define ZRCALC_ORDERS ->Arg(1 << 10)->Arg(1 << 16)

BENCHMARK_CAPTURE(PowerAngles, zrcalcPowerAngles_1_line, zrcalcPowerAngles, 1.0f) ZRCALC_ORDERS;
BENCHMARK_CAPTURE(PowerAngles, scalar_1_line, plain_angles, 1.0f) ZRCALC_ORDERS;
BENCHMARK_CAPTURE(PowerAngles, zrcalcPowerAngles_10_lines, zrcalcPowerAngles, 10.0f) ZRCALC_ORDERS;
BENCHMARK_CAPTURE(PowerAngles, scalar_10_lines, plain_angles, 10.0f) ZRCALC_ORDERS;

BENCHMARK_CAPTURE(PowerFir, zrcalcPowerCalcFIR_float, zrcalcPowerCalcFIR_float)->Arg(1024);
BENCHMARK_CAPTURE(PowerFir, scalar, plain_fir)->Arg(1024);

BENCHMARK_CAPTURE(TotalPower, zrcalcPowerHarmonicZero, zrcalcPowerHarmonicZero) ZRCALC_SIZES;
BENCHMARK_CAPTURE(TotalPower, scalar, plain_total) ZRCALC_SIZES;
BENCHMARK_CAPTURE(StrongestLine, zrcalcPowerFindIndexOfMaxAmplitude, zrcalcPowerFindIndexOfMaxAmplitude) ZRCALC_SIZES;
BENCHMARK_CAPTURE(StrongestLine, scalar, plain_strongest) ZRCALC_SIZES;
