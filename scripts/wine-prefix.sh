#!/usr/bin/env bash
# start PREFIX: create the private Wine prefix if needed and keep one wineserver running
# stop PREFIX:  end that wineserver and every Wine process of the prefix
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

case $action in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wine wineboot -i </dev/null >/dev/null 2>&1
      "$WINESERVER" -w
    fi
    # Redirected so that the server does not hold the test runner's output open.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
