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

#include "support/sweep.h"

namespace {

using zrtest::Kind;

struct ExportName {
    std::string plain;    // the name on ELF, and the sort key of the ordinals
    std::string windows;  // the name in the Windows export definition
    bool built;
};

std::vector<ExportName> export_names()
{
    std::vector<ExportName> names;
    for (const auto& e : zrtest::table_entries())
        for (const auto& n : e.names) names.push_back({n.name, n.windows, e.built});
    std::sort(names.begin(), names.end(), [](const ExportName& a, const ExportName& b) {
        return std::strcmp(a.plain.c_str(), b.plain.c_str()) < 0;
    });
    return names;
}

std::string read_file(const char* path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Argument bytes of a function type as the 32-bit stdcall convention counts
// them: 4 per pointer and per 32-bit or smaller value, 8 per double or 64-bit
// integer.
template <class T>
constexpr int slot_bytes()
{
    if constexpr (std::is_pointer_v<T>) return 4;
    return static_cast<int>((sizeof(T) + 3) / 4 * 4);
}
template <class R, class... A>
constexpr int argument_bytes(R (*)(A...))
{
    return (0 + ... + slot_bytes<A>());
}

// Every name of the table is declared by the header with the argument bytes that
// the table gives (a compile-time check: an undeclared name does not compile).
// The 32-bit types carry the calling convention, which template deduction does not
// see through, so the bytes are checked where there is one convention.
#if defined(__x86_64__)
#define ZRCALC_CHECK_DECLARED(name, kind, bytes, state) \
    static_assert(argument_bytes(&name) == bytes, #name ": argument bytes differ from the table");
ZRCALC_ENTRY_POINTS(ZRCALC_CHECK_DECLARED)
#undef ZRCALC_CHECK_DECLARED
#define ZRCALC_CHECK_ALIAS(alias, target, state)                                       \
    static_assert(std::is_same_v<decltype(&alias), decltype(&target)>, #alias);          \
    static_assert(std::is_same_v<decltype(&alias##_cdecl), decltype(&target##_cdecl)>, #alias);
ZRCALC_ALIASES(ZRCALC_CHECK_ALIAS)
#undef ZRCALC_CHECK_ALIAS
#endif

TEST(EntryTable, CountsOfNamesEntryPointsAndOperations)
{
    const auto entries = zrtest::table_entries();
    std::size_t aliases = 0;
    for (const auto& e : entries) aliases += e.names.size() - (e.kind == Kind::BOTH || e.kind == Kind::DECORATED_TWIN ? 2 : 1);
    EXPECT_EQ(entries.size(), 75u) << "operations";
    EXPECT_EQ(export_names().size(), 142u) << "exported names";
    EXPECT_EQ(export_names().size() - aliases, 138u) << "distinct entry points";
    std::set<std::string> unique;
    for (const auto& e : export_names()) EXPECT_TRUE(unique.insert(e.plain).second) << e.plain << " twice";
    for (const auto& e : entries) {
        const bool ends_cdecl = e.name.size() > 6 && e.name.compare(e.name.size() - 6, 6, "_cdecl") == 0;
        EXPECT_EQ(ends_cdecl, e.kind == Kind::CDECL_ONLY) << e.name;
        EXPECT_EQ(e.bytes % 4, 0) << e.name;
    }
}

TEST(EntryTable, HeaderDeclaresExactlyTheTableNames)
{
    const std::string header = read_file(ZRCALC_HEADER_PATH);
    ASSERT_FALSE(header.empty());
    std::set<std::string> declared;
    const std::regex declaration(R"(ZRCALC_(?:STDCALL|CDECL)\s*\n?\s*(zr[cC]alc\w+)\s*\()");
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it)
        declared.insert((*it)[1]);
    std::set<std::string> expected;
    for (const auto& e : export_names()) expected.insert(e.plain);
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
    for (const auto& e : export_names()) expected.push_back(e.windows);
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
    for (const auto& e : export_names())
        if (e.built) expected.insert(e.plain);
    EXPECT_EQ(exported, expected);
}

}  // namespace
