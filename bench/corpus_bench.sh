#!/usr/bin/env bash
# Times `quorvane scan` on corpus A against md5deep, clamscan and the md5sum floor, on a warm
# page cache. Installs hashdeep and clamav when missing, builds the release programs, and builds
# the corpus (about 3.4 GB) once in $CORPUS_DIR (default build/corpus-a).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
QUORVANE_PACKAGES+=(hashdeep clamav)
quorvane_install_packages
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

bin=build/release/bin
corpus=${CORPUS_DIR:-build/corpus-a}
if [ ! -f "$corpus/vir.sig" ]; then
  rm -rf "$corpus"
  "$bin/make_corpus" "$corpus"
fi
tree="$corpus/tree"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/home-nolen"
cp "$corpus/vir.sig" "$work/home/vir.sig"
cp "$corpus/vir-nolen.sig" "$work/home-nolen/vir.sig"

# Warm the page cache.
find "$tree" -type f -print0 | xargs -0 cat > /dev/null
find "$tree" -type f -print0 | xargs -0 cat > /dev/null

seconds() { # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/out" 2> "$work/err" || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

q=$(seconds "$bin/quorvane" --home "$work/home" scan "$tree")
found=$(grep -c 'Quorvane.Threat FOUND' "$work/out" || true)
qn=$(seconds "$bin/quorvane" --home "$work/home-nolen" scan "$tree")
foundn=$(grep -c 'Quorvane.Threat FOUND' "$work/out" || true)
md=$(seconds md5deep -r -m "$corpus/hashes.txt" "$tree")
mdfound=$(wc -l < "$work/out")
cs=$(seconds clamscan -r --no-summary -d "$corpus/sigs.hdb" "$tree")
csfound=$(grep -c 'FOUND' "$work/out" || true)
floor=$(seconds sh -c "find '$tree' -type f -print0 | xargs -0 -P2 -n 200 md5sum")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "corpus A: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB"
printf '%-44s %8s s  found %s\n' "quorvane scan" "$q" "$found"
printf '%-44s %8s s  found %s\n' "quorvane scan, prefilter off (no lengths)" "$qn" "$foundn"
printf '%-44s %8s s  found %s\n' "md5deep -r -m" "$md" "$mdfound"
printf '%-44s %8s s  found %s\n' "clamscan -r -d sigs.hdb" "$cs" "$csfound"
printf '%-44s %8s s\n' "md5sum, 2 processes (floor)" "$floor"
echo "md5deep / quorvane:              $(ratio "$md" "$q")x"
echo "clamscan / quorvane:             $(ratio "$cs" "$q")x"
echo "prefilter off / md5sum floor:    $(ratio "$qn" "$floor")x"
