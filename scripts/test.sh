#!/usr/bin/env bash
# Runs the whole test suite: the portable logic natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the Windows program, its window and end-to-end tests
# and the demo host under Wine on a virtual display. Exits non-zero if any test fails.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1

jobs=$(nproc)
status=0

echo "== Native build: portable logic under sanitizers =="
if cmake --preset native -DOMBREVALE_WERROR=ON >/dev/null &&
   cmake --build --preset native -j "$jobs"; then
  ctest --preset native -j "$jobs" || status=1
else
  echo "Native build failed" >&2
  status=1
fi

echo "== Windows build: program, window and end-to-end tests under Wine =="
if cmake --preset windows -DOMBREVALE_WERROR=ON >/dev/null &&
   cmake --build --preset windows -j "$jobs"; then
  # Windows need a display; a private one keeps the tests off the user's screen.
  bash scripts/with-display.sh ctest --preset windows -j "$jobs" || status=1
else
  echo "Windows build failed" >&2
  status=1
fi

exit $status
