#!/usr/bin/env bash
# Builds Zephyrine natively and for Windows and runs it or its tests.
#   ./build.sh test   install what is missing, build everything, run every test
#   ./build.sh run    build the setup program, install Zephyrine with it into
#                     the Wine prefix and run the installed saver full screen
#   ./build.sh settings  the same installation, then the installed saver's
#                     settings dialog
#   ./build.sh run-x11  build the native Linux program and run it in its own
#                     window on $DISPLAY; without a display, in a private Xvfb
#                     for a few seconds, writing BUILD_DIR/x11-screenshot.png
#                     and BUILD_DIR/x11.gif
#   ./build.sh check TARGET [ARGS]  build one Windows test program and run it
#                     under Wine with ARGS (e.g. --gtest_filter=...)
#   ./build.sh fuzz [SECONDS]  run each libFuzzer target in turn for SECONDS
#                     (default 600) and print its executions; new inputs
#                     collect in BUILD_DIR/fuzz/fuzz-corpus, crashes in
#                     BUILD_DIR/fuzz/fuzz-artifacts
#   ./build.sh soak [SECONDS]  run the real saver full screen for SECONDS (default
#                     600) and print its private bytes and handles every 10 s
#   ./build.sh bench [ARGS]  run the native and Windows benchmarks and print
#                     their tables (quiet the machine first)
#   ./build.sh deb    build the Debian package of the X11 display mode,
#                     BUILD_DIR/zephyrine_<version>_<arch>.deb
#   ./build.sh pictures  take the README's pictures of the saver and its
#                     dialogs in a private Xvfb and write them into docs/
# BUILD_DIR (default ./build) holds the builds and the private Wine prefix.
set -euo pipefail

SRC=$(cd "$(dirname "$0")" && pwd)
BUILD_DIR=${BUILD_DIR:-$SRC/build}
JOBS=$(nproc)

PACKAGES=(cmake make g++ libgtest-dev googletest libbenchmark-dev zlib1g-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 fonts-wine xvfb xauth x11-utils imagemagick nsis clang libclang-rt-14-dev
  pkg-config libx11-dev libxext-dev libxrandr-dev libpixman-1-dev libpng-dev
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  dpkg-dev lintian xscreensaver x11-apps libexpat1-dev
  libwayland-dev libwayland-bin wayland-protocols sway swayidle grim wtype)

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

# The libFuzzer targets, built by clang with AddressSanitizer and UndefinedBehaviorSanitizer.
build_fuzzers() {
  cmake -S "$SRC" -B "$BUILD_DIR/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZEPHYRINE_FUZZ=ON >/dev/null
  cmake --build "$BUILD_DIR/fuzz" --target fuzzers -j "$JOBS"
}

