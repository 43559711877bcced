// Example host program: a record of 16-bit samples of one channel, synthesised
// here (no input file), is fed block by block to the accumulating statistics; the
// host then forms average and RMS from the totals, as a data-acquisition program
// does at the end of a record. The same figures computed directly in long double
// are printed beside them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

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

}  // namespace

int main()
{
    const std::size_t samples = 100000;
    const std::size_t block = 4096;  // the host's acquisition block
    const std::vector<int16_t> record = synthesise_record(samples);

    // Accumulators as the host sets them before the first block.
    int16_t minimum = INT16_MAX, maximum = INT16_MIN;
    double sum = 0.0, sum_of_squares = 0.0;
    const float offset = 0.0f;  // squares of the samples themselves: RMS about zero
    for (std::size_t start = 0; start < samples; start += block) {
        const auto n = static_cast<uint32_t>(samples - start < block ? samples - start : block);
        zrcalcGetMinMaxAveRMS_int16_t(record.data() + start, n, &minimum, &maximum, &sum, &sum_of_squares, offset);
    }
    const double average = sum / static_cast<double>(samples);
    const double rms = std::sqrt(sum_of_squares / static_cast<double>(samples));

    long double direct_sum = 0.0L, direct_squares = 0.0L;
    int16_t direct_min = INT16_MAX, direct_max = INT16_MIN;
    for (int16_t x : record) {
        direct_sum += x;
        direct_squares += static_cast<long double>(x) * x;
        if (x < direct_min) direct_min = x;
        if (x > direct_max) direct_max = x;
    }
    const long double direct_average = direct_sum / samples;
    const long double direct_rms = std::sqrt(direct_squares / samples);

    std::printf("record: %zu int16 samples of one channel, fed in blocks of %zu\n\n", samples, block);
    std::printf("%-10s %22s %22s\n", "", "zrcalc (double)", "direct (long double)");
    std::printf("%-10s %22d %22d\n", "minimum", minimum, direct_min);
    std::printf("%-10s %22d %22d\n", "maximum", maximum, direct_max);
    std::printf("%-10s %22.12f %22.12Lf\n", "average", average, direct_average);
    std::printf("%-10s %22.12f %22.12Lf\n", "RMS", rms, direct_rms);
    const bool agree = minimum == direct_min && maximum == direct_max &&
                       std::fabs(average - static_cast<double>(direct_average)) < 1e-9 &&
                       std::fabs(rms - static_cast<double>(direct_rms)) < 1e-9;
    std::printf("\n%s\n", agree ? "the figures agree" : "THE FIGURES DISAGREE");
    return agree ? 0 : 1;
}
