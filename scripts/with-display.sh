#!/usr/bin/env bash
# Runs a command on a private Xvfb display at 96 dots per inch, and stops the display after.
# Exits 125, saying why, when no display number is free or Xvfb does not start.
set -uo pipefail

first=90
last=140
attempts=3  # another run may take a free number between our look and Xvfb's start

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "with-display.sh: Xvfb is not installed (Debian package xvfb; scripts/deps.sh installs it)" >&2
  exit 125
fi

log=$(mktemp)
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && { kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; }; rm -f "$log"' EXIT

display=
tried=
for n in $(seq $first $last); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
  tried="$tried :$n"
  Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e /tmp/.X11-unix/X$n ] && break
    kill -0 $xvfb_pid 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 $xvfb_pid 2>/dev/null && [ -e /tmp/.X11-unix/X$n ]; then
    display=:$n
    break
  fi
  kill $xvfb_pid 2>/dev/null
  wait $xvfb_pid 2>/dev/null
  xvfb_pid=
  attempts=$((attempts - 1))
  [ $attempts -gt 0 ] || break
done

if [ -z "$display" ]; then
  if [ -z "$tried" ]; then
    echo "with-display.sh: no free X display number from :$first to :$last (each has a socket" \
         "in /tmp/.X11-unix or a lock file /tmp/.X<n>-lock); stop the Xvfb servers left" \
         "running, or remove their stale files" >&2
  else
    echo "with-display.sh: Xvfb did not start on display$tried; the last attempt said:" >&2
    tail -n 15 "$log" | sed 's/^/  /' >&2
  fi
  exit 125
fi
DISPLAY=$display OMBREVALE_PRIVATE_DISPLAY=1 "$@"
