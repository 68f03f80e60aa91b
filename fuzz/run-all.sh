#!/usr/bin/env bash
# Runs every fuzz target for N executions on a scratch copy of its corpus (the
# corpus in the repository does not grow), after replaying the inputs kept in
# fuzz/regressions/<target>/. Prints one row per target and exits non-zero when
# any target found something; the input that did it is kept in the findings folder.
#
#   fuzz/run-all.sh N [target...]     targets without "fuzz_"; default: all
#
# Environment:
#   FUZZ_BUILD_DIR  build folder (default: build-fuzz); configured with clang when new
#   FUZZ_JOBS       targets run at once (default 1)
#   FUZZ_MAX_TIME   seconds per target (default 600, 0: none); a target too slow for
#                   N executions in that time stops there and reports what it reached
set -uo pipefail

usage() {
    echo "usage: $0 N [target...]" >&2
    exit 2
}
[[ $# -ge 1 && $1 =~ ^[0-9]+$ ]] || usage
runs=$1
shift

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$source_dir/build-fuzz}
jobs=${FUZZ_JOBS:-1}
max_time=${FUZZ_MAX_TIME:-600}
all_targets=(load age mask import settings updateinfo zipname installscript)
targets=("${@:-${all_targets[@]}}")
for t in "${targets[@]}"; do
    [[ " ${all_targets[*]} " == *" $t "* ]] || { echo "unknown target: $t" >&2; usage; }
done

if [[ ! -f $build/CMakeCache.txt ]]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    CXX=clang++ cmake -S "$source_dir" -B "$build" -DDORVANTA_BUILD_FUZZ=ON \
        -DDORVANTA_BUILD_TESTS=OFF -DDORVANTA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null ||
        exit 1
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null || {
    echo "build failed: cmake --build $build --target fuzzers" >&2
    exit 1
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dorvanta-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'kill $(jobs -p) 2>/dev/null; exit 130' INT TERM
findings=$build/fuzz-findings

# Runs one target; writes "executions|exec/s|seconds|result" to $scratch/<t>.row.
run_target() {
    local t=$1 bin=$build/bin/fuzz_$1 work=$scratch/$1
    local log=$work/log found=$findings/$1
    mkdir -p "$work/corpus" "$found"
    cp "$here/corpus/$t/." "$work/corpus/" -r
    local options=(-runs="$runs" -timeout=10 -print_final_stats=1
        -artifact_prefix="$found/")
    [[ -f $here/dict/$t.dict ]] && options+=(-dict="$here/dict/$t.dict")
    [[ $max_time -gt 0 ]] && options+=(-max_total_time="$max_time")

    local kept=("$here/regressions/$t"/*)
    if [[ -e ${kept[0]} ]] && ! "$bin" "${kept[@]}" >"$log" 2>&1; then
        cp "$log" "$found/regressions.log"
        echo "0|0|0|REGRESSION, see $found/regressions.log" >"$scratch/$t.row"
        return
    fi

    local start=$SECONDS status
    "$bin" "${options[@]}" "$work/corpus" >"$log" 2>&1
    status=$?
    local seconds=$((SECONDS - start))
    local executed
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    [[ -n $executed ]] || executed=$(grep -o '^#[0-9]*' "$log" | tail -n1 | tr -d '#')
    executed=${executed:-0}
    local rate=$((executed / (seconds > 0 ? seconds : 1)))
    local result=clean
    if [[ $status -ne 0 ]]; then
        cp "$log" "$found/last.log"
        local unit
        unit=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n1)
        result="FINDING (exit $status): ${unit:-see $found/last.log}"
    elif [[ $executed -lt $runs ]]; then
        result="clean, stopped by the time limit"
    fi
    echo "$executed|$rate|$seconds|$result" >"$scratch/$t.row"
}

running=0
for t in "${targets[@]}"; do
    if [[ $running -ge $jobs ]]; then
        wait -n
        running=$((running - 1))
    fi
    run_target "$t" &
    running=$((running + 1))
done
wait

failed=0
printf '%-20s %12s %9s %7s  %s\n' target executions exec/s seconds result
for t in "${targets[@]}"; do
    IFS='|' read -r executed rate seconds result <"$scratch/$t.row"
    printf '%-20s %12s %9s %7s  %s\n' "fuzz_$t" "$executed" "$rate" "$seconds" "$result"
    [[ $result == clean* ]] || failed=1
done
exit $failed
