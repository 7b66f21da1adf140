#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

class QScreen;
class QWidget;

// Where a window goes: wholly inside the work area of the screen it opens on (the screen less the
// desktop's panels, Qt's available geometry), its window manager's frame included. Screen coordinates,
// y growing downwards.
namespace WindowPlacement {

struct Request {
    QSize content;        // the size the window asks for, without the window manager's frame
    QMargins decorations; // the window manager's frame around the content, as far as known
    QRect area;           // the work area of the screen it opens on
    // Where its frame was when it was last put away: it comes back there, at that size.
    std::optional<QRect> lastFrame;
    // The frame of the window it was opened from: centred on that one rather than on the area.
    std::optional<QRect> over;
};

// The frame: the last frame when there is one, else the content with its decorations centred on the
// window it came from or else on the area; never larger than the area, and moved into it.
QRect frame(const Request& request);

// `frame` made no larger than `area` and moved into it, the near edge winning; a frame inside the area
// is left as it is.
QRect keptInside(const QRect& frame, const QRect& area);

} // namespace WindowPlacement

// A placement given to a real window.
namespace WindowPlacing {

// The window manager's frame around `window`: its own once the window manager has framed it, else
// the frame last seen around one of our windows (one window manager frames them alike), else a guess
// a little larger than most window managers' frames.
QMargins decorations(const QWidget& window);

// A request for `window` at its current size on `screen`'s work area (a 1440 × 900 area when there is
// no screen), coming back to `lastFrame` when given (on whichever screen holds it now) or else
// centred over `over` when that window is shown (on its screen).
WindowPlacement::Request request(const QWidget& window, const QScreen* screen,
                                 std::optional<QRect> lastFrame = std::nullopt,
                                 const QWidget* over = nullptr);

// Gives `window` the request's frame; a least size larger than that gives way (the window's and the
// views' its layout holds), so its content scrolls instead of running off the screen. Where the
// decorations were guessed, the frame is checked again once the window manager has framed the
// window, and placed anew when it turned out too large for the area.
void place(QWidget& window, const WindowPlacement::Request& request);

// Once for the application: whenever the work area of a screen changes (a desktop's panel reserving
// its strip after our windows opened, as when Zorvi starts before the panel at login), every shown
// window on that screen that no longer lies wholly inside it is moved and shrunk into it. The others
// stay where they are.
void keepInsideWorkAreas();

} // namespace WindowPlacing
