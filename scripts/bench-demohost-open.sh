#!/usr/bin/env bash
# Times how long the demo host takes to open large inventories: 8,000, 16,000 and 32,000
# image drives in one machine, and as many as fit under the 4 MB limit, with image files
# that exist (all in one folder), that do not exist in that folder, and whose folder does
# not exist. Prints one line per case.
#
#   bash scripts/bench-demohost-open.sh [native|windows|both]   (default: both)
#
# The Windows build runs under Wine in the test prefix. Each case stops after
# OMBREVALE_BENCH_TIMEOUT seconds (default 120).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/bench-lib.sh
which=${1:-both}
work=$root/build/bench-demohost
mkdir -p "$work"

# make_inventory FILE FOLDER SEPARATOR COUNT NAME: COUNT image drives (0 = up to 4 MB).
make_inventory() {
  # Through the environment: awk would read backslashes in -v values as escapes.
  FOLDER=$2 SEP=$3 COUNT=$4 NAME=$5 LC_ALL=C awk 'BEGIN {
    folder = ENVIRON["FOLDER"]; sep = ENVIRON["SEP"]; count = ENVIRON["COUNT"] + 0; name = ENVIRON["NAME"]
    limit = 4 * 1024 * 1024; size = 0
    line = "machine Большая машина\n"; printf "%s", line; size += length(line)
    for (i = 0; count == 0 || i < count; i++) {
      line = sprintf("    drive %d image %s%s%s %06d.vfd\n", i, folder, sep, name, i)
      if (count == 0 && size + length(line) > limit) break
      printf "%s", line; size += length(line)
    }
  }' > "$1"
}

# Image files for the "existing" cases: as many as the largest inventory names.
images=$work/images
if [ ! -e "$images/image 070000.vfd" ]; then
  mkdir -p "$images"
  (cd "$images" && seq -f 'image %06g.vfd' 0 70000 | xargs -d '\n' touch)
fi

run_cases() {  # run_cases LABEL FOLDER-OF-IMAGES SEPARATOR WORKDIR-AS-SEEN COMMAND...
  local label=$1 folder=$2 sep=$3 seen=$4
  shift 4
  for count in 8000 16000 32000 0; do
    for kind in existing missing nofolder; do
      local dir=$folder name=image
      [ "$kind" = missing ] && name=absent
      [ "$kind" = nofolder ] && dir=${folder}-missing
      local file=$work/inventory-$label-$kind-$count.txt
      make_inventory "$file" "$dir" "$sep" "$count" "$name"
      local name=$seen${sep}inventory-$label-$kind-$count.txt
      local bytes
      bytes=$(stat -c %s "$file")
      printf '%-8s %-9s %7s bytes  ' "$label" "$kind" "$bytes"
      bench_limited "$@" "$name" 3
    done
  done
}

if [ "$which" = native ] || [ "$which" = both ]; then
  bench_build native demohost_open_bench
  run_cases native "$images" / "$work" "$root/build/native/bin/demohost_open_bench"
fi

if [ "$which" = windows ] || [ "$which" = both ]; then
  bench_build windows demohost_open_bench
  bench_prefix "$root/build/windows/wineprefix"
  z() { printf 'Z:%s' "${1//\//\\}"; }
  run_cases windows "$(z "$images")" '\' "$(z "$work")" wine "$root/build/windows/bin/demohost_open_bench.exe"
fi
