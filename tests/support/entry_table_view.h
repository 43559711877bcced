// The table of entry points as the tests read it: every entry point with the
// names it is exported under and the calling convention of each on 32-bit x86.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zrtest {

enum class Kind { BOTH, CDECL_ONLY, DECORATED, DECORATED_TWIN };

struct ExportedName {
    std::string name;     // on ELF; Windows decorates the stdcall-only kinds as _name@bytes
    bool cdecl;           // else stdcall
    std::string windows;  // the spelling in the Windows export definition
};

struct TableEntry {
    std::string name;
    Kind kind;
    int bytes;
    bool built;
    std::vector<ExportedName> names;  // the plain name first, then its twin and aliases
};

std::vector<TableEntry> table_entries();

inline void PrintTo(const TableEntry& e, std::ostream* os) { *os << e.name; }

}  // namespace zrtest
