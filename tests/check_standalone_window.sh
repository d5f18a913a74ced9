#!/usr/bin/env bash
# The standalone application opens its main window on a headless X server, showing the plug-in's own
# editor at 1080 x 732 (not the framework's generic one).
set -euo pipefail
app=$1

export HOME=$(mktemp -d) # its settings file must not touch the user's
trap 'rm -rf "$HOME"' EXIT

xvfb-run -a -s "-screen 0 1400x1000x24" bash -c '
  "$0" >/dev/null 2>&1 &
  pid=$!
  trap "kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true" EXIT
  found=""
  for _ in $(seq 1 40); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Vantora v3\""; then found=yes; break; fi
    kill -0 $pid 2>/dev/null || { echo "the application exited"; exit 1; }
    sleep 0.25
  done
  [ -n "$found" ] || { echo "no window titled Vantora v3 appeared"; exit 1; }
  echo "window found"
  sleep 1

  id=$(xwininfo -root -tree | awk "/\"Vantora v3\"/ {print \$1; exit}")
  info=$(xwininfo -id "$id")
  x=$(awk "/Absolute upper-left X/ {print \$4}" <<<"$info")
  y=$(awk "/Absolute upper-left Y/ {print \$4}" <<<"$info")
  w=$(awk "/Width:/ {print \$2}" <<<"$info")
  h=$(awk "/Height:/ {print \$2}" <<<"$info")
  shot=$HOME/window.png
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"

  # The editor sits at the bottom of the window inside an even frame; its canvas background is
  # 0xff020304 edge to edge, and what lies around it is not.
  border=$(( (w - 1080) / 2 ))
  if [ $(( w - 1080 )) -lt 0 ] || [ $(( (w - 1080) % 2 )) -ne 0 ] || [ $border -gt 8 ]; then
    echo "window is ${w} wide: the editor is not 1080 wide"; exit 1
  fi
  bottom=$(( h - 1 - border )); top=$(( bottom - 731 ))
  pixel() { convert "$shot" -format "%[pixel:p{$1,$2}]" info:; }
  background="srgb(2,3,4)"
  for p in "$border $top" "$((border + 1079)) $top" "$border $bottom" "$((border + 52)) $((top + 261))"; do
    [ "$(pixel $p)" = "$background" ] || { echo "no editor background at $p: $(pixel $p)"; exit 1; }
  done
  for p in "$((border + 52)) $((top - 1))" "$((border + 1080)) $((top + 261))"; do
    [ "$(pixel $p)" != "$background" ] || { echo "the editor reaches past 1080 x 732 at $p"; exit 1; }
  done
  echo "the editor is 1080 x 732"
' "$app"
