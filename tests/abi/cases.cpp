// One ABI case per entry point: a set of arguments, grouped by subsystem. Counts
// pass the widest vector pass (32 floats), so the vector loops run under the
// trampoline's frame; arrays hold random values.
#include <cstdint>

#include "abi_call.h"

namespace {
constexpr uint32_t kN = 37;
}

#define ARRAY(T, n) memory.values<T>(n)

ZRABI_CASE(zrcalcGetVersion) { entry.check(ARRAY(int32_t, 1), ARRAY(int32_t, 1), 13, ARRAY(int32_t, 1)); }

// --- Element-wise arithmetic. The flag of the complex magnitudes goes as false:
// --- the trampoline fills the upper bytes of its slot, which a callee reading the
// --- whole slot would take for true.
ZRABI_CASE(zrcalcAddScalarToVector_double_cdecl) { entry.check(ARRAY(double, kN), ARRAY(double, kN), 0.1, kN); }
ZRABI_CASE(zrcalcAddScalarToVector_float_cdecl) { entry.check(ARRAY(float, kN), ARRAY(float, kN), 0.1f, kN); }
ZRABI_CASE(zrcalcAddVectorsAndMultiplyByScalar_float)
{
    entry.check(ARRAY(float, kN), ARRAY(float, kN), ARRAY(float, kN), kN, 0.3f, 1.7f);
}
ZRABI_CASE(zrcalcSubtractVectorsAndMultiplyByScalar_float)
{
    entry.check(ARRAY(float, kN), ARRAY(float, kN), ARRAY(float, kN), kN, 0.7f);
}
ZRABI_CASE(zrcalcMultiplyVectorByScalar_double) { entry.check(ARRAY(double, kN), kN, 1.1); }
ZRABI_CASE(zrcalcMultiplyVectorByScalar_float) { entry.check(ARRAY(float, kN), kN, 1.1f); }
ZRABI_CASE(zrcalcMultiplyVectors_double_cdecl) { entry.check(ARRAY(double, kN), ARRAY(double, kN), ARRAY(double, kN), kN); }
ZRABI_CASE(zrcalcMultiplyVectors_float_cdecl) { entry.check(ARRAY(float, kN), ARRAY(float, kN), ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcSqrtVector_double_cdecl) { entry.check(ARRAY(double, kN), ARRAY(double, kN), kN); }
ZRABI_CASE(zrcalcSqrtVector_float_cdecl) { entry.check(ARRAY(float, kN), ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcComplexVectorAbs_double_cdecl) { entry.check(ARRAY(double, kN), ARRAY(double, 2 * kN), false, kN); }
ZRABI_CASE(zrcalcComplexVectorAbs_float_cdecl) { entry.check(ARRAY(float, kN), ARRAY(float, 2 * kN), false, kN); }
ZRABI_CASE(zrcalcVectorsMax_double_cdecl) { entry.check(ARRAY(double, kN), ARRAY(double, kN), ARRAY(double, kN), kN); }
ZRABI_CASE(zrcalcVectorsMax_float_cdecl) { entry.check(ARRAY(float, kN), ARRAY(float, kN), ARRAY(float, kN), kN); }

// --- Reductions and conversions: double results in ST(0).
ZRABI_CASE(zrcalcSumValues_double) { entry.check(ARRAY(double, kN), kN); }
ZRABI_CASE(zrcalcSumValues_float) { entry.check(ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcSumAbsValues_float) { entry.check(ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcSumSquaredValues_float) { entry.check(ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcMultiplyVectorsAndCalcSum_float) { entry.check(ARRAY(float, kN), ARRAY(float, kN), kN); }
ZRABI_CASE(zrcalcConvertInt16ToInt32) { entry.check(ARRAY(int16_t, kN), ARRAY(int32_t, kN), kN); }
ZRABI_CASE(zrcalcConvertInt32ToInt16) { entry.check(ARRAY(int32_t, kN), ARRAY(int16_t, kN), kN); }

// --- Channel data: a parameter block behind one pointer (int16 samples of one
// --- channel interleaved with another), doubles and floats by value.
ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_double)
{
    entry.check(memory.block(ScaledValuesParams_double{ARRAY(int16_t, 2 * kN), ARRAY(double, kN), 0.1, -0.25,
                                                       int32_t(kN), ChannelSampleType_Int16, 2}));
}
ZRABI_CASE(zrcalcChannelGetScaledValuesAtPos_float)
{
    entry.check(memory.block(ScaledValuesParams_float{ARRAY(int16_t, 2 * kN), ARRAY(float, kN), 0.1f, -0.25f,
                                                      int32_t(kN), ChannelSampleType_Int16, 2}));
}
ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_double) { entry.check(ARRAY(double, kN), kN, 0.1, -0.3); }
ZRABI_CASE(zrcalcChannelFillBufferWithLinearFunction_float) { entry.check(ARRAY(float, kN), kN, 0.1f, -0.3f); }

// --- Statistics: results through four or five pointers, the offset by value last.
ZRABI_CASE(zrcalcGetMinMax_double) { entry.check(ARRAY(double, kN), kN, ARRAY(double, 1), ARRAY(double, 1)); }
ZRABI_CASE(zrcalcGetMinMax_float) { entry.check(ARRAY(float, kN), kN, ARRAY(float, 1), ARRAY(float, 1)); }
ZRABI_CASE(zrcalcGetMinMax_int16_t) { entry.check(ARRAY(int16_t, kN), kN, ARRAY(int16_t, 1), ARRAY(int16_t, 1)); }
ZRABI_CASE(zrcalcGetMinMax_int32_t) { entry.check(ARRAY(int32_t, kN), kN, ARRAY(int32_t, 1), ARRAY(int32_t, 1)); }

#define MIN_MAX_AVE_RMS(name, T, offset)                                                                     \
    ZRABI_CASE(name)                                                                                         \
    {                                                                                                        \
        entry.check(ARRAY(T, kN), kN, ARRAY(T, 1), ARRAY(T, 1), ARRAY(double, 1), ARRAY(double, 1), offset); \
    }
MIN_MAX_AVE_RMS(zrcalcGetMinMaxAveRMS_double, double, 0.5)
MIN_MAX_AVE_RMS(zrcalcGetMinMaxAveRMS_float, float, 0.5f)
MIN_MAX_AVE_RMS(zrcalcGetMinMaxAveRMS_int16_t, int16_t, 0.5f)
MIN_MAX_AVE_RMS(zrcalcGetMinMaxAveRMS_int32_t, int32_t, 0.5)

ZRABI_CASE(zrcalcMoveAndGetMinMaxAveRMS_int16_t)
{
    entry.check(ARRAY(int16_t, kN), ARRAY(int16_t, 2 * kN), kN, ARRAY(int16_t, 1), ARRAY(int16_t, 1),
                ARRAY(double, 1), ARRAY(double, 1), 0.5f, 2);
}
