#include "ZorviEyesView.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

using ZorviMenuIcon::EyeState;

namespace {

// The face is drawn on a 100-unit grid, y growing downwards, anchored at the top left of the canvas
// and scaled by its shorter side.
class FaceGrid {
public:
    FaceGrid(QPainter& painter, double unit)
        : p_(painter)
        , u_(unit) {}

    QRectF rect(double x, double y, double w, double h) const { return {x * u_, y * u_, w * u_, h * u_}; }
    QPointF point(double x, double y) const { return {x * u_, y * u_}; }

    void fillEllipse(const QRectF& r, const QColor& colour) {
        p_.setPen(Qt::NoPen);
        p_.setBrush(colour);
        p_.drawEllipse(r);
    }
    void strokeEllipse(const QRectF& r, const QColor& colour, double width) {
        p_.setPen(pen(colour, width, Qt::FlatCap));
        p_.setBrush(Qt::NoBrush);
        p_.drawEllipse(r);
    }
    void strokePath(const QPainterPath& path, const QColor& colour, double width) {
        p_.setPen(pen(colour, width, Qt::RoundCap));
        p_.setBrush(Qt::NoBrush);
        p_.drawPath(path);
    }
    void line(QPointF from, QPointF to, const QColor& colour, double width) {
        QPainterPath path(from);
        path.lineTo(to);
        strokePath(path, colour, width);
    }
    double unit() const { return u_; }

private:
    QPen pen(const QColor& colour, double width, Qt::PenCapStyle cap) const {
        QPen pen(colour, width * u_, Qt::SolidLine, cap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        return pen;
    }

    QPainter& p_;
    double u_;
};

void drawEyes(FaceGrid& g, EyeState state, const QColor& ink) {
    switch (state) {
    case EyeState::normal:
        g.fillEllipse(g.rect(31, 38, 11, 12), ink);
        g.fillEllipse(g.rect(57, 38, 11, 12), ink);
        return;
    case EyeState::glance: // turned to the right
        g.fillEllipse(g.rect(37, 38, 10, 12), ink);
        g.fillEllipse(g.rect(63, 38, 10, 12), ink);
        return;
    case EyeState::blink:
    case EyeState::closed:
        g.line(g.point(32, 43), g.point(42, 43), ink, 4.4);
        g.line(g.point(58, 43), g.point(68, 43), ink, 4.4);
        return;
    case EyeState::rest:
        g.fillEllipse(g.rect(31, 41, 12, 6), ink);
        g.fillEllipse(g.rect(57, 41, 12, 6), ink);
        g.line(g.point(29, 38), g.point(45, 37), ink, 2.4);
        g.line(g.point(55, 37), g.point(71, 38), ink, 2.4);
        return;
    case EyeState::alert:
        g.fillEllipse(g.rect(31, 36, 12, 15), ink);
        g.fillEllipse(g.rect(57, 36, 12, 15), ink);
        g.strokeEllipse(g.rect(27, 32, 20, 23), withOpacity(ink, 0.28), 2);
        g.strokeEllipse(g.rect(53, 32, 20, 23), withOpacity(ink, 0.28), 2);
        return;
    }
}

void drawFace(FaceGrid& g, const ZorviEyesInputs& in, EyeState state, const QColor& primary) {
    const QColor tint = ZorviEyesModel::tintColor(in);
    const QColor ink = withOpacity(primary, ZorviEyesModel::inkOpacity(in));

    g.fillEllipse(g.rect(10, 10, 80, 80), withOpacity(tint, 0.12));
    g.strokeEllipse(g.rect(10, 10, 80, 80), withOpacity(tint, 0.72), 4.2);
    g.strokeEllipse(g.rect(18, 18, 64, 64), withOpacity(Qt::white, 0.18), 1);

    // The watch mark: a dot and a short arc to its right, longer while the watch is near. Qt's angles
    // turn the other way round, so the arc from 35° above the axis sweeps clockwise (negative).
    g.fillEllipse(g.rect(73, 24, 7, 7), in.watchPresent ? tint : withOpacity(ink, 0.3));
    const QRectF arcBox = g.rect(74 - 13, 28 - 13, 26, 26);
    QPainterPath arc;
    arc.arcMoveTo(arcBox, 35);
    arc.arcTo(arcBox, 35, in.watchPresent ? -53 : -29);
    g.strokePath(arc, in.watchPresent ? withOpacity(tint, 0.7) : withOpacity(ink, 0.24), 2.5);

    drawEyes(g, state, ink);

    QPainterPath mouth(g.point(35, 62));
    mouth.quadTo(g.point(50, ZorviEyesModel::mouthControlY(in, state)), g.point(65, 62));
    g.strokePath(mouth, ink, 4);
}

} // namespace

ZorviEyesView::ZorviEyesView(double size, const Clock& clock, QWidget* parent)
    : QWidget(parent)
    , size_(size)
    , clock_(clock) {
    setObjectName(QStringLiteral("eyes"));
    setFixedSize(sizeHint());
    setAccessibleName(QString::fromStdString(ZorviEyesModel::accessibilityLabel(inputs_)));
    blinkTimer_.setSingleShot(true);
    blinkTimer_.setTimerType(Qt::PreciseTimer);
    connect(&blinkTimer_, &QTimer::timeout, this, [this] {
        update();
        scheduleBlink();
    });
    connect(&ZorviAccessibility::shared(), &ZorviAccessibility::changed, this, [this] {
        update();
        scheduleBlink();
    });
}

void ZorviEyesView::setInputs(const ZorviEyesInputs& inputs) {
    const auto same = [](const ZorviEyesInputs& a, const ZorviEyesInputs& b) {
        return a.facePresent == b.facePresent && a.watchPresent == b.watchPresent &&
               a.isLookingAway == b.isLookingAway && a.isPaused == b.isPaused && a.isBlocked == b.isBlocked &&
               a.isSnoozed == b.isSnoozed && a.walkBreakDue == b.walkBreakDue;
    };
    if (same(inputs, inputs_))
        return;
    inputs_ = inputs;
    setAccessibleName(QString::fromStdString(ZorviEyesModel::accessibilityLabel(inputs_)));
    update();
    scheduleBlink();
}

EyeState ZorviEyesView::eyeState() const {
    return ZorviEyesModel::resolvedEyeState(inputs_, reduceMotion(), clock_.now());
}

QSize ZorviEyesView::sizeHint() const {
    const int side = int(std::ceil(size_));
    return {side, side};
}

// Only a face that can blink needs a timer, and then only for the next edge of the blink.
void ZorviEyesView::scheduleBlink() {
    const Date now = clock_.now();
    const bool canBlink = ZorviEyesModel::resolvedEyeState(inputs_, false, now) == EyeState::normal ||
                          ZorviEyesModel::resolvedEyeState(inputs_, false, now) == EyeState::blink;
    if (!isVisible() || !canBlink || reduceMotion()) {
        blinkTimer_.stop();
        return;
    }
    const double wait = ZorviEyesModel::nextBlinkEdge(now).timeIntervalSince(now);
    blinkTimer_.start(std::max(1, int(std::ceil(wait * 1000))));
}

void ZorviEyesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    scheduleBlink();
}

