#!/usr/bin/env bash
# Installs what is missing, builds the debug configuration and runs every test through ctest;
# then builds the fuzz targets (clang, libFuzzer) and runs each for a few seconds over its seeds.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
quorvane_install_packages
cmake --preset debug
cmake --build --preset debug
ctest --preset debug -j "$(nproc)"
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz -j "$(nproc)"
