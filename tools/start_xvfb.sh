#!/bin/sh
# Starts a private Xvfb of 1920 x 1080 at 24 bits on the first free display
# from :91 on, in a session of its own with its output sent nowhere, and
# prints "DISPLAY PID" once it accepts connections. The caller ends it by PID.
# Arguments are more Xvfb options (e.g. -noreset).
n=91
while [ "$n" -le 140 ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        setsid Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp "$@" </dev/null >/dev/null 2>&1 &
        pid=$!
        tries=0
        # Another starter may have taken the display meanwhile: Xvfb then exits.
        while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
            if [ -e "/tmp/.X11-unix/X$n" ]; then
                echo ":$n $pid"
                exit 0
            fi
            sleep 0.1
            tries=$((tries + 1))
        done
        kill "$pid" 2>/dev/null
    fi
    n=$((n + 1))
done
echo "could not start Xvfb" >&2
exit 1
