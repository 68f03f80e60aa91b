#!/usr/bin/env bash
# Start-up of the real program under Xvfb with a realistic collection as its file:
# when the window is on screen and when the file is loaded (the caption names it),
# each against its goal (300 ms, 1 s), and against the same program started with an
# empty collection in the same run.
# Usage: bench/startup.sh [build-dir] [entries] [rounds]   (default: build, 1000000, 5)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
entries="${2:-1000000}"
rounds="${3:-5}"
program="$build/bin/dorvanta"
maker="$build/bin/peak_mem"
for exe in "$program" "$maker"; do
    [[ -x "$exe" ]] || { echo "$exe not built" >&2; exit 1; }
done
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool missing" >&2; exit 1; }
done

work="$(mktemp -d)"
xvfb_pid=
cleanup() {
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

mkdir "$work/reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\n"NoUpdate"=""\n' \
    >"$work/reg/HKEY_LOCAL_MACHINE.reg"
export DORVANTA_REGISTRY_DIR="$work/reg" LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM

"$maker" --make "$work/big.pdt" "$entries"
"$maker" --make "$work/small.pdt" 10

now() { date +%s.%N; }
# Seconds from start until a window named like $2 exists (process $1), or "-".
until_window() {
    local pid=$1 pattern=$2 start=$3
    for _ in $(seq 2000); do
        if xdotool search --onlyvisible --name "$pattern" >/dev/null 2>&1; then
            echo "$(now) - $start" | bc
            return
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.005
    done
    echo "-"
}

# One start: prints "shown loaded" in seconds.
start_once() {
    local file=$1 start pid shown loaded
    start=$(now)
    "$program" "$file" >"$work/app.log" 2>&1 &
    pid=$!
    shown=$(until_window "$pid" '^Dorvanta' "$start")
    loaded=$(until_window "$pid" "^Dorvanta - \\[" "$start")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$shown $loaded"
}

median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

for kind in small big; do
    : >"$work/$kind.shown"
    : >"$work/$kind.loaded"
    for _ in $(seq "$rounds"); do
        read -r shown loaded < <(start_once "$work/$kind.pdt")
        echo "$shown" >>"$work/$kind.shown"
        echo "$loaded" >>"$work/$kind.loaded"
    done
done

base=$(median <"$work/small.shown")
shown=$(median <"$work/big.shown")
loaded=$(median <"$work/big.loaded")
size=$(stat -c %s "$work/big.pdt")
echo "Start-up with a file of $entries realistic entries ($((size / 1000000)) MB), median of $rounds starts"
printf '%-28s %8s %14s %8s\n' "what" "seconds" "x empty start" "x goal"
printf '%-28s %8.3f %14s %8s\n' "empty file: window shown" "$base" "1" "-"
printf '%-28s %8.3f %14.2f %8.2f\n' "window shown" "$shown" "$(echo "$shown / $base" | bc -l)" \
    "$(echo "$shown / 0.3" | bc -l)"
printf '%-28s %8.3f %14.2f %8.2f\n' "file loaded, usable" "$loaded" \
    "$(echo "$loaded / $base" | bc -l)" "$(echo "$loaded / 1.0" | bc -l)"
