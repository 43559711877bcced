#!/usr/bin/env bash
# Checks a cross-built zrcalc-avx2fma3.dll against the export definition that it
# was linked with (both in the build directory given):
#  - the export table holds exactly the names of the definition, each at its
#    ordinal, and no ordinal without a name;
#  - names bound to the same code (an alias and its target) share one address;
#  - the export directory records the library name zrcalc-avx2fma3.dll;
#  - the DLL imports from system DLLs only (KERNEL32, msvcrt or the UCRT);
#  - its code holds no AVX-512 instruction (users' processors may lack it);
#  - its version resource states the release of the public header.
# Usage: scripts/check-dll-exports.sh BUILD_DIR
set -euo pipefail
dir=${1:?usage: $0 BUILD_DIR}
dll=$dir/zrcalc-avx2fma3.dll
def=$dir/zrcalc-avx2fma3.def
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "check-dll-exports: $*" >&2; failed=1; }

"$objdump" -p "$dll" >"$work/headers"

# Expected: "ordinal name" and "ordinal code" (the symbol a name is bound to).
awk '/^EXPORTS$/ { on = 1; next }
     on && NF { code = ($2 == "=") ? $3 : $1; print substr($NF, 2), $1, code }' "$def" \
  | sort -n >"$work/def"
[ -s "$work/def" ] || fail "no exports in $def"

# Actual: the name pointer table lists [index] name, ordinal = index + base; the
# address table lists [index] +base[ordinal] address.
awk '/^The Export Tables/ { on = 1 }
     on && /^Ordinal Base/ { base = $3 }
     on && /^Export Address Table -- / { table = "eat"; next }
     on && /^\[Ordinal\/Name Pointer\] Table/ { table = "names"; next }
     on && /^$/ { if (table == "names") exit; next }
     table == "eat" && /Export RVA/ { sub(/.*\+base\[ */, ""); sub(/\]/, ""); print "address", $1, $2 }
     table == "names" && /^\t\[/ { sub(/^\t\[ */, ""); sub(/\]/, ""); print "name", $1 + base, $2 }' \
  "$work/headers" >"$work/exports"

diff <(awk '{ print $1, $2 }' "$work/def") \
     <(awk '$1 == "name" { print $2, $3 }' "$work/exports" | sort -n) >"$work/names.diff" \
  || fail "names or ordinals differ from $def (< definition, > DLL):"$'\n'"$(cat "$work/names.diff")"
diff <(awk '{ print $1 }' "$work/def") \
     <(awk '$1 == "address" { print $2 }' "$work/exports" | sort -n) >/dev/null \
  || fail "the address table has ordinals that no name of $def gives"

# Names bound to one symbol must resolve to one address.
awk 'NR == FNR { if ($1 == "address") address[$2] = $3; next }
     { if (($3 in first) && address[$1] != address[first[$3]])
         print "  " $2 " and the name at ordinal " first[$3] " are bound to " $3 " but differ in address"
       if (!($3 in first)) first[$3] = $1 }' "$work/exports" "$work/def" >"$work/aliases"
[ -s "$work/aliases" ] && fail "aliases:"$'\n'"$(cat "$work/aliases")"

name=$(awk '/^The Export Tables/ { on = 1 } on && /^Name[ \t]/ { print $3; exit }' "$work/headers")
[ "$name" = "zrcalc-avx2fma3.dll" ] || fail "export directory names '$name', not zrcalc-avx2fma3.dll"

imports=$(awk '/DLL Name:/ { print $3 }' "$work/headers")
for i in $imports; do
  case "${i,,}" in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
    *) fail "imports from $i, which is not a system DLL" ;;
  esac
done

"$objdump" -d --no-show-raw-insn "$dll" >"$work/code"
grep -m5 -E '%zmm|%k[0-7]|\{1to[0-9]+\}' "$work/code" >"$work/avx512" \
  && fail "AVX-512 instructions:"$'\n'"$(cat "$work/avx512")"

header=$(dirname "$0")/../include/zrcalc.h
version=$(awk '/^#define ZRCALC_VERSION_MAJOR/ { M = $3 } /^#define ZRCALC_VERSION_MINOR/ { m = $3 }
               END { print M "." m }' "$header")
file_version=$(strings -e l -n 3 "$dll" | awk 'previous == "FileVersion" { print; exit } { previous = $0 }')
[ "$file_version" = "$version" ] || fail "version resource states '$file_version', the header $version"

[ "$failed" -eq 0 ] || exit 1
echo "check-dll-exports: $(wc -l <"$work/def") names with their ordinals, library name, imports ($(echo $imports))," \
  "version $file_version ok"
