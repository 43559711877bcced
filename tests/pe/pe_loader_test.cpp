// The Windows DLL as the tests' PE loader brings it up: moved away from its
// preferred base, started and stopped by its entry point. Its entry points are
// the ABI test's business (tests/abi/abi_test.cpp).
#include "pe/pe_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if defined(__i386__)

namespace {

// A moved image: every absolute address in it was relocated. On attach the
// library declines thread notifications for its own module handle; a second
// image of the same file loads elsewhere and stops (DLL_PROCESS_DETACH) when it
// goes.
TEST(WindowsDll, LoadsAwayFromItsPreferredBaseAndStartsAndStops)
{
    const zrpe::Image* dll = zrpe::windows_dll();
    if (!dll) GTEST_SKIP() << "no Windows DLL given: configure with -DZRCALC_TEST_DLL=<its path>";
    EXPECT_NE(dll->base(), dll->preferred_base());
    EXPECT_GT(dll->relocations(), 0u);
    EXPECT_EQ(dll->library_name(), "zrcalc-avx2fma3.dll");
    EXPECT_TRUE(dll->thread_calls_disabled());
    zrpe::Image second(zrpe::read_file(ZRCALC_TEST_DLL));
    EXPECT_NE(second.base(), dll->base());
    EXPECT_TRUE(second.thread_calls_disabled());
}

// An import that no stand-in serves fails the load and names itself.
TEST(WindowsDll, AnImportWithoutAStandInFailsTheLoad)
{
    if (!zrpe::windows_dll()) GTEST_SKIP() << "no Windows DLL given";
    std::vector<unsigned char> file = zrpe::read_file(ZRCALC_TEST_DLL);
    const char name[] = "Sleep";  // with its terminating zero
    const auto at = std::search(file.begin(), file.end(), name, name + sizeof name);
    ASSERT_NE(at, file.end());
    at[4] = 'q';
    try {
        zrpe::Image image(file);
        ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::strstr(e.what(), "KERNEL32.dll!Sleeq"), nullptr) << e.what();
    }
}

}  // namespace

#endif
