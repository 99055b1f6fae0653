#!/usr/bin/env bash
# Builds the native and the Windows build and runs every test: the unit and
# end-to-end suites natively, then the same two suites for the Windows build
# under Wine, the Windows installer's install, upgrade and uninstall, and
# the Linux packages' lint and units.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Wine: no debug chatter, no Mono or Gecko installs, and one wineserver kept
# for the whole run so that each program start costs milliseconds.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-olvane}"
wineserver -k 2>/dev/null || true    # no server left from an earlier run
wineboot -i >/dev/null 2>&1 || true  # makes the prefix on the first run
timeout 60 wineserver -w || wineserver -k  # lets wineboot's server end
wineserver -p                        # then keeps one for the run
# Wine's background services start with the first program and keep its
# output streams open: start them here, away from the test runner's pipes.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT

cmake --preset windows
cmake --build --preset windows
ctest --preset windows
# The installer, tried under Wine in a prefix the check makes for itself.
cmake --build --preset windows --target msi
bash scripts/check-msi.sh build/windows

cmake --preset default -DOLVANE_WINDOWS_BUILD_DIR="$PWD/build/windows"
cmake --build --preset default
ctest --preset default
# The .deb and the .rpm, from a build that installs into /usr.
cmake --preset package
cmake --build --preset package
bash scripts/check-packaging.sh build/package

# The Linux suites again under ThreadSanitizer and under Address- and
# UndefinedBehaviorSanitizer: a data race that no test happens to lose is
# still a fault. The ThreadSanitizer build takes no leases, so that every
# file is proven free by the look at the other processes and the folder
# watches, whose locks are the ones most worth checking. It runs in a PID
# namespace of its own: the look needs every process's tables, and the
# sandboxes this runs in may hide their init process even from root.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
cmake --preset tsan
cmake --build --preset tsan
if unshare --pid --fork --mount-proc true 2>/dev/null; then
  unshare --pid --fork --mount-proc ctest --preset tsan
else
  echo "no PID namespace to be had: the lease-free suite runs its unit tests only"
  ctest --preset tsan -R unit
fi
