#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs the demo: a folder with
# the EICAR test file and two harmless files, fingerprinted against the shipped vir.sig.
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
cp "$(command -v true)" "$demo/files/tools/true.exe"

echo "== Keys of the demo files (key, MD5, path)"
"$bin/quorvane" --home "$demo/home" key "$demo/files/readme.txt" \
  "$demo/files/tools/true.exe" "$demo/files/tools/eicar.com" | tee "$demo/keys.txt"
echo "== Keys listed in the shipped vir.sig"
while IFS=$'\t' read -r key digest path; do
  if tr -d '\r' < "$demo/home/vir.sig" | grep -qxF "$key"; then
    echo "THREAT  $path"
  else
    echo "clean   $path"
  fi
done < "$demo/keys.txt"
