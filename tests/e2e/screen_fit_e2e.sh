#!/usr/bin/env bash
# The real program at scale factor 2 on a 1366x768 screen (683x384 in Qt's
# logical pixels), with a stored window size far larger than that: the main
# window and every dialog must open inside the screen, buttons included.
# Usage: screen_fit_e2e.sh PROGRAM CLI
set -euo pipefail
program=$(readlink -f "$1")
cli=$(readlink -f "$2")
screen_w=1366
screen_h=768

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

shot=${TMPDIR:-/tmp}/dorvanta-screenfit-failure.png
fail() {
    echo "FAILED: $*" >&2
    import -display "$DISPLAY" -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "$shot" && echo "screenshot: $shot" >&2
    [ -s "$work/app.log" ] && { echo "app.log:" >&2; tail -n 5 "$work/app.log" >&2; }
    echo "0 passed, 1 failed"
    exit 1
}

source "$(dirname "$0")/xvfb.sh"
start_private_xvfb "${screen_w}x${screen_h}"

# The mapped window named exactly $1, waited for up to $2 tenths of a second (100).
shown() {
    local name=$1 tries=${2:-100} w
    for _ in $(seq "$tries"); do
        while read -r w; do
            [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$name" ] && { echo "$w"; return 0; }
        done < <(xdotool search --onlyvisible --name . 2>/dev/null)
        sleep 0.1
    done
    return 1
}
# Waits up to 5 s until no mapped window is named $1.
gone() {
    for _ in $(seq 50); do shown "$1" 1 >/dev/null || return 0; done
    return 1
}
keys() {
    local w=$1
    shift
    xdotool windowfocus --sync "$w"
    sleep 0.1
    xdotool key "$@"
}
# Fails unless window $1 (named $2), with any frame a window manager gave it,
# lies inside the screen; prints its rectangle.
expect_inside() {
    local w=$1 name=$2 x y width height left=0 right=0 top=0 bottom=0 extents
    sleep 0.2  # Qt's geometry is set before the window is mapped; let anything after it pass
    eval "$(xwininfo -id "$w" | awk -F: '
        /Absolute upper-left X/ {print "x=" $2+0}
        /Absolute upper-left Y/ {print "y=" $2+0}
        /^ *Width/ {print "width=" $2+0}
        /^ *Height/ {print "height=" $2+0}')"
    extents=$(xprop -id "$w" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$extents" ] && IFS=, read -r left right top bottom <<<"$extents"
    x=$((x - left)) y=$((y - top)) width=$((width + left + right)) height=$((height + top + bottom))
    echo "  $name: ${width}x${height}+${x}+${y}"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + width)) -le $screen_w ] &&
        [ $((y + height)) -le $screen_h ] ||
        fail "'$name' lies at ${width}x${height}+${x}+${y}, outside the ${screen_w}x${screen_h} screen"
}
# Opens the dialog named $2 with the keys $1 in the main window, checks it and
# closes it with Escape.
check_dialog() {
    keys "$main" "$1"
    local dialog
    dialog=$(shown "$2") || fail "$1 opened no window '$2'"
    expect_inside "$dialog" "$2"
    [ -n "${3:-}" ] && import -display "$DISPLAY" -window root "$3"
    keys "$dialog" Escape
    gone "$2" || fail "Escape did not close '$2'"
}

# A collection with two sub-categories, named on the command line.
cat >"$work/a.json" <<'JSON'
{"keys":[{"parent":"Bank","name":"Giro","entries":[{"title":"IBAN","value":"DE12","info":"","date":40000.5}]},
         {"parent":"Mail","name":"Privat","entries":[]}]}
JSON
"$cli" build "$work/a.json" "$work/a.pdt"

# Private settings and home; the window was last closed at 3000x2000 (client
# area), on a larger screen. The update wizard of a first start is switched off.
mkdir "$work/reg" "$work/home"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n"Form1Width"=dword:%08x\n"Form1Height"=dword:%08x\n' \
    3000 2000 >"$work/reg/HKEY_CURRENT_USER.reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
    >"$work/reg/HKEY_LOCAL_MACHINE.reg"
export DORVANTA_REGISTRY_DIR="$work/reg" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2
# Ctrl+U asks a port on this machine where nothing answers.
export DORVANTA_UPDATE_HOST=127.0.0.1:9
unset QT_AUTO_SCREEN_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_ENABLE_HIGHDPI_SCALING
unset DORVANTA_TEST_ANSWERS DORVANTA_TEST_INPUTS DORVANTA_TEST_FILES DORVANTA_TEST_LOG
cd "$work"  # where the file dialog opens
"$program" "$work/a.pdt" >"$work/app.log" 2>&1 &
app_pid=$!

main=$(shown "Dorvanta - [$work/a.pdt]") || fail "no main window"
expect_inside "$main" "main window"

check_dialog F3 "Suchen"
check_dialog F2 "Einstellungen"
check_dialog F1 "Info über Dorvanta"
check_dialog ctrl+o "Öffnen" "$work/open.png"
check_dialog ctrl+p "Passwort"
# Nothing is selected yet: the import says so in a message box.
check_dialog ctrl+i "Ungültige oder unvollständige Angaben"
check_dialog ctrl+u "Updates installieren"
# The category list has the focus: the first sub-category is selected for the import.
keys "$main" Down
check_dialog ctrl+i "Einträge importieren"
check_dialog ctrl+r "Neue Rubrik erstellen"
cp "$work/open.png" "${TMPDIR:-/tmp}/dorvanta-screenfit-open.png"

# The cancelled password box counts as a change: the close question comes, and
# "Nein" ends without saving. The size kept at the end is the fitted one, not
# the one read at the start.
keys "$main" ctrl+q
box=$(shown "Warnung") || fail "Ctrl+Q asked no question"
expect_inside "$box" "Warnung"
keys "$box" n
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end on Ctrl+Q"
wait "$app_pid" 2>/dev/null || true
app_pid=
width=$(sed -n 's/^"Form1Width"=dword:\([0-9a-f]*\)\r\?$/\1/p' "$work/reg/HKEY_CURRENT_USER.reg")
[ -n "$width" ] && [ $((16#$width)) -le $((screen_w / 2)) ] ||
    fail "the stored width is still 0x${width:-none}, wider than the screen"

echo "1 passed, 0 failed"
