#!/usr/bin/env bash
# Builds the library and runs the example host program on its built-in data; the
# picture it draws is written to build/release/engine_cycle.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZRCALC_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
build/release/examples/zrcalc_example build/release/engine_cycle.png
