#!/usr/bin/env bash
# What proving files free costs where no lease can be had: the look at the
# other processes' tables, taken once per folder, against the write lease.
#
#   bench/fallback.sh [FOLDERS] [FILES_PER_FOLDER] [ROUNDS] [HOLDERS] [FDS]
#
# Starts HOLDERS processes (default 100) that each keep FDS files open
# (default 20), then times, on fresh trees of FOLDERS x FILES_PER_FOLDER
# empty files (default 100 x 500), "olvane -d0 DIR -r" built as usual
# (leases) against the same command built with OLVANE_NO_LEASES (the look
# for every file). Runs in a PID namespace of its own with its own /proc,
# as in a container: the look needs every process's tables, and a sandbox's
# init may hide its own even from root.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${OLVANE_BENCH_INSIDE:-}" ]; then
  for preset in default; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null
  done
  cmake -S . -B build/bench-noleases -DCMAKE_BUILD_TYPE=Release \
    -DOLVANE_TESTS=OFF -DOLVANE_NO_LEASES=ON >/dev/null
  cmake --build build/bench-noleases -j2 >/dev/null
  command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }
  exec env OLVANE_BENCH_INSIDE=1 unshare --pid --fork --mount-proc "$0" "$@"
fi

folders=${1:-100}
files=${2:-500}
rounds=${3:-3}
holders=${4:-100}
fds=${5:-20}
lease=$PWD/build/default/olvane
look=$PWD/build/bench-noleases/olvane

work=$(mktemp -d "${TMPDIR:-/tmp}/olvane-fallback.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

# The other processes: each keeps its own FDS files open.
mkdir "$work/held"
for h in $(seq 1 "$holders"); do
  redirects=""
  for f in $(seq 1 "$fds"); do
    : >"$work/held/h$h-$f"
    redirects+=" $((f + 2))<$work/held/h$h-$f"
  done
  eval "sleep 3600 $redirects &"
done
echo "$(ls /proc | grep -c '^[0-9]') processes, $holders of them holding $fds files each"
echo "tree: $folders folders x $files files = $((folders * files)) files"

build_tree() {
  mkdir "$1"
  (
    cd "$1"
    for d in $(seq 1 "$folders"); do
      mkdir "d$d"
      (cd "d$d" && seq -f 'file%g.log' 1 "$files" | xargs touch)
    done
  )
}

# Runs olvane on a fresh tree; prints its seconds and checks that every
# file went.
measure() {
  rm -rf "$work/copy"
  build_tree "$work/copy"
  /usr/bin/time -f '%e' -o "$work/time" "$1" -d0 "$work/copy" -r >"$work/out"
  tail -1 "$work/out" | grep -q " $((folders * files)) file(s) deleted." ||
    { echo "not every file was deleted: $(tail -1 "$work/out")"; exit 1; }
  cat "$work/time"
}

ratios=()
for round in $(seq 1 "$rounds"); do
  t_lease=$(measure "$lease")
  t_look=$(measure "$look")
  ratios+=("$(awk -v a="$t_look" -v b="$t_lease" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }')")
  awk -v a="$t_look" -v b="$t_lease" -v n=$((folders * files)) -v r="$round" 'BEGIN {
    printf "round %d: lease %.1f us/file, look %.1f us/file\n", r, b * 1e6 / n, a * 1e6 / n }'
done
echo "look / lease: $(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }') (median of $rounds)"
