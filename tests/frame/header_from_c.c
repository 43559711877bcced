/* The public header compiled as C, with the layout of every parameter and state
 * block. The 32-bit offsets are those of the 32-bit Windows host: 4-byte
 * pointers, doubles on 8-byte boundaries. */
#include <stddef.h>

#include "zrcalc.h"

#if defined(__x86_64__)
#define LAYOUT(type, field, off32, off64) _Static_assert(offsetof(type, field) == (off64), #type "." #field);
#define SIZE(type, size32, size64) _Static_assert(sizeof(type) == (size64), "sizeof " #type);
#else
#define LAYOUT(type, field, off32, off64) _Static_assert(offsetof(type, field) == (off32), #type "." #field);
#define SIZE(type, size32, size64) _Static_assert(sizeof(type) == (size32), "sizeof " #type);
#endif

LAYOUT(ScaledValuesParams_double, source, 0, 0)
LAYOUT(ScaledValuesParams_double, destination, 4, 8)
LAYOUT(ScaledValuesParams_double, factor, 8, 16)
LAYOUT(ScaledValuesParams_double, offset, 16, 24)
LAYOUT(ScaledValuesParams_double, count, 24, 32)
LAYOUT(ScaledValuesParams_double, sampleType, 28, 36)
LAYOUT(ScaledValuesParams_double, stride, 32, 40)
SIZE(ScaledValuesParams_double, 40, 48)

LAYOUT(ScaledValuesParams_float, source, 0, 0)
LAYOUT(ScaledValuesParams_float, destination, 4, 8)
LAYOUT(ScaledValuesParams_float, factor, 8, 16)
LAYOUT(ScaledValuesParams_float, offset, 12, 20)
LAYOUT(ScaledValuesParams_float, count, 16, 24)
LAYOUT(ScaledValuesParams_float, sampleType, 20, 28)
LAYOUT(ScaledValuesParams_float, stride, 24, 32)
SIZE(ScaledValuesParams_float, 28, 40)

LAYOUT(CHSInterpolatorConfig, inputRate, 0, 0)
LAYOUT(CHSInterpolatorConfig, outputRate, 8, 8)
LAYOUT(CHSInterpolatorConfig, historyLength, 16, 16)
SIZE(CHSInterpolatorConfig, 24, 24)

LAYOUT(IIRTap, w, 0, 0)
LAYOUT(IIRTap, y, 8, 8)
LAYOUT(IIRTap, b, 16, 16)
LAYOUT(IIRTap, a, 24, 24)
SIZE(IIRTap, 32, 32)

LAYOUT(IIRFilterParams, type, 0, 0)
LAYOUT(IIRFilterParams, sectionCount, 4, 4)
LAYOUT(IIRFilterParams, order, 8, 8)
LAYOUT(IIRFilterParams, reserved, 12, 12)
LAYOUT(IIRFilterParams, sectionGains, 16, 16)
LAYOUT(IIRFilterParams, taps, 20, 24)
SIZE(IIRFilterParams, 24, 32)

LAYOUT(XYValGraph2DParams, count, 0, 0)
LAYOUT(XYValGraph2DParams, reserved0, 4, 4)
LAYOUT(XYValGraph2DParams, xSource, 5, 5)
LAYOUT(XYValGraph2DParams, yDataType, 6, 6)
LAYOUT(XYValGraph2DParams, xAxisMode, 7, 7)
LAYOUT(XYValGraph2DParams, index, 8, 8)
LAYOUT(XYValGraph2DParams, yAxisMode, 12, 12)
LAYOUT(XYValGraph2DParams, reserved1, 13, 13)
LAYOUT(XYValGraph2DParams, rectLeft, 16, 16)
LAYOUT(XYValGraph2DParams, rectTop, 18, 18)
LAYOUT(XYValGraph2DParams, rectRight, 20, 20)
LAYOUT(XYValGraph2DParams, rectBottom, 22, 22)
LAYOUT(XYValGraph2DParams, xStep, 24, 24)
LAYOUT(XYValGraph2DParams, xStart, 32, 32)
LAYOUT(XYValGraph2DParams, yFactor, 40, 40)
LAYOUT(XYValGraph2DParams, yOffset, 48, 48)
LAYOUT(XYValGraph2DParams, xMax, 56, 56)
LAYOUT(XYValGraph2DParams, xMin, 64, 64)
LAYOUT(XYValGraph2DParams, xLogMax, 72, 72)
LAYOUT(XYValGraph2DParams, xLogMin, 80, 80)
LAYOUT(XYValGraph2DParams, yMax, 88, 88)
LAYOUT(XYValGraph2DParams, yMin, 96, 96)
LAYOUT(XYValGraph2DParams, yLogMax, 104, 104)
LAYOUT(XYValGraph2DParams, yLogMin, 112, 112)
LAYOUT(XYValGraph2DParams, dbReference, 120, 120)
LAYOUT(XYValGraph2DParams, yData, 128, 128)
LAYOUT(XYValGraph2DParams, xData, 132, 136)
LAYOUT(XYValGraph2DParams, xPixels, 136, 144)
LAYOUT(XYValGraph2DParams, yPixels, 140, 152)
LAYOUT(XYValGraph2DParams, processed, 144, 160)
LAYOUT(XYValGraph2DParams, dbFactor, 152, 168)
SIZE(XYValGraph2DParams, 160, 176)

