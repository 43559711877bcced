// Unbalance: any count (element 0 read at count 0 too), amplitudes and angles of
// every kind, each output its own one-element block. Stated results: the totals
// are roots (not negative), and the ratios are 0 where their reference is zero or
// NaN; the inputs are only read.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    const uint32_t count = in.ConsumeBool() ? in.in<uint32_t>(0, 9) : in.in<uint32_t>(0, 300);
    const std::size_t n = std::max<uint32_t>(count, 1);
    zrfuzz::Array<float> a1(in, n), a2(in, n), a3(in, n), t1(in, n), t2(in, n), t3(in, n);
    zrfuzz::Array<float> s0(1), s1(1), s2(1), nTotal(1), zTotal(1), nPhasor(1), zPhasor(1);
    zrfuzz::Array<ZrcalcComplexFloat> z(1), p(1), neg(1);
    const PowerUnbalanceParams params{a1.data(), a2.data(), a3.data(), t1.data(), t2.data(), t3.data(),
                                      s0.data(), s1.data(), s2.data(), nTotal.data(), zTotal.data(),
                                      nPhasor.data(), zPhasor.data(), z.data(), p.data(), neg.data(), count};
    const auto before = a1.bytes(), angles = t3.bytes();
    zrcalcPowerUnbalance(&params);
    ZRFUZZ_CHECK(a1.bytes() == before && t3.bytes() == angles);
    for (float total : {s0[0], s1[0], s2[0]}) ZRFUZZ_CHECK(!(total < 0.0f));
    if (!(s1[0] > 0.0f)) ZRFUZZ_CHECK(nTotal[0] == 0.0f && zTotal[0] == 0.0f);
    if (!(std::abs(p[0].real) > 0.0f || std::abs(p[0].imag) > 0.0f) && !std::isinf(p[0].real + p[0].imag))
        ZRFUZZ_CHECK(nPhasor[0] == 0.0f && zPhasor[0] == 0.0f);
    return 0;
}
