#!/usr/bin/env bash
# Prints what swapping a floppy image costs through the QEMU bridge, end to end: the
# bridge under Wine, a real paused QEMU on a loopback port, each call over its own QMP
# connection with its read-back. Figures only; nothing is asserted.
#   scripts/qemu-swap-cost.sh [SWAPS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
swaps=${1:-50}

cmake --preset windows >/dev/null
cmake --build --preset windows --target qemuhost_swap_cost -j 2 >/dev/null
exe=$root/build/windows/bin/qemuhost_swap_cost.exe

work=$root/build/windows/qemuhost-swap-cost
rm -rf "$work"
mkdir -p "$work"
dd if=/dev/zero of="$work/a.img" bs=1024 count=1440 status=none
dd if=/dev/zero of="$work/b.img" bs=1024 count=720 status=none
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo "Swap cost = 127.0.0.1:$port" >"$work/machines.txt"

qemu-system-x86_64 -machine pc -nodefaults -display none -S \
  -qmp "tcp:127.0.0.1:$port,server=on,wait=off" \
  -drive if=none,id=fd0 -device floppy,unit=0,drive=fd0 </dev/null >"$work/qemu.log" 2>&1 &
qemu_pid=$!
export WINEPREFIX=$root/build/windows/wineprefix-swap-cost WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'kill -9 $qemu_pid 2>/dev/null; wait $qemu_pid 2>/dev/null; bash scripts/wine-prefix.sh stop "$WINEPREFIX"' EXIT
bash scripts/wine-prefix.sh start "$WINEPREFIX"

win() { local p=${1//\//\\}; echo "Z:$p"; }
OMBREVALE_QEMU_MACHINES=$(win "$work/machines.txt") \
  wine "$exe" "$(win "$work/a.img")" "$(win "$work/b.img")" "$swaps"
