// Kept apart from the test: the X11 headers define macros (None, Bool, Status) that clash with the
// framework's and GoogleTest's names.
#include <X11/Xlib.h>

#include <initializer_list>

/** A bare X server has no window manager, so the atoms a window manager creates are missing. The
    framework looks these up only if they exist and then uses them unchecked; once a plug-in's own
    copy of the framework has replaced the error handlers, the resulting X error ends the process.
    The connection stays open: when its last client leaves, the server resets and forgets them. */
void createWindowManagerAtoms()
{
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return;
    for (const char* name : { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "_NET_WM_PING", "WM_CHANGE_STATE",
                              "WM_STATE", "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN" })
        XInternAtom (display, name, False);
    XFlush (display);
}

namespace
{
int ignoreXError (Display*, XErrorEvent*) { return 0; }
} // namespace

/** As the framework's own handler does: an X error (a window already gone) is no reason to end. */
void ignoreXErrors() { XSetErrorHandler (ignoreXError); }
