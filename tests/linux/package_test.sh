#!/bin/sh
# Tests of the Debian package of the X11 display mode, from the .deb file:
#   package_test.sh contents DEB  its files, stripped program, Depends, lintian
#   package_test.sh runs DEB      the unpacked program draws on its window
#   package_test.sh host DEB      the unpacked program under the xscreensaver
#                                 daemon, over the daemon's copy of the desktop
# Each case starts its own Xvfb and cleans up what it made.
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 contents|runs|host <package.deb>" >&2
    exit 2
fi
case_name=$1
deb=$2
if [ ! -f "$deb" ]; then
    echo "no package $deb: build it first (cmake --build <dir> --target deb)" >&2
    exit 1
fi

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

work=$(mktemp -d) || exit 1
chmod 755 "$work"  # the daemon's user reads the unpacked tree
xvfb_pid=
daemon_pid=
cleanup() {
    [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

tree=$work/tree
dpkg-deb -x "$deb" "$tree" || exit 1
program=$tree/usr/libexec/xscreensaver/zephyrine
pictures=$tree/usr/share/zephyrine

# A private Xvfb of WIDTHxHEIGHT on a free display; sets DISPLAY. Without
# -noreset the server would reset (losing the painted desktop) whenever its
# last client leaves; without an authority file any local user may connect.
start_xvfb() {
    for n in $(seq 141 240); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 1 50); do
            if [ -e "/tmp/.X11-unix/X$n" ]; then
                DISPLAY=":$n"
                export DISPLAY
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
        xvfb_pid=
    done
    echo "could not start Xvfb" >&2
    exit 1
}

# The screen's colours, one line each: "<pixels> <RRGGBB>".
capture() {
    xwd -root -silent | convert xwd:- -format %c histogram:info:- |
        sed -n 's/^ *\([0-9]*\):.*#\([0-9A-F]\{6\}\).*/\1 \2/p' > "$1"
}
pixels_of() {  # capture, RRGGBB
    awk -v c="$2" '$2 == c { n += $1 } END { print n + 0 }' "$1"
}
pixels_other_than() {  # capture, RRGGBB, RRGGBB
    awk -v a="$2" -v b="$3" '$2 != a && $2 != b { n += $1 } END { print n + 0 }' "$1"
}

check_contents() {
    # The installed files of the design, and nothing else.
    cat > "$work/expected" <<'EOF'
./usr/libexec/xscreensaver/zephyrine
./usr/share/applications/screensavers/zephyrine.desktop
./usr/share/doc/zephyrine/changelog.gz
./usr/share/doc/zephyrine/copyright
./usr/share/man/man6/zephyrine.6.gz
./usr/share/xscreensaver/config/zephyrine.xml
./usr/share/zephyrine/1.png
./usr/share/zephyrine/2.png
./usr/share/zephyrine/3.png
./usr/share/zephyrine/4.png
./usr/share/zephyrine/5.png
./usr/share/zephyrine/6.png
./usr/share/zephyrine/7.png
./usr/share/zephyrine/8.png
EOF
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort > "$work/files"
    diff -u "$work/expected" "$work/files" >&2 || fail "the package's files differ from the installed files"
    dpkg-deb -c "$deb" | grep '^-rwxr-xr-x root/root .* ./usr/libexec/xscreensaver/zephyrine$' >/dev/null ||
        fail "the program is not an executable owned by root"
    file -b "$program" | grep -q ', stripped' || fail "the program is not stripped"
    gzip -t "$tree/usr/share/man/man6/zephyrine.6.gz" || fail "the manual page is not gzipped"

    # Depends names the package of every library the program links, each
    # with a lowest version: computed from the binary, not written by hand.
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | sed -n '1s/:.*//p')
        if [ -z "$owner" ]; then
            fail "no installed package holds $library"
        elif ! printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$owner (>= [^)]*)"; then
            fail "Depends lacks $owner (>= ...) for $library"
        fi
    done

    lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
}

# The unpacked program, started from the tree with the tree's pictures,
# fills its window with white and draws balls on it.
check_runs() {
    start_xvfb 640x480
    "$program" --window --geometry 320x240 --background white --images "$pictures" --seed 1 &
    pid=$!
    white=0 other=0
    for _ in $(seq 1 50); do
        sleep 0.1
        capture "$work/screen"
        white=$(pixels_of "$work/screen" FFFFFF)
        other=$(pixels_other_than "$work/screen" FFFFFF 000000)
        [ "$white" -gt 20000 ] && [ "$other" -gt 1000 ] && break
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    # 320 x 240 = 76800 pixels of window: most of them white, the balls not.
    [ "$white" -gt 20000 ] || fail "the window is not white: $white white pixels"
    [ "$other" -gt 1000 ] || fail "no balls on the window: $other coloured pixels"
}

