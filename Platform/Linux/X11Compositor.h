#pragma once

// What the interface asks of the X server beyond Qt.

// Whether a compositing manager runs on the X server named by $DISPLAY (it owns the selection
// _NET_WM_CM_S<screen>): only then do translucent windows show what lies behind them.
bool x11CompositorRunning();

// Asks the window manager to show a window of this X server on every desktop (_NET_WM_DESKTOP set to
// 0xFFFFFFFF, and sticky); to be called after the window exists and before each time it is mapped.
void x11ShowOnAllDesktops(unsigned long window);

// Asks the window manager to leave a window out of task bars and pagers (_NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER), which some list even tool windows in; to be called before each map.
void x11KeepOffTaskbarAndPager(unsigned long window);

// Asks the window manager to bring a shown window that lies on another desktop to the one the user is
// on (_NET_WM_DESKTOP, asked as the application); one on every desktop stays so.
void x11MoveToCurrentDesktop(unsigned long window);

// Asks the window manager to give a shown window the keyboard, for the user's action at `timestamp`
// (the X server's time of the click, or the time an activation token carries): a window manager that
// prevents focus stealing grants it when nothing newer happened since.
void x11Activate(unsigned long window, unsigned long timestamp);

// The window the window manager counts as active (_NET_ACTIVE_WINDOW on the root window of the X
// server named by $DISPLAY); 0 when none is, or when the window manager does not say.
unsigned long x11ActiveWindow();
