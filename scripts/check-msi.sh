#!/usr/bin/env bash
# Checks the Windows installer of a built Windows build under Wine, in a
# Wine prefix of its own that it deletes afterwards: a silent install of a
# lower version, the upgrade to this one, the command run by name from a new
# console, the Event Log source registered, a refused downgrade, and an
# uninstall that leaves nothing behind but the rules file of
# %ProgramData%\olvane, which an upgrade keeps as the admin edited it;
# then the same into a folder of the user's choice.
#
#   scripts/check-msi.sh BUILD_DIR      (e.g. build/windows, after --target msi)
#
# Exits non-zero if any check fails, after naming each failure.
set -uo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(olvane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
msi="${1:-}/olvane-$version-win64.msi"
if [ $# -ne 1 ] || [ ! -f "$msi" ]; then
  echo "usage: $0 BUILD_DIR (a Windows build with its olvane-$version-win64.msi)" >&2
  exit 2
fi
tmp=$(mktemp -d /tmp/olvane_msi.XXXXXX)
export WINEPREFIX="$tmp/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT
failures=()
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures+=("$what"); fi
}
same() { [ "$1" == "$2" ] || { echo "    got '$1', not '$2'"; false; }; }

# The same package a version lower, from the same files.
old_version=$(awk -F. -v OFS=. '{ if ($3) $3--; else if ($2) { $2--; $3 = 99 }
  else { $1--; $2 = $3 = 99 } } 1' <<<"$version")
old="$tmp/olvane-$old_version-win64.msi"
cmake --install "$1" --prefix "$tmp/stage" --strip >/dev/null &&
  bash "$src/scripts/make-msi.sh" "$old_version" "$tmp/stage" "$old" >/dev/null ||
  exit 1

# Makes the prefix, then keeps one server for the checks; Wine's background
# services start with the first program, away from the pipes of the checks.
wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
wineserver -p
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

msiexec() { wine msiexec "$@" </dev/null >/dev/null 2>&1; echo $?; }
path() {
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    /v PATH 2>/dev/null | tr -d '\r' | sed -n 's/^ *PATH *REG_EXPAND_SZ *//p'
}
# The version of every entry named olvane in Programs and Features.
entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
    2>/dev/null | tr -d '\r' | awk '/^HKEY/ { n = v = "" }
    $1 == "DisplayName" { n = $3 } $1 == "DisplayVersion" { v = $3 }
    n == "olvane" && v != "" { print v; n = "" }'
}
# Wine's msi takes the folder out of PATH but leaves the separator before it,
# an empty entry, at which Wine's cmd stops looking: its lookup by name is
# tried after the first install, and the entries are compared without those.
entries_of() { tr ';' '\n' <<<"$1" | grep . | paste -sd';'; }
# The rules folder, the admin's once installed, is looked at on its own.
files() {
  (cd "$WINEPREFIX/drive_c" && find . | grep -vx './windows/Installer' |
    grep -v '^\./ProgramData/olvane' | sort)
}
rules="$WINEPREFIX/drive_c/ProgramData/olvane"
# The Event Log source that --system-log writes to, as "NAME=VALUE" words.
event_source() {
  wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\olvane' \
    2>/dev/null | tr -d '\r' | awk '$2 ~ /^REG_/ { printf "%s%s=%s", s, $1,
    substr($0, index($0, $3)); s = " " }'
}
dir="$WINEPREFIX/drive_c/Program Files/olvane"
folder='C:\Program Files\olvane\'
path_before=$(path)
files_before=$(files)

echo "== wine msiexec /i $(basename "$old") /qn"
check "install of $old_version: status 0" same "$(msiexec /i "$old" /qn)" 0
check "one entry, $old_version" same "$(entries)" "$old_version"
check "PATH: the folder appended" same "$(path)" "$path_before;$folder"
check "cmd /c olvane --version" same "$(cd "$WINEPREFIX/drive_c" &&
  wine cmd /c olvane --version </dev/null 2>&1 | tr -d '\r')" "olvane $version"
