#!/usr/bin/env bash
# Settings of the end-to-end tests' Wine prefix (WINEPREFIX), made once it has started.
set -euo pipefail
WINE=${1:-wine}
WINDOWS=${2:-}

# The Windows that the prefix reports (winxp, win7, win10): the program must start and
# work on each.
if [ -n "$WINDOWS" ]; then
  "$WINE" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$WINDOWS" /f </dev/null >/dev/null
fi

# With no window manager, Wine waits two seconds for each window that it hides (every
# message box and file dialog) to be withdrawn; windows that it manages itself close at
# once.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null

# A fresh prefix knows the text document type but does not map ".txt" to it, so opening
# the read-me file fails there as it would on no desktop Windows.
"$WINE" reg add 'HKCR\.txt' /ve /t REG_SZ /d txtfile /f </dev/null >/dev/null

# Nothing serves the VirtualPC class until the tests register the demo server: not even a
# server that an older build registered in this prefix.
"$WINE" reg delete 'HKLM\Software\Classes\CLSID\{9A1774B7-8251-4468-A214-61DCAED9AC2F}' /f </dev/null >/dev/null 2>&1 || true
