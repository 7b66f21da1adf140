#include "ZorviMenuIcon.h"

#include "Vigilor/Design/ZorviTheme.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace ZorviMenuIcon {

namespace {

// The drawing's figures are y-up from the lower left corner; the canvas is y-down.
QPointF p(double x, double y) {
    return {x, side - y};
}
QRectF r(double x, double y, double w, double h) {
    return {x, side - y - h, w, h};
}

QPen roundPen(const QColor& ink, double width) {
    QPen pen(ink, width);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void stroke(QPainter& painter, QPointF from, QPointF to, const QColor& ink, double width) {
    painter.setPen(roundPen(ink, width));
    painter.drawLine(from, to);
}

void fillEllipse(QPainter& painter, const QRectF& box, const QColor& ink) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(box);
}

void fillRounded(QPainter& painter, const QRectF& box, double radius, const QColor& ink) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawRoundedRect(box, radius, radius);
}

void drawMouth(QPainter& painter, double h, const QColor& ink) {
    QPainterPath mouth(p(8.0, 8.2));
    mouth.cubicTo(p(9.4, h), p(12.6, h), p(14.0, 8.2));
    painter.setPen(roundPen(ink, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mouth);
}

void drawBadge(QPainter& painter, Badge badge, const QColor& ink) {
    switch (badge) {
    case Badge::paused:
        fillRounded(painter, r(8.2, 7.3, 1.8, 6.8), 0.7, ink);
        fillRounded(painter, r(12.0, 7.3, 1.8, 6.8), 0.7, ink);
        break;
    case Badge::blocked:
        drawLockBadge(painter, ink);
        break;
    case Badge::snoozed:
        drawSnooze(painter, ink);
        break;
    case Badge::walkDue:
        drawWalkDue(painter, ink);
        break;
    case Badge::warningDot:
        fillEllipse(painter, r(16.6, 3.1, 3.0, 3.0), ink);
        break;
    case Badge::none:
        break;
    }
}

// `colour` wherever `inked` has ink within `radius` pixels, as strong as the strongest ink there, the
// disc's edge antialiased.
QImage haloAround(const QImage& inked, const QColor& colour, double radius) {
    const int reach = int(std::ceil(radius));
    QImage halo(inked.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < inked.height(); ++y) {
        for (int x = 0; x < inked.width(); ++x) {
            double alpha = 0;
            for (int dy = -reach; dy <= reach; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    const QPoint at(x + dx, y + dy);
                    const double cover = std::clamp(radius + 0.5 - std::hypot(dx, dy), 0.0, 1.0);
                    if (cover > 0 && inked.rect().contains(at))
                        alpha = std::max(alpha, cover * qAlpha(inked.pixel(at)) / 255.0);
                }
            QColor pixel = colour;
            pixel.setAlphaF(float(alpha));
            halo.setPixelColor(x, y, pixel);
        }
    }
    return halo;
}

} // namespace

double mouthControlHeight(EyeState state) {
    switch (state) {
    case EyeState::blink:
    case EyeState::rest:
    case EyeState::closed:
        return 8.8;
    case EyeState::normal:
    case EyeState::glance:
    case EyeState::alert:
        break;
    }
    return 6.9;
}

void drawEyes(QPainter& painter, bool facePresent, bool isLookingAway, EyeState eyeState, const QColor& ink) {
    if (!facePresent) {
        stroke(painter, p(6.9, 13.2), p(9.4, 13.2), ink, 1.35);
        stroke(painter, p(12.6, 13.2), p(15.1, 13.2), ink, 1.35);
        return;
    }
    switch (eyeState) {
    case EyeState::normal:
    case EyeState::glance: {
        const double d = isLookingAway ? (eyeState == EyeState::glance ? 1.5 : 1.0) : 0;
        fillEllipse(painter, r(6.85 + d, 11.85, 2.3, 2.3), ink);
        fillEllipse(painter, r(12.55 + d, 11.85, 2.3, 2.3), ink);
        break;
    }
    case EyeState::blink:
    case EyeState::closed:
        stroke(painter, p(6.85, 12.5), p(9.15, 12.5), ink, 1.35);
        stroke(painter, p(12.55, 12.5), p(14.85, 12.5), ink, 1.35);
        break;
    case EyeState::rest:
        fillEllipse(painter, r(6.85, 12.15, 2.3, 1.5), ink);
        fillEllipse(painter, r(12.55, 12.15, 2.3, 1.5), ink);
        break;
    case EyeState::alert:
        fillEllipse(painter, r(6.85, 11.55, 2.3, 2.7), ink);
        fillEllipse(painter, r(12.55, 11.55, 2.3, 2.7), ink);
        break;
    }
}

