#!/usr/bin/env bash
# Builds everything and runs all tests: the native tree (posix backend) with
# ctest, then the Windows x86-64 tree (win32 backend) with ctest under Wine.
# Run as root on a fresh Debian 12 machine, it first installs what is missing.
# Exits non-zero on any failure and leaves no Wine process running.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
WERROR=${ZUVOZE_WERROR:-ON}

. scripts/ensure-packages.sh
ensure_packages cmake g++ make googletest libgtest-dev libgmock-dev libcurl4-openssl-dev faketime \
                net-tools g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libwine-dev

echo "== native build (posix backend)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUVOZE_WERROR="$WERROR" >/dev/null
cmake --build build/native -j"$JOBS"
echo "== native tests"
ctest --test-dir build/native --output-on-failure -j"$JOBS" --timeout 600

echo "== Windows build (win32 backend, MinGW-w64)"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUVOZE_WERROR="$WERROR" >/dev/null
cmake --build build/win64 -j"$JOBS"

echo "== Windows tests under Wine"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
trap 'scripts/wine-session.sh stop' EXIT
scripts/wine-session.sh start
# Drive E: (the deployer's special-site folder) is an empty folder of our own.
rm -rf build/wine-drive-e && mkdir -p build/wine-drive-e
ln -sfn "$ROOT/build/wine-drive-e" "$WINEPREFIX/dosdevices/e:"
# Under Wine the tests share one registry and one service manager: one at a time.
ctest --test-dir build/win64 --output-on-failure --timeout 600
