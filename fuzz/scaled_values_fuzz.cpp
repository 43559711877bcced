// Scaled values at position: any type code (valid or not), count and stride, the
// raw buffer exactly as long as the stride reaches (backwards for a negative
// one), in place where the contract allows it. A count of 0 or less, or an
// unknown code, writes nothing.
#include "fuzz_input.h"
#include "zrcalc.h"

namespace {

constexpr std::size_t kRawSize[] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 4, 8};

template <class Out, class Params, class Call>
void run(zrfuzz::Input& in, Call call)
{
    Params p{};
    p.count = in.in<int32_t>(-3, 300);
    p.sampleType = in.ConsumeBool() ? in.in<uint32_t>(0, 10) : in.integer<uint32_t>();
    p.stride = in.in<int32_t>(-5, 5);
    p.factor = in.value<Out>();
    p.offset = in.value<Out>();
    const bool known = p.sampleType <= 10, writes = known && p.count > 0;
    const std::size_t size = known ? kRawSize[p.sampleType] : 8;
    const std::size_t n = writes ? std::size_t(p.count) * (p.sampleType >= 9 ? 2 : 1) : 4;
    const std::size_t span = writes ? ((n - 1) * std::size_t(std::abs(p.stride)) + 1) * size : 16;
    zrfuzz::Array<unsigned char> raw(in, span);
    zrfuzz::Array<Out> destination(in, n);
    p.source = p.stride < 0 ? raw.data() + span - size : raw.data();
    p.destination = destination.data();
    const bool inPlace = size == sizeof(Out) && p.stride == 1 && in.ConsumeBool();
    if (inPlace) p.destination = reinterpret_cast<Out*>(raw.data());
    const auto before = destination.bytes(), rawBefore = raw.bytes();
    call(&p);
    if (!writes) ZRFUZZ_CHECK(destination.bytes() == before && raw.bytes() == rawBefore);
    if (!inPlace) ZRFUZZ_CHECK(raw.bytes() == rawBefore);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    if (in.ConsumeBool())
        run<double, ScaledValuesParams_double>(in, zrcalcChannelGetScaledValuesAtPos_double);
    else
        run<float, ScaledValuesParams_float>(in, zrcalcChannelGetScaledValuesAtPos_float);
    return 0;
}
