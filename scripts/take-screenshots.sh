#!/usr/bin/env bash
# Starts the standalone application on a headless X server, clicks the editor's own buttons into
# each view and writes one PNG per view; then CAPTURE_SHOTS renders a running and a finished ANALYZE
# (no sound card here, so that one drives the processor itself).
#   take-screenshots.sh APP OUTDIR CAPTURE_SHOTS
set -euo pipefail
app=$1
out=$(realpath -m "$2")
captureShots=$(realpath "$3")
mkdir -p "$out"

export HOME=$(mktemp -d) # the application's settings file must not touch the user's
trap 'rm -rf "$HOME"' EXIT

xvfb-run -a -s "-screen 0 1400x1000x24" bash -s "$app" "$out" <<'INNER'
set -euo pipefail
app=$1 out=$2
until xdpyinfo >/dev/null 2>&1; do sleep 0.1; done

"$app" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT

window=""
for _ in $(seq 1 80); do
  window=$(xdotool search --name '^Vantora v3$' 2>/dev/null | head -1 || true)
  [[ -n $window ]] && break
  sleep 0.25
done
[[ -n $window ]] || { echo "no window titled Vantora v3 appeared"; exit 1; }
sleep 1.5

# The editor fills the bottom of the window inside an even frame (the framework may put a notice bar
# above it) and shows the 1240 x 840 canvas at 1080 / 1240 of its size.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - 1080) / 2 ))
editorLeft=$((X + border))
editorTop=$((Y + HEIGHT - border - 732))
click() { # canvas x, canvas y
  xdotool mousemove $((editorLeft + $1 * 1080 / 1240)) $((editorTop + $2 * 1080 / 1240)) click 1
  sleep 0.6
}
shot() {
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$out/$1.png"
  echo "wrote $out/$1.png"
}

shot compact-mix
click 112 32                       # SHOW ADVANCED
shot advanced-mix
click 395 32;  shot page-engine    # ENGINE
click 501 32;  shot page-output    # OUTPUT
click 607 32;  shot page-eq        # EQ
click 713 32;  shot page-reverb    # REVERB
click 832 32;  shot page-control   # CONTROL
click 395 32                       # ENGINE again, for the chain-mode selector
click 1024 209                     # chain mode: open its menu
xdotool key Down Return; sleep 0.6 # "Live Performance"
click 112 32                       # HIDE ADVANCED
shot compact-live
click 207 781; shot calibration-panel   # "i"
click 207 781                           # "i" off
click 1185 30; shot guide               # INFO
click 1109 30; shot changelog           # UPDATES
INNER

xvfb-run -a -s "-screen 0 1400x1000x24" "$captureShots" "$out"
