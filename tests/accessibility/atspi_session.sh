#!/usr/bin/env bash
# Runs a command inside a desktop session of its own, as a screen reader's user has one: an X
# server (Xvfb), a D-Bus session bus and the AT-SPI accessibility bus with its registry. All
# of them are stopped when the command ends, whatever its outcome.
#
#   atspi_session.sh COMMAND [ARGUMENT...]
set -euo pipefail

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# -noreset: without it the server resets whenever its last client leaves (the probe below, or a
# second accessibility-bus launcher that D-Bus starts and that quits at once), and a client
# connecting during the reset can be turned away with "could not connect to display".
exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
exec 3>&-
[[ -s $work/display ]] || { echo "atspi_session: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# The display number comes when the server listens; wait until a client is really served.
answers() { xdpyinfo >/dev/null 2>&1; }
for _ in $(seq 100); do
    answers && break
    sleep 0.1
done
answers || { echo "atspi_session: Xvfb on $DISPLAY does not answer" >&2; cat "$work/xvfb.log" >&2; exit 1; }

dbus-daemon --session --nofork --print-address=4 4>"$work/bus" &
pids+=($!)
for _ in $(seq 100); do
    [[ -s $work/bus ]] && break
    sleep 0.1
done
[[ -s $work/bus ]] || { echo "atspi_session: the D-Bus session bus did not start" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS

# The launcher starts the accessibility bus, whose registry comes on the first call.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/launcher.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1 && break
    sleep 0.1
done

status=0
"$@" || status=$?
if ((status != 0)); then
    # What the X server said, for a failure that is the session's and not the program's.
    if ! kill -0 "$xvfb" 2>/dev/null; then
        server="has ended"
    elif answers; then
        server="still answers"
    else
        server="runs but does not answer"
    fi
    echo "atspi_session: the command failed on DISPLAY=$DISPLAY, whose X server $server; its log:" >&2
    cat "$work/xvfb.log" >&2
    ls -la /tmp/.X11-unix >&2 || true
fi
exit $status
