// Combustion operations whose counts come from indexes, widths and cycle counts:
// windows and ranges of any start and end (a start past the end is an empty
// range, never a wrapped count), any cycle count and window length, any width of
// the averaging filter (a trace shorter than its window reads and writes
// nothing), the filter at a position with any stride. Each array is exactly as
// long as the contract asks; the peak outputs are written in every case.
#include "fuzz_input.h"
#include "zrcalc.h"

namespace {

constexpr float kStart = 1.17549435e-38f;  // the peak searches' starting value

void copy_window(zrfuzz::Input& in)
{
    const uint32_t start = in.in<uint32_t>(0, 300), end = in.in<uint32_t>(0, 300);
    const std::size_t m = end > start ? end - start : 0;
    zrfuzz::Array<float> source(in, end), destination(in, m), peak(1);
    zrfuzz::Array<int32_t> index(1);
    const auto before = destination.bytes();
    zrCalcCACopyRawDataToChannels(source.data(), destination.data(), start, end, in.value<float>(),
                                  peak.data(), index.data());
    if (!m) ZRFUZZ_CHECK(destination.bytes() == before);
    ZRFUZZ_CHECK(index[0] == -1 ? peak[0] == kStart : index[0] >= int32_t(start) && index[0] < int32_t(end));
}

void cycles(zrfuzz::Input& in)
{
    const uint32_t start = in.in<uint32_t>(0, 300), end = in.in<uint32_t>(0, 300);
    const uint64_t cycle = in.ConsumeBool() ? in.in<uint64_t>(0, 9) : in.integer<uint64_t>();
    if (in.ConsumeBool()) {
        const std::size_t m = end > start ? end - start : 0;
        zrfuzz::Array<float> x(in, m), average(m), maxAverage(1);
        for (std::size_t i = 0; i < m; ++i) average[i] = in.ConsumeFloatingPointInRange(-1e3f, 1e3f);
        zrCalcCAOverallPressure(x.data(), average.data(), start, end, cycle, maxAverage.data());
        ZRFUZZ_CHECK(maxAverage[0] >= kStart);
        return;
    }
    const std::size_t m = end >= start ? end - start + 1 : 0;
    const uint32_t window = in.ConsumeBool() ? in.in<uint32_t>(0, 9) : in.integer<uint32_t>();
    zrfuzz::Array<float> x(in, m), leaving(in, cycle >= window && cycle ? m : 0), sum(in, m), average(m);
    const auto before = average.bytes();
    zrCalcCARunningVal(x.data(), leaving.data(), sum.data(), average.data(), start, end, cycle, window);
    if (!m) ZRFUZZ_CHECK(average.bytes() == before);
}

template <class T, class Call>
void average_filter(zrfuzz::Input& in, Call call)
{
    const uint32_t count = in.in<uint32_t>(0, 700);
    const uint32_t width = in.ConsumeBool() ? in.in<uint32_t>(0, 40) : in.integer<uint32_t>();
    zrfuzz::Array<T> input(in, count), output(in, count);
    const auto before = output.bytes();
    call(input.data(), output.data(), width, count);
    if (count < ((width % 65536) | 1)) ZRFUZZ_CHECK(output.bytes() == before);
}

template <class T, class Call>
void filter_at_position(zrfuzz::Input& in, Call call)
{
    const uint32_t count = in.in<uint32_t>(0, 200), stride = in.in<uint32_t>(0, 6);
    zrfuzz::Array<T> samples(in, count);
    zrfuzz::Array<float> coefficients(in, count ? std::size_t(count - 1) * stride + 1 : 0);
    const float y = call(samples.data() + count - (count ? 1 : 0), count, coefficients.data(), stride);
    if (count == 0) ZRFUZZ_CHECK(y == 0.0f && !std::signbit(y));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    switch (in.in(0, 9)) {
    case 0: copy_window(in); break;
    case 1: cycles(in); break;
    case 2: average_filter<double>(in, zrcalcCACalcAveFilter_double); break;
    case 3: average_filter<float>(in, zrcalcCACalcAveFilter_float); break;
    case 4: average_filter<double>(in, zrcalcCACalcAveFilter_double_scalar); break;
    case 5: average_filter<float>(in, zrcalcCACalcAveFilter_float_scalar); break;
    case 6: filter_at_position<float>(in, zrcalcCACalcFilter_float); break;
    case 7: filter_at_position<int16_t>(in, zrcalcCACalcFilter_int16_t); break;
    default: filter_at_position<int32_t>(in, zrcalcCACalcFilter_int32_t);
    }
    return 0;
}