# The MinGW build: everything, or only the targets named.
build_windows() {
  cmake -S "$SRC" -B "$BUILD_DIR/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/toolchain-mingw.cmake" >/dev/null
  if [ $# -eq 0 ]; then
    cmake --build "$BUILD_DIR/win" -j "$JOBS"
  else
    cmake --build "$BUILD_DIR/win" --target "$@" -j "$JOBS"
  fi
}

# The Debian package, built as Debian builds one: for /usr, with the
# compiler and linker flags of dpkg-buildflags (hardening included), in a tree
# of its own, with the test program of the package. The package lands in
# BUILD_DIR; ctest -L package in that tree tests it.
build_deb() {
  local dir=$BUILD_DIR/deb cflags cxxflags cppflags ldflags
  cflags=$(cd "$SRC" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CFLAGS)
  cxxflags=$(cd "$SRC" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)
  ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
  cppflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
  cmake -S "$SRC" -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$cppflags $cflags" -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DZEPHYRINE_PACKAGE_DIR="$BUILD_DIR" -DZEPHYRINE_PACKAGE_TESTS=ON >/dev/null
  cmake --build "$dir" --target deb package_tests -j "$JOBS"
  say "Debian package: $(ls "$BUILD_DIR"/zephyrine_*.deb)"
}

XVFB_PID=
WINE_STARTED=

stop_services() {
  if [ -n "$WINE_STARTED" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}

# A private X display of 1920 x 1080 for the Windows tests and headless runs;
# arguments are more Xvfb options.
start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp "$@" >/dev/null 2>&1 &
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
  say "fuzzers, built with clang"
  build_fuzzers
  say "Debian package"
  build_deb
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
  say "tests of the Debian package"
  ctest --test-dir "$BUILD_DIR/deb" -L package -j "$JOBS" --output-on-failure || failed=1
  say "fuzzing"
  ctest --test-dir "$BUILD_DIR/fuzz" -L fuzz -j "$JOBS" --output-on-failure || failed=1
  say "Windows tests under Wine"
  ctest --test-dir "$BUILD_DIR/win" -j "$JOBS" --output-on-failure || failed=1
  return $failed
}

# Builds the setup program and the settings host.
build_installer() {
  say "Windows build of the setup program"
  build_windows installer settings_host
}

# Installs Zephyrine silently with its setup program into the Wine prefix, as
# a user would, and sets INSTALLED_SCR to the installed saver's Windows path.
INSTALLED_SCR=
install_saver() {
  local setup folder
  setup=$(ls -t "$BUILD_DIR"/win/Zephyrine-*-setup.exe | head -n 1)
  say "installing Zephyrine with $(basename "$setup") /S into $WINEPREFIX"
  wine "$setup" /S
  folder=$(wine reg query 'HKLM\Software\Quorvane\Zephyrine' /v 'Install path' 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Install path *REG_SZ *//p')
  if [ -z "$folder" ]; then echo "the setup program did not install Zephyrine" >&2; exit 1; fi
  INSTALLED_SCR="$folder\\Zephyrine.scr"
  say "installed $INSTALLED_SCR ($(winepath -u "$INSTALLED_SCR" 2>/dev/null))"
}

# record_window WINDOW SCREENSHOT GIF FASTEST: 20 frames of the X window
# WINDOW (an id, or root) in one import, then a screenshot, and a 640-pixel
# GIF that plays the frames at the pace they were taken, each shown at least
# FASTEST hundredths of a second.
record_window() {
  local window=$1 screenshot=$2 gif=$3 fastest=$4 frames start elapsed delay
  frames=$(mktemp -d)
  start=$(date +%s%N)
  import -display "$DISPLAY" -window "$window" -snaps 20 "$frames/frames.miff"
  elapsed=$((($(date +%s%N) - start) / 10000000))
  delay=$((elapsed / 20 > fastest ? elapsed / 20 : fastest))
  import -display "$DISPLAY" -window "$window" "$screenshot"
  convert -delay "$delay" -loop 0 "$frames/frames.miff" -resize 640x -layers Optimize "$gif"
  rm -rf "$frames"
}

run_saver() {
  build_installer
  trap stop_services EXIT
  local headless=
  if [ -z "${DISPLAY:-}" ]; then headless=1; start_xvfb; fi
  start_wine
  install_saver
  if [ -z "$headless" ]; then
    say "running $INSTALLED_SCR /s on $DISPLAY: a key, a click or a mouse jump ends it"
    wine "$INSTALLED_SCR" /s
    return
  fi
  say "no display: running $INSTALLED_SCR /s in Xvfb for a few seconds"
  wine "$INSTALLED_SCR" /s &
  local pid=$!
  sleep 3
  record_window root "$BUILD_DIR/saver-screenshot.png" "$BUILD_DIR/saver.gif" 10
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  say "screenshot of the running saver: $BUILD_DIR/saver-screenshot.png"
  say "animation (20 frames, 640 px wide): $BUILD_DIR/saver.gif"
}

# ./build.sh run-x11: the native X11 program with the repository's pictures,
# in its own window. Headless, it runs in a private Xvfb whose root shows a
# gradient as the desktop, so the program's copy of the desktop has something
# to show; -noreset keeps that root when the tool that set it disconnects.
run_x11() {
  say "native build of the X11 program"
  cmake -S "$SRC" -B "$BUILD_DIR/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR/native" --target zephyrine -j "$JOBS"
  local program="$BUILD_DIR/native/x11/zephyrine"
  if [ -n "${DISPLAY:-}" ]; then
    say "running $program on $DISPLAY: q, Esc, a click or closing the window ends it"
    "$program" --window --images "$SRC/res/balls"
    return
  fi
  trap stop_services EXIT
  start_xvfb -noreset
  local work pid window
  work=$(mktemp -d)
  convert -size 1920x1080 gradient:'#16324f-#6a9bc3' "$work/desktop.png"
  # display exits with 1 after setting the root's background.
  display -window root "$work/desktop.png" || true
  say "no display: running $program --window in Xvfb ($DISPLAY) for a few seconds"
  "$program" --window --geometry 1280x720 --count 12 --images "$SRC/res/balls" &
  pid=$!
  sleep 3
  window=$(xwininfo -name Zephyrine | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
  record_window "$window" "$BUILD_DIR/x11-screenshot.png" "$BUILD_DIR/x11.gif" 3
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$work"
  say "screenshot of the program's window: $BUILD_DIR/x11-screenshot.png"
  say "animation (20 frames, 640 px wide): $BUILD_DIR/x11.gif"
}

open_settings() {
  build_installer
  trap stop_services EXIT
  local headless=
  if [ -z "${DISPLAY:-}" ]; then headless=1; start_xvfb; fi
  start_wine
  install_saver
  local host="$BUILD_DIR/win/tools/settings_host.exe"
  if [ -z "$headless" ]; then
    say "opening the settings of $INSTALLED_SCR on $DISPLAY: OK saves them, Cancel leaves them"
    wine "$host" "$INSTALLED_SCR"
    return
  fi
  say "no display: opening the settings of $INSTALLED_SCR in Xvfb for a screenshot"
  wine "$host" "$INSTALLED_SCR" &
  local pid=$!
  sleep 4
  import -display "$DISPLAY" -window root "$BUILD_DIR/settings-screenshot.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  say "screenshot of the settings dialog: $BUILD_DIR/settings-screenshot.png"
}

run_fuzzers() {  # seconds per target
  local seconds=${1:-600} failed=0 fuzzer name
  say "fuzzers, built with clang"
  build_fuzzers
  for fuzzer in "$BUILD_DIR/fuzz"/*_fuzz; do
    name=$(basename "$fuzzer" _fuzz)
    say "fuzzing $name for $seconds s"
    sh "$SRC/fuzz/run_fuzzer.sh" "$fuzzer" "$seconds" "$SRC/fuzz/corpus/$name" || failed=1
  done
  return $failed
}

check_target() {
  local target=$1; shift
  build_windows "$target"
  trap stop_services EXIT
  start_xvfb
  start_wine
  wine "$BUILD_DIR/win/tests/$target.exe" "$@"
}

# ./build.sh bench: ball_field_bench, frame_bench_x11 and frame_bench_wayland
# natively (the latter two start their own Xvfb and headless sway for the real
# program), then frame_bench under Wine in
# a private Xvfb of 1920 x 1080; all print their tables. Quiet the machine
# first: they measure time. ARGS go to frame_bench.
run_benchmarks() {
  say "native build of ball_field_bench, frame_bench_x11 and frame_bench_wayland"
  cmake -S "$SRC" -B "$BUILD_DIR/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR/native" --target ball_field_bench frame_bench_x11 frame_bench_wayland -j "$JOBS"
  say "ball_field_bench (placing and moving 30 balls), 10 repetitions"
  "$BUILD_DIR/native/ball_field_bench" --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true
  say "frame_bench_x11 ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
  "$BUILD_DIR/native/bench/frame_bench_x11" || say "frame_bench_x11: a target is not met (see NOT MET)"
  say "frame_bench_wayland ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
  "$BUILD_DIR/native/bench/frame_bench_wayland" || say "frame_bench_wayland: a target is not met (see NOT MET)"
  say "Windows build of frame_bench"
  build_windows frame_bench
  trap stop_services EXIT
  start_xvfb
  start_wine
  say "frame_bench under Wine on $DISPLAY ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
  wine "$BUILD_DIR/win/bench/frame_bench.exe" "$@"
}

# ./build.sh soak [SECONDS]: the soak tests of soak_tests with a full-screen
# run of SECONDS; they print the samples as a table and fail when the private
# bytes or the handles grow after the warm-up.
run_soak() {
  local seconds=${1:-600}
  build_windows soak_tests
  trap stop_services EXIT
  start_xvfb
  start_wine
  say "soak: the full-screen saver for $seconds s, then the preview, sampled every 10 s"
  ZEPHYRINE_SOAK_SECONDS=$seconds wine "$BUILD_DIR/win/tests/soak_tests.exe" --gtest_filter='SoakTest.*'
}

# ./build.sh pictures: the pictures tool under Wine in a private Xvfb of
# 1920 x 1080 writes saver-fullscreen.png, settings-dialog.png and
# about-box.png into docs/.
take_pictures() {
  build_windows pictures
  trap stop_services EXIT
  start_xvfb
  start_wine
  say "the README's pictures into $SRC/docs"
  wine "$BUILD_DIR/win/tools/pictures.exe" "$(winepath -w "$SRC/docs")"
}

ensure_packages
case "${1:-}" in
  bench) shift; run_benchmarks "$@" ;;
  deb) build_deb ;;
  check) shift; check_target "$@" ;;
  fuzz) shift; run_fuzzers "$@" ;;
  pictures) take_pictures ;;
  test) run_tests ;;
  run) run_saver ;;
  run-x11) run_x11 ;;
  settings) open_settings ;;
  soak) shift; run_soak "$@" ;;
  *) echo "usage: $0 test|run|run-x11|settings|check|fuzz|soak|bench|deb|pictures" >&2; exit 2 ;;
esac
