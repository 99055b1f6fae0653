#!/usr/bin/env bash
# Builds the native and the Windows build and runs every test: the unit and
# end-to-end suites natively, then the same two suites for the Windows build
# under Wine.
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

cmake --preset default -DOLVANE_WINDOWS_BUILD_DIR="$PWD/build/windows"
cmake --build --preset default
ctest --preset default
bash scripts/check-packaging.sh build/default

# The Linux suites again under ThreadSanitizer and under Address- and
# UndefinedBehaviorSanitizer: a data race that no test happens to lose is
# still a fault.
for preset in tsan asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
