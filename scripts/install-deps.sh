#!/usr/bin/env bash
# Installs what the builds and tests need and the machine lacks: the native
# toolchain and GoogleTest, mingw-w64 for the Windows build and Wine to run
# it, wixl and msitools for its installer; the acl and attr tools and jq
# the tests use; the tools that build and lint the .deb and the .rpm. Debian
# packages only.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix)
command -v wine >/dev/null || need+=(wine wine64)
# The Windows installer is built with wixl and edited with msibuild.
command -v wixl >/dev/null || need+=(wixl)
command -v msibuild >/dev/null || need+=(msitools)
# The Linux packages are built and checked with dpkg's and rpm's tools.
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v lintian >/dev/null || need+=(lintian)
command -v rpmbuild >/dev/null || need+=(rpm)
command -v rpmlint >/dev/null || need+=(rpmlint)
command -v systemd-analyze >/dev/null || need+=(systemd)
command -v groff >/dev/null || need+=(groff)
command -v man >/dev/null || need+=(man-db)
# The end-to-end suite sets and reads ACLs and extended attributes.
command -v setfacl >/dev/null || need+=(acl)
command -v setfattr >/dev/null || need+=(attr)
# The README test runs its jq recipes.
command -v jq >/dev/null || need+=(jq)

if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi
