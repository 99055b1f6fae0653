#!/usr/bin/env bash
# Times olvane against find on copies of real trees, side by side.
#
#   bench/real.sh [ROUNDS] [SOURCE]
#
# FILESYSTEMS=tmpfs (or disk) limits it to one of the two.
# Two trees: a copy of SOURCE (default /usr/share: tens of thousands of
# files in thousands of small folders), and a tree shaped like a log archive
# (a folder per day for a year, a folder per hour in each, three files an
# hour). Each is copied afresh before every run, into tmpfs (/dev/shm) and
# onto the disk file system (TMPDIR, else /var/tmp). In each round, on each
# copy, it times:
#   delete:  find T ! -type d -delete      olvane -d0 T -r
#   examine: find T ! -type d -newermt 1970-01-02 (nothing is that old)
#                                          olvane -d100000 T -r
# olvane with one worker and with the default number. Standard output goes
# to a file. The table gives the medians over the rounds of olvane's time
# over find's (paired: each round's runs one after another), the speed-up
# of the default workers over one, and olvane's peak resident memory.
# Note that olvane keeps links to folders, which find ! -type d deletes.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-3}
source=${2:-/usr/share}
olvane=${OLVANE:-$PWD/build/default/olvane}
[ -x "$olvane" ] || { cmake --preset default >/dev/null && cmake --build --preset default >/dev/null; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (apt-get install time)"; exit 1; }

disk=$(mktemp -d "${TMPDIR:-/var/tmp}/olvane-real.XXXXXX")
shm=$(mktemp -d /dev/shm/olvane-real.XXXXXX)
trap 'rm -rf "$disk" "$shm"' EXIT

# The log archive, made once on disk and copied like the other tree.
logs="$disk/logs-template"
mkdir "$logs"
(
  cd "$logs"
  hours() { awk 'BEGIN { for (d = 0; d < 365; d++) for (h = 0; h < 24; h++)
    printf "2025-%03d/%02d\n", d + 1, h }'; }
  hours | xargs mkdir -p
  hours | awk '{ print $0 "/app.log"; print $0 "/access.log"; print $0 "/error.log" }' | xargs touch
)

# Runs a command on a fresh copy of tree $1 below $2; prints
# "seconds max_rss_kib".
measure() {
  local tree=$1 base=$2
  shift 2
  rm -rf "$base/copy"
  cp -a "$tree" "$base/copy"
  sync -f "$base/copy" 2>/dev/null || true
  local cmd=("${@//TREE/$base/copy}")
  /usr/bin/time -f '%e %M' -o "$base/time" "${cmd[@]}" >"$base/out" 2>&1
  cat "$base/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 0.01) }'; }

echo "| tree | file system | work | olvane 1 worker / find | olvane default / find | 1 worker / default | find s | default s | peak KiB |"
echo "|---|---|---|---|---|---|---|---|---|"
for tree in "$source" "$logs"; do
  name=$([ "$tree" = "$logs" ] && echo "log archive" || echo "$tree")
  for fs in ${FILESYSTEMS:-tmpfs disk}; do
    base=$([ $fs = tmpfs ] && echo "$shm" || echo "$disk")
    for work in delete examine; do
      if [ $work = delete ]; then
        find_cmd=(find TREE '!' -type d -delete)
        olv_cmd=("$olvane" -d0 TREE -r)
      else
        find_cmd=(find TREE '!' -type d -newermt 1970-01-02)
        olv_cmd=("$olvane" -d100000 TREE -r)
      fi
      r1=() rd=() sp=() tf=() td=()
      peak=0
      for round in $(seq 1 "$rounds"); do
        read -r t_f _ < <(measure "$tree" "$base" "${find_cmd[@]}")
        read -r t_1 m_1 < <(OLVANE_WORKERS=1 measure "$tree" "$base" "${olv_cmd[@]}")
        read -r t_d m_d < <(measure "$tree" "$base" "${olv_cmd[@]}")
        for m in $m_1 $m_d; do [ "$m" -gt "$peak" ] && peak=$m; done
        r1+=("$(ratio "$t_1" "$t_f")") rd+=("$(ratio "$t_d" "$t_f")")
        sp+=("$(ratio "$t_1" "$t_d")") tf+=("$t_f") td+=("$t_d")
        echo "$name $fs $work round $round: find ${t_f}s, 1 worker ${t_1}s, default ${t_d}s" >&2
      done
      m() { printf '%s\n' "$@" | median; }
      echo "| $name | $fs | $work | $(m "${r1[@]}") | $(m "${rd[@]}") | $(m "${sp[@]}") | $(m "${tf[@]}") | $(m "${td[@]}") | $peak |"
    done
  done
done
