#!/usr/bin/env bash
# Runs a command on a headless X server on which plain top-level windows can open.
#   headless-x.sh COMMAND [ARGS...]
set -euo pipefail
# The server keeps its atoms only while it never resets, hence -noreset.
xvfb-run -a -s "-screen 0 1400x1000x24 -noreset" bash -s "$@" <<'INNER'
set -euo pipefail
until xdpyinfo >/dev/null 2>&1; do sleep 0.1; done
# A bare server has no window manager, so nobody has named the window-manager atoms that a
# top-level window refers to and the framework only looks up; name them, as a window manager would.
python3 - <<'PY'
import ctypes
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
display = ctypes.c_void_p(x11.XOpenDisplay(None))
for name in ("WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "_NET_WM_PING", "WM_CHANGE_STATE", "WM_STATE",
             "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN"):
    x11.XInternAtom(display, name.encode(), 0)
x11.XCloseDisplay(display)
PY
"$@"
INNER
