// Example host program: a short tour of the library on built-in data (no input
// file), as a data-acquisition program uses it.
//  1. One channel's raw int16 counts fed block by block to the accumulating
//     statistics.
//  2. The typical call: the raw samples of one channel, interleaved with those of
//     three others, read and scaled to volts block by block, and the volts folded
//     into the running statistics.
//  3. An engine cycle's pressure trace smoothed, mapped into a bitmap that the
//     program draws, searched with a cursor, and written as a PNG
//     (engine_cycle_plot.cpp).
// The host forms average and RMS from the totals; the same figures computed
// directly in long double are printed beside them.
// Usage: zrcalc_example [picture.png]   (default engine_cycle.png)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine_cycle_plot.h"
#include "zrcalc.h"

namespace {

// A 50 Hz sine of amplitude 12000 counts with a DC level of 150 counts, sampled
// at 10 kHz, plus a little deterministic noise: what an ADC channel delivers.
std::vector<int16_t> synthesise_record(std::size_t samples)
{
    std::vector<int16_t> record(samples);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < samples; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double value = 150.0 + 12000.0 * std::sin(2.0 * M_PI * 50.0 * static_cast<double>(i) / 10000.0) +
                             static_cast<double>(noise >> 24) - 128.0;
        record[i] = static_cast<int16_t>(std::lrint(value));
    }
    return record;
}


struct Figures {
    double minimum, maximum, average, rms;
};

void print_comparison(const char* unit, const Figures& lib, const Figures& direct)
{
    std::printf("%-10s %22s %22s\n", unit, "zrcalc (double)", "direct (long double)");
    std::printf("%-10s %22.12f %22.12f\n", "minimum", lib.minimum, direct.minimum);
    std::printf("%-10s %22.12f %22.12f\n", "maximum", lib.maximum, direct.maximum);
    std::printf("%-10s %22.12f %22.12f\n", "average", lib.average, direct.average);
    std::printf("%-10s %22.12f %22.12f\n\n", "RMS", lib.rms, direct.rms);
}

bool agree(const Figures& a, const Figures& b, double tolerance)
{
    return a.minimum == b.minimum && a.maximum == b.maximum && std::fabs(a.average - b.average) <= tolerance &&
           std::fabs(a.rms - b.rms) <= tolerance;
}

// Raw counts of one channel straight into the accumulating statistics.
bool analyse_counts(const std::vector<int16_t>& record, std::size_t block)
{
    const std::size_t samples = record.size();
    // Accumulators as the host sets them before the first block.
    int16_t minimum = INT16_MAX, maximum = INT16_MIN;
    double sum = 0.0, sum_of_squares = 0.0;
    const float offset = 0.0f;  // squares of the samples themselves: RMS about zero
    for (std::size_t start = 0; start < samples; start += block) {
        const auto n = static_cast<uint32_t>(samples - start < block ? samples - start : block);
        zrcalcGetMinMaxAveRMS_int16_t(record.data() + start, n, &minimum, &maximum, &sum, &sum_of_squares, offset);
    }
    const Figures lib{double(minimum), double(maximum), sum / double(samples),
                      std::sqrt(sum_of_squares / double(samples))};

    long double direct_sum = 0.0L, direct_squares = 0.0L;
    int16_t direct_min = INT16_MAX, direct_max = INT16_MIN;
    for (int16_t x : record) {
        direct_sum += x;
        direct_squares += static_cast<long double>(x) * x;
        if (x < direct_min) direct_min = x;
        if (x > direct_max) direct_max = x;
    }
    const Figures direct{double(direct_min), double(direct_max), double(direct_sum / samples),
                         double(std::sqrt(direct_squares / samples))};
    std::printf("1. %zu int16 samples of one channel, in blocks of %zu\n\n", samples, block);
    print_comparison("counts", lib, direct);
    return agree(lib, direct, 1e-9);
}

// The typical call: channel 2 of four interleaved channels, scaled to volts.
bool analyse_scaled_channel(const std::vector<int16_t>& channel, std::size_t block)
{
    const int32_t channels = 4, wanted = 2;
    const std::size_t samples = channel.size();
    std::vector<int16_t> interleaved(samples * channels);
    for (std::size_t i = 0; i < samples; ++i)
        for (int32_t c = 0; c < channels; ++c)
            interleaved[i * channels + c] =
                c == wanted ? channel[i] : static_cast<int16_t>(1000 * c - int32_t(i % 7));
    const double volts_per_count = 10.0 / 32768.0, zero_volts = -0.0125;  // a +-10 V range with a zero offset

    double minimum = HUGE_VAL, maximum = -HUGE_VAL, sum = 0.0, sum_of_squares = 0.0;
    std::vector<double> volts(block);
    for (std::size_t start = 0; start < samples; start += block) {
        const auto n = static_cast<int32_t>(samples - start < block ? samples - start : block);
        ScaledValuesParams_double params{};
        params.source = interleaved.data() + start * channels + wanted;
        params.destination = volts.data();
        params.factor = volts_per_count;
        params.offset = zero_volts;
        params.count = n;
        params.sampleType = ChannelSampleType_Int16;
        params.stride = channels;
        zrcalcChannelGetScaledValuesAtPos_double(&params);
        zrcalcGetMinMaxAveRMS_double(volts.data(), uint32_t(n), &minimum, &maximum, &sum, &sum_of_squares, 0.0);
    }
    const Figures lib{minimum, maximum, sum / double(samples), std::sqrt(sum_of_squares / double(samples))};

    long double direct_sum = 0.0L, direct_squares = 0.0L;
    double direct_min = HUGE_VAL, direct_max = -HUGE_VAL;
    for (int16_t x : channel) {
        const double v = std::fma(double(x), volts_per_count, zero_volts);
        direct_sum += v;
        direct_squares += static_cast<long double>(v) * v;
        if (v < direct_min) direct_min = v;
        if (v > direct_max) direct_max = v;
    }
    const Figures direct{direct_min, direct_max, double(direct_sum / samples),
                         double(std::sqrt(direct_squares / samples))};
    std::printf("2. channel %d of %d interleaved int16 channels, scaled to volts, in blocks of %zu\n\n", wanted,
                channels, block);
    print_comparison("volts", lib, direct);
    return agree(lib, direct, 1e-12);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<int16_t> record = synthesise_record(100000);
    const bool counts_agree = analyse_counts(record, 4096);
    const bool volts_agree = analyse_scaled_channel(record, 4096);
    const bool plotted = plot_engine_cycle(argc > 1 ? argv[1] : "engine_cycle.png");
    const bool ok = counts_agree && volts_agree && plotted;
    std::printf("%s\n", ok ? "the figures agree and the picture is drawn" : "THE TOUR FAILED");
    return ok ? 0 : 1;
}
