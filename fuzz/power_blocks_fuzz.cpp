// Power operations with a parameter block or a count with limits: the scaled copy
// with its absolute sum (a count of 0 or less writes nothing, the sum included;
// narrowing in place on the source's own memory), the harmonic angles (the
// spectrum exactly as long as order n's line needs; a negative, NaN or too large
// spacing reads and writes nothing; angles[0] is never written) and the strongest
// line (count 0 and 1 read nothing, and 1 comes back).
#include "fuzz_input.h"
#include "zrcalc.h"

namespace {

void scaled_copy(zrfuzz::Input& in)
{
    const int32_t count = in.ConsumeBool() ? in.in(-3, 300) : in.integer<int32_t>();
    const std::size_t n = std::size_t(std::clamp(count, 0, 300));
    if (count > 300) return;
    zrfuzz::Array<double> source(in, n + !n);  // one double that must stay unread at count 0 or less
    zrfuzz::Array<float> destination(in, n + !n);
    const bool inPlace = in.ConsumeBool();
    PowerScaleSumParams p{source.data(), inPlace ? reinterpret_cast<float*>(source.data()) : destination.data(),
                          in.value<double>(), in.value<float>(), count, in.ConsumeBool() ? 0 : in.integer<int32_t>()};
    const PowerScaleSumParams before = p;
    const auto sourceBefore = source.bytes(), destinationBefore = destination.bytes();
    zrcalcPowerSumVectorMultipliedWithScalar_double(&p);
    if (count <= 0 || !p.accumulate) ZRFUZZ_CHECK(std::memcmp(&p.absoluteSum, &before.absoluteSum, 8) == 0);
    if (count <= 0) ZRFUZZ_CHECK(source.bytes() == sourceBefore && destination.bytes() == destinationBefore);
    if (!inPlace) ZRFUZZ_CHECK(source.bytes() == sourceBefore);
}

void angles(zrfuzz::Input& in)
{
    const int32_t orders = in.in(-2, 200);
    const float lines = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(0.0f, 40.0f) : in.value<float>();
    const float product = float(std::max(orders, 0)) * lines;  // order n's position, as the operation forms it
    const bool reads = orders >= 1 && lines >= 0.0f && product < 2147483648.0f;
    if (reads && product > 20000.0f) return;  // keep the spectrum small
    const std::size_t spectrumLines = reads ? std::size_t(int32_t(product)) + 2 : 0;
    zrfuzz::Array<float> spectrum(in, 2 * spectrumLines), angle(in, std::size_t(std::max(orders, 0)) + 1);
    const auto angleBefore = angle.bytes();
    zrcalcPowerAngles(spectrum.data(), angle.data(), orders, in.value<float>(), lines);
    const auto after = angle.bytes();
    if (!reads) ZRFUZZ_CHECK(after == angleBefore);
    ZRFUZZ_CHECK(std::equal(after.begin(), after.begin() + 4, angleBefore.begin()));
}

void strongest(zrfuzz::Input& in)
{
    const uint32_t count = in.in<uint32_t>(0, 300);
    zrfuzz::Array<float> lines(in, count < 2 ? 0 : 2 * std::size_t(count));
    const int32_t index = zrcalcPowerFindIndexOfMaxAmplitude(lines.data(), count);
    ZRFUZZ_CHECK(index >= 1 && (count < 2 ? index == 1 : uint32_t(index) < count));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    switch (in.in(0, 2)) {
    case 0: scaled_copy(in); break;
    case 1: angles(in); break;
    default: strongest(in);
    }
    return 0;
}
