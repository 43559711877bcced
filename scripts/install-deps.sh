#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is
# missing. Needs root (or sudo) only when something must be installed.
set -euo pipefail

packages=(cmake g++ make libgtest-dev googletest libbenchmark-dev g++-multilib qemu-user binutils
          g++-mingw-w64-i686 libvolk2-dev libsleef-dev pkg-config libpng-dev clang libclang-rt-14-dev valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
