// XY graph values: one call with every field drawn (axis modes, sources, type
// codes, ranges and data of every kind), the X array as long as the call reads
// and the outputs exactly the points it converts. Stated results: `processed` is
// 4 from a count of 4 on, else 1 (0 for a count of 0, which converts nothing);
// every pixel lies in [-32768, 32767]; the block and the data are only read.
#include "fuzz_input.h"
#include "zrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::Input in(data, size);
    XYValGraph2DParams g{};
    g.count = in.ConsumeBool() ? in.in<uint32_t>(0, 9) : in.integer<uint32_t>();
    const uint32_t points = g.count >= 4 ? 4 : g.count == 0 ? 0 : 1;
    g.xSource = in.in<uint8_t>(0, 3), g.yDataType = in.ConsumeBool() ? 5 : in.integer<uint8_t>();
    g.xAxisMode = in.in<uint8_t>(0, 2), g.yAxisMode = in.in<uint8_t>(0, 2);
    g.index = in.in<uint32_t>(0, 64);
    g.rectLeft = in.integer<int16_t>(), g.rectTop = in.integer<int16_t>();
    g.rectRight = in.integer<int16_t>(), g.rectBottom = in.integer<int16_t>();
    for (double* field : {&g.xStep, &g.xStart, &g.yFactor, &g.yOffset, &g.xMax, &g.xMin, &g.xLogMax, &g.xLogMin,
                          &g.yMax, &g.yMin, &g.yLogMax, &g.yLogMin, &g.dbReference, &g.dbFactor})
        *field = in.ConsumeBool() ? in.value<double>() : 1.0;
    zrfuzz::Array<double> x(in, g.xSource == 1 ? g.index + points : 0), yd(in, g.yDataType == 5 ? 0 : points);
    zrfuzz::Array<float> yf(in, g.yDataType == 5 ? points : 0);
    zrfuzz::Array<int32_t> xp(points), yp(points);
    zrfuzz::Array<uint32_t> processed(1);
    g.xData = x.data(), g.yData = g.yDataType == 5 ? static_cast<const void*>(yf.data()) : yd.data();
    g.xPixels = xp.data(), g.yPixels = yp.data(), g.processed = processed.data();
    const XYValGraph2DParams copy = g;
    zrcalcGetXYValGraph2D(&g);
    ZRFUZZ_CHECK(std::memcmp(&copy, &g, sizeof g) == 0 && processed[0] == points);
    for (uint32_t j = 0; j < points; ++j)
        ZRFUZZ_CHECK(xp[j] >= -32768 && xp[j] <= 32767 && yp[j] >= -32768 && yp[j] <= 32767);
    return 0;
}
