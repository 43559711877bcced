// The table of entry points against everything that must agree with it: the
// header's declarations and their argument bytes, the Windows export definition,
// and the built library's dynamic symbols.
#include "frame/entry_table.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/sweep.h"

namespace {

// Every exported name with its entry point, in the byte order of the ELF names:
// the order of the ordinals.
std::vector<std::pair<zrtest::ExportedName, bool>> export_names()
{
    std::vector<std::pair<zrtest::ExportedName, bool>> names;
    for (const auto& e : zrtest::table_entries())
        for (const auto& n : e.names) names.push_back({n, e.built});
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.first.name < b.first.name; });
    return names;
}

// Argument bytes of a function type as the 32-bit stdcall convention counts
// them: 4 per pointer and per 32-bit or smaller value, 8 per double or 64-bit
// integer.
template <class R, class... A>
constexpr int argument_bytes(R (*)(A...))
{
    return (0 + ... + (std::is_pointer_v<A> ? 4 : int((sizeof(A) + 3) / 4 * 4)));
}

// Every name of the table is declared by the header with the argument bytes that
// the table gives (a compile-time check: an undeclared name does not compile).
// The 32-bit types carry the calling convention, which template deduction does not
// see through, so the bytes are checked where there is one convention.
#if defined(__x86_64__)
#define ZRCALC_CHECK_DECLARED(name, kind, bytes, state) \
    static_assert(argument_bytes(&name) == bytes, #name ": argument bytes differ from the table");
ZRCALC_ENTRY_POINTS(ZRCALC_CHECK_DECLARED)
#define ZRCALC_CHECK_ALIAS(alias, target, state)                                       \
    static_assert(std::is_same_v<decltype(&alias), decltype(&target)>, #alias);          \
    static_assert(std::is_same_v<decltype(&alias##_cdecl), decltype(&target##_cdecl)>, #alias);
ZRCALC_ALIASES(ZRCALC_CHECK_ALIAS)
#endif

TEST(EntryTable, HeaderDeclaresExactlyTheTableNames)
{
    std::stringstream text;
    text << std::ifstream(ZRCALC_HEADER_PATH).rdbuf();
    const std::string header = text.str();
    ASSERT_FALSE(header.empty());
    std::set<std::string> declared;
    const std::regex declaration(R"(ZRCALC_(?:STDCALL|CDECL)\s*\n?\s*(zr[cC]alc\w+)\s*\()");
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it)
        declared.insert((*it)[1]);
    std::set<std::string> expected;
    for (const auto& [n, built] : export_names()) expected.insert(n.name);
    EXPECT_EQ(declared, expected);
}

TEST(EntryTable, WindowsExportDefinitionListsTheNamesInOrdinalOrder)
{
    std::ifstream def(ZRCALC_DEF_PATH);
    ASSERT_TRUE(def.good());
    std::string line;
    std::getline(def, line);
    EXPECT_EQ(line, "LIBRARY \"zrcalc-avx2fma3.dll\"");
    std::getline(def, line);
    EXPECT_EQ(line, "EXPORTS");
    std::vector<std::string> listed;
    const std::regex row(R"(^\s+(\S+) @(\d+)$)");
    while (std::getline(def, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, row)) << line;
        EXPECT_EQ(std::stoul(m[2]), listed.size() + 1) << line;
        listed.push_back(m[1]);
    }
    std::vector<std::string> expected;
    for (const auto& [n, built] : export_names()) expected.push_back(n.windows);
    EXPECT_EQ(listed, expected);
}

// The library exports exactly the names of the entry points built so far.
TEST(EntryTable, LibraryExportsExactlyTheBuiltEntryPoints)
{
    const std::string command = std::string("nm -D --defined-only ") + ZRCALC_LIBRARY_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::istringstream fields(buffer);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (!name.empty()) exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    std::set<std::string> expected;
    for (const auto& [n, built] : export_names())
        if (built) expected.insert(n.name);
    EXPECT_EQ(exported, expected);
}

}  // namespace