void ZorviEyesView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    blinkTimer_.stop();
}

void ZorviEyesView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    FaceGrid grid(painter, size_ / 100);
    drawFace(grid, inputs_, eyeState(), SystemColor::primaryLabel());
    if (const auto badge = ZorviEyesModel::badge(inputs_))
        drawBadge(painter, *badge);
}

bool ZorviEyesView::reduceMotion() const {
    return ZorviAccessibility::shared().reduceMotion();
}

// The badge sits in the face's lower right corner, inset by 4 % of the face: a symbol on a small
// frosted disc ringed in its tint.
void ZorviEyesView::drawBadge(QPainter& painter, const ZorviEyesBadge& badge) const {
    const double side = size_ * 0.28;
    const double inset = size_ * 0.04;
    const QRectF disc(size_ - inset - side, size_ - inset - side, side, side);
    const QColor& tint = badge.tint;
    painter.setPen(QPen(withOpacity(tint, 0.22), 1));
    painter.setBrush(
        withOpacity(SystemColor::windowBackground(), 0.85)); // the frosted disc, opaque enough to read
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    const double symbol = size_ * 0.14;
    ZorviSymbols::draw(painter, badge.systemImage,
                       QRectF(disc.center().x() - symbol / 2, disc.center().y() - symbol / 2, symbol, symbol),
                       tint);
}
