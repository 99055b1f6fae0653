#!/usr/bin/env bash
# Builds the Windows installer from cmake/olvane.wxs with wixl (Debian's
# port of the WiX toolset), then adds with msibuild what wixl cannot say:
# the system PATH entry for the install folder, the search for the folder
# an installed version is in, and the upgrade of an installed package of the
# same version. CPack runs it (cmake/msi.cmake) on
# the staged files of the zip; by hand, on an installed Windows build:
#
#   cmake --install build/windows --prefix DIR --strip
#   scripts/make-msi.sh VERSION DIR OUT.msi
#
# The files go in as the zip has them, the text ones named .txt for Windows.
set -euo pipefail

if [ $# -ne 3 ] || [ ! -f "$2/olvane.exe" ]; then
  echo "usage: $0 VERSION DIR OUT.msi (DIR: the installed Windows build)" >&2
  exit 2
fi
version=$1
dir=$(realpath "$2")
out=$(realpath -m "$3")
src=$(cd "$(dirname "$0")/.." && pwd)

stage=$(mktemp -d /tmp/olvane_msi.XXXXXX)
trap 'rm -rf "$stage"' EXIT
cp "$dir/olvane.exe" "$stage/olvane.exe"
cp "$dir/README.md" "$stage/README.txt"
cp "$dir/LICENSE" "$stage/LICENSE.txt"
cp "$dir/windows-task.md" "$stage/windows-task.txt"
cp "$dir/olvane.conf" "$stage/olvane.conf"

# wixl takes each File's Source relative to the folder it runs in.
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$stage/olvane.msi" \
  "$src/cmake/olvane.wxs")

# The system variable PATH ("*"), the folder appended to its value ("[~];")
# on install and taken out again ("-") when the program's component goes.
printf '%s\n' \
  $'Environment\tName\tValue\tComponent_' \
  $'s72\tl255\tL255\ts72' \
  $'Environment\tEnvironment' \
  $'PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tProgram' >"$stage/Environment.idt"
msibuild "$stage/olvane.msi" -i "$stage/Environment.idt"
# The standard places of the two actions in the execute sequence.
msibuild "$stage/olvane.msi" -q \
  "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)"
msibuild "$stage/olvane.msi" -q \
  "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)"
# INSTALLDIR found where an installed version has the program (AppSearch):
# the folder of the program component's key path, a file (type 1). So an
# upgrade and the uninstall act on the folder chosen at the install, and a
# folder given on the command line, kept aside before the search, wins.
program=$(msiinfo export "$stage/olvane.msi" Component |
  awk -F'\t' '$1 == "Program" { print $2 }')
printf '%s\n' \
  $'Signature_\tComponentId\tType' $'s72\ts38\tI2' $'CompLocator\tSignature_' \
  $'InstalledFolder\t'"$program"$'\t1' >"$stage/CompLocator.idt"
printf '%s\n' \
  $'Property\tSignature_' $'s72\ts72' $'AppSearch\tProperty\tSignature_' \
  $'INSTALLDIR\tInstalledFolder' >"$stage/AppSearch.idt"
# Custom actions of type 51 set a property to a formatted text.
printf '%s\n' \
  $'Action\tType\tSource\tTarget' $'s72\ti2\tS72\tS255' $'CustomAction\tAction' \
  $'KeepGivenFolder\t51\tGIVEN_INSTALLDIR\t[INSTALLDIR]' \
  $'TakeGivenFolder\t51\tINSTALLDIR\t[GIVEN_INSTALLDIR]' >"$stage/CustomAction.idt"
(cd "$stage" && msibuild olvane.msi -i CompLocator.idt AppSearch.idt CustomAction.idt)
for sequence in InstallUISequence InstallExecuteSequence; do
  for row in "'KeepGivenFolder', '', 49" "'AppSearch', '', 50" \
    "'TakeGivenFolder', 'GIVEN_INSTALLDIR', 51"; do
    msibuild "$stage/olvane.msi" -q \
      "INSERT INTO $sequence (Action, Condition, Sequence) VALUES ($row)"
  done
done
# The rules folder's sample, which wixl writes as a plain component: never
# overwritten by an upgrade (NeverOverwrite, 128), left by the uninstall
# (Permanent, 16), beside 64-bit (256).
msibuild "$stage/olvane.msi" -q \
  "UPDATE Component SET Attributes = 400 WHERE Component = 'Rules'"
# The rules folder writable by administrators and SYSTEM alone, not by the
# users ProgramData lets create files: the task runs its every *.conf file
# as SYSTEM. Protected from inheritance; SDDL, so no account name that a
# Windows in another language spells otherwise.
printf '%s\n' \
  $'Directory_\tComponent_' $'s72\ts72' $'CreateFolder\tDirectory_\tComponent_' \
  $'CONFIGDIR\tRules' >"$stage/CreateFolder.idt"
printf '%s\n' \
  $'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition' \
  $'s72\ts72\ts32\tl0\tS255' $'MsiLockPermissionsEx\tMsiLockPermissionsEx' \
  $'RulesFolder\tCONFIGDIR\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)\t' \
  >"$stage/MsiLockPermissionsEx.idt"
(cd "$stage" && msibuild olvane.msi -i CreateFolder.idt MsiLockPermissionsEx.idt)
msibuild "$stage/olvane.msi" -q \
  "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('CreateFolders', 3700)"
# The upper bound of the versions an install replaces made inclusive (512),
# so that another build of the same version replaces the installed one
# instead of going beside it. The attributes belong to the table's key, so
# the table is written anew.
(cd "$stage" && msiinfo export olvane.msi Upgrade |
  awk -F'\t' -v OFS='\t' '$7 ~ /^WIX_UPGRADE_DETECTED/ { $5 = $5 + 512 } 1' \
  >Upgrade.idt && msibuild olvane.msi -i Upgrade.idt)

mv "$stage/olvane.msi" "$out"
echo "made $out"
