/* The public header compiled as C, with the layout of every parameter and state
 * block. The 32-bit offsets are those of the 32-bit Windows host: 4-byte
 * pointers, doubles on 8-byte boundaries. */
#include <stddef.h>

#include "zrcalc.h"

/* AT(S, field, 32-bit offset, x86-64 offset); SIZE(S, 32-bit size, x86-64 size). */
#define PICK(on32, on64) (sizeof(void*) == 8 ? (on64) : (on32))
#define AT(S, field, off32, off64) _Static_assert(offsetof(S, field) == PICK(off32, off64), #S "." #field);
#define SIZE(S, size32, size64) _Static_assert(sizeof(S) == PICK(size32, size64), "sizeof " #S);

typedef ScaledValuesParams_double S1;
AT(S1, source, 0, 0) AT(S1, destination, 4, 8) AT(S1, factor, 8, 16) AT(S1, offset, 16, 24) AT(S1, count, 24, 32)
AT(S1, sampleType, 28, 36) AT(S1, stride, 32, 40) SIZE(S1, 40, 48)

typedef ScaledValuesParams_float S2;
AT(S2, source, 0, 0) AT(S2, destination, 4, 8) AT(S2, factor, 8, 16) AT(S2, offset, 12, 20) AT(S2, count, 16, 24)
AT(S2, sampleType, 20, 28) AT(S2, stride, 24, 32) SIZE(S2, 28, 40)

typedef CHSInterpolatorConfig S3;
AT(S3, inputRate, 0, 0) AT(S3, outputRate, 8, 8) AT(S3, historyLength, 16, 16) SIZE(S3, 24, 24)

typedef IIRTap S4;
AT(S4, w, 0, 0) AT(S4, y, 8, 8) AT(S4, b, 16, 16) AT(S4, a, 24, 24) SIZE(S4, 32, 32)

typedef IIRFilterParams S5;
AT(S5, type, 0, 0) AT(S5, sectionCount, 4, 4) AT(S5, order, 8, 8) AT(S5, reserved, 12, 12)
AT(S5, sectionGains, 16, 16) AT(S5, taps, 20, 24) SIZE(S5, 24, 32)

typedef XYValGraph2DParams S6;
AT(S6, count, 0, 0) AT(S6, reserved0, 4, 4) AT(S6, xSource, 5, 5) AT(S6, yDataType, 6, 6) AT(S6, xAxisMode, 7, 7)
AT(S6, index, 8, 8) AT(S6, yAxisMode, 12, 12) AT(S6, reserved1, 13, 13) AT(S6, rectLeft, 16, 16)
AT(S6, rectTop, 18, 18) AT(S6, rectRight, 20, 20) AT(S6, rectBottom, 22, 22) AT(S6, xStep, 24, 24)
AT(S6, xStart, 32, 32) AT(S6, yFactor, 40, 40) AT(S6, yOffset, 48, 48) AT(S6, xMax, 56, 56) AT(S6, xMin, 64, 64)
AT(S6, xLogMax, 72, 72) AT(S6, xLogMin, 80, 80) AT(S6, yMax, 88, 88) AT(S6, yMin, 96, 96) AT(S6, yLogMax, 104, 104)
AT(S6, yLogMin, 112, 112) AT(S6, dbReference, 120, 120) AT(S6, yData, 128, 128) AT(S6, xData, 132, 136)
AT(S6, xPixels, 136, 144) AT(S6, yPixels, 140, 152) AT(S6, processed, 144, 160) AT(S6, dbFactor, 152, 168)
SIZE(S6, 160, 176)

typedef PowerScaleSumParams S7;
AT(S7, source, 0, 0) AT(S7, destination, 4, 8) AT(S7, absoluteSum, 8, 16) AT(S7, factor, 16, 24) AT(S7, count, 20, 28)
AT(S7, accumulate, 24, 32) SIZE(S7, 32, 40)

typedef PowerFirParams S8;
AT(S8, ring, 0, 0) AT(S8, coefficientSets, 4, 8) AT(S8, position, 8, 16) AT(S8, coefficientSet, 12, 20)
AT(S8, ringLength, 16, 24) SIZE(S8, 20, 32)

typedef PowerFlickerState S9;
AT(S9, stageInput, 0, 0) AT(S9, stageInput1, 4, 8) AT(S9, stageInput2, 8, 16) AT(S9, stageOutput, 12, 24)
AT(S9, stageOutput1, 16, 32) AT(S9, stageOutput2, 20, 40) AT(S9, stageGain, 24, 48) AT(S9, stageFeedback1, 28, 56)
AT(S9, stageFeedback2, 32, 64) AT(S9, weightingCoefficients, 36, 72) AT(S9, highPassCoefficients, 40, 80)
AT(S9, bandPassOutputHistory, 44, 88) AT(S9, bandPassInputHistory, 48, 96) AT(S9, weightingInputHistory, 52, 104)
AT(S9, weightingOutputHistory, 56, 112) AT(S9, smoothingInputHistory, 60, 120) AT(S9, smoothingOutputHistory, 64, 128)
AT(S9, highPassInputHistory, 68, 136) AT(S9, highPassOutputHistory, 72, 144) AT(S9, started, 76, 152)
SIZE(S9, 80, 160)

typedef ZrcalcComplexFloat S10;
AT(S10, real, 0, 0) AT(S10, imag, 4, 4) SIZE(S10, 8, 8)

typedef PowerUnbalanceParams S11;
AT(S11, amplitude1, 0, 0) AT(S11, amplitude2, 4, 8) AT(S11, amplitude3, 8, 16) AT(S11, angle1, 12, 24)
AT(S11, angle2, 16, 32) AT(S11, angle3, 20, 40) AT(S11, zeroTotal, 24, 48) AT(S11, positiveTotal, 28, 56)
AT(S11, negativeTotal, 32, 64) AT(S11, negativeUnbalanceTotal, 36, 72) AT(S11, zeroUnbalanceTotal, 40, 80)
AT(S11, negativeUnbalancePhasor, 44, 88) AT(S11, zeroUnbalancePhasor, 48, 96) AT(S11, zeroPhasor, 52, 104)
AT(S11, positivePhasor, 56, 112) AT(S11, negativePhasor, 60, 120) AT(S11, count, 64, 128) SIZE(S11, 68, 136)
