// The spline interpolator's whole life: a configuration of any rates (zero,
// negative, NaN, infinite, tiny and huge ratios) and history length, then blocks
// of random lengths (too long and empty ones too), stops, resets and the destroy.
// Every call's status is checked against the contract; a failing call writes no
// out parameter; the values of a call are all readable (AddressSanitizer) and,
// while every sample since the start of the stream is within +-1e6, within the
// bounds of a cubic through such points.
#include "fuzz_input.h"
#include "zrcalc.h"

namespace {

// Output values that one call can produce (the buffer's size); past 2^31 Create refuses.
double capacity(double ratio, uint32_t length)
{
    return std::fmax(std::trunc((length + 1.0) * ratio), std::trunc((length - 2.0) * ratio) + 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    CHSInterpolatorConfig config{};
    config.inputRate = in.ConsumeBool() ? in.value<double>() : in.ConsumeFloatingPointInRange(0.01, 100.0);
    config.outputRate = in.ConsumeBool() ? in.value<double>() : in.ConsumeFloatingPointInRange(0.01, 100.0);
    config.historyLength = in.ConsumeBool() ? uint32_t(1) << in.in(0, 14) : in.in<uint32_t>(0, 5000);
    const bool ratesValid = config.inputRate > 0 && config.outputRate > 0;
    const uint32_t length = config.historyLength;
    const bool lengthValid = length >= 2 && (length & (length - 1)) == 0;
    const double ratio = config.outputRate / config.inputRate;
    // Keep the memory of a run small: buffers of more than 2^22 values are only
    // created when the contract refuses them (2^31 values or more).
    const bool huge = ratesValid && lengthValid && !(capacity(ratio, length) < 2147483647.0);
    if (ratesValid && lengthValid && !huge && capacity(ratio, length) > double(1 << 22)) return 0;

    CHSInterpolator* const untouched = reinterpret_cast<CHSInterpolator*>(uintptr_t(0x5A5A5A50));
    CHSInterpolator* handle = untouched;
    const int32_t created = zrcalcCHSInterpolator_Create(&handle, &config);
    if (!ratesValid) {
        ZRFUZZ_CHECK(created == CHSInterpolator_InvalidArgument && handle == untouched);
        return 0;
    }
    if (!lengthValid) {
        ZRFUZZ_CHECK(created == CHSInterpolator_InvalidHistoryLength && handle == untouched);
        return 0;
    }
    if (huge) {
        ZRFUZZ_CHECK(created == CHSInterpolator_InvalidArgument && handle == untouched);
        return 0;
    }
    if (created != CHSInterpolator_Success) return 0;  // memory not to be had
    ZRFUZZ_CHECK(handle != untouched && handle != nullptr);

    bool stopped = false, bounded = true;
    for (int step = in.in(1, 64); step > 0 && in.remaining_bytes() > 0; --step) {
        float* const noValues = reinterpret_cast<float*>(uintptr_t(0x5A5A5A58));
        float* values = noValues;
        uint32_t valueCount = 0xA5A5A5A5u;
        int32_t status;
        switch (in.in(0, 5)) {
        case 0:
            status = zrcalcCHSInterpolator_Reset(handle);
            ZRFUZZ_CHECK(status == CHSInterpolator_Success);
            stopped = false, bounded = true;
            continue;
        case 1:
            status = zrcalcCHSInterpolator_Stop(handle, &values, &valueCount);
            if (stopped) {
                ZRFUZZ_CHECK(status == CHSInterpolator_Stopped);
            } else {
                ZRFUZZ_CHECK(status == CHSInterpolator_Success);
                stopped = true;
            }
            break;
        default: {
            const uint32_t n = in.ConsumeBool() ? in.in<uint32_t>(0, length + 1) : in.in<uint32_t>(0, 40);
            zrfuzz::Array<float> block(n);
            for (uint32_t i = 0; i < n; ++i) {
                block[i] = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-1e6f, 1e6f) : in.value<float>();
                bounded = bounded && std::fabs(block[i]) <= 1e6f;
            }
            status = zrcalcCHSInterpolator_InterpolateValues(handle, block.data(), n, &values, &valueCount);
            if (n == 0)
                ZRFUZZ_CHECK(status == CHSInterpolator_InvalidArgument);
            else if (n > length - 2)
                ZRFUZZ_CHECK(status == CHSInterpolator_BlockTooLong);
            else if (stopped)
                ZRFUZZ_CHECK(status == CHSInterpolator_Stopped);
            else
                ZRFUZZ_CHECK(status == CHSInterpolator_Success);
        }
        }
        if (status != CHSInterpolator_Success) {
            ZRFUZZ_CHECK(values == noValues && valueCount == 0xA5A5A5A5u);
            continue;
        }
        ZRFUZZ_CHECK(values != noValues && valueCount != 0xA5A5A5A5u);
        for (uint32_t k = 0; k < valueCount; ++k)
            ZRFUZZ_CHECK(!bounded || std::fabs(values[k]) <= 1e7f);
    }
    ZRFUZZ_CHECK(zrcalcCHSInterpolator_Destroy(handle) == CHSInterpolator_Success);
    return 0;
}
