// Channel data: scaled values at a position and the linear-function fill, each
// beside a plain scalar loop of the same rule, and memcpy of the same byte sizes
// as the bound of what a store-bound loop can reach. Sizes: 1 Ki (in L1), 64 Ki
// (in L2) and 16 Mi elements (from memory).
//
// Items are positions (elements written). Bytes count what a call consumes and
// produces: the raw samples at the positions read plus the values written for
// scaled values (not the interleaved samples a stride skips), the values written
// for the fill, and the bytes copied for memcpy.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <type_traits>

#include "bench_support.h"
#include "zrcalc.h"

namespace {

using zrbench::Buffer;
using zrbench::set_throughput;
constexpr auto sizes = zrbench::standard_sizes;

// ------------------------------------------------------------------ scaled values

template <class Raw>
constexpr uint32_t kSampleType = std::is_same_v<Raw, int16_t> ? 2u : 5u;  // Int16 or Float

// Position 0: the start of the buffer, or its last sample read for a negative
// stride (the run goes down from there).
template <class Raw>
const Raw* first_position(const Buffer<Raw>& source, std::size_t n, int stride)
{
    return source.data() + (stride < 0 ? (n - 1) * static_cast<std::size_t>(-stride) : 0);
}

// The library: one call for the whole run.
template <class Raw, class Out>
void ScaledValues(benchmark::State& state, int stride)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<Raw> source(n * static_cast<std::size_t>(std::abs(stride)));
    Buffer<Out> destination(n);
    using Params = std::conditional_t<std::is_same_v<Out, double>, ScaledValuesParams_double, ScaledValuesParams_float>;
    Params p{};
    p.source = first_position(source, n, stride);
    p.destination = destination.data();
    p.factor = static_cast<Out>(0.001);
    p.offset = static_cast<Out>(-0.5);
    p.count = static_cast<int32_t>(n);
    p.sampleType = kSampleType<Raw>;
    p.stride = stride;
    for (auto _ : state) {
        if constexpr (std::is_same_v<Out, double>)
            zrcalcChannelGetScaledValuesAtPos_double(&p);
        else
            zrcalcChannelGetScaledValuesAtPos_float(&p);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(Raw) + sizeof(Out));
}

// The same rule as a plain loop: convert, one fused multiply-add, store.
template <class Raw, class Out>
void ScaledValuesScalarLoop(benchmark::State& state, int stride)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    Buffer<Raw> source(n * static_cast<std::size_t>(std::abs(stride)));
    Buffer<Out> destination(n);
    const Out factor = static_cast<Out>(0.001), offset = static_cast<Out>(-0.5);
    for (auto _ : state) {
        const Raw* src = first_position(source, n, stride);
        Out* dst = destination.data();
        const std::ptrdiff_t step = stride;
        benchmark::DoNotOptimize(src);
        for (std::size_t k = 0; k < n; ++k)
            dst[k] = std::fma(static_cast<Out>(src[static_cast<std::ptrdiff_t>(k) * step]), factor, offset);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(Raw) + sizeof(Out));
}

// Registered as ScaledValues_<result>/<raw>_stride<s>/<count>, the scalar loop
// as ScaledValuesScalarLoop_<result>/... beside it.
template <class Raw, class Out>
void register_scaled_values(const char* raw, int stride)
{
    const std::string out = std::is_same_v<Out, double> ? "double" : "float";
    const std::string tail = "/" + std::string(raw) + "_stride" + std::to_string(stride);
    benchmark::RegisterBenchmark(("ScaledValues_" + out + tail).c_str(), ScaledValues<Raw, Out>, stride)->Apply(sizes);
    benchmark::RegisterBenchmark(("ScaledValuesScalarLoop_" + out + tail).c_str(), ScaledValuesScalarLoop<Raw, Out>,
                                 stride)
        ->Apply(sizes);
}

const bool kScaledValuesRegistered = [] {
    for (int stride : {1, 4}) {
        register_scaled_values<float, double>("float", stride);
        register_scaled_values<float, float>("float", stride);
    }
    for (int stride : {1, 2, 4, 8, -4}) {
        register_scaled_values<int16_t, double>("int16", stride);
        register_scaled_values<int16_t, float>("int16", stride);
    }
    return true;
}();

// ------------------------------------------------------------------ linear fill

template <class T>
void LinearFill(benchmark::State& state)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<T> buffer(n);
    for (auto _ : state) {
        if constexpr (std::is_same_v<T, double>)
            zrcalcChannelFillBufferWithLinearFunction_double(buffer.data(), n, 0.1, -0.30000000000000004);
        else
            zrcalcChannelFillBufferWithLinearFunction_float(buffer.data(), n, 0.1f, -0.3f);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(T));
}

template <class T>
void LinearFillScalarLoop(benchmark::State& state)
{
    const auto n = static_cast<uint32_t>(state.range(0));
    Buffer<T> buffer(n);
    T factor = static_cast<T>(0.1), offset = static_cast<T>(-0.30000000000000004);
    for (auto _ : state) {
        benchmark::DoNotOptimize(factor);
        T* out = buffer.data();
        for (uint32_t i = 0; i < n; ++i) out[i] = std::fma(static_cast<T>(i), factor, offset);
        benchmark::ClobberMemory();
    }
    set_throughput(state, n, sizeof(T));
}

BENCHMARK_TEMPLATE(LinearFill, double)->Apply(sizes);
BENCHMARK_TEMPLATE(LinearFillScalarLoop, double)->Apply(sizes);
BENCHMARK_TEMPLATE(LinearFill, float)->Apply(sizes);
BENCHMARK_TEMPLATE(LinearFillScalarLoop, float)->Apply(sizes);

// ------------------------------------------------------------------ memcpy

// Copies as many bytes as the fill of n elements of T writes.
template <class T>
void Memcpy(benchmark::State& state)
{
    const auto bytes = static_cast<std::size_t>(state.range(0)) * sizeof(T);
    Buffer<unsigned char> source(bytes), destination(bytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    set_throughput(state, bytes / sizeof(T), sizeof(T));
}

BENCHMARK_TEMPLATE(Memcpy, double)->Apply(sizes);
BENCHMARK_TEMPLATE(Memcpy, float)->Apply(sizes);

}  // namespace