LAYOUT(PowerScaleSumParams, source, 0, 0)
LAYOUT(PowerScaleSumParams, destination, 4, 8)
LAYOUT(PowerScaleSumParams, absoluteSum, 8, 16)
LAYOUT(PowerScaleSumParams, factor, 16, 24)
LAYOUT(PowerScaleSumParams, count, 20, 28)
LAYOUT(PowerScaleSumParams, accumulate, 24, 32)
SIZE(PowerScaleSumParams, 32, 40)

LAYOUT(PowerFirParams, ring, 0, 0)
LAYOUT(PowerFirParams, coefficientSets, 4, 8)
LAYOUT(PowerFirParams, position, 8, 16)
LAYOUT(PowerFirParams, coefficientSet, 12, 20)
LAYOUT(PowerFirParams, ringLength, 16, 24)
SIZE(PowerFirParams, 20, 32)

LAYOUT(PowerFlickerState, stageInput, 0, 0)
LAYOUT(PowerFlickerState, stageInput1, 4, 8)
LAYOUT(PowerFlickerState, stageInput2, 8, 16)
LAYOUT(PowerFlickerState, stageOutput, 12, 24)
LAYOUT(PowerFlickerState, stageOutput1, 16, 32)
LAYOUT(PowerFlickerState, stageOutput2, 20, 40)
LAYOUT(PowerFlickerState, stageGain, 24, 48)
LAYOUT(PowerFlickerState, stageFeedback1, 28, 56)
LAYOUT(PowerFlickerState, stageFeedback2, 32, 64)
LAYOUT(PowerFlickerState, weightingCoefficients, 36, 72)
LAYOUT(PowerFlickerState, highPassCoefficients, 40, 80)
LAYOUT(PowerFlickerState, bandPassOutputHistory, 44, 88)
LAYOUT(PowerFlickerState, bandPassInputHistory, 48, 96)
LAYOUT(PowerFlickerState, weightingInputHistory, 52, 104)
LAYOUT(PowerFlickerState, weightingOutputHistory, 56, 112)
LAYOUT(PowerFlickerState, smoothingInputHistory, 60, 120)
LAYOUT(PowerFlickerState, smoothingOutputHistory, 64, 128)
LAYOUT(PowerFlickerState, highPassInputHistory, 68, 136)
LAYOUT(PowerFlickerState, highPassOutputHistory, 72, 144)
LAYOUT(PowerFlickerState, started, 76, 152)
SIZE(PowerFlickerState, 80, 160)

LAYOUT(ZrcalcComplexFloat, real, 0, 0)
LAYOUT(ZrcalcComplexFloat, imag, 4, 4)
SIZE(ZrcalcComplexFloat, 8, 8)

LAYOUT(PowerUnbalanceParams, amplitude1, 0, 0)
LAYOUT(PowerUnbalanceParams, amplitude2, 4, 8)
LAYOUT(PowerUnbalanceParams, amplitude3, 8, 16)
LAYOUT(PowerUnbalanceParams, angle1, 12, 24)
LAYOUT(PowerUnbalanceParams, angle2, 16, 32)
LAYOUT(PowerUnbalanceParams, angle3, 20, 40)
LAYOUT(PowerUnbalanceParams, zeroTotal, 24, 48)
LAYOUT(PowerUnbalanceParams, positiveTotal, 28, 56)
LAYOUT(PowerUnbalanceParams, negativeTotal, 32, 64)
LAYOUT(PowerUnbalanceParams, negativeUnbalanceTotal, 36, 72)
LAYOUT(PowerUnbalanceParams, zeroUnbalanceTotal, 40, 80)
LAYOUT(PowerUnbalanceParams, negativeUnbalancePhasor, 44, 88)
LAYOUT(PowerUnbalanceParams, zeroUnbalancePhasor, 48, 96)
LAYOUT(PowerUnbalanceParams, zeroPhasor, 52, 104)
LAYOUT(PowerUnbalanceParams, positivePhasor, 56, 112)
LAYOUT(PowerUnbalanceParams, negativePhasor, 60, 120)
LAYOUT(PowerUnbalanceParams, count, 64, 128)
SIZE(PowerUnbalanceParams, 68, 136)

/* A call through the header from C, so that the C declarations link. */
int zrcalc_version_from_c(void)
{
    int32_t major = 0, minor = 0, flag = 0;
    zrcalcGetVersion(&major, &minor, 13, &flag);
    return major * 100 + minor * 10 + flag;
}
