#!/usr/bin/env bash
# Builds Zephyrine natively and for Windows and runs it or its tests.
#   ./build.sh test   install what is missing, build everything, run every test
#   ./build.sh run    build the saver and run it full screen (under Wine here)
#   ./build.sh check TARGET [ARGS]  build one Windows test program and run it
#                     under Wine with ARGS (e.g. --gtest_filter=...)
# BUILD_DIR (default ./build) holds the builds and the private Wine prefix.
set -euo pipefail

SRC=$(cd "$(dirname "$0")" && pwd)
BUILD_DIR=${BUILD_DIR:-$SRC/build}
JOBS=$(nproc)

PACKAGES=(cmake make g++ libgtest-dev googletest libbenchmark-dev zlib1g-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 fonts-wine xvfb xauth x11-utils imagemagick)

say() { printf '== %s\n' "$*"; }

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them (as root: apt-get install ${missing[*]}) and run again." >&2
    exit 1
  fi
  say "installing ${missing[*]}"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

build_native() {  # folder, extra cmake arguments...
  local dir=$1; shift
  cmake -S "$SRC" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

build_windows() {
  cmake -S "$SRC" -B "$BUILD_DIR/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/toolchain-mingw.cmake" >/dev/null
  cmake --build "$BUILD_DIR/win" -j "$JOBS"
}

XVFB_PID=
WINE_STARTED=

stop_services() {
  if [ -n "$WINE_STARTED" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}

# A private X display of 1920 x 1080 for the Windows tests and headless runs.
start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return; }
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  done
  echo "could not start Xvfb" >&2
  exit 1
}

# The project's own Wine prefix, made on first use, with one persistent server.
start_wine() {
  export WINEPREFIX="$BUILD_DIR/wine-prefix" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml=" LANG=C.UTF-8
  WINE_STARTED=1
  if [ ! -f "$WINEPREFIX/.zephyrine-ready" ]; then
    say "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineserver -p >/dev/null 2>&1
    wine wineboot -i >/dev/null 2>&1
    # No window manager under Xvfb: unmanaged windows avoid Wine's 2 s waits.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash must fail the test, not wait on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Stopping the server writes the registry out; the server below is new.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    touch "$WINEPREFIX/.zephyrine-ready"
  fi
  # One persistent server for the whole run, its output away from ctest's pipes.
  wineserver -p >/dev/null 2>&1 || true
  wine wineboot >/dev/null 2>&1
}

run_tests() {
  local failed=0
  say "native build"
  build_native "$BUILD_DIR/native"
  say "native build with AddressSanitizer and UndefinedBehaviorSanitizer"
  build_native "$BUILD_DIR/native-asan" -DZEPHYRINE_SANITIZE=ON
  say "Windows build"
  build_windows
  file "$BUILD_DIR/win/dist/Zephyrine.scr"

  trap stop_services EXIT
  start_xvfb
  start_wine

  say "native tests"
  ctest --test-dir "$BUILD_DIR/native" -j "$JOBS" --output-on-failure || failed=1
  say "native tests, sanitized"
  ctest --test-dir "$BUILD_DIR/native-asan" -j "$JOBS" --output-on-failure || failed=1
  say "Windows tests under Wine"
  ctest --test-dir "$BUILD_DIR/win" -j "$JOBS" --output-on-failure || failed=1
  return $failed
}

# Points the machine key's "Install path" at the build's dist folder, where
# the program and its pictures lie.
register_build() {
  local dir
  dir=$(winepath -w "$BUILD_DIR/win/dist")
  wine reg add 'HKLM\Software\Quorvane\Zephyrine' /v 'Install path' /t REG_SZ /d "$dir" /f >/dev/null 2>&1
}

run_saver() {
  say "Windows build"
  build_windows
  trap stop_services EXIT
  local headless=
  if [ -z "${DISPLAY:-}" ]; then headless=1; start_xvfb; fi
  start_wine
  register_build
  local scr="$BUILD_DIR/win/dist/Zephyrine.scr"
  if [ -z "$headless" ]; then
    say "running $scr /s on $DISPLAY: a key, a click or a mouse jump ends it"
    wine "$scr" /s
    return
  fi
  say "no display: running $scr /s in Xvfb for 5 seconds"
  wine "$scr" /s &
  local pid=$!
  sleep 5
  import -display "$DISPLAY" -window root "$BUILD_DIR/saver-screenshot.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  say "screenshot of the running saver: $BUILD_DIR/saver-screenshot.png"
}

check_target() {
  local target=$1; shift
  cmake -S "$SRC" -B "$BUILD_DIR/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/toolchain-mingw.cmake" >/dev/null
  cmake --build "$BUILD_DIR/win" --target "$target" -j "$JOBS"
  trap stop_services EXIT
  start_xvfb
  start_wine
  wine "$BUILD_DIR/win/tests/$target.exe" "$@"
}

ensure_packages
case "${1:-}" in
  check) shift; check_target "$@" ;;
  test) run_tests ;;
  run) run_saver ;;
  *) echo "usage: $0 test|run" >&2; exit 2 ;;
esac
