// Sine of a float array (contract in zrcalc.h): below four elements the C
// runtime's sine in double, rounded to float; from four on the fast kernel of
// fastmath/sin_cos.h on every element.
//
// The array driver (fastmath/float_array_map.h) covers the array so that no
// element is read after it has been written: input may be output.
#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fastmath/float_array_map.h"
#include "fastmath/sin_cos.h"
#include "zrcalc.h"

void ZRCALC_STDCALL zrcalcSin_float(const float* input, float* output, uint32_t count)
{
    zrcalc::map_float_array(
        input, output, count, [](__m256 x) { return zrcalc::FastSin(x); }, [](double x) { return std::sin(x); });
}
