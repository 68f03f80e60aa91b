#!/usr/bin/env bash
# Drives the real program on a private X server and reads what the window
# system shows: window captions exactly as set, and Qt's own dialogs in German.
# Usage: gui_e2e.sh PROGRAM CLI
set -euo pipefail
program=$1
cli=$2

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    import -display "$DISPLAY" -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "${TMPDIR:-/tmp}/dorvanta-e2e-failure.png" &&
        echo "screenshot: ${TMPDIR:-/tmp}/dorvanta-e2e-failure.png" >&2
    for log in "$work"/app*.log; do
        [ -s "$log" ] && { echo "$(basename "$log"):" >&2; tail -n 5 "$log" >&2; }
    done
    echo "windows:" >&2
    xdotool search --name . 2>/dev/null | while read -r w; do
        echo "  $(xdotool getwindowname "$w" 2>/dev/null)" >&2
    done
    echo "0 passed, 1 failed"
    exit 1
}

source "$(dirname "$0")/xvfb.sh"
start_private_xvfb

# The window whose name is exactly $1 (other than window $2), waited for up to 10 s;
# $3 "--onlyvisible" skips unmapped ones (Qt keeps one named after the program).
window() {
    local name=$1 other=${2:-} only=${3:-} w
    for _ in $(seq 100); do
        while read -r w; do
            [ "$w" != "$other" ] && [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$name" ] &&
                { echo "$w"; return 0; }
        done < <(xdotool search $only --name . 2>/dev/null)
        sleep 0.1
    done
    return 1
}
# The caption as the window system holds it (WM_NAME), compared exactly.
expect_caption() {
    local w
    w=$(window "$1") || fail "no window named '$1'"
    local held
    held=$(xprop -id "$w" WM_NAME | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p')
    [ "$held" = "$1" ] || fail "WM_NAME is '$held', expected '$1'"
    echo "$w"
}
# Waits until window $1 is named exactly $2 (WM_NAME).
expect_renamed() {
    local held=
    for _ in $(seq 100); do
        held=$(xprop -id "$1" WM_NAME | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p')
        [ "$held" = "$2" ] && return 0
        sleep 0.1
    done
    fail "WM_NAME is '$held', expected '$2'"
}
# Waits until the collection $1, dumped as JSON, holds the text $2; else fails with $3.
expect_in_file() {
    for _ in $(seq 50); do
        "$cli" dump "$1" 2>/dev/null | grep -qF "$2" && return 0
        sleep 0.1
    done
    fail "$3"
}
# Opens "Speichern unter" in window $1 and types the name $2; prints the dialog.
save_as() {
    keys "$1" ctrl+shift+s >&2
    local save
    save=$(expect_caption "Speichern unter")
    keys "$save" ctrl+a >&2
    xdotool type --delay 5 "$2" >&2
    echo "$save"
}
keys() {
    local w=$1
    shift
    xdotool windowfocus --sync "$w"
    sleep 0.1
    xdotool key "$@"
}

# Two collections; b.pdt is to be replaced by a save of a.pdt.
cat >"$work/a.json" <<'JSON'
{"keys":[{"parent":"Bank","name":"Giro","entries":[{"title":"IBAN","value":"DE12","info":"","date":40000.5}]},
         {"parent":"Mail","name":"Privat","entries":[]}]}
JSON
echo '{"keys":[{"parent":"Alt","name":"Alt","entries":[]}]}' >"$work/b.json"
"$cli" build "$work/a.json" "$work/a.pdt"
"$cli" build "$work/b.json" "$work/b.pdt"

# The file opens at start through the settings.
mkdir "$work/reg"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n"AutoLoadFile"="%s"\n' \
    "$work/a.pdt" >"$work/reg/HKEY_CURRENT_USER.reg"
# The update wizard of a first start is switched off here.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
    >"$work/reg/HKEY_LOCAL_MACHINE.reg"
export DORVANTA_REGISTRY_DIR="$work/reg"
export LANG=C.UTF-8 LC_ALL=C.UTF-8  # Qt's texts must be German all the same
unset QT_QPA_PLATFORM DORVANTA_TEST_ANSWERS DORVANTA_TEST_INPUTS DORVANTA_TEST_FILES DORVANTA_TEST_LOG
"$program" >"$work/app.log" 2>&1 &
app_pid=$!

main=$(expect_caption "Dorvanta - [$work/a.pdt]")

# The other dialogs of the main window, each closed with Escape; nothing is
# selected yet, so the import only says so.
for pair in "F3:Suchen" "F2:Einstellungen" "F1:Info über Dorvanta" \
    "ctrl+i:Ungültige oder unvollständige Angaben"; do
    keys "$main" "${pair%%:*}"
    dialog=$(expect_caption "${pair#*:}")
    keys "$dialog" Escape
done

# The category dialog, through the "Neue Rubrik" tool button.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 260)) $((Y + 55)) click 1
dialog=$(expect_caption "Neue Rubrik erstellen")
# A parent typed in another case than a listed one ("Bank") is kept as typed.
xdotool type --delay 5 "bank"
keys "$dialog" Tab
xdotool type --delay 5 "Neu"
keys "$dialog" Return
keys "$main" ctrl+s
expect_in_file "$work/a.pdt" '"parent": "bank"' "the typed parent 'bank' was not kept"

# The password box, then the close question in a message box; Escape keeps the window.
keys "$main" ctrl+p
input=$(expect_caption "Passwort")
keys "$input" Return
keys "$main" alt+F4
box=$(expect_caption "Warnung")
keys "$box" Escape
sleep 0.3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after 'Abbrechen'"

# Save as onto an existing file: Qt's overwrite question must be German, so its
# "&Ja" answers the key J.
save=$(save_as "$main" "$work/b.pdt")
keys "$save" Return
question=$(window "Speichern unter" "$save") || fail "no overwrite question"
keys "$question" j
expect_renamed "$main" "Dorvanta - [$work/b.pdt]"
expect_in_file "$work/b.pdt" '"Giro"' "b.pdt was not replaced after answering J"

# "&Ja" to the close question of an untitled document, then the save dialog
# cancelled: the program stays, with its changes.
keys "$main" ctrl+n
expect_renamed "$main" "Dorvanta"
untitled=$main
keys "$untitled" ctrl+p
input=$(expect_caption "Passwort")
keys "$input" Return
keys "$untitled" alt+F4
box=$(expect_caption "Warnung")
keys "$box" j
save=$(expect_caption "Speichern unter")
keys "$save" Escape
sleep 0.3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after a cancelled save"
keys "$untitled" alt+F4
box=$(expect_caption "Warnung")
keys "$box" n
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after '&Nein'"
app_pid=

# Under a file-size limit (64 KiB) a save of a larger collection fails with the
# error box instead of the program being ended with the work unsaved; the file
# it was to replace stays as it was, and no temporary file is left.
value=$(printf 'x%.0s' $(seq 500))
entries=
for i in $(seq 200); do
    entries+="${entries:+,}{\"title\":\"Eintrag $i\",\"value\":\"$value\"}"
done
printf '{"keys":[{"parent":"Viel","name":"Liste","entries":[%s]}]}' "$entries" >"$work/big.json"
"$cli" build "$work/big.json" "$work/big.pdt"
cp "$work/b.pdt" "$work/c.pdt"
cp "$work/c.pdt" "$work/c.old"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n"AutoLoadFile"="%s"\n' \
    "$work/big.pdt" >"$work/reg/HKEY_CURRENT_USER.reg"
(ulimit -f 64 && exec "$program") >"$work/app-limited.log" 2>&1 &
app_pid=$!
main=$(expect_caption "Dorvanta - [$work/big.pdt]")
save=$(save_as "$main" "$work/c.pdt")
keys "$save" Return
question=$(window "Speichern unter" "$save") || fail "no overwrite question for c.pdt"
keys "$question" j
box=$(window "Dorvanta" "$main" --onlyvisible) || fail "no error box for a save past the file-size limit"
sleep 0.3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended during a save past the file-size limit"
cmp -s "$work/c.pdt" "$work/c.old" || fail "the failed save changed c.pdt"
ls -A "$work" | grep -q '^\.c\.pdt' && fail "the failed save left a temporary file"
keys "$box" Return
sleep 0.3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after the error box"

kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=

# An encrypted save through the real save dialog: the type is chosen in its
# combo box after the name "Meine Daten.pdt" (Qt would swap that for
# "Meine Daten.age"), and the name written is "Meine Daten.pdt.age"; the
# password box asks twice for the missing password; the plain file e.pdt it came
# from is offered for deletion, and "J" deletes it. The file reopens with the
# password, and a copied value carries the hint that keeps clipboard histories
# from recording it.
cat >"$work/e.json" <<'JSON'
{"keys":[{"parent":"Bank","name":"Giro","entries":[{"title":"PIN","value":"4711-äö","info":"","date":40000.5}]}]}
JSON
plain="$work/e.pdt"
sealed="$work/Meine Daten.pdt.age"
"$cli" build "$work/e.json" "$plain"
# Named on the command line, as a file manager starts it.
"$program" "$plain" >"$work/app-encrypted.log" 2>&1 &
app_pid=$!
main=$(expect_caption "Dorvanta - [$plain]")
save=$(save_as "$main" "$work/Meine Daten.pdt")
eval "$(xdotool getwindowgeometry --shell "$save")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 29)) click 1  # "Dateityp"
sleep 0.3
xdotool key Down Return
sleep 0.2
keys "$save" Return
input=$(expect_caption "Passwort")
xdotool windowfocus --sync "$input"
xdotool type --delay 20 "Sesam-42"
xdotool key Tab  # "Passwort wiederholen"
xdotool type --delay 20 "Sesam-42"
keys "$input" Return
expect_renamed "$main" "Dorvanta - [$sealed]"
# The key derivation may take a few seconds on a busy machine.
for _ in $(seq 300); do [ -s "$sealed" ] && break; sleep 0.1; done
head -n1 "$sealed" | grep -qx 'age-encryption.org/v1' || fail "$sealed is not an age file"
"$cli" dump "$sealed" --password "Sesam-42" | grep -qF '"4711-äö"' ||
    fail "$sealed does not open with its password"
[ "$(ls "$work" | grep -c '\.age$')" = 1 ] || fail "not one encrypted file: $(ls "$work")"
question=$(expect_caption "Unverschlüsselte Datei")
[ -f "$plain" ] || fail "the plain file went before the question was answered"
keys "$question" j
for _ in $(seq 50); do [ -f "$plain" ] || break; sleep 0.1; done
[ -f "$plain" ] && fail "the plain file is still there after answering J"
keys "$main" ctrl+n
expect_renamed "$main" "Dorvanta"
keys "$main" ctrl+o
open=$(expect_caption "Öffnen")
keys "$open" ctrl+a
xdotool type --delay 5 "$sealed"
keys "$open" Return
input=$(expect_caption "Passwort")
xdotool windowfocus --sync "$input"
xdotool type --delay 20 "Sesam-42"
keys "$input" Return
expect_renamed "$main" "Dorvanta - [$sealed]"
# "Giro", its entry, the copy button, "&Wert kopieren".
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 14)) $((Y + 106)) click 1
sleep 0.3
xdotool mousemove $((X + 310)) $((Y + 111)) click 1
sleep 0.3
# The copy button stands at the window's right edge, whatever its width.
xdotool mousemove $((X + WIDTH - 31)) $((Y + 224)) click 1
sleep 0.3
xdotool key w
sleep 0.3
targets=$(xclip -selection clipboard -o -t TARGETS 2>/dev/null) || fail "nothing on the clipboard"
echo "$targets" | grep -qx 'x-kde-passwordManagerHint' || fail "no secret hint among: $targets"
[ "$(xclip -selection clipboard -o -t x-kde-passwordManagerHint)" = secret ] ||
    fail "the hint is not 'secret'"
[ "$(xclip -selection clipboard -o)" = "4711-äö" ] || fail "the copied value is wrong"

# ---- the tool bar's captions, whole (screenshot) ---------------
# The captions are measured by the caption-fit test; here the real program's
# tool bar is photographed for the eye: toolbar.png in the work folder, copied
# to ${TMPDIR:-/tmp}/dorvanta-e2e-toolbar.png.
if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
fi
"$program" "$work/a.pdt" >"$work/app-toolbar.log" 2>&1 &
app_pid=$!
main=$(expect_caption "Dorvanta - [$work/a.pdt]")
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
import -display "$DISPLAY" -window "$main" -crop "${WIDTH}x95+0+0" +repage "$work/toolbar.png" ||
    fail "no screenshot of the tool bar"
[ "$(identify -format '%w %h' "$work/toolbar.png")" = "$WIDTH 95" ] ||
    fail "the tool bar screenshot has the wrong size"
cp "$work/toolbar.png" "${TMPDIR:-/tmp}/dorvanta-e2e-toolbar.png"
# ----

# Ctrl+Q ends the program; with nothing changed it asks nothing.
keys "$main" ctrl+q
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end on Ctrl+Q"
wait "$app_pid" 2>/dev/null || true
app_pid=

# ---- the names a screen reader reads (AT-SPI) ----
# The program runs on a message bus of its own with the accessibility bus
# started on it; atspi_names.py reads the tree as a screen reader would.
here=$(dirname "$(readlink -f "$0")")
dbus-run-session -- bash -c '
    QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" "$2" >"$3" 2>&1 &
    pid=$!
    /usr/bin/python3 "$4" 30 >"$5"
    rc=$?
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    exit $rc' _ "$program" "$work/a.pdt" "$work/app-atspi.log" "$here/atspi_names.py" \
    "$work/atspi.txt" || fail "no accessibility tree: $(head -c 300 "$work/atspi.txt")"
tab=$'\t'  # the lines read "role<TAB>name"
for expected in "push button${tab}Neuer Eintrag" "push button${tab}Eintrag löschen" \
    "push button${tab}Kopieren" "push button${tab}Rubrik löschen" "text${tab}Wert" \
    "table${tab}Einträge"; do
    grep -qF "$expected" "$work/atspi.txt" ||
        fail "AT-SPI has no '$expected' in: $(tr '\n' ' ' <"$work/atspi.txt" | head -c 2000)"
done
# ----

# ---- Qt's file dialog lists sizes and dates in German -----------
# Under LANG=C Qt's file list said "14 bytes" and "8 Dec 2026". The program
# writes what the list shows to DORVANTA_TEST_FILE_LIST (folder, name, size,
# type, date; tab-separated) once the dialog has read a folder.
DORVANTA_TEST_FILE_LIST="$work/file-list.txt" "$program" "$work/a.pdt" \
    >"$work/app-file-list.log" 2>&1 &
app_pid=$!
main=$(expect_caption "Dorvanta - [$work/a.pdt]")
keys "$main" ctrl+shift+s
save=$(expect_caption "Speichern unter")
row=
for _ in $(seq 100); do
    row=$(awk -F'\t' -v dir="$work" '$1 == dir && $2 == "a.pdt"' "$work/file-list.txt" 2>/dev/null |
        tail -n1) || true  # the list is written once the dialog has read the folder
    [ -n "$row" ] && break
    sleep 0.1
done
[ -n "$row" ] || fail "the save dialog listed no a.pdt"
size=$(printf '%s' "$row" | cut -f3)
date=$(printf '%s' "$row" | cut -f5)
expected_size="$(stat -c %s "$work/a.pdt") Bytes"
[ "$size" = "$expected_size" ] || fail "the size column reads '$size', expected '$expected_size'"
[ "$date" = "$(date -r "$work/a.pdt" '+%d.%m.%y %H:%M')" ] ||
    fail "the date column reads '$date', expected $(date -r "$work/a.pdt" '+%d.%m.%y %H:%M')"
keys "$save" Escape
sleep 0.3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after the cancelled save dialog"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=
# ----

# ---- two copies of the program on one file ----
# Copy 1 saves first; copy 2's save then asks "Datei wurde geändert", and
# "Abbrechen" (Escape) writes nothing and keeps its changes: the file still
# holds copy 1's save. Asked again, "Zusammenführen" (the default, Return) reads
# copy 1's save (asking for its password, which differs), keeps its own
# password as both changed it, says so, and saves.
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=
echo '{"keys":[{"parent":"Bank","name":"Giro","entries":[]}]}' >"$work/zwei.json"
"$cli" build "$work/zwei.json" "$work/zwei.pdt"
"$program" "$work/zwei.pdt" >"$work/app-copy1.log" 2>&1 &
app_pid=$!
copy1=$(expect_caption "Dorvanta - [$work/zwei.pdt]")
"$program" "$work/zwei.pdt" >"$work/app-copy2.log" 2>&1 &
copy2_pid=$!
copy2=$(window "Dorvanta - [$work/zwei.pdt]" "$copy1" --onlyvisible) ||
    { kill "$copy2_pid" 2>/dev/null; fail "the second copy shows no window"; }
# Each copy gives the collection its own password, which changes the file's bytes.
set_password() {
    keys "$1" ctrl+p
    local input
    input=$(expect_caption "Passwort")
    keys "$input" ctrl+a
    xdotool type --delay 20 "$2"
    keys "$input" Return
}
holds_password() {
    "$cli" dump "$work/zwei.pdt" --password "$1" 2>/dev/null | grep -qF "\"password\": \"$1\""
}
set_password "$copy1" eins
keys "$copy1" ctrl+s
for _ in $(seq 50); do holds_password eins && break; sleep 0.1; done
holds_password eins || { kill "$copy2_pid" 2>/dev/null; fail "the first copy did not save"; }
set_password "$copy2" zwei
keys "$copy2" ctrl+s
question=$(expect_caption "Datei wurde geändert") ||
    { kill "$copy2_pid" 2>/dev/null; fail "no question before overwriting the other copy's save"; }
keys "$question" Escape
sleep 0.5
holds_password eins || { kill "$copy2_pid" 2>/dev/null; fail "the second copy overwrote the file"; }
kill -0 "$copy2_pid" 2>/dev/null || fail "the second copy ended after 'Abbrechen'"
keys "$copy2" ctrl+s
question=$(expect_caption "Datei wurde geändert") ||
    { kill "$copy2_pid" 2>/dev/null; fail "no question at the second save"; }
keys "$question" Return
input=$(expect_caption "Passwort") ||
    { kill "$copy2_pid" 2>/dev/null; fail "merging asked for no password"; }
xdotool type --delay 20 eins
keys "$input" Return
box=$(expect_caption "Zusammenführen") ||
    { kill "$copy2_pid" 2>/dev/null; fail "the merge did not tell of the password kept"; }
keys "$box" Return
for _ in $(seq 50); do holds_password zwei && break; sleep 0.1; done
holds_password zwei || { kill "$copy2_pid" 2>/dev/null; fail "the merge was not saved"; }
"$cli" dump "$work/zwei.pdt" --password zwei | grep -qF '"name": "Giro"' ||
    { kill "$copy2_pid" 2>/dev/null; fail "the merged file lost its sub-category"; }
# Saved: closing asks nothing more.
keys "$copy2" alt+F4
for _ in $(seq 50); do kill -0 "$copy2_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$copy2_pid" 2>/dev/null && { kill "$copy2_pid"; fail "the second copy kept changes after the merge's save"; }
wait "$copy2_pid" 2>/dev/null || true
# ----

echo "1 passed, 0 failed"
