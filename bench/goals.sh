#!/usr/bin/env bash
# Peak memory and time of the retention goals on a tree of many files: a
# ranked run remembers what its goals need, not the tree.
#
#   bench/goals.sh [FILES]     default 1000000, in folders of 1,000
#
# The tree (in /dev/shm, or TMPDIR) is built once: 1% of the files (the
# first folders) hold one byte and are the oldest, the rest are empty and
# newer. Every run is report-only (-n), so the same tree serves them all:
# a plain run, two goals that select that 1% (--max-files, and --max-size=0,
# which only the non-empty files' blocks keep from being met), two that
# select none, and --keep. Prints seconds and peak resident memory for each.
#
#   bench/goals.sh deep [FILES]   default 66000
#
# builds FILES empty files in one folder 16 KB below the target (80 folders
# of 200-character names) instead: what a ranked run remembers of a file
# must not grow with the length of its path.
set -euo pipefail
cd "$(dirname "$0")/.."

olvane=${OLVANE:-$PWD/build/default/olvane}
[ -x "$olvane" ] || { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }
deep=0
if [ "${1:-}" = deep ]; then deep=1 && shift; fi
files=${1:-$((deep ? 66000 : 1000000))}
folders=$((files / 1000))
oldest=$((folders / 100 > 0 ? folders / 100 : 1))

work=$(mktemp -d "${TMPDIR:-/dev/shm}/olvane_goals.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "building $files files in $work ..."
if [ "$deep" = 1 ]; then
  # One folder at a time: the whole path is longer than any one call takes.
  (cd "$work" && for d in $(seq 10 89); do
    name=$(printf "%0200d" "$d") && mkdir "$name" && cd "$name"
  done && seq -f 'f%g' 1 "$files" | xargs touch -m -d 2024-01-01)
  folders=0
fi
for d in $(seq 1 "$folders"); do
  mkdir "$work/d$d"
  if [ "$d" -le "$oldest" ]; then
    (cd "$work/d$d" && for f in $(seq 1 1000); do printf x >"f$f"; done &&
      touch -m -d 2020-01-01 f*)
  else
    (cd "$work/d$d" && seq -f 'f%g' 1 1000 | xargs touch -m -d 2024-01-01)
  fi
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"

run() {
  local label=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work.time" "$olvane" -d0 "$work" -r -n -t:m "$@" \
    >"$work.out" 2>&1 || true
  read -r secs kib <"$work.time"
  printf '%-26s %7.1f s  peak %7d KiB  %s\n' "$label" "$secs" "$kib" \
    "$(tail -n 1 "$work.out" | sed 's/^ *//')"
}

run "plain (no goal)"
if [ "$deep" = 1 ]; then
  run "--max-size=0" --max-size=0
  run "--max-files=100000" --max-files=100000
  rm -f "$work.time" "$work.out"
  exit
fi
run "--max-files=$((files / 100)) (1%)" --max-files=$((files / 100))
run "--max-size=0 (1%)" --max-size=0
run "--max-size=1T (none)" --max-size=1T
run "--min-free=0 (none)" --min-free=0
run "--keep=100" --keep=100
rm -f "$work.time" "$work.out"
