// Unbalance beside a plain scalar loop of the same rule: element 0 in double,
// the four lanes of the float part one element at a time with the kernel's steps
// in scalar code, the tail in double. Sizes: 1 Ki (in L1), 64 Ki (in L2) and
// 16 Mi elements (from memory, 24 bytes per element); items are elements.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;

using zrbench::from_bits;

// The kernel's steps on one value (no range check: the angles lie far inside).
void kernel_sin_cos(float x, float& sine, float& cosine)
{
    const float a = std::fabs(x);
    const int32_t j = (static_cast<int32_t>(a * from_bits(0x3FA2F983)) + 1) & ~1;
    const float y = static_cast<float>(j);
    float r = std::fma(y, from_bits(0xBF490000), a);
    r = std::fma(y, from_bits(0xB97DA000), r);
    r = std::fma(y, from_bits(0xB3222169), r);
    const float z = r * r;
    const float t = std::fma(std::fma(from_bits(0x37CCF5CE), z, from_bits(0xBAB6061A)), z, from_bits(0x3D2AAAA5)) * z;
    const float u = std::fma(std::fma(from_bits(0xB94CA1F9), z, from_bits(0x3C08839E)), z, from_bits(0xBE2AAAA3)) * z;
    const float c = std::fma(t, z, -(0.5f * z)) + 1.0f, s = std::fma(u, r, r);
    sine = j & 2 ? c : s;
    cosine = j & 2 ? s : c;
    if (((j & 4) != 0) != std::signbit(x)) sine = -sine;
    if (((j - 2) & 4) == 0) cosine = -cosine;
}

constexpr float kRotation[3][3] = {{0, 0, 0}, {0, 120, 240}, {0, 240, 120}};  // [sum][phase]

void plain_unbalance(const PowerUnbalanceParams* b)
{
    const float* a[3] = {b->amplitude1, b->amplitude2, b->amplitude3};
    const float* theta[3] = {b->angle1, b->angle2, b->angle3};
    const uint32_t n = b->count, bulk = n / 4 * 4;
    const double third = 1.0 / 3.0;
    ZrcalcComplexFloat* phasor[3] = {b->zeroPhasor, b->positivePhasor, b->negativePhasor};
    float* totals[3] = {b->zeroTotal, b->positiveTotal, b->negativeTotal};
    for (int k = 0; k < 3; ++k) {
        double re = 0, im = 0, reTail = 0, imTail = 0;
        float lanes[4] = {0, 0, 0, 0}, total;
        for (int p = 0; p < 3; ++p) {
            const double radians = (theta[p][0] - kRotation[k][p]) * 0.017453292519943295;
            re = p ? std::fma(a[p][0] * std::cos(radians), third, re) : a[p][0] * std::cos(radians) * third;
            im = p ? std::fma(a[p][0] * std::sin(radians), third, im) : a[p][0] * std::sin(radians) * third;
        }
        phasor[k]->real = static_cast<float>(re);
        phasor[k]->imag = static_cast<float>(im);
        for (uint32_t i = 0; i < bulk; ++i) {
            float reF = 0, imF = 0, s, c;
            for (int p = 0; p < 3; ++p) {
                kernel_sin_cos((theta[p][i] - kRotation[k][p]) * 0.0174532924f, s, c);
                reF = p ? std::fma(a[p][i], c, reF) : a[p][i] * c;
                imF = p ? std::fma(a[p][i], s, imF) : a[p][i] * s;
            }
            lanes[i % 4] = std::fma(imF, imF, std::fma(reF, reF, lanes[i % 4]));
        }
        total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
        for (uint32_t i = bulk; i < n; ++i) {
            for (int p = 0; p < 3; ++p) {
                const double radians = (theta[p][i] - kRotation[k][p]) * 0.017453292519943295;
                reTail = p ? std::fma(a[p][i], std::cos(radians), reTail) : a[p][i] * std::cos(radians);
                imTail = p ? std::fma(a[p][i], std::sin(radians), imTail) : a[p][i] * std::sin(radians);
            }
            total += static_cast<float>(std::fma(reTail, reTail, imTail * imTail));
        }
        *totals[k] = static_cast<float>(std::sqrt(static_cast<double>(total)) * third);
    }
    const auto magnitude = [](const ZrcalcComplexFloat* z) { return std::abs(std::complex<float>(z->real, z->imag)); };
    const float p = magnitude(b->positivePhasor), s1 = *b->positiveTotal;
    *b->zeroUnbalancePhasor = p > 0 ? magnitude(b->zeroPhasor) * (100.0f / p) : 0.0f;
    *b->negativeUnbalancePhasor = p > 0 ? magnitude(b->negativePhasor) * (100.0f / p) : 0.0f;
    *b->zeroUnbalanceTotal = s1 > 0 ? 100.0f / s1 * *b->zeroTotal : 0.0f;
    *b->negativeUnbalanceTotal = s1 > 0 ? 100.0f / s1 * *b->negativeTotal : 0.0f;
}

void ours(const PowerUnbalanceParams* b) { zrcalcPowerUnbalance(b); }

// A slightly unbalanced three-phase set; n + 3 elements, so that the tail runs.
void Unbalance(benchmark::State& state, void (*unbalance)(const PowerUnbalanceParams*))
{
    const auto n = static_cast<std::size_t>(state.range(0)) + 3;
    Buffer<float> a1(n, 1, 225, 235), a2(n, 2, 225, 235), a3(n, 3, 225, 235);
    Buffer<float> t1(n, 4, -5, 5), t2(n, 5, 115, 125), t3(n, 6, 235, 245);
    float out[7];
    ZrcalcComplexFloat phasors[3];
    const PowerUnbalanceParams b = {a1.data(), a2.data(), a3.data(), t1.data(), t2.data(), t3.data(),
                                    out, out + 1, out + 2, out + 3, out + 4, out + 5, out + 6,
                                    phasors, phasors + 1, phasors + 2, static_cast<uint32_t>(n)};
    for (auto _ : state) {
        unbalance(&b);
        benchmark::ClobberMemory();
    }
    zrbench::set_throughput(state, n, 6 * sizeof(float));
}

}  // namespace

BENCHMARK_CAPTURE(Unbalance, zrcalcPowerUnbalance, ours)->Apply(zrbench::standard_sizes);
BENCHMARK_CAPTURE(Unbalance, plain_loop, plain_unbalance)->Apply(zrbench::standard_sizes);
