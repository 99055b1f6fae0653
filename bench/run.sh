#!/usr/bin/env bash
# Times olvane against find on fresh trees of one shape, side by side.
#
#   bench/run.sh [FOLDERS] [FILES_PER_FOLDER] [ROUNDS]
#
# Builds a tree of FOLDERS folders holding FILES_PER_FOLDER empty files each
# (default 200 x 500) afresh before every run, and in each round times:
#   delete:  olvane -d0 DIR -r       against  find DIR -type f -delete
#   examine: olvane -d100000 DIR -r  against  find DIR -type f -newermt 1970-01-02
# Standard output goes to a file in every case. The last lines are the
# median ratios (olvane time / find time) and olvane's peak resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."

folders=${1:-200}
files=${2:-500}
rounds=${3:-3}
olvane=${OLVANE:-$PWD/build/default/olvane}
[ -x "$olvane" ] || { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/olvane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Builds the tree afresh at $1: the same shape for every run.
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
echo "tree: $folders folders x $files files = $((folders * files)) files"

# Runs a command on a fresh tree; prints "seconds max_rss_kib".
measure() {
  rm -rf "$work/copy"
  build_tree "$work/copy"
  local cmd=("${@//DIR/$work/copy}")
  /usr/bin/time -f '%e %M' -o "$work/time" "${cmd[@]}" >"$work/out" 2>&1
  cat "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -a del_ratio exam_ratio
peak=0
for round in $(seq 1 "$rounds"); do
  read -r t_od m_od < <(measure "$olvane" -d0 DIR -r)
  read -r t_fd _ < <(measure find DIR -type f -delete)
  read -r t_oe m_oe < <(measure "$olvane" -d100000 DIR -r)
  read -r t_fe _ < <(measure find DIR -type f -newermt 1970-01-02)
  for m in $m_od $m_oe; do [ "$m" -gt "$peak" ] && peak=$m; done
  del_ratio+=("$(awk -v a="$t_od" -v b="$t_fd" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }')")
  exam_ratio+=("$(awk -v a="$t_oe" -v b="$t_fe" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }')")
  echo "round $round: delete olvane ${t_od}s find ${t_fd}s; examine olvane ${t_oe}s find ${t_fe}s"
done

echo "deletion ratio (olvane/find, median of $rounds): $(printf '%s\n' "${del_ratio[@]}" | median)"
echo "examine ratio (olvane/find, median of $rounds): $(printf '%s\n' "${exam_ratio[@]}" | median)"
echo "olvane peak resident memory: $peak KiB"
