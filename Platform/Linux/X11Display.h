#pragma once

// Whether the X server named by $DISPLAY accepts a connection from this user. Qt ends the process
// when it cannot reach the display it was told to use, so the application asks first.
bool canOpenX11Display();
