// The FIR filter over a ring buffer: any length and position, inside the
// contract (0 <= position <= length) and outside it (taken modulo the length; no
// taps give 0), the ring and the coefficients exactly length floats. Reads only.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    const bool inContract = in.ConsumeBool();
    const int32_t length = inContract ? in.in(0, 600) : in.in(-3, 600);
    const int32_t position = inContract ? in.in(0, std::max(length, 0)) : in.integer<int32_t>();
    const std::size_t n = std::size_t(std::max(length, 0));
    zrfuzz::Array<float> samples(in, n), coefficients(in, n);
    const auto before = samples.bytes(), coefficientsBefore = coefficients.bytes();
    const double y = zrcalcFIRFilter_float(samples.data(), coefficients.data(), length, position);
    ZRFUZZ_CHECK(samples.bytes() == before && coefficients.bytes() == coefficientsBefore);
    if (length <= 0) ZRFUZZ_CHECK(y == 0.0);
    return 0;
}
