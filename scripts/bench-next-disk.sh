#!/usr/bin/env bash
# The next-disk key (F3) in a folder of 10,000 files: the program holds disk 5,000 of a set
# numbered 1 to 10,000 and is pressed on through the next ones; the same presses with the
# set's disks alone in their folder give the time that the swap itself takes through the
# demo server. Prints the median of each, in milliseconds from the key to the status line
# that names the next disk. A benchmark, not a test: it fails only when the program does.
#
# usage: scripts/bench-next-disk.sh [presses]     (9 of each by default)
set -euo pipefail
cd "$(dirname "$0")/.."
presses=${1:-9}
. scripts/bench-lib.sh
bench_on_demo_server next_disk_bench "$0" "$@"

work=$PWD/build/windows/bench-next-disk
rm -rf "$work"
mkdir -p "$work/large" "$work/small"

# The disks that the presses reach are whole 720 KB images; the rest of the 10,000 are
# empty files that only the listing sees.
last=$((5000 + presses))
python3 - "$work" "$last" <<'PY'
import os, sys
work, last = sys.argv[1], int(sys.argv[2])
image = bytes(737280)
for n in range(1, 10001):
    real = 5000 <= n <= last
    with open(f"{work}/large/disk{n:05}.vfd", "wb") as f:
        if real:
            f.write(image)
    if real:
        with open(f"{work}/small/disk{n:05}.vfd", "wb") as f:
            f.write(image)
PY
for set in large small; do
  printf 'machine Машина\n    drive 0 image %s\n' "$(winepath -w "$work/$set/disk05000.vfd")" >"$work/$set.txt"
done
echo "files in the large folder: $(ls "$work/large" | wc -l)"

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
large=$(wine "$bin/next_disk_bench.exe" "$(winepath -w "$work/large.txt")" "$presses" | tr -d '\r')
small=$(wine "$bin/next_disk_bench.exe" "$(winepath -w "$work/small.txt")" "$presses" | tr -d '\r')
echo "F3 to the next disk, set in a folder of 10,000 files: $(echo "$large" | median) ms (presses: $(echo $large))"
echo "F3 to the next disk, the set alone in its folder:      $(echo "$small" | median) ms (presses: $(echo $small))"