// Qt's angles, like the drawing's, run anticlockwise as seen on screen.
void drawWatchSignal(QPainter& painter, bool watchPresent, const QColor& ink) {
    fillEllipse(painter, r(17.0, 15.2, 2.2, 2.2), ink);
    const QRectF circle(p(17.4 - 3.2, 16.0 + 3.2), QSizeF(6.4, 6.4));
    QPainterPath arc;
    arc.arcMoveTo(circle, 20);
    arc.arcTo(circle, 20, (watchPresent ? 76 : 48) - 20);
    painter.setPen(roundPen(ink, watchPresent ? 1.3 : 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arc);
}

void drawLockBadge(QPainter& painter, const QColor& ink) {
    const QRectF circle(p(17.5 - 1.25, 5.6 + 1.25), QSizeF(2.5, 2.5));
    QPainterPath shackle;
    shackle.arcMoveTo(circle, 0);
    shackle.arcTo(circle, 0, 180);
    painter.setPen(roundPen(ink, 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);
    fillRounded(painter, r(15.3, 2.4, 4.4, 3.4), 0.9, ink);
}

void drawSnooze(QPainter& painter, const QColor& ink) {
    stroke(painter, p(13.6, 8.6), p(19.4, 8.6), ink, 1.65);
    stroke(painter, p(19.4, 8.6), p(13.6, 2.6), ink, 1.65);
    stroke(painter, p(13.6, 2.6), p(19.4, 2.6), ink, 1.65);
}

void drawWalkDue(QPainter& painter, const QColor& ink) {
    fillEllipse(painter, r(16.05, 7.4, 2.4, 2.4), ink);
    fillRounded(painter, r(16.55, 3.4, 1.4, 4.4), 0.7, ink);
    stroke(painter, p(17.25, 3.9), p(19.4, 2.0), ink, 1.45);
    stroke(painter, p(17.25, 3.9), p(15.1, 2.0), ink, 1.45);
    stroke(painter, p(17.25, 7.0), p(18.9, 5.6), ink, 1.35);
    stroke(painter, p(17.25, 7.0), p(15.6, 5.6), ink, 1.35);
}

void draw(QPainter& painter, const Face& face, const QColor& inkColour) {
    QColor ink = inkColour;
    ink.setAlphaF(face.paused ? 0.46f : 0.92f);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(face.opacity);
    painter.setPen(QPen(ink, 1.85));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(r(3.1, 3.1, 15.8, 15.8));
    drawEyes(painter, face.facePresent, face.isLookingAway, face.eyeState, ink);
    const bool plainMouth = !face.facePresent || face.isLookingAway;
    drawMouth(painter, plainMouth ? 8.8 : mouthControlHeight(face.eyeState), ink);
    drawWatchSignal(painter, face.watchPresent, ink);
    drawBadge(painter, face.badge, ink);
    painter.restore();
}

QImage image(const Face& face, const QColor& inkColour, int scale) {
    QImage canvas(int(side) * scale, int(side) * scale, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.scale(scale, scale);
    draw(painter, face, inkColour);
    painter.end();
    return canvas;
}

QImage trayImage(const Face& face, const QColor& inkColour, int scale) {
    const QImage inked = image(face, inkColour, scale);
    const QColor halo = inkColour.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
    QImage result = haloAround(inked, halo, scale + 0.5);
    QPainter painter(&result);
    painter.drawImage(0, 0, inked);
    painter.end();
    return result;
}

QIcon icon(const Face& face, const QColor& inkColour) {
    QIcon result;
    for (const int scale : {1, 2})
        result.addPixmap(QPixmap::fromImage(trayImage(face, inkColour, scale)));
    return result;
}

QIcon DrawnFaces::icon(const Face& face, const QColor& inkColour) {
    const QRgb ink = inkColour.rgba();
    const auto seen = std::find_if(drawn_.begin(), drawn_.end(),
                                   [&](const Drawn& d) { return d.face == face && d.ink == ink; });
    if (seen != drawn_.end())
        return seen->icon;
    if (drawn_.size() == kept)
        drawn_.pop_back();
    drawn_.push_front({face, ink, ZorviMenuIcon::icon(face, inkColour)});
    return drawn_.front().icon;
}

QImage applicationImage(int pixels) {
    QImage canvas(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / side, pixels / side);
    QLinearGradient shade(0, 0, side, side);
    shade.setColorAt(0, Theme::success());
    shade.setColorAt(1, Theme::notice());
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawEllipse(QRectF(0, 0, side, side));
    // The tile is the face's outline: the eyes and the smile, larger than in the tray's square.
    painter.translate(side / 2, side / 2);
    painter.scale(1.3, 1.3);
    painter.translate(-side / 2, -side / 2);
    drawEyes(painter, true, false, EyeState::normal, Qt::white);
    drawMouth(painter, mouthControlHeight(EyeState::normal), Qt::white);
    painter.end();
    return canvas;
}

QIcon applicationIcon() {
    QIcon result;
    for (const int pixels : {16, 32, 48, 64, 128})
        result.addPixmap(QPixmap::fromImage(applicationImage(pixels)));
    return result;
}

} // namespace ZorviMenuIcon
