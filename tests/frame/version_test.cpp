

#include "support/sweep.h"

namespace {

// The count picks the caller's level (every seventh count the same one); the
// three outputs are cells.
const int32_t kLevels[] = {INT32_MIN, -1, 0, 12, 13, 14, INT32_MAX};

ZRTEST_SWEEP(version)
{
    using zrtest::Dir;
    return {{"zrcalcGetVersion", "",
             {zrtest::cell<int32_t>(Dir::Out), zrtest::cell<int32_t>(Dir::Out), zrtest::cell<int32_t>(Dir::Out)},
             6,
             [](zrtest::Arrays a, uint32_t n) {
                 zrcalcGetVersion(a.at<int32_t>(0), a.at<int32_t>(1), kLevels[n % 7], a.at<int32_t>(2));
             },
             [](zrtest::Arrays a, uint32_t n) {
                 *a.at<int32_t>(0) = 3, *a.at<int32_t>(1) = 4, *a.at<int32_t>(2) = kLevels[n % 7] >= 13;
             }}};
}

TEST(Version, StoresTheFlagLastWhenAllPointersNameOneVariable)
{
    int32_t v = 77;
    zrcalcGetVersion(&v, &v, 13, &v);
    EXPECT_EQ(v, 1);
    v = 77;
    zrcalcGetVersion_cdecl(&v, &v, 12, &v);
    EXPECT_EQ(v, 0);
}

}  // namespace
