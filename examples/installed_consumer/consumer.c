/* Asks the installed library for its version through the C header. */
#include <stdio.h>

#include "zrcalc.h"

int main(void)
{
    int32_t major = 0, minor = 0, atLeast13 = 0;
    zrcalcGetVersion(&major, &minor, 13, &atLeast13);
    printf("zrcalc-avx2fma3 %d.%d (level 13 supported: %d)\n", (int)major, (int)minor, (int)atLeast13);
    return major == 3 && minor == 4 && atLeast13 == 1 ? 0 : 1;
}
