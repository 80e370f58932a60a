# Sourced by the runners that start real QEMU machines for a test; they set qemu and work
# first. Gives them four loopback ports, a stop that kills every QEMU they started by its
# process id whatever happens, and wait_port.

if ! command -v "$qemu" >/dev/null 2>&1; then
  echo "qemu-system-x86_64 is missing: run scripts/deps.sh" >&2
  exit 1
fi

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd -P)

# Four ports free now: Альфа's monitor for the bridge, its monitor for the test's own
# checks, Бета's, and one where nothing will listen.
read -r alpha_port check_port beta_port dead_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(4)]
for x in s: x.bind(("127.0.0.1", 0))
print(" ".join(str(x.getsockname()[1]) for x in s))')

alpha_pid= beta_pid=
stop() {
  for pid in $alpha_pid $beta_pid; do
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
}
trap stop EXIT

# wait_port PORT PID: until the QEMU of PID listens on PORT, or has ended.
wait_port() {
  for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $1), 0.2).close()" 2>/dev/null && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.05
  done
  echo "QEMU did not open port $1; its log:" >&2
  cat "$work"/qemu-*.log >&2
  return 1
}
