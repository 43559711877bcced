#include "zrcalc.h"

namespace {
constexpr int32_t kMajorVersion = ZRCALC_VERSION_MAJOR;
constexpr int32_t kMinorVersion = ZRCALC_VERSION_MINOR;
constexpr int32_t kLevelThreshold = 13;
}  // namespace

// The stores happen in this order (major, minor, flag) so that callers passing
// one variable for all three see the flag, which is what they get from every
// earlier release.
void ZRCALC_STDCALL zrcalcGetVersion(int32_t* major, int32_t* minor, int32_t callerLevel, int32_t* atLeast13)
{
    *major = kMajorVersion;
    *minor = kMinorVersion;
    *atLeast13 = callerLevel >= kLevelThreshold ? 1 : 0;
}
