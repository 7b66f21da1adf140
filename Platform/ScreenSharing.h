#pragma once

// Whether someone is connected to this computer's screen-sharing (VNC) service right now.
class ScreenSharingSessions {
public:
    virtual ~ScreenSharingSessions() = default;
    // Nothing when the system cannot be asked; otherwise whether a session is established.
    virtual bool isScreenSharingActive() = 0;
};
