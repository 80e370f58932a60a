#!/usr/bin/env bash
# Builds Ombrevale and its demo automation host, registers the demo host in a private Wine
# prefix inside the build tree and runs the program. With no X display set, it runs on a
# virtual display, saves a screenshot of the screen (build/windows/screenshot.png) and of
# the window (docs/screenshot.png, the README's), prints their paths and closes the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${OMBREVALE_RUN_HEADLESS:-}" ]; then
  bash scripts/deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)"
  if [ -z "${DISPLAY:-}" ]; then
    OMBREVALE_RUN_HEADLESS=1 exec bash scripts/with-display.sh bash "$0" "$@"
  fi
fi

bin=$root/build/windows/bin
export WINEPREFIX=$root/build/windows/wineprefix-run
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
bash scripts/wine-prefix.sh start "$WINEPREFIX"
trap 'bash scripts/wine-prefix.sh stop "$WINEPREFIX"' EXIT

if [ -f "$bin/OmbrevaleDemoHost.exe" ]; then
  wine "$bin/OmbrevaleDemoHost.exe" /RegServer /s </dev/null >/dev/null 2>&1 ||
    echo "warning: the demo server could not be registered" >&2
fi

if [ -z "${OMBREVALE_RUN_HEADLESS:-}" ]; then
  wine "$bin/Ombrevale.exe"
  exit 0
fi

# Headless: let the program open its window (or its start-up message), photograph the
# screen, then close it.
wine "$bin/Ombrevale.exe" </dev/null >/dev/null 2>&1 &
program=$!
for _ in $(seq 100); do
  if xdotool search --onlyvisible --name '^(Ombrevale|Quorvex - Ombrevale)$' >/dev/null 2>&1; then break; fi
  sleep 0.2
done
sleep 1
shot=$root/build/windows/screenshot.png
import -window root "$shot"
echo "Screenshot: $shot"
# The README's picture: the main window alone, written without time stamps so that an
# unchanged window gives an unchanged file.
main=$(xdotool search --onlyvisible --name '^Ombrevale$' 2>/dev/null | head -n 1 || true)
if [ -n "$main" ] && eval "$(xdotool getwindowgeometry --shell "$main")"; then
  picture=$root/docs/screenshot.png
  mkdir -p "$root/docs"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip \
    -define png:exclude-chunks=date,time "$picture"
  echo "Window: $picture"
fi
for w in $(xdotool search --onlyvisible --name '^(Ombrevale|Quorvex - Ombrevale)$' 2>/dev/null); do
  xdotool windowfocus --sync "$w" key --window "$w" Escape >/dev/null 2>&1 || true
done
for _ in $(seq 25); do
  kill -0 $program 2>/dev/null || break
  sleep 0.2
done
kill $program 2>/dev/null || true
wait $program 2>/dev/null || true
