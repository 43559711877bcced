// The spline resampler in output values per second at ratios 0.5, 1 and 4, one
// interpolator fed block after block, beside a plain loop of the same segment
// rule over a contiguous array (no ring, no state between blocks).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;

constexpr std::uint32_t kHistory = 1024;
constexpr std::uint32_t kBlock = kHistory - 2;  // the longest block the ring takes

void Interpolator(benchmark::State& state)
{
    const double ratio = double(state.range(0)) / 2;
    const CHSInterpolatorConfig config{1.0, ratio, kHistory};
    CHSInterpolator* handle = nullptr;
    if (zrcalcCHSInterpolator_Create(&handle, &config) != 0) return state.SkipWithError("Create failed");
    Buffer<float> x(kBlock, 11);
    std::int64_t values = 0;
    for (auto _ : state) {
        float* out = nullptr;
        uint32_t count = 0;
        zrcalcCHSInterpolator_InterpolateValues(handle, x.data(), kBlock, &out, &count);
        benchmark::DoNotOptimize(out);
        values += count;
    }
    zrcalcCHSInterpolator_Destroy(handle);
    state.SetItemsProcessed(values);
}

// The same values over one array: position t = j / ratio, its segment's four
// samples through the Catmull-Rom matrix (fused, as the library forms them), the
// cubic in f evaluated as 0.5 ((c0 + c1 f) + (c2 f^2 + c3 f^3)).
void InterpolatorScalar(benchmark::State& state)
{
    static const float m[4][4] = {{0, -1, 2, -1}, {2, 0, -5, 3}, {0, 1, 4, -3}, {0, 0, -1, 1}};
    const double ratio = double(state.range(0)) / 2;
    Buffer<float> x(kBlock, 11);
    const auto outputs = std::uint32_t(double(kBlock - 2) * ratio) + 1;
    std::vector<float> y(outputs);
    for (auto _ : state) {
        const float* s = x.data();
        for (std::uint32_t j = 0; j < outputs; ++j) {
            const double t = double(j) / ratio;
            const auto w = std::uint32_t(t);
            const float f = float(t - double(w));
            const float p[4] = {s[w ? w - 1 : 0], s[w], s[w + 1], s[w + 2 < kBlock ? w + 2 : w + 1]};
            float c[4];
            for (int l = 0; l < 4; ++l) {
                c[l] = p[0] * m[0][l];
                for (int k = 1; k < 4; ++k) c[l] = std::fma(p[k], m[k][l], c[l]);
            }
            const float f2 = f * f, f3 = f2 * f;
            y[j] = 0.5f * ((c[0] + c[1] * f) + (c[2] * f2 + c[3] * f3));
        }
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * outputs);
}

// The argument is twice the ratio: 1 (0.5), 2 (1), 8 (4).
BENCHMARK(Interpolator)->Arg(1)->Arg(2)->Arg(8);
BENCHMARK(InterpolatorScalar)->Arg(1)->Arg(2)->Arg(8);

}  // namespace
