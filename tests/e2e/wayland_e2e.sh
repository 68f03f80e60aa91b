#!/usr/bin/env bash
# Runs the real program as a native Wayland client of weston and reads the
# clipboard as another Wayland program does: a copied value carries the hint that
# keeps clipboard histories from recording it, and the lock takes it off the
# clipboard. Weston runs in a window of a private X server (its X11 back end: the
# headless one has no seat, so no clipboard), and xdotool types into that window.
# Usage: wayland_e2e.sh PROGRAM CLI
set -euo pipefail
program=$1
cli=$2

work=$(mktemp -d)
xvfb_pid=
weston_pid=
app_pid=
stop() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
cleanup() {
    stop "$app_pid"
    stop "$weston_pid"
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT

# The program's own lines, without libwayland's protocol lines (WAYLAND_DEBUG).
program_log() {
    grep -v '^\[ *[0-9]*\.[0-9]*\] ' "$work/app.log" 2>/dev/null || true
}
fail() {
    echo "FAILED: $*" >&2
    if [ -n "${DISPLAY:-}" ] &&
        timeout 10 import -display "$DISPLAY" -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "${TMPDIR:-/tmp}/dorvanta-wayland-e2e-failure.png"; then
        echo "screenshot: ${TMPDIR:-/tmp}/dorvanta-wayland-e2e-failure.png" >&2
    fi
    if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then
        local status=0
        wait "$app_pid" 2>/dev/null || status=$?
        echo "the program ended with status $status" >&2
        app_pid=
    fi
    [ -s "$work/app.log" ] && {
        echo "app.log:" >&2
        program_log | tail -n 5 >&2
        echo "  last protocol lines:" >&2
        tail -n 3 "$work/app.log" >&2
    }
    [ -s "$work/weston.log" ] && { echo "weston.log:" >&2; tail -n 5 "$work/weston.log" >&2; }
    echo "0 passed, 1 failed"
    exit 1
}

source "$(dirname "$0")/xvfb.sh"
start_private_xvfb

# Weston ends at once without XDG_RUNTIME_DIR (root, as in CI, often has none)
# and wants it its user's alone: a folder of our own, 0700, whose socket no
# other compositor or client shares. The pixman renderer needs no GPU (/dev/dri).
# No idle blanking, no on-screen keyboard, and the kiosk shell: the window fills
# the output and takes the keyboard.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
socket="dorvanta-e2e-$$"
printf '[core]\nidle-time=0\n\n[input-method]\npath=\n' >"$work/weston.ini"
weston_window=
start_weston() {
    rm -f "$XDG_RUNTIME_DIR/$socket" "$XDG_RUNTIME_DIR/$socket.lock"
    env -u WAYLAND_DISPLAY -u WAYLAND_SOCKET weston --backend=x11-backend.so --use-pixman \
        --shell=kiosk-shell.so --config="$work/weston.ini" --socket="$socket" \
        --width=1024 --height=768 --log="$work/weston.log" </dev/null >"$work/weston.out" 2>&1 &
    weston_pid=$!
    for _ in $(seq 200); do
        [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
        kill -0 "$weston_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -S "$XDG_RUNTIME_DIR/$socket" ] || return 1
    for _ in $(seq 100); do
        weston_window=$(xdotool search --class '^Weston Compositor$' 2>/dev/null | head -n1) || true
        [ -n "$weston_window" ] && return 0
        sleep 0.1
    done
    return 1
}
if ! start_weston; then
    stop "$weston_pid"
    start_weston || fail "weston did not start: $(tail -n 3 "$work/weston.out" "$work/weston.log" 2>/dev/null | tr '\n' ' ')"
fi
export WAYLAND_DISPLAY="$socket"
# Keys typed from now on go to weston's window, and weston hands them on to the
# focused Wayland window. Focused once only: each change of the X focus makes
# weston take the keyboard from its client and give it back.
timeout 10 xdotool windowfocus --sync "$weston_window" || fail "weston's window took no focus"

# A collection with a password, opened at start; the password box is answered
# by the test switch.
cat >"$work/c.json" <<'JSON'
{"password":"Sesam-42","keys":[{"parent":"Bank","name":"Giro","entries":[{"title":"PIN","value":"4711-äö","info":"Karte","date":40000.5}]}]}
JSON
"$cli" build "$work/c.json" "$work/c.pdt"
mkdir "$work/reg" "$work/home"
# The update wizard of a first start is switched off here.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
    >"$work/reg/HKEY_LOCAL_MACHINE.reg"

# No X display for the program: it runs under Wayland or not at all. libwayland
# logs the program's side of the conversation (WAYLAND_DEBUG), which tells the
# window's caption and who has the keyboard.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE \
    QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" \
    DORVANTA_REGISTRY_DIR="$work/reg" LANG=C.UTF-8 LC_ALL=C.UTF-8 \
    DORVANTA_TEST_INPUTS="Sesam-42" DORVANTA_TEST_LOG="$work/questions.log" \
    "$program" "$work/c.pdt" >"$work/app.log" 2>&1 </dev/null &
app_pid=$!

alive() { kill -0 "$app_pid" 2>/dev/null; }
# Waits up to $2 seconds for the caption $1, as the program set it.
expect_caption() {
    for _ in $(seq $(($2 * 10))); do
        grep -qF -- ".set_title(\"$1\")" "$work/app.log" 2>/dev/null && return 0
        alive || fail "the program ended while '$1' was awaited"
        sleep 0.1
    done
    fail "the window was never named '$1'"
}
# Waits until the program has the keyboard again (the last wl_keyboard event to it
# is an enter): reading the clipboard takes it away for a moment.
expect_keyboard() {
    for _ in $(seq 100); do
        grep -E 'wl_keyboard@[0-9]+\.(enter|leave)\(' "$work/app.log" | tail -n1 | grep -q '\.enter(' &&
            return 0
        alive || fail "the program ended while waiting for the keyboard"
        sleep 0.1
    done
    fail "the program did not get the keyboard"
}
selections() { grep -c 'wl_data_device@[0-9]*\.set_selection(' "$work/app.log" || true; }
key() {
    xdotool key "$1"
    sleep 0.3
}
# The clipboard as another Wayland program sees it (wl-clipboard reads it through
# a window of its own, which weston gives the keyboard for a moment).
clipboard_types() { timeout 10 wl-paste --list-types 2>/dev/null || true; }
clipboard_text() { timeout 10 wl-paste --no-newline "$@" 2>/dev/null || true; }

file_caption="Dorvanta - [$work/c.pdt]"
expect_caption "$file_caption" 60
expect_keyboard
tab=$'\t'  # the question log's lines read "kind<TAB>caption<TAB>..."
grep -q "^Input${tab}Passwort${tab}" "$work/questions.log" || fail "no password was asked for"

# The pointer rests on the window, so that the lock's wait cursor is drawn there.
xdotool mousemove --window "$weston_window" 700 600

# The category list has the keyboard: Down chooses "Giro", Tab goes to the entry
# list, Right to the value of its first entry, and Ctrl+C copies that cell.
before=$(selections)
key Down
key Tab
key Right
key ctrl+c
for _ in $(seq 100); do [ "$(selections)" -gt "$before" ] && break; alive || break; sleep 0.1; done
[ "$(selections)" -gt "$before" ] || fail "Ctrl+C on the entry list set no clipboard"
types=$(clipboard_types)
echo "$types" | grep -qx 'text/plain' || fail "no text/plain among: $(tr "\n" " " <<<"$types")"
echo "$types" | grep -qx 'x-kde-passwordManagerHint' || fail "no secret hint among: $(tr "\n" " " <<<"$types")"
[ "$(clipboard_text --type x-kde-passwordManagerHint)" = secret ] || fail "the hint is not 'secret'"
value=$(clipboard_text)
[ "$value" = "4711-äö" ] || fail "the clipboard holds '$value', not the value '4711-äö'"

# The lock takes our text off the clipboard; the compositor keeps no copy to offer.
expect_keyboard
key ctrl+l
expect_caption "$file_caption (gesperrt)" 60
left=
for _ in $(seq 30); do
    left=$(clipboard_text)
    [ "$left" != "4711-äö" ] && break
    sleep 0.2
done
[ "$left" != "4711-äö" ] || fail "the value is still on the clipboard after the lock"
kill -0 "$weston_pid" 2>/dev/null || fail "weston ended, so the clipboard could not be read"
types=$(clipboard_types)
echo "$types" | grep -qx 'x-kde-passwordManagerHint' && fail "the clipboard still offers: $(tr "\n" " " <<<"$types")"

# The wait cursor of the lock stood still: the program never asked for a frame of
# its cursor (an animated one crashed it under Qt 6.4).
cursor=$(grep -o 'wl_pointer@[0-9]*\.set_cursor([0-9]*, wl_surface@[0-9]*' "$work/app.log" |
    grep -o 'wl_surface@[0-9]*$' | sort -u)
[ -n "$cursor" ] || fail "the program never set a cursor over its window"
for surface in $cursor; do
    grep -q -- "-> $surface\.frame(" "$work/app.log" && fail "the cursor $surface was animated"
done
sleep 0.5
alive || fail "the program ended after the lock"

echo "1 passed, 0 failed"