check "the sample rules file in %ProgramData%\\olvane" cmp -s "$rules/olvane.conf" \
  "$src/docs/olvane-windows.conf"
echo '; edited' >>"$rules/olvane.conf"

echo "== wine msiexec /i $(basename "$msi") /qn"
check "upgrade: status 0" same "$(msiexec /i "$msi" /qn)" 0
check "one entry, $version" same "$(entries)" "$version"
check "installed files" same "$(ls "$dir" | tr '\n' ' ')" \
  "LICENSE.txt README.txt olvane.exe windows-task.txt "
check "PATH: the folder there once" same "$(entries_of "$(path)")" \
  "$path_before;$folder"
check "the edited rules file kept" same "$(tail -n 1 "$rules/olvane.conf")" "; edited"
check "Event Log source olvane" same "$(event_source)" \
  "EventMessageFile=${folder}olvane.exe TypesSupported=0x7"

echo "== wine msiexec /i $(basename "$old") /qn (a downgrade)"
# msiexec's 1603, of which a Unix exit status keeps the low byte.
check "downgrade refused: status 1603" same \
  "$(msiexec /i "$old" /qn /l*v "$tmp/downgrade.log")" $((1603 % 256))
check "the newer version detected" grep -q '^Property(S): WIX_DOWNGRADE_DETECTED = {' \
  "$tmp/downgrade.log"
check "still one entry, $version" same "$(entries)" "$version"

echo "== wine msiexec /x $(basename "$msi") /qn"
check "uninstall: status 0" same "$(msiexec /x "$msi" /qn)" 0
check "no entry" same "$(entries)" ""
check "no files, no folder" same "$(files)" "$files_before"
check "PATH as before" same "$(entries_of "$(path)")" "$path_before"
check "the edited rules file left alone" same \
  "$(ls "$rules") $(tail -n 1 "$rules/olvane.conf")" "olvane.conf ; edited"
check "no Event Log source" same "$(event_source)" ""

# A folder chosen at the install is remembered: an upgrade goes there unless
# it is given another one, and the uninstall takes everything out of it.
for upgrade_to in '' 'C:\Other\olvane'; do
  folder=${upgrade_to:-'C:\Tools\olvane'}
  echo "== wine msiexec /i $(basename "$old") /qn INSTALLDIR=C:\\Tools\\olvane"
  check "install of $old_version there: status 0" same \
    "$(msiexec /i "$old" /qn 'INSTALLDIR=C:\Tools\olvane')" 0
  echo "== wine msiexec /i $(basename "$msi") /qn ${upgrade_to:+INSTALLDIR=$upgrade_to}"
  check "upgrade: status 0" same \
    "$(msiexec /i "$msi" /qn ${upgrade_to:+"INSTALLDIR=$upgrade_to"})" 0
  check "one entry, $version" same "$(entries)" "$version"
  under=$(tr '\\' / <<<"./${folder:3}")
  check "files in $folder alone" same "$(files | grep -x '\./[^/]*/olvane/.*')" \
    "$(printf "$under/%s\n" LICENSE.txt README.txt olvane.exe windows-task.txt | sort)"
  check "PATH: $folder alone" same "$(entries_of "$(path)")" "$path_before;$folder\\"
  check "Event Log source in $folder" same "$(event_source)" \
    "EventMessageFile=$folder\\olvane.exe TypesSupported=0x7"
  echo "== wine msiexec /x $(basename "$msi") /qn"
  check "uninstall: status 0" same "$(msiexec /x "$msi" /qn)" 0
  check "no entry" same "$(entries)" ""
  check "no files, no folder" diff <(echo "$files_before") \
    <(files | grep -vx './Tools\|./Other')
  check "PATH as before" same "$(entries_of "$(path)")" "$path_before"
done

echo
if [ ${#failures[@]} -gt 0 ]; then
  echo "${#failures[@]} installer check(s) failed:"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "All installer checks passed."
