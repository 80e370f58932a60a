#!/usr/bin/env bash
# run_hyperv_e2e.sh WINE BIN_DIR
# The real Ombrevale.exe with the Hyper-V bridge, in the Wine prefix WINEPREFIX (one of its
# own), against the WMI simulation registered in place of WMI's locator for 32-bit
# programs (CLSID_WbemLocator's InprocServer32), and given back to Wine's WMI at the end,
# whatever happened. The tests script the simulation's state file and the bridge's hosts
# file themselves. The turns: the prefix reporting Windows 10, then Windows XP (where the
# bridge must say that Hyper-V is not there), then Windows 10 again.
set -uo pipefail
wine=$1 bin=$2
work=${OMBREVALE_E2E_WORK:?the test sets OMBREVALE_E2E_WORK}
tests=$bin/ombrevale_hyperv_e2e_tests.exe
mkdir -p "$work"

locator='HKLM\Software\Classes\CLSID\{4590F811-1D3A-11D0-891F-00AA004B2E24}\InprocServer32'
wine_reg() { "$wine" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# What the 32-bit view held, read before anything is changed.
original=$(wine_reg query "$locator" /ve /reg:32 | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p')
[ -n "$original" ] || original='C:\windows\system32\wbem\wbemprox.dll'
restore() {
  wine_reg add "$locator" /ve /d "$original" /f /reg:32 >/dev/null
  "$wine" "$bin/OmbrevaleHyperVHost.exe" /UnregServer /s </dev/null
  "$wine" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f </dev/null >/dev/null 2>&1
}
trap restore EXIT
wine_reg add "$locator" /ve /d "$(windows_path "$bin/ombrevale_wmi_simulation.dll")" /f /reg:32 >/dev/null

export OMBREVALE_WMI_SIMULATION=$(windows_path "$work/state.txt")
export OMBREVALE_HYPERV_HOSTS=$(windows_path "$work/hosts.txt")

status=0
step() {
  echo "== $*"
  "$@" || { echo "FAILED: $*" >&2; status=1; }
}
# A suite of the test program; a filter that matched nothing would pass unseen. Its output
# goes through a file: a server left behind by a failing test holds what it inherited.
suite() {
  "$wine" "$tests" --gtest_filter="$1.*" >"$work/$1.log" 2>&1
  local code=$?
  cat "$work/$1.log"
  [ $code -eq 0 ] && grep -q '^\[  PASSED  \] [1-9]' "$work/$1.log"
}
windows() {
  "$wine" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$1" /f </dev/null >/dev/null
  export OMBREVALE_E2E_WINDOWS=$2
}

# Registered where no hosts file is named, the bridge leaves its commented template where
# the user will look for the file.
appdata=$("$wine" cmd /c 'echo %APPDATA%' </dev/null | tr -d '\r')
template=$("$wine" winepath -u "$appdata\\Ombrevale Hyper-V Bridge\\hosts.txt" </dev/null 2>/dev/null)
rm -f "$template"
register_bridge() {
  (unset OMBREVALE_HYPERV_HOSTS; "$wine" "$bin/OmbrevaleHyperVHost.exe" /RegServer /s </dev/null) || return 1
  head -c 3 "$template" | cmp -s - <(printf '\357\273\277') && grep -q '^# hv-01' "$template" ||
    { echo "no hosts file template at $template" >&2; return 1; }
}

step register_bridge
step windows win10 10.0
step suite HyperV
step windows winxp 5.1
step suite OldWindows
exit $status
