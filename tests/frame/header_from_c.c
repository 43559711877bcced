/* The public header compiled as C, with the layout of every parameter and state
 * block. The 32-bit offsets are those of the 32-bit Windows host: 4-byte
 * pointers, doubles on 8-byte boundaries. */
#include <stddef.h>

#include "zrcalc.h"

/* S names the structure of the lines that follow. */
#if defined(__x86_64__)
#define AT(field, off32, off64) _Static_assert(offsetof(S, field) == (off64), "offset of " #field);
#define SIZE(size32, size64) _Static_assert(sizeof(S) == (size64), "size");
#else
#define AT(field, off32, off64) _Static_assert(offsetof(S, field) == (off32), "offset of " #field);
#define SIZE(size32, size64) _Static_assert(sizeof(S) == (size32), "size");
#endif

#undef S
#define S ScaledValuesParams_double
AT(source, 0, 0) AT(destination, 4, 8) AT(factor, 8, 16) AT(offset, 16, 24) AT(count, 24, 32) AT(sampleType, 28, 36)
AT(stride, 32, 40) SIZE(40, 48)

#undef S
#define S ScaledValuesParams_float
AT(source, 0, 0) AT(destination, 4, 8) AT(factor, 8, 16) AT(offset, 12, 20) AT(count, 16, 24) AT(sampleType, 20, 28)
AT(stride, 24, 32) SIZE(28, 40)

#undef S
#define S CHSInterpolatorConfig
AT(inputRate, 0, 0) AT(outputRate, 8, 8) AT(historyLength, 16, 16) SIZE(24, 24)

#undef S
#define S IIRTap
AT(w, 0, 0) AT(y, 8, 8) AT(b, 16, 16) AT(a, 24, 24) SIZE(32, 32)

#undef S
#define S IIRFilterParams
AT(type, 0, 0) AT(sectionCount, 4, 4) AT(order, 8, 8) AT(reserved, 12, 12) AT(sectionGains, 16, 16) AT(taps, 20, 24)
SIZE(24, 32)

#undef S
#define S XYValGraph2DParams
AT(count, 0, 0) AT(reserved0, 4, 4) AT(xSource, 5, 5) AT(yDataType, 6, 6) AT(xAxisMode, 7, 7) AT(index, 8, 8)
AT(yAxisMode, 12, 12) AT(reserved1, 13, 13) AT(rectLeft, 16, 16) AT(rectTop, 18, 18) AT(rectRight, 20, 20)
AT(rectBottom, 22, 22) AT(xStep, 24, 24) AT(xStart, 32, 32) AT(yFactor, 40, 40) AT(yOffset, 48, 48) AT(xMax, 56, 56)
AT(xMin, 64, 64) AT(xLogMax, 72, 72) AT(xLogMin, 80, 80) AT(yMax, 88, 88) AT(yMin, 96, 96) AT(yLogMax, 104, 104)
AT(yLogMin, 112, 112) AT(dbReference, 120, 120) AT(yData, 128, 128) AT(xData, 132, 136) AT(xPixels, 136, 144)
AT(yPixels, 140, 152) AT(processed, 144, 160) AT(dbFactor, 152, 168) SIZE(160, 176)

#undef S
#define S PowerScaleSumParams
AT(source, 0, 0) AT(destination, 4, 8) AT(absoluteSum, 8, 16) AT(factor, 16, 24) AT(count, 20, 28)
AT(accumulate, 24, 32) SIZE(32, 40)

#undef S
#define S PowerFirParams
AT(ring, 0, 0) AT(coefficientSets, 4, 8) AT(position, 8, 16) AT(coefficientSet, 12, 20) AT(ringLength, 16, 24)
SIZE(20, 32)

#undef S
#define S PowerFlickerState
AT(stageInput, 0, 0) AT(stageInput1, 4, 8) AT(stageInput2, 8, 16) AT(stageOutput, 12, 24) AT(stageOutput1, 16, 32)
AT(stageOutput2, 20, 40) AT(stageGain, 24, 48) AT(stageFeedback1, 28, 56) AT(stageFeedback2, 32, 64)
AT(weightingCoefficients, 36, 72) AT(highPassCoefficients, 40, 80) AT(bandPassOutputHistory, 44, 88)
AT(bandPassInputHistory, 48, 96) AT(weightingInputHistory, 52, 104) AT(weightingOutputHistory, 56, 112)
AT(smoothingInputHistory, 60, 120) AT(smoothingOutputHistory, 64, 128) AT(highPassInputHistory, 68, 136)
AT(highPassOutputHistory, 72, 144) AT(started, 76, 152) SIZE(80, 160)

#undef S
#define S ZrcalcComplexFloat
AT(real, 0, 0) AT(imag, 4, 4) SIZE(8, 8)

#undef S
#define S PowerUnbalanceParams
AT(amplitude1, 0, 0) AT(amplitude2, 4, 8) AT(amplitude3, 8, 16) AT(angle1, 12, 24) AT(angle2, 16, 32)
AT(angle3, 20, 40) AT(zeroTotal, 24, 48) AT(positiveTotal, 28, 56) AT(negativeTotal, 32, 64)
AT(negativeUnbalanceTotal, 36, 72) AT(zeroUnbalanceTotal, 40, 80) AT(negativeUnbalancePhasor, 44, 88)
AT(zeroUnbalancePhasor, 48, 96) AT(zeroPhasor, 52, 104) AT(positivePhasor, 56, 112) AT(negativePhasor, 60, 120)
AT(count, 64, 128) SIZE(68, 136)

/* A call through the header from C, so that the C declarations link. */
int zrcalc_version_from_c(void)
{
    int32_t major = 0, minor = 0, flag = 0;
    zrcalcGetVersion(&major, &minor, 13, &flag);
    return major * 100 + minor * 10 + flag;
}
