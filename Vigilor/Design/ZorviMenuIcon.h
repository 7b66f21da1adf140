#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>

#include <deque>

// The tray icon, a small face drawn in code on a 22 × 22 canvas: a round outline, two eyes, a mouth,
// a watch signal at the upper right and at most one badge at the lower right. The routines draw in the
// icon's own units with y growing downwards (the drawing's y-up figures are turned over here).
namespace ZorviMenuIcon {

enum class EyeState { normal, blink, glance, rest, alert, closed };

// The mouth's control height, in the drawing's y-up units: below the corners' 8.2 a smile.
double mouthControlHeight(EyeState state);

enum class Badge { none, paused, blocked, snoozed, walkDue, warningDot };

// Everything one drawing of the icon depends on; two equal values draw the same image.
struct Face {
    EyeState eyeState = EyeState::normal;
    bool facePresent = true;
    bool watchPresent = false;
    bool isLookingAway = false;
    bool paused = false; // fainter ink
    Badge badge = Badge::none;
    double opacity = 1; // the whole icon's, for the pulse
    friend bool operator==(const Face&, const Face&) = default;
};

inline constexpr double side = 22;

void drawEyes(QPainter& painter, bool facePresent, bool isLookingAway, EyeState eyeState, const QColor& ink);
void drawWatchSignal(QPainter& painter, bool watchPresent, const QColor& ink);
void drawLockBadge(QPainter& painter, const QColor& ink);
void drawSnooze(QPainter& painter, const QColor& ink);
void drawWalkDue(QPainter& painter, const QColor& ink);
// The whole face in the 22 × 22 units, in `inkColour` at the face's ink strength.
void draw(QPainter& painter, const Face& face, const QColor& inkColour);

// The face drawn at `scale` (1 gives 22 × 22 pixels, 2 gives 44 × 44) on a clear image.
QImage image(const Face& face, const QColor& inkColour, int scale);
// The face as the tray shows it: a tray does not say what it is drawn on, and a desktop's panel may be
// dark or light whatever the desktop's palette says, so every stroke of the face carries a halo of the
// colour opposite to its ink, about a unit wide, fading with the ink's own strength.
QImage trayImage(const Face& face, const QColor& inkColour, int scale);
// The tray's icon: the 1× and 2× tray images.
QIcon icon(const Face& face, const QColor& inkColour);

// The tray's icons of the faces shown lately, each drawn once. The face comes and goes between a few
// looks (a blink, the pulse's two strengths), and Qt spreads the fills of every drawing over the
// threads of its global pool: drawn again, each look would wake them twice a second.
class DrawnFaces {
public:
    static constexpr size_t kept = 16;
    // The icon of `face` in `inkColour`, drawn now unless it is among the last `kept` drawn.
    QIcon icon(const Face& face, const QColor& inkColour);

private:
    struct Drawn {
        Face face;
        QRgb ink;
        QIcon icon;
    };
    std::deque<Drawn> drawn_; // the latest first
};

// The product's own icon (windows, the applications menu, the autostart entry): the face's eyes and
// smile in white on a round tile, shading from the theme's teal to its periwinkle, that stands for its
// outline; `pixels` wide and high.
QImage applicationImage(int pixels);
// The windows' icon: the product's icon at the sizes window managers ask for.
QIcon applicationIcon();

} // namespace ZorviMenuIcon
