#!/bin/sh
# Fails when a source file includes a header from a folder above its own.
#
# usage: scripts/check_layers.sh [SOURCE_ROOT]   (default: src beside this script)
#
# The folders of the source tree stand in layers; a file may include headers from its own
# folder and from folders in lower layers, never from a folder in its own layer or above:
#
#   0 platform                      operating-system facilities and their fakes
#   1 app                           text helpers, settings, language, start-up, the tray record
#   2 engine                        keys, fingerprints, the signature table, the safe list
#   3 threats                       the threat log, quarantine, processes, removal, the threat list
#   4 scan                          the walk, the recording check, the runs and their state
#   5 protect update schedule repair
#   6 cli ui                        the two front ends
#
# Includes of system or library headers (<...>) are not looked at. Every folder under the root
# must be in the table, so a new folder is placed before its first include is accepted.
set -eu

root=${1:-$(dirname "$0")/../src}

layer_of() {
  case $1 in
    platform) echo 0 ;;
    app) echo 1 ;;
    engine) echo 2 ;;
    threats) echo 3 ;;
    scan) echo 4 ;;
    protect | update | schedule | repair) echo 5 ;;
    cli | ui) echo 6 ;;
    *) echo unknown ;;
  esac
}

status=0
for folder in "$root"/*/; do
  name=$(basename "$folder")
  own=$(layer_of "$name")
  if [ "$own" = unknown ]; then
    echo "$name/: this folder has no layer; add it to $0" >&2
    status=1
    continue
  fi
  # Every '#include "folder/..."' line of every source file below the folder.
  found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z0-9_]+/' \
            --include='*.h' --include='*.cpp' --include='*.inc' "$folder" || true)
  [ -n "$found" ] || continue
  upward=$(printf '%s\n' "$found" | while IFS= read -r line; do
    target=${line#*\"}
    target=${target%%/*}
    [ "$target" = "$name" ] && continue
    other=$(layer_of "$target")
    if [ "$other" = unknown ] || [ "$other" -ge "$own" ]; then
      location=${line%%:[[:space:]#]*}
      echo "$location: $name/ (layer $own) includes $target/ (layer $other)"
    fi
  done)
  if [ -n "$upward" ]; then
    printf '%s\n' "$upward" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "every include looks down"
exit $status
