/* Asks the installed library for its version through the C header; the library
 * that is loaded must be the release the header describes. */
#include <stdio.h>

#include "zrcalc.h"

int main(void)
{
    int32_t major = 0, minor = 0, atLeast13 = 0;
    zrcalcGetVersion(&major, &minor, 13, &atLeast13);
    printf("zrcalc-avx2fma3 %d.%d (level 13 supported: %d)\n", (int)major, (int)minor, (int)atLeast13);
    return major == ZRCALC_VERSION_MAJOR && minor == ZRCALC_VERSION_MINOR && atLeast13 == 1 ? 0 : 1;
}
