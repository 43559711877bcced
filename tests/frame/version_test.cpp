#include <gtest/gtest.h>

#include <climits>

#include "zrcalc.h"

namespace {

struct VersionResult {
    int32_t major = -1, minor = -1, flag = -1;
};

VersionResult query(int32_t level, bool cdecl_twin)
{
    VersionResult r;
    if (cdecl_twin)
        zrcalcGetVersion_cdecl(&r.major, &r.minor, level, &r.flag);
    else
        zrcalcGetVersion(&r.major, &r.minor, level, &r.flag);
    return r;
}

TEST(Version, ReportsThreeFourAndTheLevelFlagInBothConventions)
{
    for (bool twin : {false, true}) {
        for (int32_t level : {INT32_MIN, -1, 0, 12, 13, 14, INT32_MAX}) {
            const auto r = query(level, twin);
            EXPECT_EQ(r.major, 3);
            EXPECT_EQ(r.minor, 4);
            EXPECT_EQ(r.flag, level >= 13 ? 1 : 0) << level;
        }
    }
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

TEST(Version, WritesNothingBesideItsThreeOutputs)
{
    int32_t block[5] = {9, 9, 9, 9, 9};
    zrcalcGetVersion(&block[1], &block[2], 20, &block[3]);
    EXPECT_EQ(block[0], 9);
    EXPECT_EQ(block[4], 9);
    EXPECT_EQ(block[1], 3);
    EXPECT_EQ(block[2], 4);
    EXPECT_EQ(block[3], 1);
}

}  // namespace

extern "C" int zrcalc_version_from_c(void);

TEST(Version, CallableFromC)
{
    EXPECT_EQ(zrcalc_version_from_c(), 341);
}
