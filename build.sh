#!/usr/bin/env bash
# Installs the Debian packages that Zephyrine's builds need, builds and tests
# it through CMakePresets.json, and runs its demos.
#   ./build.sh test      every tree's workflow preset: build it, run its tests
#   ./build.sh run       install Zephyrine with its setup program into the Wine
#                        prefix build/wine-prefix and run it full screen
#   ./build.sh settings  the same installation, then its settings dialog
#   ./build.sh run-x11   the native X11 program in its own window
#   ./build.sh deb       the Debian package build/zephyrine_<version>_<arch>.deb
# Without a display the demos run in a private Xvfb for a few seconds and
# write screenshots (and GIFs of the running saver) into build/.
set -euo pipefail

SRC=$(cd "$(dirname "$0")" && pwd)
BUILD=$SRC/build
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

# The Debian packages, by the trees and demos that need them.
BUILD_PACKAGES=(cmake make g++ pkg-config xvfb xauth x11-utils imagemagick)
LINUX_PACKAGES=(libgtest-dev zlib1g-dev libx11-dev libxext-dev libxrandr-dev libpixman-1-dev
  libpng-dev libexpat1-dev x11-apps libwayland-dev libwayland-bin wayland-protocols)
# The native tree's own: the benchmarks' library and the display servers of its tests.
NATIVE_PACKAGES=(libbenchmark-dev xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  sway swayidle grim wtype)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
DEB_PACKAGES=(dpkg-dev lintian xscreensaver)
WIN_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  googletest nsis wine wine64 fonts-wine)

say() { printf '== %s\n' "$*"; }

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages; install them (as root: apt-get install ${missing[*]})." >&2
    exit 1
  fi
  say "installing ${missing[*]}"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# show NAME WINDOW ENDS COMMAND...: runs COMMAND on $DISPLAY until ENDS, or
# headless (HEADLESS=1) for 4 s, then writes build/NAME-screenshot.png of the
# window named WINDOW (or root) and build/NAME.gif, 640 pixels wide, of 20
# frames at the pace they were taken (at most 33 a second), and ends it.
HEADLESS=
show() {
  local name=$1 window=$2 what="${*:4}" frames start elapsed pid
  what=${what#wine_demo run }
  if [ -z "$HEADLESS" ]; then
    say "running $what on $DISPLAY: $3"
    "${@:4}"
    return
  fi
  say "no display: running $what in Xvfb ($DISPLAY) for a few seconds"
  "${@:4}" &
  pid=$!
  sleep 4
  [ "$window" = root ] || window=$(xwininfo -name "$window" | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
  frames=$(mktemp -d)
  start=$(date +%s%N)
  import -display "$DISPLAY" -window "$window" -snaps 20 "$frames/frames.miff"
  elapsed=$((($(date +%s%N) - start) / 10000000))
  import -display "$DISPLAY" -window "$window" "$BUILD/$name-screenshot.png"
  convert -delay $((elapsed / 20 > 3 ? elapsed / 20 : 3)) -loop 0 "$frames/frames.miff" \
    -resize 640x -layers Optimize "$BUILD/$name.gif"
  rm -rf "$frames"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  say "screenshot: $BUILD/$name-screenshot.png; animation: $BUILD/$name.gif"
}

# The demos' Wine session in build/wine-prefix (tools/wine_session.sh), on
# $DISPLAY, or in a private Xvfb when there is none; it ends with this script.
wine_demo() { "$SRC/tools/wine_session.sh" "$BUILD/wine-prefix" "$@"; }

# ./build.sh run|settings: builds the setup program and the settings host,
# installs Zephyrine silently with the setup program, as a user would, and
# shows the installed saver, or its settings dialog through the host window.
show_installed() {
  local setup folder scr
  say "Windows build of the setup program"
  cmake --preset win >/dev/null
  cmake --build --preset win --target installer settings_host
  trap 'wine_demo stop' EXIT
  wine_demo stop
  if [ -n "${DISPLAY:-}" ]; then export ZEPHYRINE_DISPLAY=$DISPLAY; else HEADLESS=1; fi
  DISPLAY=$(wine_demo start)
  export DISPLAY
  setup=$(ls -t "$BUILD"/win/Zephyrine-*-setup.exe | head -n 1)
  say "installing Zephyrine with $(basename "$setup") /S into $BUILD/wine-prefix"
  wine_demo run "$setup" /S
  folder=$(wine_demo run reg query 'HKLM\Software\Quorvane\Zephyrine' /v 'Install path' 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Install path *REG_SZ *//p')
  if [ -z "$folder" ]; then echo "the setup program did not install Zephyrine" >&2; exit 1; fi
  scr="$folder\\Zephyrine.scr"
  if [ "$1" = settings ]; then
    show settings root "OK saves the settings, Cancel leaves them" \
      wine_demo run "$BUILD/win/tools/settings_host.exe" "$scr"
  else
    show saver root "a key, a click or a mouse jump ends it" wine_demo run "$scr" /s
  fi
}

# ./build.sh run-x11: the native X11 program with the repository's pictures.
# Headless, in a private Xvfb whose root shows a gradient as the desktop, so
# that the program's copy of the desktop has something to show (-noreset
# keeps that root when the tool that set it disconnects).
run_x11() {
  say "native build of the X11 program"
  cmake --preset native >/dev/null
  cmake --build --preset native --target zephyrine
  local program="$BUILD/native/x11/zephyrine" display
  if [ -z "${DISPLAY:-}" ]; then
    HEADLESS=1
    read -r display XVFB < <("$SRC/tools/start_xvfb.sh" -noreset)
    trap 'kill $XVFB' EXIT
    export DISPLAY=$display
    convert -size 1920x1080 gradient:'#16324f-#6a9bc3' "$BUILD/desktop.png"
    # display exits with 1 after setting the root's background.
    display -window root "$BUILD/desktop.png" || true
  fi
  show x11 Zephyrine "q, Esc, a click or closing the window ends it" \
    "$program" --window --geometry 1280x720 --count 12 --images "$SRC/res/balls"
}

case "${1:-}" in
  test)
    ensure_packages "${BUILD_PACKAGES[@]}" "${LINUX_PACKAGES[@]}" "${NATIVE_PACKAGES[@]}" \
      "${FUZZ_PACKAGES[@]}" "${DEB_PACKAGES[@]}" "${WIN_PACKAGES[@]}"
    failed=0
    for tree in native native-asan fuzz deb win; do
      say "$tree: configure, build, test"
      cmake --workflow --preset "$tree" || failed=1
    done
    "$SRC/tools/wine_session.sh" "$BUILD/win/wine-prefix" stop
    exit $failed ;;
  run | settings)
    ensure_packages "${BUILD_PACKAGES[@]}" "${WIN_PACKAGES[@]}"
    show_installed "$1" ;;
  run-x11)
    ensure_packages "${BUILD_PACKAGES[@]}" "${LINUX_PACKAGES[@]}" "${NATIVE_PACKAGES[@]}"
    run_x11 ;;
  deb)
    ensure_packages "${BUILD_PACKAGES[@]}" "${LINUX_PACKAGES[@]}" "${DEB_PACKAGES[@]}"
    cmake --preset deb >/dev/null
    cmake --build --preset deb
    say "Debian package: $(ls "$BUILD"/zephyrine_*.deb)" ;;
  *) echo "usage: $0 test|run|settings|run-x11|deb" >&2; exit 2 ;;
esac
