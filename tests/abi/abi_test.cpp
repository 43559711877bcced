// Every entry point of the table, called by name from the built library the way
// a host calls it: each name of a built entry point resolves and keeps its
// calling convention, and its results equal those of the compiled call of the
// header's declaration; a planned entry point is not resolvable at all.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "abi_call.h"
#include "frame/entry_table.h"
#include "support/entry_table_view.h"
#include "zrcalc.h"

// int16 samples of one channel interleaved with another.
template <>
ScaledValuesParams_double zrabi::parameter_block(Memory& m)
{
    return {m.values<int16_t>(2 * kCount), m.values<double>(kCount), 0.1, -0.25, int32_t(kCount), ChannelSampleType_Int16, 2};
}
template <>
ScaledValuesParams_float zrabi::parameter_block(Memory& m)
{
    return {m.values<int16_t>(2 * kCount), m.values<float>(kCount), 0.1f, -0.25f, int32_t(kCount), ChannelSampleType_Int16, 2};
}

namespace {

using zrtest::TableEntry;

// The generic check of every built entry point, by table name.
const std::map<std::string, void (*)(const zrabi::Target&)> kChecks = {
#define ZRABI_CHECK_BUILT(name) {#name, [](const zrabi::Target& t) { zrabi::check_entry_point(&name, t); }},
#define ZRABI_CHECK_PLANNED(name)
#define ZRABI_CHECK(name, kind, bytes, state) ZRABI_CHECK_##state(name)
    ZRCALC_ENTRY_POINTS(ZRABI_CHECK)
};

class EntryPointAbi : public ::testing::TestWithParam<TableEntry> {};

TEST_P(EntryPointAbi, EveryNameKeepsItsConventionAndGivesTheDirectCallsResults)
{
    static void* const library = dlopen(ZRCALC_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const TableEntry& e = GetParam();
    const auto& names = e.names;
    std::vector<const void*> addresses;
    for (const auto& n : names) {
        addresses.push_back(dlsym(library, n.name.c_str()));
        EXPECT_EQ(addresses.back() != nullptr, e.built) << n.name << (e.built ? " is built but not resolvable"
                                                                              : " is planned but resolvable");
    }
    if (!e.built || HasFailure()) return;

    for (std::size_t i = 0; i < names.size(); ++i) {
        for (unsigned offset : zrabi::stack_offsets) {
            SCOPED_TRACE(names[i].name + " called with ESP = " + std::to_string(offset) + " mod 16");
            kChecks.at(e.name)(zrabi::Target{addresses[i], names[i].cdecl, e.bytes, offset});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EntryPointAbi, ::testing::ValuesIn(zrtest::table_entries()),
                         [](const ::testing::TestParamInfo<TableEntry>& info) { return info.param.name; });

#if defined(__i386__)

// Functions that keep or break the 32-bit conventions on purpose (trampoline.S).
extern "C" void zrabi_probe_stdcall8(), zrabi_probe_removes_4_of_8(), zrabi_probe_one_in_st0(),
    zrabi_probe_clobbers_ebx(), zrabi_probe_plain_return();

std::string probe(void (*function)(), bool cdecl, int bytes, zrabi::ResultKind kind)
{
    const auto call = zrabi::raw_call(reinterpret_cast<const void*>(function), std::vector<std::uint32_t>(bytes / 4, 0x11111111u), kind, 4);
    return zrabi::frame_faults(zrabi::Target{nullptr, cdecl, bytes, 4}, call);
}

// The conforming calls pass in every case above; each broken convention is seen.
TEST(Trampoline, SeesEachBrokenConvention)
{
    using zrabi::kResultInEax;
    EXPECT_NE(probe(zrabi_probe_stdcall8, true, 8, kResultInEax), "") << "a cdecl name pops";
    EXPECT_NE(probe(zrabi_probe_removes_4_of_8, false, 8, kResultInEax), "") << "stdcall pops too few";
    EXPECT_NE(probe(zrabi_probe_plain_return, false, 8, kResultInEax), "") << "stdcall pops nothing";
    EXPECT_NE(probe(zrabi_probe_one_in_st0, true, 0, kResultInEax), "") << "a value left in ST(0)";
    EXPECT_NE(probe(zrabi_probe_plain_return, true, 0, zrabi::kResultDoubleInSt0), "") << "no result";
    EXPECT_NE(probe(zrabi_probe_clobbers_ebx, true, 0, kResultInEax), "") << "EBX not preserved";
}

#endif

}  // namespace
