#!/usr/bin/env bash
# check_created_images.sh FILE SIZE [FILE SIZE ...]
# Checks the images that the program had the demo host create, with the Linux FAT tools:
# each has its size and holds a sound, empty FAT12 file system.
set -u
status=0
fail() { echo "$1" >&2; status=1; }

for tool in fsck.fat mdir; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (dosfstools, mtools)" >&2; exit 1; }
done
[ $# -gt 0 ] && [ $(($# % 2)) -eq 0 ] || { echo "usage: $0 FILE SIZE [FILE SIZE ...]" >&2; exit 2; }

while [ $# -gt 0 ]; do
  file=$1 size=$2
  shift 2
  if [ ! -f "$file" ]; then
    fail "missing: $file"
    continue
  fi
  actual=$(stat -c %s "$file")
  [ "$actual" = "$size" ] || fail "$file: $actual bytes instead of $size"
  report=$(fsck.fat -n -v "$file" 2>&1) || fail "fsck.fat finds faults in $file:
$report"
  grep -q "12 bit entries" <<<"$report" || fail "$file is not FAT12:
$report"
  # An empty disk: no file in its root folder.
  listing=$(MTOOLS_SKIP_CHECK=1 mdir -i "$file" -b :: 2>&1) || fail "mdir cannot read $file: $listing"
  [ -z "$listing" ] || fail "$file is not empty: $listing"
  echo "$file: $actual bytes, sound empty FAT12"
done
exit $status
