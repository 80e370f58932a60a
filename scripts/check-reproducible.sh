#!/usr/bin/env bash
# Checks that the release can be rebuilt bit for bit: clones the commit checked out here
# twice, into folders of different names and depths, makes the release in each with
# scripts/release.sh (one after the other, so at different times, and in different time
# zones and umasks), and compares what they made: the packages and their checksums, the
# files inside both packages, and the program, servers and DLL as built. Prints
# "identical", or each file that differs; exits 0 when identical, 1 when not, 2 when a
# build fails. Takes as long as two releases from scratch.
#
#   bash scripts/check-reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source=$(pwd)
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible.sh: changes that are not committed are left out: checking $commit" >&2
fi
work=$(mktemp -d /tmp/ombrevale-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT

# release_in <clone folder> <time zone> <umask>
release_in() {
  git clone --quiet --no-hardlinks "$source" "$1"
  git -C "$1" checkout --quiet --detach "$commit"
  echo "$(date '+%H:%M:%S') making the release in $1"
  if ! (cd "$1" && umask "$3" && env -u SOURCE_DATE_EPOCH TZ="$2" bash scripts/release.sh >"$1.log" 2>&1); then
    echo "the release in $1 failed:" >&2
    tail -n 30 "$1.log" >&2
    exit 2
  fi
}
first=$work/a
second=$work/another/clone-in-a-deeper-folder
mkdir -p "$(dirname "$second")"
release_in "$first" UTC 022
release_in "$second" Asia/Vladivostok 077

# Both packages unpacked, beside the built files.
unpack() {
  mkdir -p "$1/unpacked/zip" "$1/unpacked/setup"
  (cd "$1/unpacked/zip" && unzip -q "$1"/dist/*.zip)
  7z x -y -o"$1/unpacked/setup" "$1"/dist/*-setup.exe >/dev/null
}
unpack "$first"
unpack "$second"

differ=0
compare() {  # compare <path under either clone> <what it is>
  if ! cmp -s "$first/$1" "$second/$1"; then
    echo "differs: $2 ($(cmp "$first/$1" "$second/$1" 2>&1 | head -n 1 | sed "s|$work/||g"))"
    differ=1
  fi
}
for file in "$first"/dist/*; do
  compare "dist/$(basename "$file")" "dist/$(basename "$file")"
done
while IFS= read -r file; do
  compare "unpacked/$file" "$file, in the package"
  case $file in
    *.exe | *.dll) compare "build/windows/bin/$(basename "$file")" "$(basename "$file"), as built" ;;
  esac
done < <(cd "$first/unpacked" && find zip -type f -printf '%P\n' | sed 's|^|zip/|' | sort)
while IFS= read -r file; do
  compare "unpacked/setup/$file" "$file, in the installer"
done < <(cd "$first/unpacked/setup" && find . -type f -printf '%P\n' | sort)
if [ "$differ" -eq 0 ]; then
  echo "identical"
  (cd "$first/dist" && sha256sum -- *)
fi
exit $differ
