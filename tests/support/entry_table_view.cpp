#include "support/entry_table_view.h"

#include "frame/entry_table.h"

namespace zrtest {

std::vector<TableEntry> table_entries()
{
    std::vector<TableEntry> entries;
    const auto add = [&](std::string name, Kind kind, int bytes, bool built) {
        const bool decorated = kind == Kind::DECORATED || kind == Kind::DECORATED_TWIN;
        const std::string windows = decorated ? "_" + name + "@" + std::to_string(bytes) : name;
        entries.push_back({name, kind, bytes, built, {{name, kind == Kind::CDECL_ONLY, windows}}});
        if (kind == Kind::BOTH || kind == Kind::DECORATED_TWIN)
            entries.back().names.push_back({name + "_cdecl", true, name + "_cdecl"});
    };
    const auto alias = [&](const std::string& alias, const std::string& target) {
        for (auto& e : entries)
            if (e.name == target)
                e.names.insert(e.names.end(), {{alias, false, alias}, {alias + "_cdecl", true, alias + "_cdecl"}});
    };
#define BUILT true
#define PLANNED false
#define ZRTEST_ENTRY_ROW(name, kind, bytes, state) add(#name, Kind::kind, bytes, state);
#define ZRTEST_ALIAS_ROW(name, target, state) alias(#name, #target);
    ZRCALC_ENTRY_POINTS(ZRTEST_ENTRY_ROW)
    ZRCALC_ALIASES(ZRTEST_ALIAS_ROW)
    return entries;
}

}  // namespace zrtest
