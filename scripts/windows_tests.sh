#!/usr/bin/env bash
# Builds the Windows configuration (mingw-w64) and runs its tests under Wine, in a Wine prefix of
# its own that goes when they are done.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows
cmake --build --preset windows
prefix=$(mktemp -d)
server_pid=""
trap '[ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
      wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
# No Mono or Gecko download prompts; no Wine debug chatter in the test output.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Tests that change what the whole prefix sees run only in this one.
export QUORVANE_OWN_WINE_PREFIX=1
# WinHTTP's HTTPS test talks to a loopback TLS server on the host (Wine has no TLS server of
# its own to offer): the Linux suite's server, as a program, its certificate in the prefix.
cmake --preset debug >/dev/null
cmake --build --preset debug --target loopback_https_server >/dev/null
coproc HTTPS_SERVER { build/debug/bin/loopback_https_server "$prefix/loopback-ca.pem"; }
server_pid=$HTTPS_SERVER_PID
read -r server_url <&"${HTTPS_SERVER[0]}"
export QUORVANE_TEST_HTTPS_URL="$server_url"
export QUORVANE_TEST_HTTPS_CA="Z:${prefix//\//\\}\\loopback-ca.pem"
# One Wine server for every test, started before them: without it each test program pays for
# starting one.
wineserver -p
wine wineboot --init >/dev/null 2>&1
ctest --preset windows -j "$(nproc)"
