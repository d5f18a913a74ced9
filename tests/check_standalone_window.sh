#!/usr/bin/env bash
# The standalone application opens its main window on a headless X server.
set -euo pipefail
app=$1

export HOME=$(mktemp -d) # its settings file must not touch the user's
trap 'rm -rf "$HOME"' EXIT

xvfb-run -a -s "-screen 0 1400x1000x24" bash -c '
  "$0" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 1 40); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Vantora v3\""; then
      kill $pid; wait $pid 2>/dev/null || true
      echo "window found"
      exit 0
    fi
    kill -0 $pid 2>/dev/null || { echo "the application exited"; exit 1; }
    sleep 0.25
  done
  kill $pid 2>/dev/null || true
  echo "no window titled Vantora v3 appeared"
  exit 1
' "$app"
