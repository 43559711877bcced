// The power FIR: a ring of any length and any position (a ring shorter than the
// window and a position past its end are outside the contract and read only the
// ring), a coefficient set chosen among those allocated. Reads only.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    PowerFirParams p{};
    const bool inContract = in.ConsumeBool();
    p.ringLength = inContract ? in.in<uint32_t>(16, 600) : in.in<uint32_t>(0, 40);
    p.position = inContract ? in.in<uint32_t>(0, p.ringLength) : in.integer<uint32_t>();
    const uint32_t sets = in.in<uint32_t>(1, 4);
    p.coefficientSet = in.in<uint32_t>(0, sets - 1);
    zrfuzz::Array<float> ring(in, p.ringLength), coefficients(in, 16 * sets);
    p.ring = ring.data();
    p.coefficientSets = coefficients.data();
    const auto before = ring.bytes(), coefficientsBefore = coefficients.bytes();
    const float y = zrcalcPowerCalcFIR_float(&p);
    ZRFUZZ_CHECK(ring.bytes() == before && coefficients.bytes() == coefficientsBefore);
    if (p.ringLength == 0) ZRFUZZ_CHECK(y == 0.0f);
    return 0;
}
