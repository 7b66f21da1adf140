#pragma once

// Whether a compositing manager runs on the X server named by $DISPLAY (it owns the selection
// _NET_WM_CM_S<screen>): only then do translucent windows show what lies behind them.
bool x11CompositorRunning();
