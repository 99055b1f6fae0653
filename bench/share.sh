#!/usr/bin/env bash
# Times olvane against find on a file system that waits a set time in every
# metadata operation, as a network share pays a round trip to its server.
#
#   bench/share.sh [ROUNDS] [LATENCY_US]
#
# SHAPES="200x50 2000x5" (the default) sets the trees: FOLDERS x FILES
# files of one byte (a block each, which --max-size=0 counts). WORKERS="1 8 32 128" the --workers runs beside the default one
# (WORKERS= for none). GOALS="--max-files=ALL --min-free=100% --max-size=0
# --keep=10" (the default; GOALS= for none) the ranked runs and --keep, each
# `olvane -d0 TREE -r GOAL` with the default workers (ALL: every file).
# BASELINE=path of another build's olvane (one before a change, built in a
# folder of its own): its deletion, goals and examination are timed beside.
# Each run gets a fresh tree, made directly in the served folder, and a
# fresh mount of build/default/latencyfs over it (empty caches), in a mount
# namespace of its own. Times, side by side, in each round:
#   find TREE -type f -delete                   olvane -d0 TREE -r (default workers)
#   olvane -d0 TREE -r --workers=N for each N of WORKERS
#   find TREE -type f -newermt 1970-01-02       olvane -d100000 TREE -r (none due)
# The table gives the medians over the rounds of the seconds and of each
# time over find's, and the peak resident memory of olvane. Everything is
# unmounted and removed on every exit. Needs root and /dev/fuse.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-3}
latency=${2:-1000}
build=${BUILD:-$PWD/build/default}
olvane=${OLVANE:-$build/olvane}
fs=$build/latencyfs
if [ ! -x "$olvane" ] || [ ! -x "$fs" ]; then
  cmake --preset default >/dev/null
  cmake --build "$build" -j2 --target olvane latencyfs >/dev/null
fi
[ -x "$fs" ] || { echo "needs libfuse3-dev to build latencyfs"; exit 1; }
[ -c /dev/fuse ] || { echo "needs /dev/fuse"; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }
# The mounts live and die with a namespace of the script's own.
if [ -z "${OLVANE_SHARE_NS:-}" ]; then
  OLVANE_SHARE_NS=1 exec unshare -m --propagation private "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/olvane_share.XXXXXX")
fs_pid=
unmount() {
  if [ -n "$fs_pid" ]; then
    umount -l "$work/mnt" 2>/dev/null || true
    wait "$fs_pid" 2>/dev/null || true
    fs_pid=
  fi
}
trap 'unmount; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir "$work/mnt"

# Makes the tree $1 x $2 afresh in the served folder.
build_tree() {
  rm -rf "$work/src"
  mkdir "$work/src"
  (
    cd "$work/src"
    seq -f 'd%g' 1 "$1" | xargs mkdir
    for d in $(seq 1 "$1"); do
      (cd "d$d" && for f in $(seq -f 'file%g.log' 1 "$2"); do printf x >"$f"; done)
    done
  )
}

# Mounts the served folder, runs a command on it (TREE in it stands for the
# mount point), unmounts; prints "seconds max_rss_kib".
measure() {
  local shape=$1
  shift
  build_tree "${shape%x*}" "${shape#*x}"
  LATENCYFS_US=$latency "$fs" "$work/src" "$work/mnt" 2>>"$work/fs.log" &
  fs_pid=$!
  for _ in $(seq 100); do mountpoint -q "$work/mnt" && break; sleep 0.05; done
  mountpoint -q "$work/mnt" || { echo "latencyfs did not mount"; cat "$work/fs.log"; exit 1; }
  local cmd=("${@//TREE/$work/mnt}")
  /usr/bin/time -q -f '%e %M' -o "$work/time" "${cmd[@]}" >"$work/out" 2>&1 || true
  unmount
  cat "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }'; }

echo "latency ${latency} us per metadata operation; $(nproc) processors; load: $(uptime | sed 's/.*load/load/')"
for shape in ${SHAPES:-200x50 2000x5}; do
  names=(find default) cmds=()
  cmds+=("find TREE -type f -delete" "$olvane -d0 TREE -r")
  for n in ${WORKERS-1 8 32 128}; do
    names+=("workers=$n") cmds+=("$olvane -d0 TREE -r --workers=$n")
  done
  if [ -n "${BASELINE:-}" ]; then
    names+=("baseline") cmds+=("$BASELINE -d0 TREE -r")
  fi
  all=$((${shape%x*} * ${shape#*x}))
  for goal in ${GOALS---max-files=ALL --min-free=100% --max-size=0 --keep=10}; do
    goal=${goal//ALL/$all}
    names+=("$goal") cmds+=("$olvane -d0 TREE -r $goal")
    if [ -n "${BASELINE:-}" ]; then
      names+=("baseline $goal") cmds+=("$BASELINE -d0 TREE -r $goal")
    fi
  done
  exa=${#cmds[@]}
  names+=("examine find" "examine olvane")
  cmds+=("find TREE -type f -newermt 1970-01-02" "$olvane -d100000 TREE -r")
  if [ -n "${BASELINE:-}" ]; then
    names+=("examine baseline") cmds+=("$BASELINE -d100000 TREE -r")
  fi
  declare -A times=() peak=()
  for round in $(seq 1 "$rounds"); do
    for i in "${!cmds[@]}"; do
      read -r -a cmd <<<"${cmds[$i]}"
      read -r t m < <(measure "$shape" "${cmd[@]}")
      times[$i]+="$t "
      [ "${peak[$i]:-0}" -gt "$m" ] || peak[$i]=$m
      echo "$shape round $round ${names[$i]}: ${t}s ${m}KiB" >&2
    done
  done
  echo
  echo "tree $shape (folders x files), medians of $rounds; load now: $(uptime | sed 's/.*load average: //')"
  echo "| run | seconds | / find | peak KiB |"
  echo "|---|---|---|---|"
  m() { printf '%s\n' $1 | median; }
  find_del=$(m "${times[0]}")
  find_exa=$(m "${times[$exa]}")
  for i in "${!cmds[@]}"; do
    t=$(m "${times[$i]}")
    base=$find_del
    [[ ${names[$i]} == examine* ]] && base=$find_exa
    echo "| ${names[$i]} | $t | $(ratio "$t" "$base") | ${peak[$i]} |"
  done
done
