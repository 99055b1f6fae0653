#!/usr/bin/env bash
# Checks the install rules and the two Linux packages of a build made with
# the package preset (prefix /usr): installs into a staging folder and runs
# the installed program on the shipped rules folder, lints the man page,
# builds the .deb and the .rpm and runs lintian and rpmlint on them, and
# verifies the systemd units in a root made of the .deb's files.
#
#   cmake --preset package && cmake --build --preset package
#   scripts/check-packaging.sh build/package
#
# Needs the tools scripts/install-deps.sh installs. Exits non-zero if any
# check fails, after naming each failure.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (built with the package preset)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
if ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build/CMakeCache.txt"; then
  echo "$0: $build does not install into /usr (cmake --preset package)" >&2
  exit 2
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
# Runs a program ($2...) and checks its exit status ($1); sets $out.
run() {
  local want=$1 status
  shift
  out=$("$@" 2>&1)
  status=$?
  [ "$status" -eq "$want" ] || fail "$* exited with $status, not $want"
}

files="./etc/olvane/olvane.conf
./usr/bin/olvane
./usr/lib/systemd/system/olvane.service
./usr/lib/systemd/system/olvane.timer
./usr/share/doc/olvane/README.md
./usr/share/doc/olvane/changelog.gz
./usr/share/doc/olvane/command-line.md
./usr/share/doc/olvane/copyright
./usr/share/doc/olvane/linux.md
./usr/share/doc/olvane/olvane.cron
./usr/share/doc/olvane/windows.md
./usr/share/man/man1/olvane.1.gz"

echo "== cmake --install (DESTDIR)"
inst="$tmp/inst"
DESTDIR="$inst" cmake --install "$build" >"$tmp/install.log" 2>&1 ||
  fail "cmake --install $build: $(cat "$tmp/install.log")"
same "installed files" "$(cd "$inst" && find . -type f | sort)" "$files"
cmp -s "$src/docs/olvane.conf" "$inst/etc/olvane/olvane.conf" ||
  fail "installed olvane.conf differs from docs/olvane.conf"
cmp -s "$src/docs/olvane.1" <(gzip -dc "$inst/usr/share/man/man1/olvane.1.gz") ||
  fail "installed man page differs from docs/olvane.1"

echo "== the installed program and rules folder"
olvane="$inst/usr/bin/olvane"
run 0 "$olvane" --version
same "--version" "$out" "olvane 1.0.0"
# As shipped, the rules folder holds no rule: valid, and a run does nothing.
conf="$inst/etc/olvane"
run 0 "$olvane" --config="$conf" --check
same "--check on the shipped rules folder" "$out" ""
if [ -z "$out" ]; then  # never a run of rules that reach this machine's folders
  run 0 "$olvane" --config="$conf"
  same "a run of the shipped rules folder" "$out" ""
fi
# A rules file dropped beside it is read with it.
dir="$tmp/purge_x"
mkdir -p "$dir"
echo old >"$dir/a.log"
printf '[drop-in]\ntarget = %s\ndays = 0\n' "$dir" >"$conf/drop-in.conf"
run 0 "$olvane" --config="$conf"
[ ! -e "$dir/a.log" ] && ok "a rules file beside olvane.conf is run" ||
  fail "the rule of drop-in.conf left $dir/a.log: $out"

echo "== man page"
page="$tmp/olvane.1"
gzip -dc "$inst/usr/share/man/man1/olvane.1.gz" >"$page"
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

echo "== cpack: .deb and .rpm"
(cd "$build" && cpack --config CPackConfig.cmake -B "$tmp/pkg") \
  >"$tmp/cpack.log" 2>&1 || fail "cpack: $(cat "$tmp/cpack.log")"
arch=$(dpkg --print-architecture)
deb="$tmp/pkg/olvane_1.0.0_${arch}.deb"
rpm="$tmp/pkg/olvane-1.0.0-1.$(uname -m).rpm"
[ -f "$deb" ] || fail "no $(basename "$deb")"
[ -f "$rpm" ] || fail "no $(basename "$rpm")"

echo "-- lintian $(basename "$deb")"
lintian --info --pedantic --fail-on error,warning "$deb" 2>&1 |
  grep -v '^running with root privileges' | tee "$tmp/lintian"
[ "${PIPESTATUS[0]}" -eq 0 ] && [ ! -s "$tmp/lintian" ] &&
  ok "lintian: no tag" || fail "lintian"
same ".deb files" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')" "$files"
same ".deb conffiles" "$(dpkg-deb --ctrl-tarfile "$deb" |
  tar -xOf - ./conffiles)" "/etc/olvane/olvane.conf"
# Filled in by dpkg-shlibdeps: the C and C++ runtimes at least.
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6 (>=' <<<"$depends" && grep -q 'libstdc++6' <<<"$depends" &&
  ok "Depends: $depends" || fail "Depends not computed: '$depends'"

echo "-- rpmlint $(basename "$rpm")"
# Unsigned, as every package before its publisher signs it.
rpmlint -c "$src/packaging/rpmlint.toml" "$rpm" 2>&1 | tee "$tmp/rpmlint"
grep -v ': E: no-signature$' "$tmp/rpmlint" | grep -q ': [EW]: ' &&
  fail "rpmlint" || ok "rpmlint: no error or warning but no-signature"
same ".rpm files, the configuration kept (cn)" "$(rpm -qp \
  --qf '[%{FILEFLAGS:fflags}|%{FILEMODES:perms}|.%{FILENAMES}\n]' "$rpm" |
  awk -F'|' '$2 !~ /^[dl]/ { print ($1 ~ /c/ ? $1 " " : "") $3 }')" \
  "$(sed 's|^\./etc|cn ./etc|' <<<"$files")"

echo "== systemd-analyze verify"
# The units as shipped, in a root made of the package's files (so that
# ExecStart= finds the packaged program and man: the packaged page) and
# the system's own units they depend on.
root="$tmp/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
cp -an /usr/lib/systemd/system/. "$root/usr/lib/systemd/system/"
ln -s usr/lib "$root/lib"
report=$(cd "$tmp" && MANPATH="$root/usr/share/man" systemd-analyze verify \
  --root="$root" olvane.service olvane.timer 2>&1)
status=$?
[ $status -eq 0 ] && [ -z "$report" ] &&
  ok "systemd-analyze verify olvane.service olvane.timer" ||
  fail "systemd-analyze verify (status $status): $report"

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "${#failures[@]} check(s) failed:"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "All packaging checks passed."
