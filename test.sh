#!/usr/bin/env bash
# Installs what is missing, then runs both suites (or the one named: ./test.sh linux|windows):
#   linux    builds the debug configuration and runs every test through ctest, then builds the
#            fuzz targets (clang, libFuzzer) and runs each for a few seconds over its seeds;
#   windows  builds the Windows configuration (mingw-w64) and runs its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"
suite=${1:-all}
case "$suite" in
  all|linux|windows) ;;
  *) echo "usage: ./test.sh [linux|windows]" >&2; exit 2 ;;
esac
source scripts/packages.sh
quorvane_install_packages
if [ "$suite" != windows ]; then
  cmake --preset debug
  cmake --build --preset debug
  ctest --preset debug -j "$(nproc)"
  cmake --preset fuzz
  cmake --build --preset fuzz
  ctest --preset fuzz -j "$(nproc)"
fi
if [ "$suite" != linux ]; then
  scripts/windows_tests.sh
fi
