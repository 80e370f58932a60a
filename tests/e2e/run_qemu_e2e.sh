#!/usr/bin/env bash
# run_qemu_e2e.sh QEMU WINE BIN_DIR
# The real Ombrevale.exe with the QEMU bridge, in the Wine prefix WINEPREFIX (one of its
# own: the bridge takes the class there), against real QEMU machines started here on
# loopback ports picked now:
#   Альфа  two floppy drives (unit 0 holds first.img), a second QMP monitor for the tests'
#          own checks, its serial port written to serial.log, booting from its floppy, and a
#          hard disk with 200 snapshots (backing images) under it;
#   Бета   one drive holding "held by beta.img" writable (so QEMU locks it);
#   Гамма  listed, never started.
# The machines file gives Альфа and Бета in QEMU's older -qmp spelling (Бета's with the
# empty host of a monitor that listens on every address), Гамма in the newer one.
# The turns: the demo server registered, and the program shows its machine; the bridge
# registered over it (leaving its template where no machines file is), and the program
# works the QEMU machines; a QEMU killed under the open window; the bridge unregistered,
# and the program shows the demo machine again.
# Every QEMU is stopped by its process id at the end, whatever happened.
set -uo pipefail
qemu=$1 wine=$2 bin=$3
work=${OMBREVALE_E2E_WORK:?the test sets OMBREVALE_E2E_WORK}
tests=$bin/ombrevale_qemu_e2e_tests.exe

source "$(dirname "${BASH_SOURCE[0]}")/../qemuhost/qemu_machines.sh"

# first.img starts with a mark, so that a test can tell it was not replaced.
printf 'first image' >"$work/first.img"
truncate -s 1474560 "$work/first.img"
truncate -s 737280 "$work/held by beta.img"
: >"$work/serial.log"
cat >"$work/machines.txt" <<EOF
# Машины сквозного теста моста QEMU
Альфа = tcp:localhost:$alpha_port,server,nowait
Бета = tcp::$beta_port,server,nowait
Гамма = tcp:127.0.0.1:$dead_port,server=on,wait=off
EOF

# Years of "qemu-img create -b" leave a chain of backing images, and query-block nests one
# level for each. qemu-img makes the base and the first snapshot; the others are copies of
# that one naming the image before them (the names are of one length, so nothing else
# moves): 0.4 s, where 200 runs of qemu-img took 2 to 20 s as the machine was loaded (and
# 2 minutes without -u, which opens the whole chain each time).
if ! command -v qemu-img >/dev/null 2>&1; then
  echo "qemu-img is missing: run scripts/deps.sh" >&2
  exit 1
fi
mkdir -p "$work/chain"
qemu-img create -q -f qcow2 -o cluster_size=4096 "$work/chain/s000.qcow2" 1M &&
  qemu-img create -q -f qcow2 -o cluster_size=4096 -u -b s000.qcow2 -F qcow2 "$work/chain/s001.qcow2" 1M &&
  python3 - "$work/chain" <<'EOF' || exit 1
import sys
folder = sys.argv[1]
first = open(f"{folder}/s001.qcow2", "rb").read()
assert first.count(b"s000.qcow2") == 1
for i in range(2, 201):
    open(f"{folder}/s{i:03}.qcow2", "wb").write(first.replace(b"s000.qcow2", b"s%03d.qcow2" % (i - 1)))
EOF

"$qemu" -name 'Alpha QEMU' -machine pc -nodefaults -display none -S -m 16 -boot order=a \
  -qmp "tcp:localhost:$alpha_port,server,nowait" \
  -qmp "tcp:127.0.0.1:$check_port,server=on,wait=off" \
  -serial "file:$work/serial.log" \
  -drive "if=none,id=fd0,file=$work/first.img,format=raw" -device floppy,unit=0,drive=fd0 \
  -drive if=none,id=fd1 -device floppy,unit=1,drive=fd1 \
  -drive "if=none,id=hd0,file=$work/chain/s200.qcow2,format=qcow2" -device ide-hd,drive=hd0 \
  </dev/null >"$work/qemu-alpha.log" 2>&1 &
alpha_pid=$!
"$qemu" -machine pc -nodefaults -display none -S -m 16 \
  -qmp "tcp:127.0.0.1:$beta_port,server,nowait" \
  -drive "if=none,id=fd0,file=$work/held by beta.img,format=raw" -device floppy,unit=0,drive=fd0 \
  </dev/null >"$work/qemu-beta.log" 2>&1 &
beta_pid=$!
wait_port "$check_port" "$alpha_pid" || exit 1
wait_port "$beta_port" "$beta_pid" || exit 1

export OMBREVALE_QEMU_MACHINES="Z:${work//\//\\}\\machines.txt"
export OMB_QEMU_ALPHA_PORT=$alpha_port OMB_QEMU_CHECK_PORT=$check_port OMB_QEMU_DEAD_PORT=$dead_port
export OMB_QEMU_ALPHA_PID=$alpha_pid

status=0
step() {
  echo "== $*"
  "$@" || { echo "FAILED: $*" >&2; status=1; }
}
server() { "$wine" "$bin/$1" "${@:2}" /s </dev/null; }
# A suite of the test program; a filter that matched nothing would pass unseen. Its output
# goes through a file, not a pipe: a server whose client a failing test killed lives on
# under Wine, holding whatever it inherited open.
suite() {
  "$wine" "$tests" --gtest_filter="$1.*" >"$work/$1.log" 2>&1
  local code=$?
  cat "$work/$1.log"
  [ $code -eq 0 ] && grep -q '^\[  PASSED  \] [1-9]' "$work/$1.log"
}

# Whatever an earlier run left registered goes first: the bridge gives back what it
# replaced, then the demo server leaves nothing.
server OmbrevaleQemuHost.exe /UnregServer
server OmbrevaleDemoHost.exe /UnregServer
for view in 32 64; do
  "$wine" reg delete 'HKLM\Software\Quorvex\Ombrevale\Replaced registration' /f /reg:$view </dev/null >/dev/null 2>&1
done

# Registered where no machines file is named, the bridge leaves its commented template where
# the user will look for the file.
appdata=$("$wine" cmd /c 'echo %APPDATA%' </dev/null | tr -d '\r')
template=$("$wine" winepath -u "$appdata\\Ombrevale QEMU Bridge\\machines.txt" </dev/null 2>/dev/null)
rm -f "$template"
register_bridge() {
  (unset OMBREVALE_QEMU_MACHINES; server OmbrevaleQemuHost.exe /RegServer) || return 1
  head -c 3 "$template" | cmp -s - <(printf '\357\273\277') && grep -q 'QMP' "$template" ||
    { echo "no template at $template" >&2; return 1; }
}

step server OmbrevaleDemoHost.exe /RegServer
step suite Switch
step register_bridge
step suite Bridge
step suite KilledQemu
step server OmbrevaleQemuHost.exe /UnregServer
step suite Switch
server OmbrevaleDemoHost.exe /UnregServer
exit $status
