#!/usr/bin/env bash
# Checks the install rules and the .deb of a configured and built native
# build: installs into a temporary prefix and runs the installed program,
# builds the .deb and looks inside it, lints the man page, and verifies the
# systemd units against the files of the package.
#
#   scripts/check-packaging.sh BUILD_DIR      (e.g. build/default)
#
# Installs the Debian packages it needs (as root or through sudo). Exits
# non-zero if any check fails, after naming each failure.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured and built native build)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)

need=()
command -v groff >/dev/null || need+=(groff)
command -v man >/dev/null || need+=(man-db)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v systemd-analyze >/dev/null || need+=(systemd)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${need[*]}"
  $sudo apt-get update -qq || exit 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" \
    >/dev/null || exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=()
fail() {
  echo "FAIL: $*"
  failures+=("$*")
}
ok() { echo "ok: $*"; }

# Expects the output of a command ($2) to equal a text ($3); $1 names it.
same() {
  if [ "$2" == "$3" ]; then
    ok "$1"
  else
    fail "$1"
    diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | sed 's/^/    /'
  fi
}

echo "== cmake --install"
inst="$tmp/inst"
if ! cmake --install "$build" --prefix "$inst" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  fail "cmake --install $build"
fi
same "installed files" "$(cd "$inst" 2>/dev/null && find . -type f | sort)" \
"./bin/olvane
./share/doc/olvane/LICENSE
./share/doc/olvane/README.md
./share/doc/olvane/command-line.md
./share/doc/olvane/linux.md
./share/doc/olvane/olvane-purge.service
./share/doc/olvane/olvane-purge.timer
./share/doc/olvane/olvane-windows.conf
./share/doc/olvane/olvane.conf
./share/doc/olvane/olvane.cron
./share/doc/olvane/windows-task.md
./share/doc/olvane/windows.md
./share/man/man1/olvane.1"
for f in README.md LICENSE docs/command-line.md docs/linux.md docs/windows.md \
         docs/olvane-purge.service docs/olvane-purge.timer \
         docs/olvane.cron docs/windows-task.md docs/olvane.conf \
         docs/olvane-windows.conf; do
  cmp -s "$src/$f" "$inst/share/doc/olvane/$(basename "$f")" ||
    fail "installed $(basename "$f") differs from $f"
done
cmp -s "$src/docs/olvane.1" "$inst/share/man/man1/olvane.1" ||
  fail "installed man page differs from docs/olvane.1"

echo "== the installed program"
# Runs a program ($2...) and checks its exit status ($1); sets $out.
run() {
  local want=$1 status
  shift
  out=$("$@" 2>&1)
  status=$?
  [ "$status" -eq "$want" ] ||
    fail "$* exited with $status, not $want"
}
check_usage() {
  run 0 "$1"
  same "$1 without arguments: usage screen" "$(head -n 1 <<<"$out")" \
    "   olvane: purge expired files. V.1.0. Usage:"
}
check_usage "$inst/bin/olvane"
run 0 "$inst/bin/olvane" --version
same "--version" "$out" "olvane 1.0.0"

dir="$tmp/purge"
mkdir -p "$dir"
echo old >"$dir/a.log"
run 0 "$inst/bin/olvane" -d100000 "$dir"
same "-d100000: nothing due" "$out" "     0 file(s) deleted."
[ -f "$dir/a.log" ] || fail "-d100000 removed a file that is not due"
run 0 "$inst/bin/olvane" -d0 "$dir"
same "-d0: the file deleted" "$out" "Delete file: $dir/a.log
     1 file(s) deleted."
[ ! -e "$dir/a.log" ] || fail "-d0 left $dir/a.log in place"

echo "== man page"
page="$inst/share/man/man1/olvane.1"
[ -f "$page" ] || page="$src/docs/olvane.1"
lint=$(groff -man -ww -z "$page" 2>&1)
[ -z "$lint" ] && ok "groff -man -ww -z" || fail "groff -man -ww -z: $lint"
lint=$(man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$lint" ] && ok "man --warnings -l" || fail "man --warnings -l: $lint"
text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null)
missing=()
for section in NAME SYNOPSIS DESCRIPTION OPTIONS OUTPUT "EXIT STATUS" \
               "HELD-OPEN FILES" EXAMPLES SCHEDULING FILES "SEE ALSO"; do
  grep -qx "$section" <<<"$text" || missing+=("$section")
done
[ ${#missing[@]} -eq 0 ] && ok "man page sections" ||
  fail "man page lacks sections: ${missing[*]}"

echo "== cpack -G DEB"
if ! (cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$tmp/pkg") \
    >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  fail "cpack -G DEB"
fi
debs=("$tmp"/pkg/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "cpack made no single .deb: ${debs[*]}"
else
  deb=${debs[0]}
  arch=$(dpkg --print-architecture)
  same ".deb file name" "$(basename "$deb")" "olvane_1.0.0_${arch}.deb"
  echo "-- dpkg-deb -I $(basename "$deb")"
  dpkg-deb -I "$deb" || fail "dpkg-deb -I"
  echo "-- dpkg-deb -c $(basename "$deb")"
  dpkg-deb -c "$deb" | tee "$tmp/contents" || fail "dpkg-deb -c"
  for f in ./usr/bin/olvane ./usr/share/man/man1/olvane.1 \
           ./usr/share/doc/olvane/README.md ./usr/share/doc/olvane/LICENSE \
           ./usr/share/doc/olvane/linux.md ./usr/share/doc/olvane/windows.md \
           ./usr/share/doc/olvane/olvane-purge.service \
           ./usr/share/doc/olvane/olvane-purge.timer \
           ./usr/share/doc/olvane/olvane.cron \
           ./usr/share/doc/olvane/windows-task.md; do
    awk '{print $6}' "$tmp/contents" | grep -qxF "$f" || fail ".deb lacks $f"
  done
  for field in "Package: olvane" "Version: 1.0.0" "Section: utils" \
               "Architecture: $arch"; do
    dpkg-deb -f "$deb" "${field%%:*}" | grep -qxF "${field#*: }" ||
      fail ".deb control has no '$field'"
  done
  # Filled in by dpkg-shlibdeps: the C and C++ runtimes at least.
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libc6 (>=' <<<"$depends" && grep -q 'libstdc++6' <<<"$depends" &&
    ok "Depends: $depends" || fail "Depends not computed: '$depends'"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail ".deb has no Maintainer"

  echo "== systemd-analyze verify"
  # The units as shipped, checked in a root made of the package's files
  # (so ExecStart=/usr/bin/olvane is the packaged program, and man: finds
  # the packaged page) plus the system's own units they depend on.
  root="$tmp/root"
  dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
  check_usage "$root/usr/bin/olvane"
  mkdir -p "$root/etc/systemd/system" "$root/usr/lib/systemd"
  cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
  [ -e "$root/lib" ] || ln -s usr/lib "$root/lib"
  cp "$root/usr/share/doc/olvane/olvane-purge.service" \
     "$root/usr/share/doc/olvane/olvane-purge.timer" \
     "$root/etc/systemd/system/"
  report=$(cd "$tmp" && MANPATH="$root/usr/share/man" systemd-analyze verify \
    --root="$root" olvane-purge.service olvane-purge.timer 2>&1)
  status=$?
  if [ $status -eq 0 ] && [ -z "$report" ]; then
    ok "systemd-analyze verify olvane-purge.service olvane-purge.timer"
  else
    fail "systemd-analyze verify (status $status): $report"
  fi
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "${#failures[@]} check(s) failed:"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "All packaging checks passed."
