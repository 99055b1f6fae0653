#!/usr/bin/env bash
# Cost per file and peak memory as the tree grows: "olvane -d0 DIR -r"
# beside "find DIR -type f -delete" on fresh trees of 500 files a folder.
#
#   bench/scale.sh [SIZES...]     default: 10000 100000; add 1000000 for
#                                 the largest (several minutes to build)
set -euo pipefail
cd "$(dirname "$0")/.."

olvane=${OLVANE:-$PWD/build/default/olvane}
[ -x "$olvane" ] || { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }
[ $# -gt 0 ] || set -- 10000 100000

work=$(mktemp -d "${TMPDIR:-/tmp}/olvane-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT

build_tree() {
  mkdir "$1"
  (
    cd "$1"
    for d in $(seq 1 "$(($2 / 500))"); do
      mkdir "d$d"
      (cd "d$d" && seq -f 'file%g.log' 1 500 | xargs touch)
    done
  )
}

# Prints "seconds max_rss_kib" for a command run on a fresh tree of $1 files.
measure() {
  local size=$1
  shift
  rm -rf "$work/copy"
  build_tree "$work/copy" "$size"
  local cmd=("${@//DIR/$work/copy}")
  /usr/bin/time -f '%e %M' -o "$work/time" "${cmd[@]}" >"$work/out" 2>&1
  cat "$work/time"
}

for size in "$@"; do
  read -r t_o m_o < <(measure "$size" "$olvane" -d0 DIR -r)
  read -r t_f _ < <(measure "$size" find DIR -type f -delete)
  awk -v n="$size" -v o="$t_o" -v f="$t_f" -v m="$m_o" 'BEGIN {
    printf "%8d files: olvane %.1f us/file, find %.1f us/file, ratio %.2f, peak %d KiB\n",
      n, o * 1e6 / n, f * 1e6 / n, o / (f > 0 ? f : 0.01), m }'
done
