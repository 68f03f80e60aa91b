# Sourced by the end-to-end tests: a private X server. Needs $work and a fail
# function; sets and exports DISPLAY and sets xvfb_pid (the caller's cleanup ends it).
#
# A display of the server's own choosing: with -displayfd it takes a free number
# and writes it to fd 3 when it is ready, so parallel runs never race for one.
# -noreset: the server would otherwise reset when the last program closes, and
# a program starting during that reset cannot connect.

# One try; $1 is the screen's size (WIDTHxHEIGHT).
xvfb_try() {
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -s "$work/display" ] || return 1
    DISPLAY=":$(head -n1 "$work/display")"
    # Accepting connections, not merely listening.
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

# $1: the screen's size, 1280x1024 unless given.
start_private_xvfb() {
    export DISPLAY=
    if ! xvfb_try "${1:-1280x1024}"; then
        # Once more, from scratch: a busy machine may have been too slow the first time.
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        DISPLAY=
        xvfb_try "${1:-1280x1024}" ||
            fail "Xvfb did not start: $(tail -n 3 "$work/xvfb.log" | tr '\n' ' ')"
    fi
}
