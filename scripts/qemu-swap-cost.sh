#!/usr/bin/env bash
# Prints what swapping a floppy image costs through the QEMU bridge, end to end, against a
# real paused QEMU on a loopback port, each call over its own QMP connection with its
# read-back: first the bridge's calls in one process, then the calls that Ombrevale makes
# around a swap, through the registered OmbrevaleQemuHost.exe (a process of its own, as the
# program meets it), with what a failing call costs there. Figures only; nothing is asserted.
#   scripts/qemu-swap-cost.sh [SWAPS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
swaps=${1:-50}

cmake --preset windows >/dev/null
cmake --build --preset windows --target qemuhost_swap_cost OmbrevaleQemuHost -j 2 >/dev/null
bin=$root/build/windows/bin
exe=$bin/qemuhost_swap_cost.exe

work=$root/build/windows/qemuhost-swap-cost
rm -rf "$work"
mkdir -p "$work"
dd if=/dev/zero of="$work/a.img" bs=1024 count=1440 status=none
dd if=/dev/zero of="$work/b.img" bs=1024 count=720 status=none
read -r port dead_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(" ".join(str(x.getsockname()[1]) for x in s))')
printf 'Swap cost = 127.0.0.1:%s\nStopped = %s\n' "$port" "$dead_port" >"$work/machines.txt"

qemu-system-x86_64 -machine pc -nodefaults -display none -S \
  -qmp "tcp:127.0.0.1:$port,server=on,wait=off" \
  -drive if=none,id=fd0 -device floppy,unit=0,drive=fd0 </dev/null >"$work/qemu.log" 2>&1 &
qemu_pid=$!
export WINEPREFIX=$root/build/windows/wineprefix-swap-cost WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Whatever fails here, the rest still runs: the QEMU and the prefix's Wine are stopped.
finish() {
  wine "$bin/OmbrevaleQemuHost.exe" /UnregServer /s </dev/null || true
  kill -9 $qemu_pid 2>/dev/null || true
  wait $qemu_pid 2>/dev/null || true
  bash scripts/wine-prefix.sh stop "$WINEPREFIX"
}
trap finish EXIT
bash scripts/wine-prefix.sh start "$WINEPREFIX"
for _ in $(seq 100); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2).close()" 2>/dev/null && break
  sleep 0.05
done

win() { local p=${1//\//\\}; echo "Z:$p"; }
export OMBREVALE_QEMU_MACHINES
OMBREVALE_QEMU_MACHINES=$(win "$work/machines.txt")
wine "$exe" "$(win "$work/a.img")" "$(win "$work/b.img")" "$swaps"
echo
wine "$bin/OmbrevaleQemuHost.exe" /RegServer /s </dev/null
wine "$exe" --com "$(win "$work/a.img")" "$(win "$work/b.img")" "$swaps" "$port"
