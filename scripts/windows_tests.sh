#!/usr/bin/env bash
# Builds the Windows configuration (mingw-w64) and runs its tests under Wine, in a Wine prefix of
# its own that goes when they are done.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows
cmake --build --preset windows
prefix=$(mktemp -d)
# No Mono or Gecko download prompts; no Wine debug chatter in the test output.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
# One Wine server for every test, started before them: without it each test program pays for
# starting one.
wineserver -p
wine wineboot --init >/dev/null 2>&1
ctest --preset windows -j "$(nproc)"
