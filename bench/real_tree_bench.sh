#!/usr/bin/env bash
# Times scans of a real tree with a real-sized signature list, on a warm page cache, best of 3:
# `quorvane scan --all-files`, the default `quorvane scan`, `quorvane smart` with "windows folder"
# on the tree, `md5deep -r -m`, the `find` walk floor and the 2-process `md5sum` floor; with
# --clamscan also `clamscan -r -d` once (it takes minutes). Peak memory (maximum resident set)
# of each quorvane run is given beside its time, and the files found are compared.
# The tree is a copy of /usr/bin, /usr/lib and /usr/share made once in $CORPUS_DIR (default
# build/real-tree); its keys: 1,000,000 (KEYS) of which 60 name files of the tree, the rest
# random digests whose lengths are spread log-uniformly from 100 B to 5 MB (seed SEED).
#   bench/real_tree_bench.sh [--clamscan]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
QUORVANE_PACKAGES+=(hashdeep time python3)
[ "${1:-}" = --clamscan ] && QUORVANE_PACKAGES+=(clamav)
quorvane_install_packages
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

bin=$PWD/build/release/bin
corpus=${CORPUS_DIR:-build/real-tree}
keys=${KEYS:-1000000}
seed=${SEED:-20}
tree="$corpus/tree"
if [ ! -f "$corpus/.copied" ]; then
  rm -rf "$corpus"
  mkdir -p "$tree"
  cp -a /usr/bin /usr/lib /usr/share "$tree"/ 2>/dev/null || true
  touch "$corpus/.copied"
fi
if [ ! -f "$corpus/vir.sig" ] || [ "$(cat "$corpus/.keys" 2>/dev/null)" != "$keys $seed 2" ]; then
  python3 - "$tree" "$corpus" "$keys" "$seed" <<'PY'
import hashlib, math, os, random, sys
tree, out, count, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(seed)
files = []
for root, dirs, names in os.walk(tree):
    dirs.sort()
    for name in sorted(names):
        path = os.path.join(root, name)
        if os.path.isfile(path) and not os.path.islink(path):
            size = os.path.getsize(path)
            if 0 < size < 5242880:
                files.append(path)
chosen = rng.sample(files, 60)
lines, hashes = [], []
for path in chosen:
    data = open(path, 'rb').read()
    digest = hashlib.md5(data).hexdigest()
    lines.append(f"{digest}:{len(data)}")
    hashes.append(f"{digest}  {os.path.basename(path)}")
lo, hi = math.log(100), math.log(5242880)
for _ in range(count - len(chosen)):
    digest = '%032x' % rng.getrandbits(128)
    lines.append(f"{digest}:{int(math.exp(rng.uniform(lo, hi)))}")
    hashes.append(f"{digest}  K{len(hashes)}")  # md5sum's layout, as md5deep -m reads it
with open(os.path.join(out, 'keys.txt'), 'w') as f:
    f.write('\n'.join(lines) + '\n')
with open(os.path.join(out, 'hashes.txt'), 'w') as f:
    f.write('\n'.join(hashes) + '\n')
with open(os.path.join(out, 'sigs.hdb'), 'w') as f:
    f.write(''.join(f"{l}:K{i}\n" for i, l in enumerate(lines)))
with open(os.path.join(out, 'chosen.txt'), 'w') as f:
    f.write('\n'.join(chosen) + '\n')
PY
  "$bin/quorvane" sig build "$corpus/keys.txt" -o "$corpus/vir.sig"
  echo "$keys $seed 2" > "$corpus/.keys"
fi

tree=$(cd "$tree" && pwd) # absolute: the settings and the found paths name it so

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"
cp "$corpus/vir.sig" "$work/home/vir.sig"
"$bin/quorvane" --home "$work/home" settings "windows folder" "$tree" >/dev/null

# Warm the page cache.
for _ in 1 2; do find "$tree" -type f -print0 | xargs -0 cat > /dev/null 2>&1 || true; done

best=""; peak=""
run() { # best wall time of 3 in $best (seconds), the peak RSS of the last in $peak (MB)
  local i t
  best=""
  for i in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" > "$work/out" 2> "$work/err" || true
    # The last line: GNU time puts "Command exited with non-zero status N" before it.
    t=$(tail -1 "$work/time" | cut -d' ' -f1)
    peak=$(( $(tail -1 "$work/time" | cut -d' ' -f2) / 1024 ))
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
}
found_paths() { grep 'Quorvane.Threat FOUND' "$work/out" | sed 's/: Quorvane.Threat FOUND$//' | sort; }

echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB; $keys keys"
run "$bin/quorvane" --home "$work/home" scan --all-files "$tree"; all=$best
found_paths > "$work/found-all"
printf '%-40s %7s s %5s MB  found %s\n' "quorvane scan --all-files" "$best" "$peak" "$(wc -l < "$work/found-all")"
run "$bin/quorvane" --home "$work/home" scan "$tree"; default=$best
printf '%-40s %7s s %5s MB  found %s\n' "quorvane scan" "$best" "$peak" "$(found_paths | wc -l)"
run "$bin/quorvane" --home "$work/home" smart; smart=$best
printf '%-40s %7s s %5s MB  found %s\n' "quorvane smart (windows folder = tree)" "$best" "$peak" "$(found_paths | wc -l)"
# Its areas: the signature load is a run that checks one empty file; memory is what `quick`
# takes beyond it, the folder what a default scan of the tree takes beyond it; startup entries
# and components are the rest.
run "$bin/quorvane" --home "$work/home" quick; quick=$best
: > "$work/empty"
run "$bin/quorvane" --home "$work/home" scan "$work/empty"; load=$best
awk -v s="$smart" -v q="$quick" -v d="$default" -v l="$load" 'BEGIN {
  m = q - l; f = d - l; r = s - l - m - f
  if (m < 0) m = 0; if (f < 0) f = 0; if (r < 0) r = 0
  printf "  areas of smart: signature load %.2f s (%.0f%%), memory %.2f s (%.0f%%), folder %.2f s (%.0f%%), startup and components %.2f s (%.0f%%)\n",
         l, 100 * l / s, m, 100 * m / s, f, 100 * f / s, r, 100 * r / s }'
run md5deep -r -m "$corpus/hashes.txt" "$tree"; md=$best
sort "$work/out" > "$work/found-md5deep"
printf '%-40s %7s s %5s MB  found %s\n' "md5deep -r -m" "$best" "$peak" "$(wc -l < "$work/found-md5deep")"
run find "$tree" -type f -printf '%s\n'; floor=$best
printf '%-40s %7s s\n' "find -type f (walk floor)" "$best"
run sh -c "find '$tree' -type f -print0 | xargs -0 -P2 -n 200 md5sum"
printf '%-40s %7s s\n' "md5sum, 2 processes (hash floor)" "$best"
# The floor of any scan that hashes whole files: only the files whose length some key carries,
# listed beforehand (no walk in the time), hashed by two md5sum processes.
python3 - "$corpus/keys.txt" "$tree" > "$work/candidates" <<'PY'
import os, stat, sys
lengths = {int(line.split(':')[1]) for line in open(sys.argv[1])}
for root, dirs, names in os.walk(sys.argv[2]):
    for name in names:
        path = os.path.join(root, name)
        info = os.lstat(path)
        if stat.S_ISREG(info.st_mode) and info.st_size in lengths:
            sys.stdout.buffer.write(os.fsencode(path) + b'\0')
PY
run sh -c "xargs -0 -P2 -n 4000 md5sum < '$work/candidates'"; hashfloor=$best
printf '%-40s %7s s  (%s files)\n' "md5sum, 2 processes, size candidates only" "$best" \
  "$(tr -cd '\0' < "$work/candidates" | wc -c)"
if [ "${1:-}" = --clamscan ]; then
  start=$(date +%s.%N)
  clamscan -r --no-summary -d "$corpus/sigs.hdb" "$tree" > "$work/out" 2>/dev/null || true
  printf '%-40s %7.1f s  found %s\n' "clamscan -r -d (once)" "$(echo "$(date +%s.%N) - $start" | bc)" "$(grep -c FOUND "$work/out" || true)"
fi
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "md5deep / scan --all-files:   $(ratio "$md" "$all")x"
echo "scan / find floor:            $(ratio "$default" "$floor")x"
echo "md5deep / candidate hash floor: $(ratio "$md" "$hashfloor")x (no scan that hashes can pass this)"
# md5deep follows links to files and to folders; a walk follows none. Its paths that pass
# through a link are left out of the comparison.
if cmp -s <(sort -u "$work/found-all") <(grep -o '/.*' "$work/found-md5deep" | sort -u | while read -r p; do [ "$(realpath "$p")" = "$p" ] && echo "$p"; done | sort -u); then
  echo "found: scan --all-files and md5deep found the same files (paths through links left out)"
else
  echo "note: the files found by scan --all-files and md5deep (paths through links left out) differ"
fi
