#!/usr/bin/env bash
# Runs the benchmarks and prints each figure as a ratio to its baseline of the same run.
# Usage: bench/run-benchmarks.sh [build-dir] [benchmark options...]
# (peak memory: bench/peak-memory.sh)
# Runs sort_bench, store_bench, encrypted_bench, mainwindow_bench and settings_bench (or
# those named in $BENCHES), each from build-dir/bin or else from build/bin, skipping
# those not built.
# A benchmark BM_X/args is read against BM_Baseline_X/args when the run has it (the same
# input); a family with a baseline at other sizes only gets no ratio; any other benchmark
# against the baseline sharing the most trailing args (size, kind of data), among those
# the one sharing the most leading words of its name, else the first one. Benchmarks
# that time a floor of their own in the same iterations add its time and their ratio to
# it (floor_ms, x_floor), and imports their time per line.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
fallback="$here/../build"
if [[ $# -gt 0 ]]; then shift; fi
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

results=()
for name in ${BENCHES:-sort_bench store_bench encrypted_bench mainwindow_bench settings_bench}; do
    exe="$build/bin/$name"
    [[ -x "$exe" ]] || exe="$fallback/bin/$name"
    if [[ ! -x "$exe" ]]; then
        echo "($name not built: skipped)" >&2
        continue
    fi
    echo "Running $exe ..." >&2
    "$exe" --benchmark_format=json "$@" >"$out/$name.json"
    results+=("$out/$name.json")
done
if [[ ${#results[@]} -eq 0 ]]; then
    echo "no benchmark built" >&2
    exit 1
fi

python3 - "${results[@]}" <<'PY'
import json, os, re, sys

SCALE = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}

def words(family):
    return re.findall(r"[A-Z][a-z]*|[a-z]+|\d+\w*", family.removeprefix("BM_"))

def common(a, b):
    n = 0
    for x, y in zip(words(a), words(b)):
        if x != y:
            break
        n += 1
    return n

def fmt_ms(v):
    return f"{v:.4f}" if v < 1 else f"{v:.2f}" if v < 100 else f"{v:.0f}"

def same_args(a, b):
    """How many of the last arguments (after the family, "/"-separated) agree."""
    n = 0
    for x, y in zip(reversed(shown(a).split("/")[1:]), reversed(shown(b).split("/")[1:])):
        if x != y:
            break
        n += 1
    return n

def shown(name):
    return re.sub(r"/iterations:\d+$", "", name)

# Counters shown beside the ratios when a benchmark reports them.
EXTRA = [("floor_ms", fmt_ms), ("x_floor", lambda v: f"{v:.3g}"), ("ns_per_line", lambda v: f"{v:.0f}"),
         ("bytes_per_hit", lambda v: f"{v:.0f}"), ("x_goal_time", lambda v: f"{v:.3g}"),
         ("x_goal_bytes", lambda v: f"{v:.3g}"), ("held_after_close_MB", lambda v: f"{v:.1f}"),
         ("x_goal", lambda v: f"{v:.3g}")]
TITLE = {"floor_ms": "floor ms", "x_floor": "x floor", "ns_per_line": "ns/line",
         "bytes_per_hit": "B/hit", "x_goal_time": "x goal s", "x_goal_bytes": "x goal B",
         "held_after_close_MB": "MB after close", "x_goal": "x goal"}

for path in sys.argv[1:]:
    text = open(path).read()
    if not text.strip():
        continue  # the filter matched none of its benchmarks
    every = json.loads(text)["benchmarks"]
    runs = [b for b in every
            if b.get("run_type", "iteration") == "iteration" and not b.get("error_occurred")]
    failed = [b for b in every if b.get("error_occurred")]
    if not runs and not failed:
        continue
    ms = {b["name"]: b["real_time"] * SCALE[b["time_unit"]] for b in runs}
    baselines = [b["name"] for b in runs if b["name"].startswith("BM_Baseline_")]
    own = {name.replace("BM_Baseline_", "BM_", 1): name for name in baselines}
    own_families = {name.split("/")[0] for name in own}
    rows = []
    for b in runs:
        name = b["name"]
        family = name.split("/")[0]
        if name in baselines:
            base = name
        elif name in own:
            base = own[name]
        elif family in own_families or not baselines:
            base = None  # its baseline was measured at other sizes only
        else:
            stem = lambda x: x.split("/")[0].replace("Baseline_", "", 1)
            same = max(baselines, key=lambda x: same_args(x, name))
            same = [x for x in baselines if same_args(x, name) == same_args(same, name)]
            base = max(same, key=lambda x: common(family, stem(x)))
            if common(family, stem(base)) == 0:
                base = same[0]
        row = [shown(name), fmt_ms(ms[name])]
        if base is None:
            row += ["-", "-", "-"]
        else:
            ratio = ms[name] / ms[base]
            row += [shown(base), f"{ratio:.4g}", f"{1 / ratio:.4g}"]
        for key, form in EXTRA:
            row.append(form(b[key]) if key in b else "")
        rows.append(row)
    extra = [key for key, _ in EXTRA if any(key in b for b in runs)]
    head = ["benchmark", "ms", "baseline", "x baseline", "speed-up"] + [TITLE[k] for k in extra]
    keep = list(range(5)) + [5 + i for i, (key, _) in enumerate(EXTRA) if key in extra]
    rows = [[r[i] for i in keep] for r in rows]
    width = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    print(f"\n{os.path.basename(path)[:-5]}")
    for r in [head] + rows:
        cells = [f"{c:{w}}" if i in (0, 2) else f"{c:>{w}}" for i, (c, w) in enumerate(zip(r, width))]
        print("  ".join(cells).rstrip())
    for b in failed:
        print(f"{b['name']}  FAILED: {b.get('error_message', '')}")
PY
