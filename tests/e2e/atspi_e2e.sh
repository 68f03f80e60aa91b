#!/usr/bin/env bash
# The category list and the entry list as a screen reader reads them: the real
# program on a private X server and a private message bus with the accessibility
# bus started on it; atspi_lists.py reads the items over AT-SPI and listens to what
# the arrow keys and Tab announce. Needs at-spi2-core and python3-pyatspi.
# Usage: atspi_e2e.sh PROGRAM CLI
set -euo pipefail
program=$1
cli=$2
here=$(dirname "$(readlink -f "$0")")

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    [ -s "$work/app.log" ] && { echo "app.log:" >&2; tail -n 30 "$work/app.log" >&2; }
    echo "0 passed, 1 failed"
    exit 1
}

source "$(dirname "$0")/xvfb.sh"
start_private_xvfb

# Sub-categories under three parents, umlauts in both; two with entries.
cat >"$work/lists.json" <<'JSON'
{"keys":[
 {"parent":"Bank","name":"Giro","entries":[
   {"title":"IBAN","value":"DE12","info":"Hauptkonto","date":40000.5},
   {"title":"PIN","value":"4711","info":"","date":40000.5}]},
 {"parent":"Bank","name":"Tagesgeld","entries":[]},
 {"parent":"Größen","name":"Schuhe für Jörg","entries":[
   {"title":"Größe","value":"44","info":"","date":40000.5}]},
 {"parent":"Größen","name":"Hüte","entries":[]},
 {"parent":"Mail","name":"Privat","entries":[]}]}
JSON
"$cli" build "$work/lists.json" "$work/lists.pdt"
# Settings of its own, without the update wizard of a first start.
mkdir "$work/reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
    >"$work/reg/HKEY_LOCAL_MACHINE.reg"
export DORVANTA_REGISTRY_DIR="$work/reg"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM DORVANTA_TEST_ANSWERS DORVANTA_TEST_INPUTS DORVANTA_TEST_FILES DORVANTA_TEST_LOG

# Everything on the private bus ends with it: the program is ended here, the
# accessibility bus and its registry leave when the session bus goes.
rc=0
timeout 100 dbus-run-session -- bash -c '
    program=$1 file=$2 work=$3 script=$4
    QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$program" "$file" >"$work/app.log" 2>&1 &
    pid=$!
    trap "kill $pid 2>/dev/null; wait $pid 2>/dev/null" EXIT
    window=
    for _ in $(seq 150); do
        for w in $(xdotool search --onlyvisible --name "^Dorvanta - " 2>/dev/null); do
            [ "$(xdotool getwindowname "$w")" = "Dorvanta - [$file]" ] && window=$w
        done
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || { echo "the program ended at start"; exit 1; }
        sleep 0.1
    done
    [ -n "$window" ] || { echo "no window named Dorvanta - [$file]"; exit 1; }
    timeout 80 /usr/bin/python3 "$script" "$window"' \
    _ "$program" "$work/lists.pdt" "$work" "$here/atspi_lists.py" >"$work/atspi.log" 2>&1 || rc=$?
# What the reader saw, without the buses' own chatter.
grep -v '^dbus-daemon\|^SpiRegistry' "$work/atspi.log" || true
[ "$rc" = 0 ] || fail "the lists do not read as expected over AT-SPI (exit $rc)"
echo "1 passed, 0 failed"
