#include "PresenceMarkView.h"

#include "ZorviShared/Symbols/ZorviSymbols.h"
#include "ZorviTheme.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

QPen roundPen(const QColor& colour, double width) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// The mark's own square: lengths are fractions of its side `s`, measured from its top left corner.
struct Square {
    QPointF origin;
    double s;
    QPointF at(double x, double y) const { return origin + QPointF(x * s, y * s); }
    QRectF box(double x, double y, double w, double h) const { return {at(x, y), QSizeF(w * s, h * s)}; }
};

void paintFace(QPainter& painter, const Square& q, const QColor& tint) {
    const double ringWidth = std::max(0.06 * q.s, 1.25);
    const QRectF circle =
        q.box(0, 0, 1, 1).adjusted(ringWidth / 2, ringWidth / 2, -ringWidth / 2, -ringWidth / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(tint, 0.18));
    painter.drawEllipse(circle);
    QPen ring(withOpacity(tint, 0.88), ringWidth);
    ring.setCapStyle(Qt::FlatCap);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
}

// A trimmed circle, clockwise from 3 o'clock, turned back by 18°: Qt's angles run anticlockwise.
void paintSignalArc(QPainter& painter, const Square& q, const QColor& tint, bool watchPresent) {
    const QRectF circle = q.box(0.04, 0.04, 0.92, 0.92);
    const double start = 0.63 * 360 - 18;
    const double end = (watchPresent ? 0.98 : 0.82) * 360 - 18;
    QPainterPath arc;
    arc.arcMoveTo(circle, -start);
    arc.arcTo(circle, -start, -(end - start));
    painter.setPen(roundPen(watchPresent ? tint : withOpacity(SystemColor::secondaryLabel(), 0.58),
                            std::max(0.052 * q.s, 1.15)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arc);
}

void paintEyes(QPainter& painter, const Square& q, bool lookingAway) {
    painter.setPen(Qt::NoPen);
    for (const double left : {0.30, 0.56}) {
        const QRectF eye = q.box(left, 0.41 - 0.07, 0.14, 0.14);
        painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.96));
        painter.drawEllipse(eye);
        const QPointF centre = eye.center() + QPointF(lookingAway ? 0.025 * q.s : 0, 0);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.72));
        painter.drawEllipse(centre, 0.0225 * q.s, 0.0225 * q.s);
    }
}

void paintMouth(QPainter& painter, const Square& q, bool smiling) {
    QPainterPath mouth(q.at(0.34, 0.58));
    mouth.quadTo(q.at(0.5, smiling ? 0.7 : 0.55), q.at(0.66, 0.58));
    painter.setPen(roundPen(QColor::fromRgbF(0, 0, 0, 0.7), std::max(0.05 * q.s, 1.1)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mouth);
}

void paintPauseBars(QPainter& painter, const Square& q) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(SystemColor::windowBackground(), 0.8));
    painter.drawEllipse(q.box(0.38, 0.38, 0.24, 0.24));
    painter.setBrush(SystemColor::secondaryLabel());
    for (const double left : {0.38, 0.53})
        painter.drawRoundedRect(q.box(left, 0.38, 0.09, 0.24), 0.015 * q.s, 0.015 * q.s);
}

void paintBadge(QPainter& painter, const Square& q, const PresenceMarkView::Look& look) {
    const double side = std::max(0.28 * q.s, 17.0);
    const QPointF centre = q.at(0.5 + 0.31, 0.5 + 0.31);
    const QRectF frame(centre - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(SystemColor::windowBackground(), 0.86));
    painter.drawEllipse(frame);
    const double symbol = 1.15 * std::max(0.13 * q.s, 8.0); // the glyph's box around a text size
    ZorviSymbols::draw(painter, look.stateSymbol,
                       QRectF(centre - QPointF(symbol / 2, symbol / 2), QSizeF(symbol, symbol)),
                       look.markColor);
    painter.setPen(QPen(withOpacity(look.markColor, 0.62), std::max(0.018 * q.s, 0.75)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(frame);
}

} // namespace

PresenceMarkView::Look PresenceMarkView::look(const State& s) {
    if (s.isPaused)
        return {SystemColor::secondaryLabel(), "paused", "pause.fill"};
    if (s.isBlocked)
        return {Theme::critical(), "blocked; " + s.blockedReason, "lock.fill"};
    if (!s.facePresent && !s.watchPresent)
        return {Theme::critical(), "away", "xmark"};
    if (s.isLookingAway)
        return {s.facePresent ? Theme::warning() : Theme::critical(), "looking away", "eye.slash.fill"};
    if (!s.facePresent)
        return {Theme::critical(), "companion nearby; face not visible", "applewatch"};
    if (!s.watchPresent)
        return {Theme::warning(), "face present", "person.fill"};
    return {Theme::success(), "active; face and companion present", "checkmark"};
}

void PresenceMarkView::paint(QPainter& painter, const QRectF& area, const State& state) {
    const Look mark = look(state);
    const double side = std::min(area.width(), area.height());
    const Square q{area.center() - QPointF(side / 2, side / 2), side};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintFace(painter, q, mark.markColor);
    paintSignalArc(painter, q, mark.markColor, state.watchPresent);
    paintEyes(painter, q, state.isLookingAway);
    paintMouth(painter, q, state.facePresent && !state.isLookingAway);
    if (state.isPaused)
        paintPauseBars(painter, q);
    paintBadge(painter, q, mark);
    painter.restore();
}

PresenceMarkView::PresenceMarkView(bool facePresent, bool watchPresent, bool isLookingAway, bool isPaused,
                                   bool isBlocked, double size, QWidget* parent)
    : QWidget(parent)
    , size_(size) {
    setFixedSize(sizeHint());
    setState({facePresent, watchPresent, isLookingAway, isPaused, isBlocked});
}

void PresenceMarkView::setState(const State& state) {
    state_ = state;
    setAccessibleName(QString::fromStdString("Zorvi " + look(state).stateDescription));
    update();
}

QSize PresenceMarkView::sizeHint() const {
    const int side = int(std::ceil(size_));
    return {side, side};
}

void PresenceMarkView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(0, 0, size_, size_), state_);
}
