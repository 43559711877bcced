// The one table of the library's entry points. Everything about an entry point's
// names comes from here: the _cdecl twins and the aliases (frame/twins.cpp), the
// list that the tests hold against the built library, the header and the Windows
// export definition.
//
// ZRCALC_ENTRY(name, kind, argument bytes, state)
//   kind  BOTH            stdcall under the plain name, cdecl twin name_cdecl
//         CDECL_ONLY      cdecl only; the name already ends in _cdecl
//         DECORATED       stdcall only; Windows exports it as _name@bytes
//         DECORATED_TWIN  stdcall exported as _name@bytes on Windows, cdecl twin name_cdecl
//   bytes the argument bytes that the stdcall form removes (for cdecl-only
//         entries: the bytes that the caller pushes)
//   state BUILT           defined and exported by this build
//         PLANNED         declared in the header, not built yet
//
// ZRCALC_ALIAS(alias, target, state): alias is a second name of target's entry point
// and alias_cdecl a second name of target_cdecl; state follows the target's.
//
// Order: by subsystem; each group's comment names the source files of its
// operations (a planned group names the file when it is built). The export
// ordinals are the byte order of the names, which the tests derive; the order
// here carries no meaning.
#ifndef ZRCALC_FRAME_ENTRY_TABLE_H
#define ZRCALC_FRAME_ENTRY_TABLE_H

