#!/usr/bin/env bash
# Times reading the largest text files that the servers accept, written to be slow:
#   machines   the QEMU bridge's machines file at its 1 MB limit, a different address on
#              every line (a check that compared every pair of lines would take seconds);
#   inventory  the demo host's inventory at its 4 MB limit, machines of 42,043 drives whose
#              numbers are all multiples of 42,043 (the bucket count that the standard
#              library's hash table has at that size: a hash table would chain them all in
#              one bucket).
# Prints one line per file: its size, what was read and the best of three times.
#
#   bash scripts/bench-text-files.sh [native|windows|both]   (default: both)
#
# The Windows build runs under Wine in the test prefix. Each case stops after
# OMBREVALE_BENCH_TIMEOUT seconds (default 120).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/bench-lib.sh
which=${1:-both}
work=$root/build/bench-text-files
mkdir -p "$work"

LC_ALL=C awk 'BEGIN {
  limit = 1024 * 1024; size = 0
  for (i = 0; ; i++) {
    j = int(i / 9)
    line = sprintf("m=1.0.%d.%d:%d\n", int(j / 250), j % 250, i % 9 + 1)
    if (size + length(line) > limit) break
    printf "%s", line; size += length(line)
  }
}' >"$work/machines.txt"

LC_ALL=C awk 'BEGIN {
  limit = 4 * 1024 * 1024; size = 0; bucket = 42043
  for (m = 0; ; m++) {
    line = sprintf("machine M%d\n", m)
    if (size + length(line) > limit) exit
    printf "%s", line; size += length(line)
    for (k = 0; k < bucket; k++) {
      line = sprintf("drive %d empty\n", k * bucket)
      if (size + length(line) > limit) exit
      printf "%s", line; size += length(line)
    }
  }
}' >"$work/inventory.txt"

run_cases() {  # run_cases LABEL WORKDIR-AS-SEEN SEPARATOR BIN-DIR SUFFIX [RUNNER...]
  local label=$1 seen=$2 sep=$3 bin=$4 suffix=$5
  shift 5
  for file in machines inventory; do
    local program=$bin/qemuhost_machines_bench$suffix
    [ "$file" = inventory ] && program=$bin/demohost_open_bench$suffix
    printf '%-8s %-9s %7s bytes  ' "$label" "$file" "$(stat -c %s "$work/$file.txt")"
    bench_limited "$@" "$program" "$seen$sep$file.txt" 3
  done
}

targets=(demohost_open_bench qemuhost_machines_bench)
if [ "$which" = native ] || [ "$which" = both ]; then
  bench_build native "${targets[@]}"
  run_cases native "$work" / "$root/build/native/bin" ""
fi

if [ "$which" = windows ] || [ "$which" = both ]; then
  bench_build windows "${targets[@]}"
  bench_prefix "$root/build/windows/wineprefix"
  run_cases windows "Z:${work//\//\\}" '\' "$root/build/windows/bin" .exe wine
fi
