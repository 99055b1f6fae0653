#!/usr/bin/env bash
# Times olvane against find on fresh trees of one shape, side by side.
#
#   bench/run.sh [FOLDERS] [FILES_PER_FOLDER] [ROUNDS]
#
# Builds a tree of FOLDERS folders holding FILES_PER_FOLDER empty files each
# (default 200 x 500) afresh before every run, and in each round, with 1, 2
# and the default number of workers, times:
#   delete:  olvane -d0 DIR -r       against  find DIR -type f -delete
#   examine: olvane -d100000 DIR -r  against  find DIR -type f -newermt 1970-01-02
#   flat:    the same delete on all the files in one folder
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

# Builds the tree afresh at $1: the same shape for every run; with FLAT
# set, all the files in one folder.
build_tree() {
  mkdir "$1"
  if [ -n "${FLAT:-}" ]; then
    (cd "$1" && seq -f 'file%g.log' 1 "$((folders * files))" | xargs touch)
    return
  fi
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

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }'; }

# Every measure for one number of workers ("" is the default).
run_workers() {
  local workers=$1 label=${1:-default}
  local -a del_ratio=() exam_ratio=() flat_ratio=()
  local peak=0
  for round in $(seq 1 "$rounds"); do
    read -r t_od m_od < <(OLVANE_WORKERS=$workers measure "$olvane" -d0 DIR -r)
    read -r t_fd _ < <(measure find DIR -type f -delete)
    read -r t_oe m_oe < <(OLVANE_WORKERS=$workers measure "$olvane" -d100000 DIR -r)
    read -r t_fe _ < <(measure find DIR -type f -newermt 1970-01-02)
    read -r t_ol m_ol < <(FLAT=1 OLVANE_WORKERS=$workers measure "$olvane" -d0 DIR)
    read -r t_fl _ < <(FLAT=1 measure find DIR -type f -delete)
    for m in $m_od $m_oe $m_ol; do [ "$m" -gt "$peak" ] && peak=$m; done
    del_ratio+=("$(ratio "$t_od" "$t_fd")")
    exam_ratio+=("$(ratio "$t_oe" "$t_fe")")
    flat_ratio+=("$(ratio "$t_ol" "$t_fl")")
    echo "workers $label round $round: delete ${t_od}s/${t_fd}s examine ${t_oe}s/${t_fe}s flat ${t_ol}s/${t_fl}s"
  done
  echo "workers $label: delete $(printf '%s\n' "${del_ratio[@]}" | median)" \
    "examine $(printf '%s\n' "${exam_ratio[@]}" | median)" \
    "flat delete $(printf '%s\n' "${flat_ratio[@]}" | median)" \
    "(olvane/find, medians of $rounds); peak memory $peak KiB"
}

for workers in 1 2 ""; do run_workers "$workers"; done
