#!/usr/bin/env bash
# Start-to-window through the demo server process: the program started on an inventory of
# 3 machines and on one of 1,000 machines with 4 drives each, timed from its start until
# its window shows the first drive's state. Prints the median of each and their ratio.
# A benchmark, not a test: it prints figures and fails only when the program does.
#
# usage: scripts/bench-startup.sh [runs]     (5 runs of each by default)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
. scripts/bench-lib.sh
bench_on_demo_server startup_bench "$0" "$@"

work=$PWD/build/windows/bench
mkdir -p "$work"

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
with open(f"{work}/small.txt", "w", encoding="utf-8") as f:
    for m in range(3):
        f.write(f"machine Машина {m + 1}\n" + "".join(f"    drive {d} empty\n" for d in range(4)))
with open(f"{work}/large.txt", "w", encoding="utf-8") as f:
    for m in range(1000):
        f.write(f"machine Машина {m + 1}\n" + "".join(f"    drive {d} empty\n" for d in range(4)))
PY

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : int((a[NR/2]+a[NR/2+1])/2)}'; }
small=() large=()
for _ in $(seq "$runs"); do
  # Alternating, so that the machine's load falls on both alike.
  small+=("$(wine "$bin/startup_bench.exe" "$(winepath -w "$work/small.txt")" 1 | tr -d '\r')")
  large+=("$(wine "$bin/startup_bench.exe" "$(winepath -w "$work/large.txt")" 1 | tr -d '\r')")
done
s=$(printf '%s\n' "${small[@]}" | median)
l=$(printf '%s\n' "${large[@]}" | median)
echo "start-to-window, 3 machines:            ${s} ms (runs: ${small[*]})"
echo "start-to-window, 1,000 machines x 4:    ${l} ms (runs: ${large[*]})"
awk -v s="$s" -v l="$l" 'BEGIN { printf "ratio: %.2f (goal: at most 2)\n", l / s }'