# Prints the process ids below PID, one a line.
descendants() {
    for child in $(ps -o pid= --ppid "$1"); do
        echo "$child"
        descendants "$child"
    done
}

check_host() {
    start_xvfb 1024x768
    # The known desktop: the root's background, left half red, right half blue.
    convert -size 512x768 xc:'#FF0000' xc:'#0000FF' +append "$work/desktop.png"
    display -window root "$work/desktop.png"  # exits 1 even when it worked
    capture "$work/desktop"
    [ "$(pixels_of "$work/desktop" FF0000)" -eq 393216 ] || fail "could not paint the desktop"

    home=$work/home
    mkdir "$home"
    cat > "$home/.xscreensaver" <<EOF
mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
grabDesktopImages: True
programs: $program --root --images $pictures \n
EOF
    # The daemon launches no display mode as root: run it as nobody then.
    if [ "$(id -u)" -eq 0 ]; then
        chown -R 65534:65534 "$home"
        setpriv --reuid=65534 --regid=65534 --clear-groups \
            env HOME="$home" xscreensaver -no-splash > "$work/daemon.log" 2>&1 &
    else
        env HOME="$home" xscreensaver -no-splash > "$work/daemon.log" 2>&1 &
    fi
    daemon_pid=$!
    for _ in $(seq 1 50); do
        xscreensaver-command -time >/dev/null 2>&1 && break
        sleep 0.1
    done
    xscreensaver-command -activate >/dev/null 2>&1 || fail "xscreensaver-command -activate failed"

    saver=
    for _ in $(seq 1 50); do
        for p in $(descendants "$daemon_pid"); do
            [ "$(cat "/proc/$p/comm" 2>/dev/null)" = zephyrine ] && saver=$p
        done
        [ -n "$saver" ] && break
        sleep 0.1
    done
    if [ -z "$saver" ]; then
        fail "the daemon did not start the program"
        cat "$work/daemon.log" >&2
        return
    fi
    tr '\0' ' ' < "/proc/$saver/cmdline" | grep -q -- '--root' || fail "started without --root"
    window=$(tr '\0' '\n' < "/proc/$saver/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
    xwininfo -id "$window" 2>/dev/null | grep -q 'geometry 1024x768+0+0' ||
        fail "XSCREENSAVER_WINDOW=$window is not the daemon's full-screen window"

    # Balls over the daemon's copy of the desktop, moving.
    sleep 1
    capture "$work/first"
    xwd -root -silent > "$work/first.xwd"
    sleep 0.5
    xwd -root -silent > "$work/second.xwd"
    red=$(pixels_of "$work/first" FF0000)
    blue=$(pixels_of "$work/first" 0000FF)
    balls=$(pixels_other_than "$work/first" FF0000 0000FF)
    echo "on the screen: $red red, $blue blue and $balls other pixels"
    [ "$red" -gt 100000 ] && [ "$blue" -gt 100000 ] || fail "the desktop is not behind the balls"
    [ "$balls" -gt 5000 ] || fail "no balls on the screen"
    moved=$(compare -metric AE "$work/first.xwd" "$work/second.xwd" null: 2>&1)
    [ "${moved%% *}" -gt 0 ] 2>/dev/null || fail "nothing moved between two captures ($moved)"
    ipcs -m -p | awk -v p="$saver" '$3 == p' > "$work/segments"
    [ -s "$work/segments" ] || fail "the program shows its frames without shared memory"

    # Deactivating ends it within a second and leaves no segment behind.
    xscreensaver-command -deactivate >/dev/null 2>&1 || fail "xscreensaver-command -deactivate failed"
    for _ in $(seq 1 100); do
        [ -d "/proc/$saver" ] || break
        sleep 0.01
    done
    if [ -d "/proc/$saver" ]; then
        fail "still running a second after -deactivate"
    fi
    ipcs -m -p | awk -v p="$saver" '$3 == p' > "$work/segments"
    [ -s "$work/segments" ] && fail "shared memory left behind: $(cat "$work/segments")"
}

case $case_name in
    contents) check_contents ;;
    runs) check_runs ;;
    host) check_host ;;
    *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
exit $status
