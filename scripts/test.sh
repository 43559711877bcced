#!/usr/bin/env bash
# Runs every test of the library on every target this machine can run:
#  1. x86-64: the whole suite, and the benchmarks built and smoke-run;
#  2. the same x86-64 test program under qemu-x86_64 -cpu Haswell (AVX2, FMA3,
#     BMI1 and no AVX-512), where any instruction beyond the contract faults;
#  3. the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#  4. the 32-bit Windows DLL cross-built with MinGW-w64 and its export table
#     checked against the export definition;
#  5. 32-bit x86: the whole suite built with -m32 and run under qemu-i386,
#     which also loads the DLL of step 4 with the tests' own PE loader and holds
#     each of its entry points against the 32-bit build;
#  6. ThreadSanitizer: every operation and many interpolators on several threads;
#  7. the x86-64 suite under Valgrind's memcheck;
#  8. the libFuzzer targets (clang, ASan, UBSan), each smoke-run for a fixed count.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n== %s (at %d s)\n' "$*" "$SECONDS"; }
# QEMU reads more than the memory operand of vcvtdq2pd and of a scalar fused
# multiply-add (src/common/lanes.h); the library keeps those operands in registers.
check_emulated_loads() {
  if objdump -d "$1" | grep -E '\s(vcvtdq2pd|vfn?m(add|sub)[0-9]+s[sd])\s+[^,]*\('; then
    echo "$1: an instruction above takes a memory operand that QEMU reads too wide" >&2
    exit 1
  fi
}
configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

step "x86-64"
configure_and_build build/x64 -DZRCALC_BUILD_BENCHMARKS=ON
ctest --test-dir build/x64 --output-on-failure -j"$jobs"
check_emulated_loads build/x64/libzrcalc-avx2fma3.so
build/x64/examples/zrcalc_example build/x64/engine_cycle.png >/dev/null
if ls build/x64/bench/bench_* >/dev/null 2>&1; then
  for b in build/x64/bench/bench_*; do
    "$b" --benchmark_filter='/1024$' --benchmark_min_time=0.001 >/dev/null
  done
fi

step "x86-64: install, then build a C host program against the installed package, with CMake and with pkg-config"
installed=$PWD/build/x64/install
rm -rf "$installed" build/x64/consumer
cmake --install build/x64 --prefix "$installed" >/dev/null
cmake -S examples/installed_consumer -B build/x64/consumer -DCMAKE_PREFIX_PATH="$installed" >/dev/null
cmake --build build/x64/consumer -j"$jobs" >/dev/null
pc_path=$(dirname "$(find "$installed" -name zrcalc-avx2fma3.pc)")
pc() { PKG_CONFIG_PATH=$pc_path pkg-config "$@" zrcalc-avx2fma3; }
header_version=$(awk '/^#define ZRCALC_VERSION_MAJOR/ { M = $3 } /^#define ZRCALC_VERSION_MINOR/ { m = $3 }
                      END { print M "." m ".0" }' include/zrcalc.h)
[ "$(pc --modversion)" = "$header_version" ] ||
  { echo "pkg-config reports version $(pc --modversion), the header $header_version" >&2; exit 1; }
# shellcheck disable=SC2046  # the flags are words
cc -std=c11 -Wall -Werror -o build/x64/consumer/consumer_pc examples/installed_consumer/consumer.c $(pc --cflags --libs)
libdir=$(pc --variable=libdir)
for consumer in build/x64/consumer/consumer build/x64/consumer/consumer_pc; do
  LD_LIBRARY_PATH="$libdir" "$consumer"
done

step "x86-64 under qemu-x86_64 -cpu Haswell (no AVX-512)"
# The test program in as many shards as there are cores, each under the emulator;
# the sweep runs each case's own counts there (tests/support/sweep.cpp).
pids=()
for ((i = 0; i < jobs; i++)); do
  ZRTEST_SWEEP_COUNTS=own GTEST_TOTAL_SHARDS=$jobs GTEST_SHARD_INDEX=$i qemu-x86_64 -cpu Haswell build/x64/tests/zrcalc_tests --gtest_brief=1 &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done

step "x86-64 with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build/sanitize -DZRCALC_SANITIZE=address,undefined -DZRCALC_BUILD_EXAMPLES=OFF
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

step "32-bit Windows DLL (MinGW-w64), exports checked"
configure_and_build build/mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
  -DZRCALC_BUILD_TESTS=OFF -DZRCALC_BUILD_EXAMPLES=OFF
scripts/check-dll-exports.sh build/mingw

step "32-bit x86 under qemu-i386, with the Windows DLL under the tests' PE loader"
configure_and_build build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i386-linux.cmake -DZRCALC_BUILD_EXAMPLES=OFF \
  -DZRCALC_TEST_DLL="$PWD/build/mingw/zrcalc-avx2fma3.dll"
ctest --test-dir build/i386 --output-on-failure -j"$jobs"
check_emulated_loads build/i386/libzrcalc-avx2fma3.so

step "x86-64 with ThreadSanitizer: calls on several threads at once"
configure_and_build build/tsan -DZRCALC_SANITIZE=thread -DZRCALC_BUILD_EXAMPLES=OFF
build/tsan/tests/zrcalc_tests --gtest_filter='Threads.*' --gtest_brief=1

step "x86-64 under Valgrind memcheck"
# Each case's own sweep counts (tests/support/sweep.cpp), in as many shards as cores.
# Valgrind does not give vmaxpd the processor's rule for NaN operands (the second
# operand wins), so the stated values of the vector maximum with NaNs stay out.
pids=()
for ((i = 0; i < jobs; i++)); do
  ZRTEST_SWEEP_COUNTS=own GTEST_TOTAL_SHARDS=$jobs GTEST_SHARD_INDEX=$i valgrind -q --error-exitcode=99 \
    build/x64/tests/zrcalc_tests --gtest_brief=1 --gtest_filter=-ElementwiseValues.MaxAndSqrtOfSpecialValues &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done

step "fuzz targets (clang, libFuzzer, ASan, UBSan): a fixed-count run of each"
configure_and_build build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZRCALC_BUILD_FUZZERS=ON \
  -DZRCALC_SANITIZE=address,undefined -DZRCALC_BUILD_TESTS=OFF -DZRCALC_BUILD_EXAMPLES=OFF
for f in build/fuzz/fuzz/*_fuzz; do
  "$f" -runs=20000 -seed=1 -rss_limit_mb=2048 2>&1 | tail -1
done

step "all tests passed"
