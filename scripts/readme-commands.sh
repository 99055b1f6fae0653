#!/usr/bin/env bash
# Runs every command that README.md marks runnable, so that the README
# cannot drift from the program:
#
#   scripts/readme-commands.sh PROGRAM [README]
#
# A fenced block whose info string is "sh runnable" holds commands (a line
# ending in "\" goes on; "#" lines are comments); "sh runnable status=0,4"
# names the exit statuses the README promises, else 0. A fenced block whose
# info string holds "file=PATH" is written to PATH before the commands
# that follow it. Blocks are taken in README order, in one temporary tree:
# every absolute path under /srv, /var, /etc or /mnt is moved into it, the
# folders a command names are made there (with a file in each), and a
# command that names any other absolute path is refused unrun. "olvane"
# is PROGRAM. A command passes when its status is one promised, nothing
# reaches standard error, and no line on standard output is a refusal.
set -uo pipefail

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 PROGRAM [README]" >&2
  exit 2
fi
program=$(realpath "$1")
readme=${2:-$(dirname "$0")/../README.md}
tmp=$(mktemp -d /tmp/olvane_readme.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
mkdir -p "$tmp/bin" "$root"
# A mask's fixture file holds this word: an argument that holds it is a
# mask the shell expanded, which olvane would never see whole.
glob=unquoted_mask
printf '#!/bin/sh\nfor a; do case "$a" in *%s*) echo "the shell expanded a mask: quote it" >&2; exit 99;; esac; done\nexec "%s" "$@"\n' \
  "$glob" "$program" >"$tmp/bin/olvane"
chmod +x "$tmp/bin/olvane"
export PATH="$tmp/bin:$PATH"
failures=0 ran=0

rewrite() { sed -E "s#(^|[[:space:]=:'\"])/(srv|var|etc|mnt)/#\1$root/\2/#g"; }

# Makes what an absolute path of a recipe needs: a mask's folder and a file
# it matches, a file's folder (a last part with a dot names a file), or a
# folder with one file in it; a mask's file holds $glob. What is already there is kept.
make_fixture() {
  local path=$1 dir=${1%/*} name=${1##*/}
  case "$name" in
    *'*'* | *'?'*)
      name=${name//\*/$glob}
      mkdir -p "$dir" && [ -e "$dir/${name//\?/x}" ] ||
        echo fixture >"$dir/${name//\?/x}" ;;
    *.*) mkdir -p "$dir" ;;
    *) mkdir -p "$path" && [ -n "$(ls -A "$path")" ] ||
         echo fixture >"$path/a.log" ;;
  esac
}

# Prepares the tree for a text (a command or a file) and says whether every
# absolute path in it lies in the tree.
prepare() {
  local path
  while read -r path; do
    case "$path" in
      "$root"/*) make_fixture "$path" ;;
      /dev/null) ;;
      *) echo "FAIL: outside the temporary tree: $path"; return 1 ;;
    esac
  done < <(grep -oE "(^|[[:space:]=:'\"])/[^[:space:]'\"]+" <<<"$1" |
           sed -E "s#^[[:space:]=:'\"]##")
}

run_command() {
  local cmd=$1 want=$2 out status
  ran=$((ran + 1))
  cmd=$(rewrite <<<"$cmd")
  case "${cmd%% *}" in
    olvane | jq | find | test) ;;
    *) echo "FAIL: not a command this test runs: $1"; failures=$((failures + 1)); return ;;
  esac
  prepare "$cmd" || { failures=$((failures + 1)); return; }
  out=$(cd "$root" && timeout 120 bash -o pipefail -c "$cmd" 2>"$tmp/stderr")
  status=$?
  if [[ ",$want," != *",$status,"* ]] || [ -s "$tmp/stderr" ] ||
     grep -qE "^   (Invalid|Unknown option|Path don't find|Config error|Not with|Will not|Given twice|Another run|olvane: purge expired files)" <<<"$out"; then
    echo "FAIL: $1"
    echo "  exit status $status, README says $want"
    { printf '%s\n' "$out"; cat "$tmp/stderr"; } | sed 's/^/  | /' | head -20
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

block="" want=0 file="" cmd=""
while IFS= read -r line; do
  if [ -z "$block" ]; then
    case "$line" in
      '```'*'file='*) block=file file=${line##*file=} file=${file%% *}
                      file=$(rewrite <<<" $file") file=${file# } ; : >"$tmp/file" ;;
      '```sh runnable'*) block=run want=0
                         [[ "$line" == *status=* ]] && want=${line##*status=} ;;
      '```'*) block=other ;;
    esac
    continue
  fi
  if [ "$line" = '```' ]; then
    if [ "$block" = file ]; then
      if [[ "$file" != "$root"/* ]]; then
        echo "FAIL: outside the temporary tree: $file"
        failures=$((failures + 1))
      else
        prepare "$(rewrite <"$tmp/file")" && mkdir -p "${file%/*}" &&
          rewrite <"$tmp/file" >"$file" || failures=$((failures + 1))
      fi
    fi
    block=""
    continue
  fi
  case "$block" in
    file) printf '%s\n' "$line" >>"$tmp/file" ;;
    run)
      [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
      cmd+=${line%\\}
      [[ "$line" == *\\ ]] && continue
      run_command "$cmd" "$want"
      cmd="" ;;
  esac
done <"$readme"

if [ "$ran" -eq 0 ]; then
  echo "FAIL: no runnable command found in $readme"
  exit 1
fi
echo "$ran command(s) run, $failures failure(s)"
[ "$failures" -eq 0 ]
