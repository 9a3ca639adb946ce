#!/bin/sh
# A private Wine session for one prefix, shared by every Windows program run
# in it: the prefix (made on first use, with unmanaged windows and no crash
# dialog), one wineserver whose output goes nowhere, and a private Xvfb from
# start_xvfb.sh, or the display named by ZEPHYRINE_DISPLAY when that is set.
# Programs run through a pipe, as ctest runs them, would otherwise wait for
# the Wine services that the first program starts and that inherit the pipe.
#   wine_session.sh PREFIX run PROGRAM [ARGS]  start the session if needed,
#                                              then run PROGRAM under Wine
#   wine_session.sh PREFIX start               only start it, and print its display
#   wine_session.sh PREFIX stop                end its programs, server and Xvfb
# The server stays 30 s after its last program has ended, so that one test
# run keeps one server from its first program to its last; then it ends on
# its own, and its Xvfb with it.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX run PROGRAM [ARGS] | PREFIX start | PREFIX stop" >&2
    exit 2
fi
tools=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LANG=C.UTF-8
command=$2
shift 2
linger=30
display_file=$WINEPREFIX/.session-display

# Creates the prefix with the session's display set; leaves a new server running.
make_prefix() {
    wine wineboot -i </dev/null >/dev/null 2>&1
    # No window manager under Xvfb: unmanaged windows avoid Wine's 2 s waits.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash must fail its test, not wait on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Stopping the server writes the registry out.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    touch "$WINEPREFIX/.zephyrine-ready"
    wineserver -p$linger </dev/null >/dev/null 2>&1
}

start_session() {
    # One starter at a time; what is started here does not inherit the lock.
    exec 9>"$WINEPREFIX/.session-lock"
    flock 9
    status=0
    wineserver -p$linger 9>&- </dev/null >/dev/null 2>&1 || status=$?
    if [ "$status" -eq 2 ]; then  # this prefix's server is already running
        exec 9>&-
        return
    fi
    if [ "$status" -ne 0 ]; then
        echo "wineserver could not start (exit $status)" >&2
        exit 1
    fi
    xvfb=
    if [ -n "${ZEPHYRINE_DISPLAY:-}" ]; then
        echo "$ZEPHYRINE_DISPLAY" >"$display_file"
    else
        set -- $("$tools/start_xvfb.sh" 9>&-)
        echo "$1" >"$display_file"
        xvfb=$2
    fi
    export DISPLAY="$(cat "$display_file")"
    if [ ! -f "$WINEPREFIX/.zephyrine-ready" ]; then
        make_prefix 9>&-
    fi
    if [ -n "$xvfb" ]; then
        setsid sh -c 'wineserver -w; kill "$0"' "$xvfb" 9>&- </dev/null >/dev/null 2>&1 &
    fi
    # Wine's services start now, with their output away from the caller's.
    wine wineboot 9>&- </dev/null >/dev/null 2>&1
    exec 9>&-
}

case $command in
    run)
        start_session
        if [ ! -f "$display_file" ]; then
            echo "a wineserver of $WINEPREFIX runs outside this session; end it with" \
                "WINEPREFIX=$WINEPREFIX wineserver -k" >&2
            exit 1
        fi
        DISPLAY=$(cat "$display_file")
        export DISPLAY
        exec wine "$@"
        ;;
    start)
        start_session
        cat "$display_file"
        ;;
    stop)
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        ;;
    *)
        echo "unknown command $command" >&2
        exit 2
        ;;
esac
