// The IIR filter block: any type, section count and order (negative ones too),
// the taps and gains exactly as many as the block names, then a run of single
// samples and arrays (in place or not) through all four entry points. Stated
// results: without sections the output is the input and nothing is written; with
// sections every output lies in [-1e10, 1e10], a NaN included; coefficients and
// gains are only read; a count of 0 writes nothing.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    IIRFilterParams filter{};
    filter.type = in.ConsumeBool() ? in.in(0, 4) : in.integer<int32_t>();
    filter.sectionCount = in.in(-2, 6);
    filter.order = in.ConsumeBool() ? in.in(-2, 10) : in.integer<int32_t>() % 12;
    filter.reserved = in.integer<uint32_t>();
    const int32_t sections = std::max(filter.sectionCount, 0);
    const int32_t taps = filter.order == 2 || filter.type == 3 ? 3 : std::max(filter.order, 0) + 1;
    zrfuzz::Array<double> gains(in, std::size_t(sections));
    zrfuzz::Array<IIRTap> tap(std::size_t(sections) * std::size_t(taps));
    for (std::size_t i = 0; i < tap.size(); ++i)
        tap[i] = {in.value<double>(), in.value<double>(), in.value<double>(), in.value<double>()};
    filter.sectionGains = gains.data();
    filter.taps = tap.data();
    const auto gainsBefore = gains.bytes();
    std::vector<std::pair<double, double>> coefficients;
    for (std::size_t i = 0; i < tap.size(); ++i) coefficients.emplace_back(tap[i].b, tap[i].a);

    const auto limited = [&](double y) { return sections == 0 || (y >= -1e10 && y <= 1e10); };
    for (int step = in.in(1, 16); step > 0 && in.remaining_bytes() > 0; --step) {
        const auto tapsBefore = tap.bytes();
        switch (in.in(0, 3)) {
        case 0: {
            const double x = in.value<double>(), y = zrcalcIIRFilter_double(&filter, x);
            ZRFUZZ_CHECK(limited(y) && (sections > 0 || std::memcmp(&x, &y, sizeof x) == 0));
            break;
        }
        case 1: {
            const float x = in.value<float>();
            const double y = zrcalcIIRFilter_float(&filter, x), widened = x;
            ZRFUZZ_CHECK(limited(y) && (sections > 0 || std::memcmp(&widened, &y, sizeof y) == 0));
            break;
        }
        default: {
            const uint32_t count = in.in<uint32_t>(0, 300);
            const bool inPlace = in.ConsumeBool(), isDouble = in.ConsumeBool();
            zrfuzz::Array<double> sd(in, isDouble ? count : 0), dd(isDouble && !inPlace ? count : 0);
            zrfuzz::Array<float> sf(in, isDouble ? 0 : count), df(!isDouble && !inPlace ? count : 0);
            const auto sourceBefore = isDouble ? sd.bytes() : sf.bytes();
            if (isDouble)
                zrcalcIIRFilterArr_double(&filter, sd.data(), inPlace ? sd.data() : dd.data(), count);
            else
                zrcalcIIRFilterArr_float(&filter, sf.data(), inPlace ? sf.data() : df.data(), count);
            if (!inPlace) ZRFUZZ_CHECK((isDouble ? sd.bytes() : sf.bytes()) == sourceBefore);
            for (uint32_t i = 0; i < count; ++i)
                ZRFUZZ_CHECK(limited(isDouble ? (inPlace ? sd : dd)[i] : (inPlace ? sf : df)[i]));
            if (sections == 0)
                ZRFUZZ_CHECK(sourceBefore == (isDouble ? (inPlace ? sd : dd).bytes() : (inPlace ? sf : df).bytes()));
            if (count == 0) ZRFUZZ_CHECK(tap.bytes() == tapsBefore);
        }
        }
        if (sections == 0) ZRFUZZ_CHECK(tap.bytes() == tapsBefore);
    }
    ZRFUZZ_CHECK(gains.bytes() == gainsBefore);
    for (std::size_t i = 0; i < tap.size(); ++i)
        ZRFUZZ_CHECK(std::memcmp(&tap[i].b, &coefficients[i].first, 8) == 0 &&
                     std::memcmp(&tap[i].a, &coefficients[i].second, 8) == 0);
    return 0;
}
