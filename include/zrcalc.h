/*
 * zrcalc.h - public interface of the zrcalc-avx2fma3 numeric calculation library.
 *
 * The library computes statistics, scaled channel values, vector arithmetic,
 * filters, combustion and power analysis, spline resampling, plot mapping and
 * fast vector math on arrays that the caller owns. Results are fixed to the
 * last bit by the order of operations, the accumulator widths and the fused
 * multiply-adds documented beside each function; the loops use AVX2 and FMA3
 * and the library checks nothing about the processor at run time.
 *
 * Conventions shared by every function:
 *  - The caller owns every array, parameter block and state block. Nothing is
 *    read or written outside the arrays and counts that a function documents.
 *  - Pointers are not checked for null unless a function says otherwise.
 *  - A count of 0 reads and writes nothing unless a function says otherwise.
 *  - No alignment beyond the element type's natural alignment is required.
 *  - The library keeps no state between calls (the spline interpolator is the
 *    only object, and it lives from Create to Destroy).
 *
 * Calling conventions. On 32-bit x86 every plain name uses stdcall (the callee
 * removes its arguments) and its twin with the suffix _cdecl uses cdecl; float
 * and double results come back in ST(0). On targets with one calling
 * convention (x86-64) the two names are two names of the same function.
 *
 * Platform note (ELF): a GNU-linked ELF symbol cannot carry '@', which is read
 * as a symbol version. The four entry points that Windows exports under their
 * decorated stdcall names (_zrcalcCACalcAveFilter_double_scalar@16,
 * _zrcalcCACalcAveFilter_float_scalar@16, _zrcalcPowerCalculatePosAndNegEnergy@20,
 * _zrcalcPowerCalculatePosAndNegEnergyOnCondition@24) are exported on Linux under
 * their undecorated names, as declared below. The Windows export definition
 * (zrcalc-avx2fma3.def) keeps the decorated spelling.
 */
#ifndef ZRCALC_H
#define ZRCALC_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* The release this header describes; zrcalcGetVersion reports the same numbers
 * from the library that is loaded. */
#define ZRCALC_VERSION_MAJOR 3
#define ZRCALC_VERSION_MINOR 4

#if defined(_WIN32)
#define ZRCALC_STDCALL __stdcall
#define ZRCALC_CDECL __cdecl
#elif defined(__i386__)
#define ZRCALC_STDCALL __attribute__((stdcall))
#define ZRCALC_CDECL __attribute__((cdecl))
#else
#define ZRCALC_STDCALL
#define ZRCALC_CDECL
#endif

/* Entry points are the only symbols that the shared library makes visible. */
#if defined(ZRCALC_BUILDING_LIBRARY) && !defined(_WIN32) && defined(__GNUC__)
#define ZRCALC_API __attribute__((visibility("default")))
#else
#define ZRCALC_API
#endif

/* Parameter blocks keep every double on an 8-byte boundary, as the 32-bit
 * Windows layout does; GCC on 32-bit x86 ELF would otherwise align doubles
 * inside structures to 4 bytes. */
#if defined(__GNUC__) && defined(__i386__)
#define ZRCALC_DOUBLE double __attribute__((aligned(8)))
#elif defined(_MSC_VER)
#define ZRCALC_DOUBLE __declspec(align(8)) double
#else
#define ZRCALC_DOUBLE double
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Library frame                                                            */
/* ------------------------------------------------------------------------ */

/* Stores 3 through major (ZRCALC_VERSION_MAJOR), then 4 through minor
 * (ZRCALC_VERSION_MINOR), then 1 through atLeast13 when
 * callerLevel >= 13 (signed), else 0. The flag is stored last, so if the three
 * pointers name one variable it ends holding the flag. */
ZRCALC_API void ZRCALC_STDCALL zrcalcGetVersion(int32_t* major, int32_t* minor, int32_t callerLevel,
                                                int32_t* atLeast13);
ZRCALC_API void ZRCALC_CDECL zrcalcGetVersion_cdecl(int32_t* major, int32_t* minor, int32_t callerLevel,
                                                    int32_t* atLeast13);

/* ------------------------------------------------------------------------ */
/* Vector primitives: element-wise arithmetic                               */
/* ------------------------------------------------------------------------ */
/* Every function below writes destination[i] for i = 0 .. count-1 and gives the
 * result of a plain loop over i = 0, 1, 2, ... in that order, also when the
 * destination overlaps a source (the vector loop is used only for separate
 * arrays). Each element is rounded as its rule is written: one rounding per
 * operation, fma() rounded once. */

