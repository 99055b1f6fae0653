#!/usr/bin/env bash
# Peak memory and time of the retention goals beside the plain run.
#
#   bench/goals.sh [FILES]     default 1000000, in folders of 1,000
#
# The tree (in /dev/shm, or TMPDIR) is built once: 1% of the files (the
# first folders) hold one byte and are the oldest, the rest are empty and
# newer. Every run is report-only (-n), so the same tree serves them all:
# a plain run, two goals that select that 1% (--max-files, and --max-size=0,
# which only the non-empty files' blocks keep from being met), two that
# select none, and --keep. Prints seconds, peak resident memory and the
# time over the plain run's for each: a ranked run remembers what its goals
# need, not the tree.
#
#   bench/goals.sh deep [FILES]   default 66000
#
# builds FILES empty files in one folder 16 KB below the target (80 folders
# of 200-character names) instead: what a ranked run remembers of a file
# must not grow with the length of its path.
#
#   bench/goals.sh local [ROUNDS] [FOLDERS] [FILES]   default 3, 400 x 100
#
# deletes: a fresh tree of FOLDERS x FILES files of one byte (a block each,
# which --max-size=0 counts) in /dev/shm for every
# run, `olvane -d0 DIR -r` beside the same with --max-files=ALL,
# --min-free=100%, --max-size=0 and --keep=10; medians of ROUNDS and each
# over the plain run's.
#
# BASELINE=path of another build's olvane (one before a change, built in a
# folder of its own) runs every command beside, its time over this plain
# run's in the last column.
set -euo pipefail
cd "$(dirname "$0")/.."

olvane=${OLVANE:-$PWD/build/default/olvane}
[ -x "$olvane" ] || { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }
mode=million
case "${1:-}" in deep | local) mode=$1 && shift ;; esac
work=$(mktemp -d "${TMPDIR:-/dev/shm}/olvane_goals.XXXXXX")
trap 'rm -rf "$work" "$work.time" "$work.out"' EXIT
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
load() { echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"; }

# Times one program's run on the tree; prints "seconds max_rss_kib".
timed() {
  /usr/bin/time -q -f '%e %M' -o "$work.time" "$@" >"$work.out" 2>&1 || true
  cat "$work.time"
}

if [ "$mode" = local ]; then
  rounds=${1:-3} folders=${2:-400} files=${3:-100}
  fresh() {
    rm -rf "$work/t" && mkdir "$work/t"
    (cd "$work/t" && seq -f 'd%g' 1 "$folders" | xargs mkdir &&
      for d in $(seq 1 "$folders"); do
        (cd "d$d" && for f in $(seq -f 'f%g' 1 "$files"); do printf x >"$f"; done)
      done)
  }
  goals=(plain "--max-files=$((folders * files))" --min-free=100% --max-size=0 --keep=10)
  declare -A times=() base=()
  for round in $(seq 1 "$rounds"); do
    for goal in "${goals[@]}"; do
      arg=${goal#plain}
      fresh && read -r t _ < <(timed "$olvane" -d0 "$work/t" -r $arg)
      times[$goal]+="$t "
      if [ -n "${BASELINE:-}" ]; then
        fresh && read -r t _ < <(timed "$BASELINE" -d0 "$work/t" -r $arg)
        base[$goal]+="$t "
      fi
    done
    echo "round $round done" >&2
  done
  echo "tmpfs, $folders x $files files, medians of $rounds; $(load)"
  echo "| run | seconds | / plain | baseline s | baseline / plain |"
  echo "|---|---|---|---|---|"
  plain=$(printf '%s\n' ${times[plain]} | median)
  for goal in "${goals[@]}"; do
    t=$(printf '%s\n' ${times[$goal]} | median) b=- br=-
    if [ -n "${BASELINE:-}" ]; then
      b=$(printf '%s\n' ${base[$goal]} | median) && br=$(ratio "$b" "$plain")
    fi
    echo "| -d0 -r ${goal#plain} | $t | $(ratio "$t" "$plain") | $b | $br |"
  done
  exit
fi

files=${1:-1000000}
[ "$mode" = million ] || files=${1:-66000}
folders=$((files / 1000))
oldest=$((folders / 100 > 0 ? folders / 100 : 1))
echo "building $files files in $work ..."
if [ "$mode" = deep ]; then
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
load
plain=
run() {
  local label=$1 secs kib line
  shift
  read -r secs kib < <(timed "$olvane" -d0 "$work" -r -n -t:m "$@")
  line=$(tail -n 1 "$work.out" | sed 's/^ *//')
  plain=${plain:-$secs}
  printf '%-26s %7.1f s %5s x  peak %7d KiB  %s\n' "$label" "$secs" \
    "$(ratio "$secs" "$plain")" "$kib" "$line"
  if [ -n "${BASELINE:-}" ]; then
    read -r secs kib < <(timed "$BASELINE" -d0 "$work" -r -n -t:m "$@")
    printf '%-26s %7.1f s %5s x  peak %7d KiB\n' "  baseline" "$secs" \
      "$(ratio "$secs" "$plain")" "$kib"
  fi
}

run "plain (no goal)"
if [ "$mode" = deep ]; then
  run "--max-size=0" --max-size=0
  run "--max-files=100000" --max-files=100000
  exit
fi
run "--max-files=$((files / 100)) (1%)" --max-files=$((files / 100))
run "--max-size=0 (1%)" --max-size=0
run "--max-size=1T (none)" --max-size=1T
run "--min-free=0 (none)" --min-free=0
run "--keep=100" --keep=100
