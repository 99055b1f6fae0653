#!/usr/bin/env bash
# Checks what a user installs: cmake --install into a temporary prefix and a
# run of the installed command, the .deb and its contents, the man page and
# the systemd units.  Usage: scripts/check-packaging.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}

need=()
command -v groff >/dev/null || need+=(groff-base)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v systemd-analyze >/dev/null || need+=(systemd)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check-packaging: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
bin="$tmp/prefix/bin/olvane"
[ "$("$bin" | head -1)" = "   olvane: purge expired files. V.1.0. Usage:" ] || fail "usage screen"
[ "$("$bin" --version)" = "olvane 1.0.0" ] || fail "--version"
mkdir "$tmp/t" && touch "$tmp/t/a.log"
out=$("$bin" -d0 "$tmp/t/*.log")
[ "$out" = "Delete file: $tmp/t/a.log
     1 file(s) deleted." ] || fail "installed run printed: $out"
[ ! -e "$tmp/t/a.log" ] || fail "installed run left the file"
for f in share/man/man1/olvane.1 share/doc/olvane/LICENSE share/doc/olvane/olvane-purge.timer; do
  [ -f "$tmp/prefix/$f" ] || fail "not installed: $f"
done
echo "install: ok"

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/olvane_*.deb | head -1)
dpkg-deb -I "$deb"
contents=$(dpkg-deb -c "$deb")
echo "$contents"
grep -q '\./usr/bin/olvane$' <<<"$contents" || fail ".deb has no /usr/bin/olvane"
grep -q 'man1/olvane.1' <<<"$contents" || fail ".deb has no man page"
grep -q libc6 <<<"$(dpkg-deb -f "$deb" Depends)" || fail ".deb dependencies were not computed"
echo "deb: ok"

lint=$(groff -man -ww -z docs/olvane.1 2>&1)
[ -z "$lint" ] || fail "man page: $lint"
echo "man page: ok"

# The units as shipped, with ExecStart on the installed command and the
# purged folder one that exists here.
units="$tmp/units"
mkdir -p "$units"
for u in olvane-purge.service olvane-purge.timer; do
  sed -e "s|/usr/bin/olvane|$bin|" -e "s|/var/log/myapp|$tmp/t|g" "docs/$u" >"$units/$u"
done
verify=$(systemd-analyze verify --man=no "$units/olvane-purge.service" "$units/olvane-purge.timer" 2>&1) ||
  fail "systemd units: $verify"
[ -z "$verify" ] || fail "systemd units: $verify"
echo "systemd units: ok"
