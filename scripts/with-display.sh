#!/usr/bin/env bash
# Runs a command on a private Xvfb display at 96 dots per inch, and stops the display after.
set -uo pipefail
for n in $(seq 90 140); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT
for _ in $(seq 50); do
  [ -e /tmp/.X11-unix/X${display#:} ] && break
  sleep 0.1
done
DISPLAY=$display OMBREVALE_PRIVATE_DISPLAY=1 "$@"
