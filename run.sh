#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs the demo: a scan of a
# folder holding the EICAR test file and two harmless files, with the shipped vir.sig.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
quorvane_install_packages
cmake --preset release
cmake --build --preset release

bin=build/release/bin
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/files/tools"
cp "$bin/vir.sig" "$demo/home/vir.sig"
# The EICAR anti-virus test file is written here, never kept in the repository.
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$' 'EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' \
  > "$demo/files/tools/eicar.com"
printf 'Quorvane demo: a harmless text file.\r\n' > "$demo/files/readme.txt"
cp "$(type -P true)" "$demo/files/tools/true.exe"

echo "== quorvane scan $demo/files (threats are left in place; see --action)"
set +e
"$bin/quorvane" --home "$demo/home" scan "$demo/files"
status=$?
set -e
echo "== exit status $status (0 clean, 1 threats found, 2 error)"
echo "== quorvane history"
"$bin/quorvane" --home "$demo/home" history
[ "$status" -eq 1 ]
