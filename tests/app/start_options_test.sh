#!/usr/bin/env bash
# Both programs answer --help and --version on the terminal, with no display at
# all, and refuse an unknown option instead of taking it for a file name.
# Usage: start_options_test.sh DORVANTA DORVANTA_CLI VERSION
set -uo pipefail
gui=$1 cli=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# program, argument, exit code, stdout's first line (a pattern, or "" for
# empty), a pattern stderr must match (or "" for empty)
cases=(
  "$gui|--help|0|^Aufruf: dorvanta \[DATEI\]$|"
  "$gui|-h|0|^Aufruf: dorvanta \[DATEI\]$|"
  "$gui|--version|0|^dorvanta ${version//./\\.}$|"
  "$gui|-x|2||unbekannte Option \"-x\""
  "$gui|--unbekannt|2||^Aufruf: dorvanta \[DATEI\]$"
  "$gui|-|2||unbekannte Option \"-\""
  "$cli|--help|0|^Aufruf: dorvanta-cli BEFEHL|"
  "$cli|--version|0|^dorvanta-cli ${version//./\\.}$|"
  "$cli|-x|2||\"-x\""
  "$cli|--unbekannt|2||\"--unbekannt\""
)

for row in "${cases[@]}"; do
  IFS='|' read -r program arg want_code want_out want_err <<<"$row"
  # No display of any kind: a window or a platform plugin would fail here.
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" XDG_CONFIG_HOME="$work" \
    timeout 20 "$program" "$arg" >"$work/out" 2>"$work/err" </dev/null
  code=$?
  problem=""
  [ "$code" = "$want_code" ] || problem="exit code $code, not $want_code"
  if [ -z "$want_out" ]; then
    [ -s "$work/out" ] && problem+=" stdout not empty"
  else
    head -n 1 "$work/out" | grep -Eq "$want_out" || problem+=" stdout lacks /$want_out/"
  fi
  if [ -z "$want_err" ]; then
    [ -s "$work/err" ] && problem+=" stderr not empty"
  else
    grep -Eq "$want_err" "$work/err" || problem+=" stderr lacks /$want_err/"
  fi
  # Neither answer may leave settings behind: the window's start never ran.
  [ -z "$(ls -A "$work" | grep -v '^out$\|^err$')" ] || problem+=" wrote into the home folder"
  if [ -n "$problem" ]; then
    echo "FAILED: $(basename "$program") $arg:$problem" >&2
    sed 's/^/  stdout: /' "$work/out" | head -n 5 >&2
    sed 's/^/  stderr: /' "$work/err" | head -n 5 >&2
    failures=$((failures + 1))
  fi
done

# The window program makes itself not dumpable (no core file with its secrets):
# the kernel then gives the files in its /proc folder to root. Started as another
# user when this runs as root, so that the owner tells; asked until main() has run.
run_as=()
[ "$(id -u)" = 0 ] && run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
home=$(mktemp -d) && chmod 777 "$home"
env HOME="$home" XDG_CONFIG_HOME="$home" QT_QPA_PLATFORM=offscreen DORVANTA_TEST_ANSWERS=Cancel \
  "${run_as[@]}" timeout 20 "$gui" </dev/null >/dev/null 2>&1 &
starter=$!
owner=""
for _ in $(seq 50); do
  pid=$(pgrep -P $starter -n)  # env and setpriv exec: the starter is timeout
  # comm, not exe: a process not dumpable hides its exe from its own user.
  [ -n "$pid" ] && [ "$(cat /proc/$pid/comm 2>/dev/null)" = "$(basename "$gui" | cut -c1-15)" ] &&
    owner=$(stat -c %u /proc/$pid/status) && [ "$owner" = 0 ] && break
  sleep 0.1
done
kill $starter 2>/dev/null; wait $starter 2>/dev/null; rm -rf "$home"
if [ "$owner" != 0 ]; then
  echo "FAILED: dorvanta is dumpable (its /proc/PID/status belongs to uid '$owner')" >&2
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "all ${#cases[@]} cases passed, not dumpable"
exit $((failures > 0))
