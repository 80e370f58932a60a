#!/usr/bin/env bash
# start PREFIX [DPI]: create the private Wine prefix if needed, set its screen DPI when
#                    given, and keep one wineserver running
# stop PREFIX:  end that wineserver and every Wine process of the prefix
set -euo pipefail
action=$1
export WINEPREFIX=$2
dpi=${3:-}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

case $action in
  start)
    # A prefix made before Wine's 32-bit support was installed cannot run anything once it
    # is: make such a prefix afresh.
    if [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
      "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      # Made without a display: making a prefix shows a window ("updating the
      # configuration") that would take the focus from tests running on the display.
      DISPLAY= wine wineboot -i </dev/null >/dev/null 2>&1
      "$WINESERVER" -w
    fi
    # Redirected so that the server does not hold the test runner's output open.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1
    # A private virtual display has no window manager: Wine would wait two seconds for one
    # each time a window hides. Unmanaged windows need no such wait.
    key='HKCU\Software\Wine\X11 Driver'
    if [ -n "$dpi" ]; then
      wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
    fi
    if [ -n "${OMBREVALE_PRIVATE_DISPLAY:-}" ]; then
      wine reg add "$key" /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    else
      wine reg delete "$key" /v Managed /f </dev/null >/dev/null 2>&1 || true
    fi
    ;;
  stop)
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
