#!/usr/bin/env bash
# run_with_qemu.sh QEMU WINE TEST_EXE WORK_DIR
# Starts two paused QEMU machines with floppy drives on loopback ports picked now, lists
# them (and a third that never runs) in a machines file, and runs the bridge's Wine test
# in three turns: Live (and MachinesFile); Killed, after killing the first machine; Back,
# after restarting it.
# Every QEMU is stopped by its process id at the end, whatever happened.
set -uo pipefail
qemu=$1 wine=$2 exe=$3 work=$4

source "$(dirname "${BASH_SOURCE[0]}")/qemu_machines.sh"
winwork="Z:${work//\//\\}"

dd if=/dev/zero of="$work/boot.img" bs=1024 count=1440 status=none
printf 'Бета держит этот образ' >"$work/held by beta.img"
truncate -s 737280 "$work/held by beta.img"
ln -s "held by beta.img" "$work/link to held.img"
cat >"$work/machines.txt" <<EOF
# Машины теста моста QEMU
Альфа = 127.0.0.1:$alpha_port
Бета = $beta_port
Гамма = tcp:127.0.0.1:$dead_port
EOF

# Unit 1 comes first on the command line: the bridge must order drives by unit.
start_alpha() {
  "$qemu" -name 'Alpha 𝔸 Ω' -machine pc -nodefaults -display none -S \
    -qmp "tcp:127.0.0.1:$alpha_port,server=on,wait=off" \
    -qmp "tcp:127.0.0.1:$check_port,server=on,wait=off" \
    -drive if=none,id=fd1 -device floppy,unit=1,drive=fd1 \
    -drive "if=none,id=fd0,file=$work/boot.img,format=raw" -device floppy,unit=0,drive=fd0 \
    </dev/null >"$work/qemu-alpha.log" 2>&1 &
  alpha_pid=$!
  wait_port "$check_port" "$alpha_pid"
}

"$qemu" -machine pc -nodefaults -display none -S \
  -qmp "tcp:127.0.0.1:$beta_port,server=on,wait=off" \
  -drive "if=none,id=fd0,file=$work/held by beta.img,format=raw" -device floppy,unit=0,drive=fd0 \
  </dev/null >"$work/qemu-beta.log" 2>&1 &
beta_pid=$!
start_alpha || exit 1
wait_port "$beta_port" "$beta_pid" || exit 1

export OMBREVALE_QEMU_MACHINES="$winwork\\machines.txt"
export OMB_TEST_WORK="$winwork" OMB_TEST_WORK_UNIX="$work"
export OMB_TEST_ALPHA_PORT=$alpha_port OMB_TEST_CHECK_PORT=$check_port OMB_TEST_DEAD_PORT=$dead_port

status=0
"$wine" "$exe" --gtest_filter='Live.*:MachinesFile.*' || status=1

kill -9 "$alpha_pid"
wait "$alpha_pid" 2>/dev/null
"$wine" "$exe" --gtest_filter='Killed.*' || status=1

start_alpha || exit 1
"$wine" "$exe" --gtest_filter='Back.*' || status=1
exit $status