#define ZRCALC_ENTRY_POINTS(ZRCALC_ENTRY)                                                   \
    /* frame/version.cpp */                                                                 \
    ZRCALC_ENTRY(zrcalcGetVersion, BOTH, 16, BUILT)                                         \
    /* element-wise vector arithmetic: vector/elementwise.cpp */                            \
    ZRCALC_ENTRY(zrcalcAddScalarToVector_double_cdecl, CDECL_ONLY, 20, BUILT)               \
    ZRCALC_ENTRY(zrcalcAddScalarToVector_float_cdecl, CDECL_ONLY, 16, BUILT)                \
    ZRCALC_ENTRY(zrcalcAddVectorsAndMultiplyByScalar_float, BOTH, 24, BUILT)                \
    ZRCALC_ENTRY(zrcalcSubtractVectorsAndMultiplyByScalar_float, BOTH, 20, BUILT)           \
    ZRCALC_ENTRY(zrcalcMultiplyVectorByScalar_double, BOTH, 16, BUILT)                      \
    ZRCALC_ENTRY(zrcalcMultiplyVectorByScalar_float, BOTH, 12, BUILT)                       \
    ZRCALC_ENTRY(zrcalcMultiplyVectors_double_cdecl, CDECL_ONLY, 16, BUILT)                 \
    ZRCALC_ENTRY(zrcalcMultiplyVectors_float_cdecl, CDECL_ONLY, 16, BUILT)                  \
    ZRCALC_ENTRY(zrcalcSqrtVector_double_cdecl, CDECL_ONLY, 12, BUILT)                      \
    ZRCALC_ENTRY(zrcalcSqrtVector_float_cdecl, CDECL_ONLY, 12, BUILT)                       \
    ZRCALC_ENTRY(zrcalcComplexVectorAbs_double_cdecl, CDECL_ONLY, 16, BUILT)                \
    ZRCALC_ENTRY(zrcalcComplexVectorAbs_float_cdecl, CDECL_ONLY, 16, BUILT)                 \
    ZRCALC_ENTRY(zrcalcVectorsMax_double_cdecl, CDECL_ONLY, 16, BUILT)                      \
    ZRCALC_ENTRY(zrcalcVectorsMax_float_cdecl, CDECL_ONLY, 16, BUILT)                       \
    /* reductions, integer conversions: vector/reductions.cpp, vector/conversions.cpp */    \
    ZRCALC_ENTRY(zrcalcSumValues_double, BOTH, 8, BUILT)                                    \
    ZRCALC_ENTRY(zrcalcSumValues_float, BOTH, 8, BUILT)                                     \
    ZRCALC_ENTRY(zrcalcSumAbsValues_float, BOTH, 8, BUILT)                                  \
    ZRCALC_ENTRY(zrcalcSumSquaredValues_float, BOTH, 8, BUILT)                              \
    ZRCALC_ENTRY(zrcalcMultiplyVectorsAndCalcSum_float, BOTH, 12, BUILT)                    \
    ZRCALC_ENTRY(zrcalcConvertInt16ToInt32, BOTH, 12, BUILT)                                \
    ZRCALC_ENTRY(zrcalcConvertInt32ToInt16, BOTH, 12, BUILT)                                \
    /* channel data: channel/scaled_values.cpp, channel/linear_fill.cpp */                  \
    ZRCALC_ENTRY(zrcalcChannelGetScaledValuesAtPos_double, BOTH, 4, BUILT)                  \
    ZRCALC_ENTRY(zrcalcChannelGetScaledValuesAtPos_float, BOTH, 4, BUILT)                   \
    ZRCALC_ENTRY(zrcalcChannelFillBufferWithLinearFunction_double, BOTH, 24, BUILT)         \
    ZRCALC_ENTRY(zrcalcChannelFillBufferWithLinearFunction_float, BOTH, 16, BUILT)          \
    /* interpolation: interpolation/chs_interpolator.cpp */                                 \
    ZRCALC_ENTRY(zrcalcCHSInterpolator_Create, BOTH, 8, BUILT)                              \
    ZRCALC_ENTRY(zrcalcCHSInterpolator_Destroy, BOTH, 4, BUILT)                             \
    ZRCALC_ENTRY(zrcalcCHSInterpolator_Reset, BOTH, 4, BUILT)                               \
    ZRCALC_ENTRY(zrcalcCHSInterpolator_Stop, BOTH, 12, BUILT)                               \
    ZRCALC_ENTRY(zrcalcCHSInterpolator_InterpolateValues, BOTH, 20, BUILT)                  \
    /* statistics: statistics/min_max.cpp, min_max_ave_rms.cpp, move_min_max_ave_rms.cpp */ \
    ZRCALC_ENTRY(zrcalcGetMinMax_double, BOTH, 16, BUILT)                                   \
    ZRCALC_ENTRY(zrcalcGetMinMax_float, BOTH, 16, BUILT)                                    \
    ZRCALC_ENTRY(zrcalcGetMinMax_int16_t, BOTH, 16, BUILT)                                  \
    ZRCALC_ENTRY(zrcalcGetMinMax_int32_t, BOTH, 16, BUILT)                                  \
    ZRCALC_ENTRY(zrcalcGetMinMaxAveRMS_double, BOTH, 32, BUILT)                             \
    ZRCALC_ENTRY(zrcalcGetMinMaxAveRMS_float, BOTH, 28, BUILT)                              \
    ZRCALC_ENTRY(zrcalcGetMinMaxAveRMS_int16_t, BOTH, 28, BUILT)                            \
    ZRCALC_ENTRY(zrcalcGetMinMaxAveRMS_int32_t, BOTH, 32, BUILT)                            \
    ZRCALC_ENTRY(zrcalcMoveAndGetMinMaxAveRMS_int16_t, BOTH, 36, BUILT)                     \
    /* filters: filters/iir.cpp, filters/fir.cpp, filters/pink_noise.cpp */                 \
    ZRCALC_ENTRY(zrcalcIIRFilter_double, BOTH, 12, BUILT)                                   \
    ZRCALC_ENTRY(zrcalcIIRFilter_float, BOTH, 8, BUILT)                                     \
    ZRCALC_ENTRY(zrcalcIIRFilterArr_double, BOTH, 16, BUILT)                                \
    ZRCALC_ENTRY(zrcalcIIRFilterArr_float, BOTH, 16, BUILT)                                 \
    ZRCALC_ENTRY(zrcalcFIRFilter_float, BOTH, 16, BUILT)                                    \
    ZRCALC_ENTRY(zrcalcPinkFilter_double, BOTH, 12, BUILT)                                  \
    /* combustion analysis: combustion/raw_data_to_channels.cpp, cycle_averages.cpp */      \
    ZRCALC_ENTRY(zrCalcCACopyRawDataToChannels, BOTH, 28, BUILT)                            \
    ZRCALC_ENTRY(zrCalcCAOverallPressure, BOTH, 28, BUILT)                                  \
    ZRCALC_ENTRY(zrCalcCARunningVal, BOTH, 36, BUILT)                                       \
    /* one filter output at a position: combustion/filter_at_position.cpp */                \
    ZRCALC_ENTRY(zrcalcCACalcFilter_float, BOTH, 16, BUILT)                                 \
    ZRCALC_ENTRY(zrcalcCACalcFilter_int16_t, BOTH, 16, BUILT)                               \
    ZRCALC_ENTRY(zrcalcCACalcFilter_int32_t, BOTH, 16, BUILT)                               \
    /* averaging filter: combustion/average_filter.cpp */                                   \
    ZRCALC_ENTRY(zrcalcCACalcAveFilter_double, BOTH, 16, BUILT)                             \
    ZRCALC_ENTRY(zrcalcCACalcAveFilter_float, BOTH, 16, BUILT)                              \
    ZRCALC_ENTRY(zrcalcCACalcAveFilter_double_scalar, DECORATED, 16, BUILT)                 \
    ZRCALC_ENTRY(zrcalcCACalcAveFilter_float_scalar, DECORATED, 16, BUILT)                  \
    /* plot mapping, in-place precision: combustion/pv_mapping.cpp, precision_inplace.cpp */ \
    ZRCALC_ENTRY(zrcalcCAPV_lin, BOTH, 28, BUILT)                                           \
    ZRCALC_ENTRY(zrcalcCAPV_log, BOTH, 32, BUILT)                                           \
    ZRCALC_ENTRY(zrcalcCADoubleArrToSingleArrInplace, BOTH, 8, BUILT)                       \
    ZRCALC_ENTRY(zrcalcCASingleArrToDoubleArrInplace, BOTH, 8, BUILT)                       \
    /* graph support: graph/xy_values.cpp, cursor_search.cpp */                             \
    ZRCALC_ENTRY(zrcalcGetXYValGraph2D, BOTH, 4, BUILT)                                     \
    ZRCALC_ENTRY(zrcalcFindCursorXY, BOTH, 44, BUILT)                                       \
    /* fast math: fastmath/atan.cpp, sine.cpp */                                            \
    ZRCALC_ENTRY(zrcalcATan_float, BOTH, 12, BUILT)                                         \
    ZRCALC_ENTRY(zrcalcSin_float, BOTH, 12, BUILT)                                          \
    /* power angles: power/angles.cpp */                                                    \
    ZRCALC_ENTRY(zrcalcPowerAngles, BOTH, 20, BUILT)                                        \
    /* power sums and energy: power/power_sums.cpp */                                       \
    ZRCALC_ENTRY(zrcalcPowerPandQsum, BOTH, 20, BUILT)                                      \
    ZRCALC_ENTRY(zrcalcPowerCalculatePosAndNegEnergy, DECORATED_TWIN, 20, BUILT)            \
    ZRCALC_ENTRY(zrcalcPowerCalculatePosAndNegEnergyOnCondition, DECORATED_TWIN, 24, BUILT) \
    ZRCALC_ENTRY(zrcalcPowerSumVectorMultipliedWithScalar_double, BOTH, 4, BUILT)           \
    ZRCALC_ENTRY(zrcalcPowerMultiplyAndSquareElementsAndSumVector_float, BOTH, 12, BUILT)   \
    /* power FIR, power of spectral lines: power/power_fir.cpp, power/line_power.cpp */     \
    ZRCALC_ENTRY(zrcalcPowerCalcFIR_float, BOTH, 4, BUILT)                                  \
    ZRCALC_ENTRY(zrcalcPowerHarmonicZero, BOTH, 8, BUILT)                                   \
    ZRCALC_ENTRY(zrcalcPowerFindIndexOfMaxAmplitude, BOTH, 8, BUILT)                        \
    /* flicker, unbalance: power/flicker.cpp, power/unbalance.cpp */                        \
    ZRCALC_ENTRY(zrcalcPowerFlicker, BOTH, 16, BUILT)                                       \
    ZRCALC_ENTRY(zrcalcPowerUnbalance, BOTH, 4, BUILT)

#define ZRCALC_ALIASES(ZRCALC_ALIAS)                                                                     \
    ZRCALC_ALIAS(zrcalcChannelGetScaledValuesAtPos_double_aligned_output, zrcalcChannelGetScaledValuesAtPos_double, BUILT) \
    ZRCALC_ALIAS(zrcalcChannelGetScaledValuesAtPos_float_aligned_output, zrcalcChannelGetScaledValuesAtPos_float, BUILT)

#endif