/* destination[i] = scalar + source[i]. */
ZRCALC_API void ZRCALC_CDECL zrcalcAddScalarToVector_double_cdecl(double* destination, const double* source,
                                                                  double scalar, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcAddScalarToVector_float_cdecl(float* destination, const float* source,
                                                                 float scalar, uint32_t count);

/* destination[i] = fma(source2[i], source2Factor, source1[i]) * factor. */
ZRCALC_API void ZRCALC_STDCALL zrcalcAddVectorsAndMultiplyByScalar_float(float* destination, const float* source1,
                                                                         const float* source2, uint32_t count,
                                                                         float source2Factor, float factor);
ZRCALC_API void ZRCALC_CDECL zrcalcAddVectorsAndMultiplyByScalar_float_cdecl(float* destination,
                                                                             const float* source1,
                                                                             const float* source2, uint32_t count,
                                                                             float source2Factor, float factor);

/* destination[i] = (source1[i] - source2[i]) * factor. */
ZRCALC_API void ZRCALC_STDCALL zrcalcSubtractVectorsAndMultiplyByScalar_float(float* destination,
                                                                              const float* source1,
                                                                              const float* source2, uint32_t count,
                                                                              float factor);
ZRCALC_API void ZRCALC_CDECL zrcalcSubtractVectorsAndMultiplyByScalar_float_cdecl(float* destination,
                                                                                  const float* source1,
                                                                                  const float* source2,
                                                                                  uint32_t count, float factor);

/* data[i] = factor * data[i], in place. */
ZRCALC_API void ZRCALC_STDCALL zrcalcMultiplyVectorByScalar_double(double* data, uint32_t count, double factor);
ZRCALC_API void ZRCALC_CDECL zrcalcMultiplyVectorByScalar_double_cdecl(double* data, uint32_t count, double factor);
ZRCALC_API void ZRCALC_STDCALL zrcalcMultiplyVectorByScalar_float(float* data, uint32_t count, float factor);
ZRCALC_API void ZRCALC_CDECL zrcalcMultiplyVectorByScalar_float_cdecl(float* data, uint32_t count, float factor);

/* destination[i] = source1[i] * source2[i]. */
ZRCALC_API void ZRCALC_CDECL zrcalcMultiplyVectors_double_cdecl(double* destination, const double* source1,
                                                                const double* source2, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcMultiplyVectors_float_cdecl(float* destination, const float* source1,
                                                               const float* source2, uint32_t count);

/* destination[i] = sqrt(source[i]), correctly rounded; a negative input gives NaN. */
ZRCALC_API void ZRCALC_CDECL zrcalcSqrtVector_double_cdecl(double* destination, const double* source,
                                                           uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcSqrtVector_float_cdecl(float* destination, const float* source, uint32_t count);

/* source holds count (real, imaginary) pairs. p = fma(im, im, re * re);
 * destination[i] = p when squared is nonzero, else sqrt(p). No scaling guards
 * the squares: components above about 1.3e154 (double) or 1.8e19 (float) give
 * an infinite magnitude. destination may equal source. */
ZRCALC_API void ZRCALC_CDECL zrcalcComplexVectorAbs_double_cdecl(double* destination, const double* source,
                                                                 bool squared, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcComplexVectorAbs_float_cdecl(float* destination, const float* source,
                                                                bool squared, uint32_t count);

/* destination[i] = fmax(source1[i], source2[i]): if exactly one is NaN, the other.
 * For +0 against -0 the C runtime's fmax decides which zero is returned. */
ZRCALC_API void ZRCALC_CDECL zrcalcVectorsMax_double_cdecl(double* destination, const double* source1,
                                                           const double* source2, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcVectorsMax_float_cdecl(float* destination, const float* source1,
                                                          const float* source2, uint32_t count);

/* ------------------------------------------------------------------------ */
/* Vector primitives: reductions and integer conversions                    */
/* ------------------------------------------------------------------------ */
/* The sums accumulate in double. For count >= 8 two 4-lane accumulators A and
 * B take elements 8g+k and 8g+4+k; then V = B + A lane by lane and
 * S = (V0 + V1) + (V2 + V3); the remaining count mod 8 elements are added to S
 * one at a time. count = 0 returns +0. */

ZRCALC_API double ZRCALC_STDCALL zrcalcSumValues_double(const double* data, uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcSumValues_double_cdecl(const double* data, uint32_t count);
ZRCALC_API double ZRCALC_STDCALL zrcalcSumValues_float(const float* data, uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcSumValues_float_cdecl(const float* data, uint32_t count);
/* Sum of |x| (sign bit cleared). */
ZRCALC_API double ZRCALC_STDCALL zrcalcSumAbsValues_float(const float* data, uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcSumAbsValues_float_cdecl(const float* data, uint32_t count);
/* Sum of x*x, each square added by fma(x, x, acc) in double. */
ZRCALC_API double ZRCALC_STDCALL zrcalcSumSquaredValues_float(const float* data, uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcSumSquaredValues_float_cdecl(const float* data, uint32_t count);
/* Sum of source1[i] * source2[i], each product added by fma in double. */
ZRCALC_API double ZRCALC_STDCALL zrcalcMultiplyVectorsAndCalcSum_float(const float* source1, const float* source2,
                                                                      uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcMultiplyVectorsAndCalcSum_float_cdecl(const float* source1,
                                                                          const float* source2, uint32_t count);

/* destination[i] = source[i] sign-extended. The arrays must not overlap. */
ZRCALC_API void ZRCALC_STDCALL zrcalcConvertInt16ToInt32(const int16_t* source, int32_t* destination,
                                                         uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcConvertInt16ToInt32_cdecl(const int16_t* source, int32_t* destination,
                                                             uint32_t count);
/* destination[i] = low 16 bits of source[i] (no saturation). destination may equal source. */
ZRCALC_API void ZRCALC_STDCALL zrcalcConvertInt32ToInt16(const int32_t* source, int16_t* destination,
                                                         uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcConvertInt32ToInt16_cdecl(const int32_t* source, int16_t* destination,
                                                             uint32_t count);

/* ------------------------------------------------------------------------ */
/* Channel data: scaled values at position                                  */
/* ------------------------------------------------------------------------ */

/* Raw sample type codes. Codes 9 and 10 produce two unscaled values per position. */
typedef enum ChannelSampleType {
    ChannelSampleType_UInt8 = 0,
    ChannelSampleType_Int8 = 1,
    ChannelSampleType_Int16 = 2,
    ChannelSampleType_UInt16 = 3,
    ChannelSampleType_Int32 = 4,
    ChannelSampleType_Float = 5,
    ChannelSampleType_Int64 = 6,
    ChannelSampleType_Double = 7,
    ChannelSampleType_UInt32 = 8,
    ChannelSampleType_FloatPairs = 9,
    ChannelSampleType_DoublePairs = 10
} ChannelSampleType;

/* Parameter block of zrcalcChannelGetScaledValuesAtPos_double; read only.
 * Raw value k lies at byte source + k * stride * (raw sample size); value k of
 * the result goes to destination[k]. */
typedef struct ScaledValuesParams_double {
    const void* source;   /* first raw sample to read */
    double* destination;  /* receives N values, densely */
    ZRCALC_DOUBLE factor; /* value = fma(raw, factor, offset) */
    ZRCALC_DOUBLE offset;
    int32_t count;       /* positions to read; 0 or less writes nothing */
    uint32_t sampleType; /* a ChannelSampleType code; 11 or more writes nothing */
    int32_t stride;      /* distance between samples, in raw samples (not bytes) */
} ScaledValuesParams_double;

/* Parameter block of zrcalcChannelGetScaledValuesAtPos_float; the same fields
 * with a float destination, factor and offset. */
typedef struct ScaledValuesParams_float {
    const void* source;
    float* destination;
    float factor;
    float offset;
    int32_t count;
    uint32_t sampleType;
    int32_t stride;
} ScaledValuesParams_float;

/* Reads N = count (2 * count for codes 9 and 10) raw values at the stride and
 * writes destination[k] = raw * factor + offset as one fused multiply-add in
 * double (codes 9: widened, 10: copied, both unscaled). Byte addresses are formed
 * in pointer-width arithmetic. Memory is read only between the first and the
 * last raw value of the run (at some strides the samples between them are loaded
 * and skipped). destination may equal source when the raw sample
 * is as wide as the result and stride is 1; otherwise the arrays must not
 * overlap. The _aligned_output names are the same entry points and require no
 * alignment. */
ZRCALC_API void ZRCALC_STDCALL zrcalcChannelGetScaledValuesAtPos_double(const ScaledValuesParams_double* params);
ZRCALC_API void ZRCALC_CDECL zrcalcChannelGetScaledValuesAtPos_double_cdecl(const ScaledValuesParams_double* params);
ZRCALC_API void ZRCALC_STDCALL
zrcalcChannelGetScaledValuesAtPos_double_aligned_output(const ScaledValuesParams_double* params);
ZRCALC_API void ZRCALC_CDECL
zrcalcChannelGetScaledValuesAtPos_double_aligned_output_cdecl(const ScaledValuesParams_double* params);
/* Float results: codes 0-6 and 8 scale in float after converting the raw value
 * to float (code 8 through double, code 6 through double, each rounding once per
 * step); code 7 scales in double and rounds once; code 9 copies, code 10 rounds. */
ZRCALC_API void ZRCALC_STDCALL zrcalcChannelGetScaledValuesAtPos_float(const ScaledValuesParams_float* params);
ZRCALC_API void ZRCALC_CDECL zrcalcChannelGetScaledValuesAtPos_float_cdecl(const ScaledValuesParams_float* params);
ZRCALC_API void ZRCALC_STDCALL
zrcalcChannelGetScaledValuesAtPos_float_aligned_output(const ScaledValuesParams_float* params);
ZRCALC_API void ZRCALC_CDECL
zrcalcChannelGetScaledValuesAtPos_float_aligned_output_cdecl(const ScaledValuesParams_float* params);

/* ------------------------------------------------------------------------ */
/* Channel data: linear-function buffer fill                                */
/* ------------------------------------------------------------------------ */

/* buffer[i] = fma((double)i, factor, offset) for i = 0 .. count-1. */
ZRCALC_API void ZRCALC_STDCALL zrcalcChannelFillBufferWithLinearFunction_double(double* buffer, uint32_t count,
                                                                                double factor, double offset);
ZRCALC_API void ZRCALC_CDECL zrcalcChannelFillBufferWithLinearFunction_double_cdecl(double* buffer, uint32_t count,
                                                                                    double factor, double offset);
/* buffer[i] = fmaf((float)i, factor, offset); indexes above 2^24 round to the nearest float. */
ZRCALC_API void ZRCALC_STDCALL zrcalcChannelFillBufferWithLinearFunction_float(float* buffer, uint32_t count,
                                                                               float factor, float offset);
ZRCALC_API void ZRCALC_CDECL zrcalcChannelFillBufferWithLinearFunction_float_cdecl(float* buffer, uint32_t count,
                                                                                   float factor, float offset);

/* ------------------------------------------------------------------------ */
/* Interpolation: cubic Hermite (Catmull-Rom) spline resampler              */
/* ------------------------------------------------------------------------ */

/* Configuration read by zrcalcCHSInterpolator_Create. */
typedef struct CHSInterpolatorConfig {
    ZRCALC_DOUBLE inputRate;  /* > 0; any unit, only the ratio matters */
    ZRCALC_DOUBLE outputRate; /* > 0 */
    uint32_t historyLength;   /* ring length in input samples; a power of two */
} CHSInterpolatorConfig;

/* The interpolator object; opaque to the caller, reached through its handle. */
typedef struct CHSInterpolator CHSInterpolator;

/* Status codes of the interpolator functions. On a failure nothing in the
 * interpolator changes and no out parameter is written. */
enum {
    CHSInterpolator_Success = 0,
    CHSInterpolator_InvalidArgument = 1,  /* null handle/config, rate <= 0 (or a ratio outputRate / inputRate
                                             that rounds to 0), empty block; memory not to be had */
    CHSInterpolator_BlockTooLong = 2,     /* more than historyLength - 2 samples */
    CHSInterpolator_Stopped = 3,          /* Stop was called; Reset restarts */
    CHSInterpolator_InvalidHistoryLength = 4 /* zero, one, or not a power of two */
};

/* The stream: output value k lies at input position k * inputRate / outputRate
 * (k counted from 0 since Create or Reset). A call that brings the input count to
 * I produces every value up to position I - 2, each on the Catmull-Rom segment
 * between input samples w and w + 1 (w the whole part of the position, the
 * fraction f a float): with P0 .. P3 the samples w - 1 .. w + 2 (sample 0 stands
 * in for its missing predecessor), c = P0*M0, then fma(P1, M1, c), fma(P2, M2, c),
 * fma(P3, M3, c) in four float lanes, M0 = (0, -1, 2, -1), M1 = (2, 0, -5, 3),
 * M2 = (0, 1, 4, -3), M3 = (0, 0, -1, 1); the value is
 * 0.5 * ((c0 + c1*f) + (c2*f*f + c3*f*f*f)), rounded in float as written. Positions
 * are j / ratio + K / ratio in double for the call's values j = 0, 1, ... after the
 * K values before it. A value at exactly position I - 2 takes the not yet received
 * sample I from its ring slot with weight zero (the ring is zero-filled at
 * creation, so it is finite; a slot that holds an infinity or NaN from an earlier
 * lap, or from the stream before a Reset, which keeps the ring, is read as 0, so
 * that the weight zero gives zero and not NaN). Every value uses the true
 * samples whatever the block sizes: a block of historyLength - 2 samples, which
 * overwrites the ring slot of a sample that its first segment still needs, reads
 * that sample from a copy kept aside. A value's position is rounded from K / ratio of its call, so
 * two ways of splitting a stream can differ in the last bit of a value. */

/* Creates an interpolator; on status 0 stores its handle through handleOut. The
 * output buffer holds every value that one call can produce at any ratio (at
 * least (historyLength + 1) * ratio and (historyLength - 2) * ratio + 3 values);
 * when that is 2^31 values or more, or the memory cannot be had, Create returns 1
 * and leaves nothing allocated. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Create(CHSInterpolator** handleOut,
                                                               const CHSInterpolatorConfig* config);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcCHSInterpolator_Create_cdecl(CHSInterpolator** handleOut,
                                                                   const CHSInterpolatorConfig* config);
/* Frees the interpolator, its ring and its output buffer. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Destroy(CHSInterpolator* handle);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcCHSInterpolator_Destroy_cdecl(CHSInterpolator* handle);
/* Restarts the stream at input sample 0 and output value 0; clears Stopped. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Reset(CHSInterpolator* handle);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcCHSInterpolator_Reset_cdecl(CHSInterpolator* handle);
/* Flushes the stream by repeating its newest sample once; then Stopped. With a
 * history of 2, which takes no block, it succeeds with the buffer and 0 values. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_Stop(CHSInterpolator* handle, float** values,
                                                             uint32_t* valueCount);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcCHSInterpolator_Stop_cdecl(CHSInterpolator* handle, float** values,
                                                                 uint32_t* valueCount);
/* Appends a block of samples and returns, through values and valueCount, the
 * interpolator's own buffer of the output values that became computable. The
 * buffer's content is valid until the next call on the same interpolator. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcCHSInterpolator_InterpolateValues(CHSInterpolator* handle,
                                                                          const float* samples,
                                                                          uint32_t sampleCount, float** values,
                                                                          uint32_t* valueCount);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcCHSInterpolator_InterpolateValues_cdecl(CHSInterpolator* handle,
                                                                              const float* samples,
                                                                              uint32_t sampleCount, float** values,
                                                                              uint32_t* valueCount);

/* ------------------------------------------------------------------------ */
/* Statistics: min/max                                                      */
/* ------------------------------------------------------------------------ */
/* Writes the smallest and the largest of data[0 .. count-1] to minValue and
 * maxValue; their prior contents are never read. count = 0 reads and writes
 * nothing. Integers compare signed.
 * NaN samples (double, float) are passed over: the results are the smallest and
 * largest of the other samples, and both are data[0] when every sample is NaN.
 * -0.0 and +0.0 compare equal; when both occur as the extreme, which of the two
 * is reported depends on their positions. */

ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMax_double(const double* data, uint32_t count, double* minValue,
                                                      double* maxValue);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMax_double_cdecl(const double* data, uint32_t count, double* minValue,
                                                          double* maxValue);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMax_float(const float* data, uint32_t count, float* minValue,
                                                     float* maxValue);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMax_float_cdecl(const float* data, uint32_t count, float* minValue,
                                                         float* maxValue);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMax_int16_t(const int16_t* data, uint32_t count, int16_t* minValue,
                                                       int16_t* maxValue);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMax_int16_t_cdecl(const int16_t* data, uint32_t count,
                                                           int16_t* minValue, int16_t* maxValue);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMax_int32_t(const int32_t* data, uint32_t count, int32_t* minValue,
                                                       int32_t* maxValue);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMax_int32_t_cdecl(const int32_t* data, uint32_t count,
                                                           int32_t* minValue, int32_t* maxValue);

/* ------------------------------------------------------------------------ */
/* Statistics: accumulating min/max/average/RMS                             */
/* ------------------------------------------------------------------------ */
/* Folds data[0 .. count-1] into the caller's running statistics: minValue and
 * maxValue take the smallest and largest of their prior values and the samples
 * (integers compare signed); sum grows by the samples, converted to double;
 * sumOfSquares grows by (x + offset)^2, each square added by a fused
 * multiply-add. The caller forms average and RMS from the totals. count = 0
 * reads and writes nothing.
 *
 * The order of the partial sums fixes the last bits. Below the block width (4
 * for double and int32, 8 for float and int16) the samples are added one after
 * another. Otherwise four double lanes, added to the totals as
 * (S0 + S2) + (S1 + S3): double, int32 and int16 add single samples up to a
 * 32-byte (double) or 16-byte (int32, int16) boundary, then the lanes, then the
 * remaining samples one by one; float counts its head and tail as the selected
 * lanes of the first and of the last eight samples. int16 and float lanes take
 * two samples per block, e[j] then e[j+4]. The float and int16 variants add the
 * offset in single precision where they take one sample at a time and in double
 * inside the blocks.
 *
 * int16 sums its blocks several times faster with integers where that gives the
 * same bits: when c * offset is an integer d for c = 1, 2, 4 or 8, |d| <= 2^18
 * (0, integers, halves, quarters, eighths), and as long as every lane's sum of
 * (c * x + d)^2 stays below 2^53, no step of the order above rounds (at offset 0
 * and full scale, up to 2^25 samples per call). Beyond that the blocks go on in
 * double; the results are the same on either path.
 *
 * NaN and signed zeros: a sample replaces minValue (maxValue) only when it is
 * strictly smaller (larger), on every path. So a NaN sample never becomes the
 * minimum or the maximum, and a NaN already in minValue or maxValue stays there.
 * -0.0 and +0.0 are equal; which of the two is reported is not fixed. NaN and
 * infinite samples enter the sums as IEEE arithmetic takes them, each counted
 * once. */

ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_double(const double* data, uint32_t count, double* minValue,
                                                            double* maxValue, double* sum, double* sumOfSquares,
                                                            double offset);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMaxAveRMS_double_cdecl(const double* data, uint32_t count,
                                                                double* minValue, double* maxValue, double* sum,
                                                                double* sumOfSquares, double offset);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_float(const float* data, uint32_t count, float* minValue,
                                                           float* maxValue, double* sum, double* sumOfSquares,
                                                           float offset);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMaxAveRMS_float_cdecl(const float* data, uint32_t count, float* minValue,
                                                               float* maxValue, double* sum, double* sumOfSquares,
                                                               float offset);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_int16_t(const int16_t* data, uint32_t count,
                                                             int16_t* minValue, int16_t* maxValue, double* sum,
                                                             double* sumOfSquares, float offset);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMaxAveRMS_int16_t_cdecl(const int16_t* data, uint32_t count,
                                                                 int16_t* minValue, int16_t* maxValue, double* sum,
                                                                 double* sumOfSquares, float offset);
ZRCALC_API void ZRCALC_STDCALL zrcalcGetMinMaxAveRMS_int32_t(const int32_t* data, uint32_t count,
                                                             int32_t* minValue, int32_t* maxValue, double* sum,
                                                             double* sumOfSquares, double offset);
ZRCALC_API void ZRCALC_CDECL zrcalcGetMinMaxAveRMS_int32_t_cdecl(const int32_t* data, uint32_t count,
                                                                 int32_t* minValue, int32_t* maxValue, double* sum,
                                                                 double* sumOfSquares, double offset);

/* ------------------------------------------------------------------------ */
/* Statistics: copy with min/max/average/RMS                                */
/* ------------------------------------------------------------------------ */
/* destination[i] = source[i * stride] for i = 0 .. count-1, and the samples are
 * folded into the running statistics: minValue and maxValue take the smallest
 * and largest of their prior values and the samples (signed); sum grows by the
 * samples; sumOfSquares grows by (sample + offset)^2, each square added by a
 * fused multiply-add. count = 0 reads and writes nothing. Apart from stride = 1,
 * where source and destination may be the same array, the arrays must not
 * overlap. From 16 samples on, blocks of 16 run from the first 32-byte boundary
 * of the destination (stride >= 2) or of the source (stride = 1): in a block,
 * four double lanes take samples j, j+4, j+8, j+12 and join the totals as
 * (L0 + L2) + (L1 + L3) after the last block, with the offset added in double;
 * samples before and after the blocks, and every sample of a call with fewer
 * than 16, are added one at a time with the offset added in single precision.
 * stride <= 0 is taken as it is, one sample at a time at every count: sample i
 * is always source[i * stride] (stride 0 repeats source[0], a negative stride
 * reads backwards). The blocks take integer sums where they give the same bits,
 * as zrcalcGetMinMaxAveRMS_int16_t does. */
ZRCALC_API void ZRCALC_STDCALL zrcalcMoveAndGetMinMaxAveRMS_int16_t(int16_t* destination, const int16_t* source,
                                                                    uint32_t count, int16_t* minValue,
                                                                    int16_t* maxValue, double* sum,
                                                                    double* sumOfSquares, float offset,
                                                                    int32_t stride);
ZRCALC_API void ZRCALC_CDECL zrcalcMoveAndGetMinMaxAveRMS_int16_t_cdecl(int16_t* destination,
                                                                        const int16_t* source, uint32_t count,
                                                                        int16_t* minValue, int16_t* maxValue,
                                                                        double* sum, double* sumOfSquares,
                                                                        float offset, int32_t stride);

/* ------------------------------------------------------------------------ */
/* Filters: IIR                                                             */
/* ------------------------------------------------------------------------ */

/* One tap of an IIR section: histories written by the filter, coefficients set
 * by the host. Tap N of a section holds the newest sample, tap 0 the oldest. */
typedef struct IIRTap {
    ZRCALC_DOUBLE w; /* history of the section's scaled input */
    ZRCALC_DOUBLE y; /* history of the section's output */
    ZRCALC_DOUBLE b; /* feed-forward coefficient of this tap */
    ZRCALC_DOUBLE a; /* feedback coefficient of this tap (unused on tap N) */
} IIRTap;

/* The filter object, owned by the caller. The tap array holds, for each section
 * in turn, order + 1 IIRTap records (3 when the second-order form is used).
 * Every section's output is limited to [-1e10, 1e10]. */
typedef struct IIRFilterParams {
    int32_t type;               /* 3 selects the second-order form for every section */
    int32_t sectionCount;       /* <= 0: the output is the input */
    int32_t order;              /* taps per section minus one; 2 selects the second-order form */
    uint32_t reserved;          /* not read */
    const double* sectionGains; /* sectionCount input gains */
    IIRTap* taps;               /* histories and coefficients of all sections */
} IIRFilterParams;

/* Runs one sample through the cascade and returns the last section's output. */
ZRCALC_API double ZRCALC_STDCALL zrcalcIIRFilter_double(IIRFilterParams* filter, double input);
ZRCALC_API double ZRCALC_CDECL zrcalcIIRFilter_double_cdecl(IIRFilterParams* filter, double input);
/* The input is widened to double; the result is not rounded to float. */
ZRCALC_API double ZRCALC_STDCALL zrcalcIIRFilter_float(IIRFilterParams* filter, float input);
ZRCALC_API double ZRCALC_CDECL zrcalcIIRFilter_float_cdecl(IIRFilterParams* filter, float input);
/* Runs source[0 .. count-1] in order into destination; may run in place. */
ZRCALC_API void ZRCALC_STDCALL zrcalcIIRFilterArr_double(IIRFilterParams* filter, const double* source,
                                                         double* destination, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcIIRFilterArr_double_cdecl(IIRFilterParams* filter, const double* source,
                                                             double* destination, uint32_t count);
/* As above; each input is widened to double and each output rounded to float. */
ZRCALC_API void ZRCALC_STDCALL zrcalcIIRFilterArr_float(IIRFilterParams* filter, const float* source,
                                                        float* destination, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcIIRFilterArr_float_cdecl(IIRFilterParams* filter, const float* source,
                                                            float* destination, uint32_t count);

/* ------------------------------------------------------------------------ */
/* Filters: FIR over a ring buffer, pink noise                              */
/* ------------------------------------------------------------------------ */

/* Returns sum over k of coefficients[k] * samples[(position + k) mod length],
 * 0 <= position <= length; single-precision fused steps, the two partial
 * results added in double. Reads only. */
ZRCALC_API double ZRCALC_STDCALL zrcalcFIRFilter_float(const float* samples, const float* coefficients,
                                                       int32_t length, int32_t position);
ZRCALC_API double ZRCALC_CDECL zrcalcFIRFilter_float_cdecl(const float* samples, const float* coefficients,
                                                           int32_t length, int32_t position);

/* Advances the pink-noise filter held in pinkState[0 .. 7] (cleared to 0.0 by
 * the host before the first sample) by one white-noise sample; returns the
 * pink-noise sample. */
ZRCALC_API double ZRCALC_STDCALL zrcalcPinkFilter_double(double* pinkState, double input);
ZRCALC_API double ZRCALC_CDECL zrcalcPinkFilter_double_cdecl(double* pinkState, double input);

/* ------------------------------------------------------------------------ */
/* Combustion analysis                                                      */
/* ------------------------------------------------------------------------ */

/* Copies the window source[startIndex .. endIndex-1] (absolute raw indexes;
 * startIndex >= endIndex is an empty window) to destination[k] =
 * source[startIndex + k] - offset, one float subtraction per sample, NaN and
 * infinities included, and finds its peak: peakValue receives the largest
 * corrected value strictly above 1.17549435e-38 (FLT_MIN) and peakIndex its
 * absolute raw index; when no value is above that start, they receive
 * 1.17549435e-38 and -1. So zero, negative and subnormal values are never the
 * peak. destination must not overlap the window; peakValue and peakIndex lie
 * outside both. The outputs are written in every case.
 *
 * Which of equal maxima is reported, and what a NaN does, depend on the path
 * (n = endIndex - startIndex, B = n / 8 rounded down):
 *  - n < 8: positions in increasing order, a strictly greater value replaces: the
 *    earliest of equal maxima wins; a NaN is passed over.
 *  - n >= 8: eight lanes, lane l over the positions k < 8B with k mod 8 = l. A lane
 *    starts at its value at k = l, whatever it is, and takes a later value only
 *    when strictly greater (ordered), so a NaN at one of the first eight positions
 *    takes its whole lane out of the search. The lanes merge in order 0 .. 7, each
 *    replacing the peak when strictly greater: equal maxima resolve to the lowest
 *    lane, within a lane to the earliest. The last n - 8B positions follow in
 *    increasing order; they never replace an equal value and pass over a NaN.
 *  - Lane positions are floats: base = (float)startIndex, plus 8 per block in
 *    float, position = base + l in float, converted to int32 at the end (0x80000000
 *    from 2^31 on). Tail position k reports (uint32_t)base_B + (k - 8B), base_B
 *    being the base after B blocks. All of it is exact while endIndex <= 2^24, and
 *    callers keep it there. */
ZRCALC_API void ZRCALC_STDCALL zrCalcCACopyRawDataToChannels(const float* source, float* destination,
                                                             uint32_t startIndex, uint32_t endIndex, float offset,
                                                             float* peakValue, int32_t* peakIndex);
ZRCALC_API void ZRCALC_CDECL zrCalcCACopyRawDataToChannels_cdecl(const float* source, float* destination,
                                                                 uint32_t startIndex, uint32_t endIndex,
                                                                 float offset, float* peakValue,
                                                                 int32_t* peakIndex);

/* Folds one more cycle into the overall average of the n = cycleCount cycles
 * before it, over m = endIndex - startIndex elements: element 0 of both arrays is
 * the range's first position. startIndex >= endIndex is an empty range: the count
 * endIndex - startIndex would wrap to nearly 2^32 and run far past the arrays.
 * average[i] becomes the mean of n + 1 cycles:
 *  - whole blocks of eight (i < 8 * (m / 8)): (float)(fma(N, a, x) / (N + 1)) in
 *    double, with N = (double)n and a true division;
 *  - the remaining m mod 8 elements in float: fmaf((float)N, a, x) * q, with
 *    q = 1.0f / (float)(double)(n + 1), n + 1 counted in 64-bit integers.
 * So an element's last bits depend on whether it lies in the last m mod 8.
 * maxAverage receives the largest updated value strictly above 1.17549435e-38,
 * else that value (also for m = 0). A NaN in the updated average never becomes
 * the maximum: every comparison is an ordered strictly-greater one, as in the
 * peak search of zrCalcCACopyRawDataToChannels. With n = 0 the old average is
 * multiplied by 0, so it must hold finite values (zeros, say) on the first call. */
ZRCALC_API void ZRCALC_STDCALL zrCalcCAOverallPressure(const float* newValues, float* average, uint32_t startIndex,
                                                       uint32_t endIndex, uint64_t cycleCount, float* maxAverage);
ZRCALC_API void ZRCALC_CDECL zrCalcCAOverallPressure_cdecl(const float* newValues, float* average,
                                                           uint32_t startIndex, uint32_t endIndex,
                                                           uint64_t cycleCount, float* maxAverage);
/* Running sum s and average g over the last W = windowLength cycles, over
 * m = endIndex - startIndex + 1 elements (end inclusive; element 0 of every array
 * is the range's first position). startIndex = endIndex + 1 gives m = 0, and a
 * start further past the end is an empty range too, not a count wrapped to nearly
 * 2^32. n = cycleCount, the cycles already in the sum, is compared
 * with W as unsigned 64-bit. All arithmetic is in float; whole blocks of eight
 * (i < 8 * (m / 8)) and the remaining m mod 8 elements differ in their order:
 *  - n = 0: s and g receive copies of newValues (x).
 *  - 1 <= n < W: d = (float)(double)n + 1.0f; blocks s = x + s, g = s / d; the
 *    rest s = s + x, g = (1.0f / d) * s.
 *  - n >= W: the leaving cycle o (leavingValues, read only here) is subtracted and
 *    w = (float)W; blocks s = (x + s) - o, g = s / w; the rest s = (x - o) + s,
 *    g = (1.0f / w) * s. W = 0 divides by zero: infinite or NaN averages.
 * Host protocol: call with n = 0, 1, 2, ...; from n = W on pass the trace of cycle
 * n - W as leavingValues, so s holds the last W cycles and g = s / W. runningSum
 * is updated in place; no other array overlaps another. */
ZRCALC_API void ZRCALC_STDCALL zrCalcCARunningVal(const float* newValues, const float* leavingValues,
                                                  float* runningSum, float* runningAverage, uint32_t startIndex,
                                                  uint32_t endIndex, uint64_t cycleCount, uint32_t windowLength);
ZRCALC_API void ZRCALC_CDECL zrCalcCARunningVal_cdecl(const float* newValues, const float* leavingValues,
                                                      float* runningSum, float* runningAverage,
                                                      uint32_t startIndex, uint32_t endIndex, uint64_t cycleCount,
                                                      uint32_t windowLength);

/* One FIR output at a position: y = sum over k < count of
 * coefficients[k * stride] * X(newest[-k]) in single precision, X the sample as a
 * float (int16 exactly, int32 rounded to nearest: 2^31 - 1 gives 2147483648).
 * Reads the count samples ending at newest and coefficients[k * stride] for
 * k < count (the index is not reduced to 32 bits); count = 0 returns +0 and reads
 * nothing. W is 4 for float and int32, 8 for int16. The order fixes every bit:
 *  - count < W: y = 0, then y = fma(coefficients[k * stride], X(newest[-k]), y)
 *    for k = 0, 1, ... (newest first).
 *  - count >= W: the window oldest first is s_0 .. s_{count-1} with weights d_i;
 *    h = whole samples from s_0 to the next 16-byte address boundary, H = h, or W
 *    when h = 0; m_j = 1.0 for j < H, else 0.0. Four lanes start as
 *    P_j = (X(s_j) * m_j) * d_j, and for int16 P_j = fma(d_{4+j}, X(s_{4+j}) *
 *    m_{4+j}, P_j). Each whole block of W samples from s_H on is fused on,
 *    P_j = fma(d_{i+j}, X(s_{i+j}), P_j) (int16: the lower four, then the upper
 *    four). If r = (count - H) mod W is not 0, the last W samples follow in the
 *    same way, each times 1.0 for the last r of them and 0.0 for the others.
 *    y = (P_0 + P_2) + (P_1 + P_3).
 * So the same data at another address, or on the other path, may differ in the
 * last bits. A masked sample is multiplied by 0.0: an infinity there makes y NaN,
 * as does any NaN sample or coefficient in the window. */
ZRCALC_API float ZRCALC_STDCALL zrcalcCACalcFilter_float(const float* newest, uint32_t count,
                                                         const float* coefficients, uint32_t stride);
ZRCALC_API float ZRCALC_CDECL zrcalcCACalcFilter_float_cdecl(const float* newest, uint32_t count,
                                                             const float* coefficients, uint32_t stride);
ZRCALC_API float ZRCALC_STDCALL zrcalcCACalcFilter_int16_t(const int16_t* newest, uint32_t count,
                                                           const float* coefficients, uint32_t stride);
ZRCALC_API float ZRCALC_CDECL zrcalcCACalcFilter_int16_t_cdecl(const int16_t* newest, uint32_t count,
                                                               const float* coefficients, uint32_t stride);
ZRCALC_API float ZRCALC_STDCALL zrcalcCACalcFilter_int32_t(const int32_t* newest, uint32_t count,
                                                           const float* coefficients, uint32_t stride);
ZRCALC_API float ZRCALC_CDECL zrcalcCACalcFilter_int32_t_cdecl(const int32_t* newest, uint32_t count,
                                                               const float* coefficients, uint32_t stride);

/* Centred moving average (boxcar) over a whole trace. Window L = (width mod
 * 65536) | 1: only the low 16 bits of width count, an even width grows by one;
 * H = (L - 1) / 2 and E = count - H - 1. In exact arithmetic y[i] is the mean of
 * x[0 .. L-1] for i <= H, of x[i-H .. i+H] for H < i < E and of
 * x[count-L .. count-1] for i >= E. input is x, output is y; they must be distinct
 * arrays (the filter reads input ahead of the output it writes).
 *
 * The running value is a mean, in the variant's precision (L and positions are
 * exact there). A sliding step from position p-1 to p is
 * m' = fma(L, m, x[p+H]) - x[p-H-1], the first step one fused multiply-add, then
 * divided by L or multiplied by r = 1 / L (computed once per call), as each form
 * says.
 *
 * Scalar forms (_scalar): m = 0; for k = 0 .. L-1, m = fma(k, m, x[k]) / (k + 1).
 * y[0 .. H] = m; for p = H+1 .. E a step times r, y[p] = m; y[E .. count-1] = the
 * last m.
 *
 * Block forms: used when count >= 64 and (width mod 65536) <= count / 32 (double),
 * count >= 128 and (width mod 65536) <= count / 64 (float); the width is compared
 * before it is made odd, and / rounds down. Otherwise a block form is exactly the
 * scalar form of its type. The trace is cut into K = 5 (double) or 9 (float)
 * chunks of Q = ceil(count / K) positions (computed without overflow at any
 * count). Chunk c starts from M_c = r * (x[cQ] + x[cQ+1] + ... + x[cQ+L-1]), a
 * plain sum from its first sample on, the mean at position cQ + H; y[0 .. H] = M_0.
 * Chunks c = 0 .. K-2 produce y[cQ+H+1 .. (c+1)Q+H] from M_c by steps divided by L
 * (a true division); chunk K-1 produces y[(K-1)Q+H+1 .. E] by steps times r;
 * y[E+1 .. count-1] = y[E]. The two forms agree in exact arithmetic, not bit for
 * bit: the block form restarts from a fresh sum at every chunk, which bounds the
 * drift of its running mean by the chunk length instead of the trace length.
 *
 * count < L, count = 0 included (outside the contract: the first window would
 * leave the trace), reads and writes nothing. width = 0 gives L = 1: every output
 * after y[0] comes from a step over a one-sample window, (m + x[p]) - x[p-1] from
 * the chain's previous mean m, which need not be x[p]. A NaN or infinite sample enters the steps as
 * IEEE arithmetic takes it, and a NaN mean stays NaN to the end of its chain: the
 * rest of the trace in the scalar form, the rest of its chunk in the block form. */
ZRCALC_API void ZRCALC_STDCALL zrcalcCACalcAveFilter_double(const double* input, double* output, uint32_t width,
                                                            uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcCACalcAveFilter_double_cdecl(const double* input, double* output,
                                                                uint32_t width, uint32_t count);
ZRCALC_API void ZRCALC_STDCALL zrcalcCACalcAveFilter_float(const float* input, float* output, uint32_t width,
                                                           uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcCACalcAveFilter_float_cdecl(const float* input, float* output, uint32_t width,
                                                               uint32_t count);
/* Windows exports these two as _zrcalcCACalcAveFilter_double_scalar@16 and
 * _zrcalcCACalcAveFilter_float_scalar@16; they have no _cdecl twin. */
ZRCALC_API void ZRCALC_STDCALL zrcalcCACalcAveFilter_double_scalar(const double* input, double* output,
                                                                   uint32_t width, uint32_t count);
ZRCALC_API void ZRCALC_STDCALL zrcalcCACalcAveFilter_float_scalar(const float* input, float* output,
                                                                  uint32_t width, uint32_t count);

/* Plot coordinates: coordinates[i] for values[i], i < count, on a linear axis
 * (zrcalcCAPV_lin) or a logarithmic one (zrcalcCAPV_log). values is only read and
 * must not overlap coordinates: from count 8 on some coordinates are written twice
 * (same value). count = 0 writes nothing.
 *
 * zrcalcCAPV_lin: y = x * scale + offset, one fused multiply-add in float.
 *
 * y to a coordinate depends on the count:
 *  - count < 8: y rounded half away from zero (y + 0.5, or y - 0.5 when y < 0, in
 *    float, so 0.49999997 gives 1), truncated; raised to minCoordinate, then
 *    lowered to maxCoordinate;
 *  - count >= 8: y rounded to nearest, ties to even (2.5 gives 2, -2.5 gives -2);
 *    lowered to maxCoordinate, then raised to minCoordinate.
 * A NaN y, or one outside the int32 range (1e20 as well as -1e20), converts to
 * INT32_MIN on both paths and so gives minCoordinate. minCoordinate <=
 * maxCoordinate is expected; otherwise every coordinate is maxCoordinate below
 * count 8 and minCoordinate from 8 on. */
ZRCALC_API void ZRCALC_STDCALL zrcalcCAPV_lin(const float* values, uint32_t count, int32_t* coordinates,
                                              int32_t minCoordinate, int32_t maxCoordinate, float scale,
                                              float offset);
ZRCALC_API void ZRCALC_CDECL zrcalcCAPV_lin_cdecl(const float* values, uint32_t count, int32_t* coordinates,
                                                  int32_t minCoordinate, int32_t maxCoordinate, float scale,
                                                  float offset);
/* zrcalcCAPV_log: the axis of q = x / divisor, bounded below by 9.99999972e-10
 * (the float nearest 1e-9, 0x3089705F): a q that is not greater, zero, negative
 * or NaN included, becomes the bound (about -9 * scale + offset). Then, below
 * count 8: q = (1 / divisor) * x (the reciprocal in float), l = the fast base-10
 * logarithm of q (within 1.22e-4 of log10 q, exact at q = 1), y = l * scale +
 * offset in double (the product exact) rounded to float.
 * From count 8 on: q = x / divisor (a true division), L ~ log2 q (the same fit,
 * unscaled), y = fmaf(L * scale, 0.30103001f, offset). The two forms of y may
 * differ in the last bits. divisor = 0 makes positive values infinite (about
 * 38.53 * scale + offset, clamped) and zeros NaN (the bound). Rounding and
 * clamping as above. */
ZRCALC_API void ZRCALC_STDCALL zrcalcCAPV_log(const float* values, uint32_t count, int32_t* coordinates,
                                              int32_t minCoordinate, int32_t maxCoordinate, float scale,
                                              float offset, float divisor);
ZRCALC_API void ZRCALC_CDECL zrcalcCAPV_log_cdecl(const float* values, uint32_t count, int32_t* coordinates,
                                                  int32_t minCoordinate, int32_t maxCoordinate, float scale,
                                                  float offset, float divisor);
/* In-place precision conversion in a buffer of 8 * count bytes; both return
 * buffer, and count = 0 touches nothing.
 * DoubleArrToSingle: the double at byte 8 i becomes the float at byte 4 i, rounded
 * to nearest even (1e39 gives +infinity, 1e-50 gives +0, NaN stays NaN), in
 * ascending order; bytes 4 * count .. 8 * count - 1 keep what they held. */
ZRCALC_API void* ZRCALC_STDCALL zrcalcCADoubleArrToSingleArrInplace(void* buffer, uint32_t count);
ZRCALC_API void* ZRCALC_CDECL zrcalcCADoubleArrToSingleArrInplace_cdecl(void* buffer, uint32_t count);
/* SingleArrToDouble: the float at byte 4 i becomes the double at byte 8 i
 * (exact), in descending order; what the buffer holds past byte 4 * count is
 * overwritten unread. */
ZRCALC_API void* ZRCALC_STDCALL zrcalcCASingleArrToDoubleArrInplace(void* buffer, uint32_t count);
ZRCALC_API void* ZRCALC_CDECL zrcalcCASingleArrToDoubleArrInplace_cdecl(void* buffer, uint32_t count);

/* ------------------------------------------------------------------------ */
/* Graph support                                                            */
/* ------------------------------------------------------------------------ */

/* Parameter block of zrcalcGetXYValGraph2D; read only except the outputs it
 * points to. Each call converts 4 points (count >= 4) or 1 point. */
typedef struct XYValGraph2DParams {
    uint32_t count;     /* points still to convert, at least 1 */
    uint8_t reserved0;  /* not read */
    uint8_t xSource;    /* 0: the index, 1: xData[index], 2: index * xStep + xStart */
    uint8_t yDataType;  /* 5: yData holds floats; otherwise doubles */
    uint8_t xAxisMode;  /* 0 linear, 1 logarithmic, other: already normalized */
    uint32_t index;     /* index of the first point of this call */
    uint8_t yAxisMode;  /* 0 linear, 1 logarithmic, other: decibel */
    uint8_t reserved1[3];
    int16_t rectLeft;   /* plot area in pixels */
    int16_t rectTop;
    int16_t rectRight;
    int16_t rectBottom;
    ZRCALC_DOUBLE xStep;
    ZRCALC_DOUBLE xStart;
    ZRCALC_DOUBLE yFactor; /* Y = raw * yFactor + yOffset */
    ZRCALC_DOUBLE yOffset;
    ZRCALC_DOUBLE xMax;    /* X at the right and left edge (linear axis) */
    ZRCALC_DOUBLE xMin;
    ZRCALC_DOUBLE xLogMax; /* log10 of X at the right and left edge */
    ZRCALC_DOUBLE xLogMin;
    ZRCALC_DOUBLE yMax;    /* Y at the top and bottom edge (linear and decibel axes) */
    ZRCALC_DOUBLE yMin;
    ZRCALC_DOUBLE yLogMax; /* log10 of Y at the top and bottom edge */
    ZRCALC_DOUBLE yLogMin;
    ZRCALC_DOUBLE dbReference; /* Y of 0 dB */
    const void* yData;         /* raw Y of the first point of this call */
    const double* xData;       /* X array for xSource = 1, indexed by index */
    int32_t* xPixels;          /* out: X pixel per converted point */
    int32_t* yPixels;          /* out: Y pixel per converted point */
    uint32_t* processed;       /* out: 4 or 1 */
    ZRCALC_DOUBLE dbFactor;    /* decibel multiplier k: k * 20 * log10(Y / dbReference) */
} XYValGraph2DParams;

/* zrcalcGetXYValGraph2D: pixel coordinates of the next points of a series. The
 * host calls it while points remain, advancing index by *processed, yData,
 * xPixels and yPixels by *processed elements and lowering count by it; the block
 * itself is not changed. count >= 4 converts points j = 0 .. 3 on the four-point
 * path, count 1 .. 3 converts point 0 on the one-point path; *processed = 4 or 1.
 * count = 0 (outside the host's loop) reads no point and writes only
 * *processed = 0. Per point, in double unless said, "fused" rounded once:
 *  - x by xSource: 0 the index i = index + j; 1 xData[i]; 2 i * xStep + xStart
 *    fused; other: xMin (one point), 0 (four points). i converts as unsigned on
 *    the one-point path and as a signed 32-bit integer (index + j wrapped) on the
 *    four-point path: the same below 2^31, where hosts keep it. xData is read
 *    only for xSource 1, at xData[index .. index + p - 1].
 *  - xn: linear (x - xMin) / (xMax - xMin); logarithmic (FL - xLogMin) /
 *    (xLogMax - xLogMin), FL = the fast base-10 logarithm of x rounded to float
 *    (about 1.2e-4 from log10 for normal floats), widened, when x (in double)
 *    > B, else xLogMin; other modes xn = x.
 *  - y = raw * yFactor + yOffset fused, raw = yData[j] (floats when yDataType is
 *    5, doubles otherwise); yn as xn with the Y bounds; decibel axis: yn = (d -
 *    yMin) / (yMax - yMin), d = FL(y / dbReference) scaled to dB when y > T,
 *    else -400.
 *  - A range of exactly 0 (+-0) is not divided by; xn or yn is instead: X linear
 *    xMin, X logarithmic xLogMin, Y logarithmic yLogMin; Y linear yMin (one
 *    point) or 0 (four points); decibel 0 (one point) or yMin (four points).
 *  - xn and yn are clamped to [-1e6, 1e6]; NaN gives -1e6 (one point) or +1e6
 *    (four points).
 *  - X pixel = rectLeft + r(xn, w), Y pixel = rectBottom - r(yn, h), w = rectRight
 *    - rectLeft, h = rectBottom - rectTop, computed without overflow and clamped
 *    to [-32768, 32767]: a point far beyond either edge lands on that side's
 *    bound (xn = 1e6 on a 4000-pixel width gives 32767).
 * One point: B = 0, T = 0 (a NaN y counts as above it), FL through the scalar
 * routine, d = dbFactor * (20 * FL), r(n, s) = n * s + 0.5 fused, truncated
 * toward zero (w = 5, xn = 0.5 gives 3).
 * Four points: B = xMin (yMin), T = 1e-12 (NaN is not above either), FL through
 * the four-lane routine (it may differ from the scalar one in the last float
 * bit), d = (dbFactor * 20) * FL, r(n, s) = n * s rounded to double, then to the
 * nearest integer, ties to even (w = 5, xn = 0.5 gives 2). */
ZRCALC_API void ZRCALC_STDCALL zrcalcGetXYValGraph2D(const XYValGraph2DParams* params);
ZRCALC_API void ZRCALC_CDECL zrcalcGetXYValGraph2D_cdecl(const XYValGraph2DParams* params);

/* Finds in an area of a bottom-up bitmap of 32-bit pixels the pixel nearest to
 * the cursor whose value is none of excludedValues[0 .. excludedCount-1]
 * (compared for equality only), and writes its value, column and row. Row 0
 * starts at rowStart; row r + 1 starts rowPitch bytes LOWER in memory, the pitch
 * rounded toward zero to a multiple of 4 bytes (a negative pitch goes upward).
 * Columns c = 0 .. columns-1, rows r = 0 .. rows-1; the cursor may lie outside.
 *
 * Distances in float, with dx = cursorX - c and dy = cursorY - r, in two paths:
 *  - groups of four (c < 4 * (columns / 4), column c in lane c mod 4):
 *    d = fma(dx, dx, dy^2), dy^2 formed as an integer and rounded to float;
 *  - the remaining columns: d = fma(dy, dy, dx * dx), dx * dx rounded first.
 * d < 2^24 is exact in both. Selection, per row: each lane takes a pixel when
 * d <= its best (the lanes keep their bests across rows, starting at
 * 3.40282347e+38); then lanes 0, 1, 2, 3 in order replace the result when
 * strictly nearer; then the remaining pixels, left to right, each when strictly
 * nearer. So of equally near pixels: in one lane the rightmost of a row and
 * the later row, across lanes the lowest lane; a remaining pixel never displaces
 * an equally near group pixel of its row, and an earlier row wins over a later
 * one once merged.
 *
 * A work buffer of 16 * excludedCount + 8 bytes holds the values; up to 1,024
 * bytes on the stack, otherwise from the C runtime heap, freed before returning.
 * The outputs are written once, after the search, and only when a candidate was
 * found; otherwise they keep what the caller put there. Nothing is written
 * elsewhere and nothing outside the area and the list is read.
 *  - rows <= 0 or columns <= 0: nothing is searched and nothing read.
 *  - excludedCount < 0: searched with an empty list (every pixel is a
 *    candidate); the list is not read.
 *  - excludedCount >= 2^28 (the buffer's size would exceed 2^32 - 1 bytes), on
 *    every target, or the heap cannot supply the buffer: nothing is searched.
 *  - dx and dy are the exact differences (no 32-bit wrap) rounded to float
 *    once, and dy^2 is the exact square rounded once; this only differs from
 *    32-bit integer arithmetic where that would overflow (|dy| > 46340, or
 *    cursorX more than 2^31 left of a column) and report a far pixel as near. */
ZRCALC_API void ZRCALC_STDCALL zrcalcFindCursorXY(const uint32_t* rowStart, int32_t rowPitch, int32_t columns,
                                                  int32_t rows, int32_t cursorX, int32_t cursorY,
                                                  uint32_t* foundValue, int32_t* foundX, int32_t* foundY,
                                                  const uint32_t* excludedValues, int32_t excludedCount);
ZRCALC_API void ZRCALC_CDECL zrcalcFindCursorXY_cdecl(const uint32_t* rowStart, int32_t rowPitch, int32_t columns,
                                                      int32_t rows, int32_t cursorX, int32_t cursorY,
                                                      uint32_t* foundValue, int32_t* foundX, int32_t* foundY,
                                                      const uint32_t* excludedValues, int32_t excludedCount);

/* ------------------------------------------------------------------------ */
/* Fast math                                                                */
/* ------------------------------------------------------------------------ */

/* output[i] = arctangent of input[i] in radians, within +-1.57079637f (pi/2
 * rounded up to float), for i = 0 .. count-1; count = 0 writes nothing. output
 * may be input (in place); otherwise they must not overlap.
 *  - count < 4: the C runtime's arctangent in double of the widened input,
 *    rounded to float.
 *  - count >= 4: every element through the fast kernel in float, each on its own
 *    (Cephes' rational approximation; fmaf rounds once, every other step rounds
 *    by itself). With a = |x|:
 *      a > 2.41421366f (tan(3 pi/8)):  t = (1.0f / a) * -1.0f, base = pi/2 as
 *        float (1.57079637f), c = 3.99999998e-8f;
 *      a > 0.660000026f (0.66f):       t = (a - 1.0f) / (a + 1.0f), base = pi/4
 *        as float (0.785398185f), c = 1.99999999e-8f;
 *      otherwise (NaN included):       t = a, base = 0, c = 0;
 *      z = t * t;
 *      P = fmaf(fmaf(fmaf(fmaf(-0.875060856f, z, -16.1575375f), z, -75.0085602f),
 *          z, -122.886665f), z, -64.8502197f);
 *      Q = fmaf(fmaf(fmaf(fmaf(z + 24.8584652f, z, 165.027008f), z, 432.881073f),
 *          z, 485.390411f), z, 194.550659f);
 *      u = fmaf(t, (P * z) / Q, t) - c;
 *      the result is u + base with the sign bit of x OR-ed in.
 *    So the arctangent of -x is exactly the negated arctangent of x, -0 gives
 *    -0, +-infinity gives +-1.57079637f, and a NaN comes back as itself
 *    (quieted). Counts 3 and 4 of the same values may differ in the last bit.
 *    Accuracy of the kernel, measured at every float: within 1 ulp of glibc
 *    2.36's atanf (0 ulp at 99.4 % of them), and within 1.023 ulp of the result, or
 *    1.09e-7 absolute, of the exact arctangent. */
ZRCALC_API void ZRCALC_STDCALL zrcalcATan_float(const float* input, float* output, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcATan_float_cdecl(const float* input, float* output, uint32_t count);
/* output[i] = sine of input[i] (radians) for i = 0 .. count-1; count = 0 writes
 * nothing. output may be input (in place); otherwise they must not overlap.
 *  - count < 4: the C runtime's sine in double of the widened input, rounded to
 *    float.
 *  - count >= 4: every element through the fast kernel in float, each on its own
 *    (Cephes' reduction and polynomials; fmaf rounds once, every other step rounds
 *    by itself):
 *      a = |x|; j = a * 1.27323949f truncated to int32 and raised to the next even
 *      integer, y = (float)j;
 *      r = fmaf(y, -0.78515625f, a), r = fmaf(y, -2.41875648e-4f, r),
 *      r = fmaf(y, -3.77489506e-8f, r); z = r * r;
 *      c = fmaf(t, z, -(0.5f * z)) + 1.0f with
 *      t = fmaf(fmaf(2.44331568e-5f, z, -1.38873165e-3f), z, 4.16666456e-2f) * z;
 *      s = fmaf(u, r, r) with
 *      u = fmaf(fmaf(-1.95152956e-4f, z, 8.33216123e-3f), z, -0.166666552f) * z;
 *      the sine is c where bit 1 of j is set, else s, with its sign bit flipped by
 *      the sign bit of x and by bit 2 of j. (The kernel's cosine, which
 *      zrcalcPowerUnbalance uses, is the other polynomial, with its sign bit
 *      flipped by bit 2 of ~(j - 2).)
 *    So the sine of -x is exactly the negated sine of x; counts 3 and 4 of the
 *    same values may differ in the last bit.
 *    Accuracy of the kernel against sinf and cosf: within 5.97e-8 for |x| < 2^20,
 *    2.39e-7 for |x| < 1.3176e7; beyond that j is no longer exact in float and the
 *    results are not a sine or cosine (up to about 1e12 in magnitude), though they
 *    keep the bits above.
 *    Where a * 1.27323949f reaches 2^31 (|x| above 1686629632, 0x4EC90FDA), and
 *    for infinities and NaN, j has no value and the result is a NaN with every bit
 *    set (0xFFFFFFFF). (Below count 4 these give the double sine: NaN for
 *    infinities and NaN, the true sine of a large finite x.) */
ZRCALC_API void ZRCALC_STDCALL zrcalcSin_float(const float* input, float* output, uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcSin_float_cdecl(const float* input, float* output, uint32_t count);

/* ------------------------------------------------------------------------ */
/* Power analysis                                                           */
/* ------------------------------------------------------------------------ */
/* Complex lines are interleaved float pairs: line k is (floats 2k, 2k + 1),
 * real part first. Angles are in degrees. */

/* angles[k] for k = 1 .. n = orderCount: phase of harmonic k relative to
 * k * referenceAngle in degrees, wrapped into [-180, 180]; angles[0] is not
 * written, and nothing is read or written when n < 1. Single precision unless
 * said otherwise; fma is one rounding. For each k in turn, with K = (float)k and
 * L = linesPerOrder:
 *  1. m = (int32)(K * L) (float product, truncated); f = fma(K, L, -(float)m).
 *  2. Phase of a line (re, im): (float)(atan2(re, im) * 57.29577951308232), with
 *     the C runtime's double atan2 of the widened parts (the angle from the
 *     imaginary axis toward the real axis); + 360 when below 0. p1 is the phase
 *     of line m, p2 that of line m + 1.
 *  3. d = p2 - p1, + 360 when p2 is not greater than p1 (so equal phases step
 *     a whole turn).
 *  4. r = -fma(f, d, fma(-K, referenceAngle, p1)).
 *  5. In this order, each step on the result of the one before: r < -360:
 *     r = (float)(360 * frac(r * 0.00277777785f)), frac the signed fractional
 *     part of the float product widened to double (modf); r < -180: r += 360;
 *     r > 360: as for r < -360; r > 180: r -= 360. So -200 gives 160, 200 gives
 *     -160, +-180 stay, and -400 and 400 give -40 and 40 a little off
 *     (-+40.0000191: the float 1/360 is slightly too large).
 * spectrum must hold line m_n + 1, m_n the line of order n as step 1 computes it:
 * the float product can round up to the next whole line (10 * 0.7f gives line 7,
 * although the exact product is below 7). linesPerOrder is at least 0 (-0 too):
 * a negative or NaN spacing, or an order-n position K * L of 2^31 or more (so an
 * infinite one), would put a line before the spectrum or nowhere, and the call
 * then reads and writes nothing, as for n < 1. */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerAngles(const float* spectrum, float* angles, int32_t orderCount,
                                                 float referenceAngle, float linesPerOrder);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerAngles_cdecl(const float* spectrum, float* angles, int32_t orderCount,
                                                     float referenceAngle, float linesPerOrder);

/* Active power P and reactive power Q of count voltage lines u and current lines
 * i: line k gives p_k = ur*ir + ui*ii and q_k = ui*ir - ur*ii, the real and
 * imaginary parts of u times the conjugate of i, in double from the widened floats
 * (the products are exact, so each p_k and q_k is rounded once). Line 0 weighs 1/2,
 * and so does the last line when count is odd and at least 3; every other line 1.
 * The sums run in double in this order, which fixes their last bits (E is count
 * rounded down to even, F count rounded down to a multiple of 4):
 *   S = p_0 / 2;
 *   lines 1, 2, 3, those below E, added one after another;
 *   when count >= 8, lines 4 .. F-1 into four partial sums B_j from +0 (B_j takes
 *   the lines 4 + 4m + j), then S += (B_0 + B_2) + (B_1 + B_3);
 *   the remaining lines below E added one after another;
 *   when count is odd and at least 3, S += p_(count-1) / 2.
 * Q likewise from the q_k. P is written first, then Q; count <= 0 writes +0 to
 * both. */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerPandQsum(const float* voltage, const float* current, int32_t count,
                                                   double* activePower, double* reactivePower);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerPandQsum_cdecl(const float* voltage, const float* current, int32_t count,
                                                       double* activePower, double* reactivePower);
/* Positive and negative energy: the products factor1[i] * factor2[i], each
 * rounded to float and widened to double; a product below zero goes to the
 * negative sum, any other (+0, -0, positive, NaN) to the positive sum. For
 * count >= 8 the first count rounded down to a multiple of 8 products go into
 * eight lane sums per sign, from +0 (lane j takes the products i = j mod 8),
 * folded as c_j = lane_(j+4) + lane_j, then (c_0 + c_1) + (c_2 + c_3); the other
 * products (all of them below 8) are added one after another to these totals.
 * *positiveSum is written first, then *negativeSum (<= 0, +0 when no product is
 * negative); count <= 0 writes +0 to both.
 * Windows exports the stdcall form as _zrcalcPowerCalculatePosAndNegEnergy@20. */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerCalculatePosAndNegEnergy(const float* factor1, const float* factor2,
                                                                   int32_t count, double* positiveSum,
                                                                   double* negativeSum);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerCalculatePosAndNegEnergy_cdecl(const float* factor1, const float* factor2,
                                                                       int32_t count, double* positiveSum,
                                                                       double* negativeSum);
/* As above for the samples whose condition[i] > 0.5 (compared in float: 0.5 and
 * NaN leave their sample out), without lane sums: every selected product is added
 * to its sum one after another in index order. Windows exports the stdcall form
 * as _zrcalcPowerCalculatePosAndNegEnergyOnCondition@24. */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerCalculatePosAndNegEnergyOnCondition(const float* factor1,
                                                                              const float* factor2,
                                                                              const float* condition,
                                                                              int32_t count, double* positiveSum,
                                                                              double* negativeSum);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerCalculatePosAndNegEnergyOnCondition_cdecl(const float* factor1,
                                                                                  const float* factor2,
                                                                                  const float* condition,
                                                                                  int32_t count,
                                                                                  double* positiveSum,
                                                                                  double* negativeSum);

/* Parameter block of zrcalcPowerSumVectorMultipliedWithScalar_double:
 * destination[i] = float(factor * source[i]) for i < count, the product in double
 * and then rounded to float. When accumulate is nonzero, the values |destination[i]|
 * widened to double are added one after another to a local sum from +0, and then
 * absoluteSum = local + absoluteSum, one addition at the end. accumulate = 0
 * leaves absoluteSum alone; count <= 0 writes nothing, absoluteSum included. A
 * product beyond the float range gives an infinity in destination (and in
 * absoluteSum). destination may lie on the memory of source itself
 * ((float*)source, narrowing in place): each double is read before a float lands
 * on it. Other overlaps are outside the contract. */
typedef struct PowerScaleSumParams {
    const double* source;      /* count doubles */
    float* destination;        /* out: count floats, float(factor * source[i]) */
    ZRCALC_DOUBLE absoluteSum; /* in-out: grows by the sum of |destination[i]| when accumulate is set */
    float factor;
    int32_t count;      /* elements; <= 0: nothing is read or written */
    int32_t accumulate; /* nonzero: add the sum of absolute values */
} PowerScaleSumParams;

ZRCALC_API void ZRCALC_STDCALL zrcalcPowerSumVectorMultipliedWithScalar_double(PowerScaleSumParams* params);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerSumVectorMultipliedWithScalar_double_cdecl(PowerScaleSumParams* params);
/* Sum of y_i^2 in double, y_i = samples[i] * factor rounded to float and
 * widened (each square is exact, each addition rounded), in the order of the
 * energy sums: for count >= 8 eight lane sums over the first count rounded down
 * to a multiple of 8, folded as c_j = lane_(j+4) + lane_j, then
 * (c_0 + c_1) + (c_2 + c_3); the rest added one after another. count <= 0
 * returns +0. */
ZRCALC_API double ZRCALC_STDCALL zrcalcPowerMultiplyAndSquareElementsAndSumVector_float(const float* samples,
                                                                                       int32_t count,
                                                                                       float factor);
ZRCALC_API double ZRCALC_CDECL zrcalcPowerMultiplyAndSquareElementsAndSumVector_float_cdecl(const float* samples,
                                                                                           int32_t count,
                                                                                           float factor);

/* Parameter block of zrcalcPowerCalcFIR_float. */
typedef struct PowerFirParams {
    const float* ring;            /* ringLength floats */
    const float* coefficientSets; /* 16 floats per set, sets one after another */
    uint32_t position;            /* one past the newest sample, 0 .. ringLength */
    uint32_t coefficientSet;      /* index of the set to use */
    uint32_t ringLength;          /* at least 16 */
} PowerFirParams;

/* 16-tap FIR output over the 16 newest samples of the ring: with c the 16
 * floats from coefficientSets + 16 * coefficientSet (c[0] weighs the oldest
 * sample, c[15] the newest) and the window starting at s = position - 16, or
 * position - 16 + ringLength when position < 16, y = sum over t of
 * c[t] * ring[(s + t) mod ringLength] in single precision, in one of two orders:
 *  - contiguous window (ringLength - s >= 16, so position 0 too): l_j =
 *    fma(ring[s + 8 + j], c[8 + j], ring[s + j] * c[j]) for j = 0 .. 7, and
 *    y = ((l4 + l5) + (l6 + l7)) + ((l0 + l1) + (l2 + l3));
 *  - window wrapping past the ring's end: y = 0, then y = fma(c[t], sample, y)
 *    for t = 0 .. 15, oldest sample first.
 * The two orders can differ in the last bits for the same samples.
 * Outside the contract every read still stays in the ring: a position past
 * ringLength counts modulo ringLength (as if the host had wrapped it), a ring
 * shorter than 16 is gone round more than once in the wrapping order (s is
 * (position - 16) mod ringLength), and ringLength 0 reads nothing and returns
 * +0. */
ZRCALC_API float ZRCALC_STDCALL zrcalcPowerCalcFIR_float(const PowerFirParams* params);
ZRCALC_API float ZRCALC_CDECL zrcalcPowerCalcFIR_float_cdecl(const PowerFirParams* params);
/* Total power of count lines in double: from 0, add fma(im, im, re * re) of the
 * widened parts of lines 0, 1, ... one after another (re * re is exact), each
 * addition rounded in turn. count 0 returns +0. */
ZRCALC_API double ZRCALC_STDCALL zrcalcPowerHarmonicZero(const float* lines, uint32_t count);
ZRCALC_API double ZRCALC_CDECL zrcalcPowerHarmonicZero_cdecl(const float* lines, uint32_t count);
/* Index (1 .. count - 1) of the line with the largest power, the power of a
 * line being fma(im, im, re * re) in float (re * re rounded first); line 0 is
 * never read. The search starts from a largest power of 0.0 at line 1 and takes
 * a line only when its power is strictly larger, for every count: so the lowest
 * of equal largest powers wins, a NaN power never does, and 1 comes back when
 * no power is above 0. count 1 returns 1 and reads nothing; so does count 0,
 * which would otherwise stand for 2^32 - 1 lines. count is at most 2^31, so
 * that the index fits the result. */
ZRCALC_API int32_t ZRCALC_STDCALL zrcalcPowerFindIndexOfMaxAmplitude(const float* lines, uint32_t count);
ZRCALC_API int32_t ZRCALC_CDECL zrcalcPowerFindIndexOfMaxAmplitude_cdecl(const float* lines, uint32_t count);

/* State block of zrcalcPowerFlicker: coefficients set by the host, histories
 * kept by the filter chain. Every field but the last points to a host array of
 * the length in brackets. "Back" counts samples before the next one. */
typedef struct PowerFlickerState {
    double* stageInput;             /* [3] out: x of low-pass sections 1-3, last sample */
    double* stageInput1;            /* [3] x one back */
    double* stageInput2;            /* [3] x two back */
    double* stageOutput;            /* [3] out: y of sections 1-3, last sample */
    double* stageOutput1;           /* [3] y one back */
    double* stageOutput2;           /* [3] y two back */
    double* stageGain;              /* [3] in: B */
    double* stageFeedback1;         /* [3] in: A1 */
    double* stageFeedback2;         /* [3] in: A2 */
    double* weightingCoefficients;  /* [12] in: C0 .. C11 */
    double* highPassCoefficients;   /* [3] in: H0, H1, H2 */
    double* bandPassOutputHistory;  /* [3] [1], [2]: v one and two back; [0] untouched */
    double* bandPassInputHistory;   /* [3] [1], [2]: h one and two back; [0] untouched */
    double* weightingInputHistory;  /* [3] [1], [2]: v one and two back; [0] untouched */
    double* weightingOutputHistory; /* [3] [1], [2]: z one and two back; [0] untouched */
    double* smoothingInputHistory;  /* [2] [1]: q one back; [0] out: q two back */
    double* smoothingOutputHistory; /* [2] [1]: s one back; [0] untouched */
    double* highPassInputHistory;   /* [2] [1]: w one back; [0] out: w two back */
    double* highPassOutputHistory;  /* [2] [1]: h one back; [0] untouched */
    int32_t started;                /* 0 until the first sample has been processed, then 1 */
} PowerFlickerState;

/* The flickermeter chain: count voltage samples u in, count instantaneous
 * flicker values out, sample by sample, every step in double precision:
 *   x = (u * u) * 0.5                       (u widened from float)
 *   low-pass sections k = 0, 1, 2, input x for k = 0, else section k - 1's y:
 *     t = (x + x2) + 2 * x1;  p = A1 * y1;
 *     r = t * B - p (one rounding);  y = r - A2 * y2 (one rounding)
 *   w = y of section 2. If started is 0: w one back = w, and started = 1.
 *   h = fma(H2, h1, H0 * w + H1 * w1)                            (high-pass)
 *   v = fma(C3, v2, C1 * h2) + fma(C2, v1, C0 * h)              (band-pass)
 *   z = fma(C4, v, fma(C8, z2, C6 * v2') + fma(C7, z1, C5 * v1'))  (weighting)
 *   q = z * z;  s = fma(C11, s1, C9 * q + C10 * q1)              (smoothing)
 *   output = (float)(s * 1238400.0)
 * Subscripts 1 and 2 are values one and two samples back; v1, v2 come from
 * bandPassOutputHistory and v1', v2' from weightingInputHistory (equal after the
 * first sample), h2 from bandPassInputHistory and h1 from highPassOutputHistory.
 * Where the rule fuses a bracket (a * b + c * d), the product written first is the
 * fused one: c * d is rounded, then a * b + that rounds once. A NaN in the
 * samples or the state stays NaN; its sign and payload are not fixed.
 * State: the histories are read at the start and written back once at the end
 * (the block is consistent only after the call returns); the low-pass arrays
 * then hold the last sample's values, with stageInput[k + 1] = stageOutput[k]
 * for k = 0, 1. The last section's output feeds the high-pass and is not written
 * as a fourth stage input (stageInput has three elements). Coefficients are only
 * read. Splitting a signal into blocks of any sizes gives the same outputs and
 * the same state as one call. count = 0 reads and writes nothing, the flag
 * included.
 * Arrays: output may be input itself, or start before it; it must not overlap
 * input otherwise. The state's arrays overlap neither the samples nor one another
 * (except arrays that the chain only reads). */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerFlicker(PowerFlickerState* state, const float* input, float* output,
                                                  uint32_t count);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerFlicker_cdecl(PowerFlickerState* state, const float* input, float* output,
                                                      uint32_t count);

/* A single-precision complex value, real part first. */
typedef struct ZrcalcComplexFloat {
    float real;
    float imag;
} ZrcalcComplexFloat;

/* Parameter block of zrcalcPowerUnbalance: count amplitudes and angles (degrees)
 * per phase in, symmetrical components and unbalance ratios out. Element 0 of
 * every input array is read even when count is 0. */
typedef struct PowerUnbalanceParams {
    const float* amplitude1;
    const float* amplitude2;
    const float* amplitude3;
    const float* angle1;
    const float* angle2;
    const float* angle3;
    float* zeroTotal;                    /* S0 */
    float* positiveTotal;                /* S1 */
    float* negativeTotal;                /* S2 */
    float* negativeUnbalanceTotal;       /* 100 * S2 / S1 */
    float* zeroUnbalanceTotal;           /* 100 * S0 / S1 */
    float* negativeUnbalancePhasor;      /* 100 * |N| / |P| of element 0 */
    float* zeroUnbalancePhasor;          /* 100 * |Z| / |P| of element 0 */
    ZrcalcComplexFloat* zeroPhasor;      /* Z of element 0 */
    ZrcalcComplexFloat* positivePhasor;  /* P of element 0 */
    ZrcalcComplexFloat* negativePhasor;  /* N of element 0 */
    uint32_t count;
} PowerUnbalanceParams;

/* zrcalcPowerUnbalance: symmetrical components of element 0 and root sums of
 * squares over the count elements. For element i, with Vp = Ap at angle thetap
 * (degrees), the zero-, positive- and negative-sequence sums are
 *   sum0 = V1 + A2 at theta2         + A3 at theta3,
 *   sum1 = V1 + A2 at (theta2 - 120) + A3 at (theta3 - 240),
 *   sum2 = V1 + A2 at (theta2 - 240) + A3 at (theta3 - 120),
 * the subtractions in float (none where no rotation is written). Outputs:
 *  - zeroPhasor, positivePhasor, negativePhasor: Z, P, N = sum0/3, sum1/3, sum2/3
 *    of element 0, in double: radians = (double)angle * 0.017453292519943295, the
 *    C runtime's cos and sin; re = (A1 cos1) * t, then re = fma(A2 cos2, t, re) and
 *    re = fma(A3 cos3, t, re), each product A cos rounded to double first and t the
 *    double nearest 1/3; im the same with sines; both rounded to float. Element 0
 *    of every input array is read even when count is 0.
 *  - zeroTotal, positiveTotal, negativeTotal: S0, S1, S2, the root of the sum over
 *    the elements of |sum|^2, divided by 3. Sums T in float:
 *      elements 0 .. 4 * floor(count / 4) - 1: radians = angle * 0.0174532924f,
 *      sine and cosine from the kernel of zrcalcSin_float (its NaN rule
 *      included); re = fmaf(A3, cos3, fmaf(A2, cos2, A1 * cos1)), im the same with
 *      sines; four lanes, lane j taking the elements i = j mod 4 in ascending
 *      order: acc = fmaf(im, im, fmaf(re, re, acc)); T = (acc0 + acc1) + (acc2 +
 *      acc3);
 *      then the remaining elements one at a time in double, angles, cos and sin as
 *      for the phasors: re = fma(A3, cos3, fma(A2, cos2, A1 cos1)), im the same,
 *      m = fma(re, re, im * im) rounded to float, T = T + m in float;
 *      S = (float)(sqrt((double)T) * t).
 *    So count 1 to 3 runs in double only, count 4 in float only.
 *  - the ratios in percent, in float, 0 where the reference is zero or NaN:
 *    zeroUnbalancePhasor = cabsf(Z) * (100 / cabsf(P)), negativeUnbalancePhasor =
 *    cabsf(N) * (100 / cabsf(P)); zeroUnbalanceTotal = (100 / S1) * S0,
 *    negativeUnbalanceTotal = (100 / S1) * S2.
 * A balanced set (equal amplitudes A, angles theta, theta + 120, theta + 240)
 * gives P = A at theta1 of element 0, S1 = A sqrt(count) and the rest near 0;
 * phases 2 and 3 exchanged make N = A at theta1 and P near 0. All amplitudes 0
 * give 0 everywhere. Every output is written once; outputs must not overlap one
 * another or the inputs. */
ZRCALC_API void ZRCALC_STDCALL zrcalcPowerUnbalance(const PowerUnbalanceParams* params);
ZRCALC_API void ZRCALC_CDECL zrcalcPowerUnbalance_cdecl(const PowerUnbalanceParams* params);

#ifdef __cplusplus
}
#endif

#endif /* ZRCALC_H */
