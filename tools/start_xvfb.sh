#!/bin/sh
# Starts a private Xvfb of 1920 x 1080 at 24 bits on a display it finds free,
# in a session of its own with its output sent nowhere, and prints
# "DISPLAY PID" once it accepts connections. The caller ends it by PID.
# Arguments are more Xvfb options (e.g. -noreset).
ready=$(mktemp)
setsid Xvfb -screen 0 1920x1080x24 -nolisten tcp -displayfd 3 "$@" \
    3>"$ready" </dev/null >/dev/null 2>&1 &
pid=$!
tries=0
# Xvfb writes its display number and a newline when it is ready.
while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
    if [ "$(wc -l <"$ready")" -ge 1 ]; then
        echo ":$(cat "$ready") $pid"
        rm -f "$ready"
        exit 0
    fi
    sleep 0.1
    tries=$((tries + 1))
done
kill "$pid" 2>/dev/null
rm -f "$ready"
echo "Xvfb did not start" >&2
exit 1
