// XY graph values: a host's loop of zrcalcGetXYValGraph2D calls over a whole
// series (four points a call) beside a plain scalar loop of the four-point rule,
// for each axis mode: X linear or logarithmic, Y linear, logarithmic or decibel.
// X is a linear function of the index, Y double samples in (0.001, 1000). Items
// are points; bytes count the Y value read and the two pixels written.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;

// A 1920 x 1080 area; X from 0.5 in steps of 0.01, Y up to 1000.
XYValGraph2DParams plot(uint8_t xMode, uint8_t yMode)
{
    return {0, 0, 2, 6, xMode, 0, yMode, {}, 0, 0, 1920, 1080, 0.01, 0.5, 1.0, 0.0, 700, 0.5, 2.85, -0.3,
            1000, 0.001, 3, -3, 1e-3, nullptr, nullptr, nullptr, nullptr, nullptr, 0.5};
}

using Points = void (*)(XYValGraph2DParams, uint32_t, const double*, int32_t*, int32_t*);

void library(XYValGraph2DParams p, uint32_t n, const double* y, int32_t* xPixels, int32_t* yPixels)
{
    uint32_t k;
    p.count = n, p.index = 0, p.yData = y, p.xPixels = xPixels, p.yPixels = yPixels, p.processed = &k;
    for (; p.count > 0; p.count -= k, p.index += k, p.xPixels += k, p.yPixels += k) {
        zrcalcGetXYValGraph2D(&p);
        p.yData = static_cast<const double*>(p.yData) + k;
    }
}

// The four-lane fast logarithm, one value at a time: exponent plus a quartic in
// the significand, fused steps, times the float scale.
double fast_log10(double v)
{
    const float q = static_cast<float>(v);
    uint32_t b;
    std::memcpy(&b, &q, sizeof b);
    const uint32_t mBits = (b & 0x7FFFFF) | 0x3F800000;
    float m;
    std::memcpy(&m, &mBits, sizeof m);
    const float e = static_cast<float>(static_cast<int32_t>(b >> 23 & 0xFF) - 127);
    const float cubic = std::fma(std::fma(std::fma(-0.107254423f, m, 0.688243866f), m, -1.75647175f), m, 2.61761045f);
    return std::fma(m - 1.0f, cubic, e) * 0.30103001f;
}

int32_t pixel(double v) { return static_cast<int32_t>(std::fmin(std::fmax(v, -32768.0), 32767.0)); }
double limited(double v) { return std::isnan(v) ? 1e6 : std::fmin(std::fmax(v, -1e6), 1e6); }

void scalar(XYValGraph2DParams p, uint32_t n, const double* yData, int32_t* xPixels, int32_t* yPixels)
{
    const double w = p.rectRight - p.rectLeft, h = p.rectBottom - p.rectTop;
    for (uint32_t i = 0; i < n; ++i) {
        const double x = std::fma(static_cast<double>(i), p.xStep, p.xStart);
        const double xn = p.xAxisMode == 0 ? (x - p.xMin) / (p.xMax - p.xMin)
                                           : ((x > p.xMin ? fast_log10(x) : p.xLogMin) - p.xLogMin) /
                                                 (p.xLogMax - p.xLogMin);
        const double y = std::fma(yData[i], p.yFactor, p.yOffset);
        double yn;
        if (p.yAxisMode == 0)
            yn = (y - p.yMin) / (p.yMax - p.yMin);
        else if (p.yAxisMode == 1)
            yn = ((y > p.yMin ? fast_log10(y) : p.yLogMin) - p.yLogMin) / (p.yLogMax - p.yLogMin);
        else
            yn = ((y > 1e-12 ? p.dbFactor * 20.0 * fast_log10(y / p.dbReference) : -400.0) - p.yMin) /
                 (p.yMax - p.yMin);
        xPixels[i] = pixel(p.rectLeft + std::nearbyint(limited(xn) * w));
        yPixels[i] = pixel(p.rectBottom - std::nearbyint(limited(yn) * h));
    }
}

void Graph(benchmark::State& state, Points points, uint8_t xMode, uint8_t yMode)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<double> y(n, 1, 0.001, 1000.0);
    Buffer<int32_t> xPixels(n), yPixels(n);
    const XYValGraph2DParams p = plot(xMode, yMode);
    for (auto _ : state) {
        points(p, n, y.data(), xPixels.data(), yPixels.data());
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(double) + 2 * sizeof(int32_t));
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(1 << 10)->Arg(1 << 16); }

BENCHMARK_CAPTURE(Graph, zrcalcGetXYValGraph2D_linear, library, 0, 0)->Apply(sizes);
BENCHMARK_CAPTURE(Graph, scalar_linear, scalar, 0, 0)->Apply(sizes);
BENCHMARK_CAPTURE(Graph, zrcalcGetXYValGraph2D_logarithmic, library, 1, 1)->Apply(sizes);
BENCHMARK_CAPTURE(Graph, scalar_logarithmic, scalar, 1, 1)->Apply(sizes);
BENCHMARK_CAPTURE(Graph, zrcalcGetXYValGraph2D_decibel, library, 0, 2)->Apply(sizes);
BENCHMARK_CAPTURE(Graph, scalar_decibel, scalar, 0, 2)->Apply(sizes);

}  // namespace
