#include "ZorviControls.h"

#include "ZorviAccessibility.h"
#include "ZorviGlass.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"
#include "ZorviTheme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStyleOption>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QColor mixed(const QColor& from, const QColor& to, double t) {
    const auto mix = [t](float a, float b) { return a + (b - a) * float(t); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
}

constexpr double buttonPaddingX = 12;
constexpr double buttonPaddingY = 5;
constexpr double buttonSymbolGap = 6;

} // namespace

ZorviGlassButton::ZorviGlassButton(const QString& title, std::string systemImage, bool prominent,
                                   QWidget* parent)
    : QPushButton(title, parent)
    , prominent_(prominent)
    , systemImage_(std::move(systemImage)) {
    setFont(zorviControl());
    setAttribute(Qt::WA_Hover);
    setToolTip(title);
    setAccessibleName(title);
}

void ZorviGlassButton::setProminent(bool prominent) {
    prominent_ = prominent;
    update();
}

void ZorviGlassButton::setTint(std::optional<QColor> tint) {
    tint_ = std::move(tint);
    update();
}

void ZorviGlassButton::setSystemImage(std::string systemImage) {
    if (systemImage_ == systemImage)
        return;
    systemImage_ = std::move(systemImage);
    updateGeometry();
    update();
}

QSize ZorviGlassButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    double width = metrics.horizontalAdvance(text()) + 2 * buttonPaddingX;
    if (!systemImage_.empty())
        width += metrics.height() + buttonSymbolGap;
    // Whole pixels up, and one more for the outline's half-pixel inset on each side, so that the
    // title drawn in a button of its own size is never cut.
    return {int(std::ceil(width)) + 1, int(std::ceil(metrics.height() + 2 * buttonPaddingY))};
}

QSize ZorviGlassButton::minimumSizeHint() const {
    return {int(2 * buttonPaddingX), sizeHint().height()};
}

void ZorviGlassButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(8.0, box.height() / 2);
    const QColor accent =
        tint_.value_or(prominent_ ? palette().color(QPalette::Highlight) : SystemColor::primaryLabel());
    QColor fill = prominent_ ? accent : withOpacity(tint_ ? accent : SystemColor::secondaryLabel(), 0.18);
    if (isDown())
        fill = fill.darker(115);
    else if (underMouse())
        fill = fill.lighter(prominent_ ? 108 : 120);
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);
    painter.fillPath(shape, fill);
    if (!isEnabled())
        painter.setOpacity(0.4);

    const QColor ink = prominent_ ? QColor(Qt::white) : accent;
    const QFontMetricsF metrics(font());
    const double symbolSide = systemImage_.empty() ? 0 : metrics.height();
    const double room =
        box.width() - 2 * buttonPaddingX - (symbolSide > 0 ? symbolSide + buttonSymbolGap : 0);
    const QString title = metrics.elidedText(text(), Qt::ElideRight, std::max(0.0, room));
    const double contentWidth =
        metrics.horizontalAdvance(title) + (symbolSide > 0 ? symbolSide + buttonSymbolGap : 0);
    double x = box.center().x() - contentWidth / 2;
    if (symbolSide > 0) {
        ZorviSymbols::draw(painter, systemImage_,
                           QRectF(x, box.center().y() - symbolSide / 2, symbolSide, symbolSide), ink);
        x += symbolSide + buttonSymbolGap;
    }
    painter.setFont(font());
    painter.setPen(ink);
    painter.drawText(QRectF(x, box.top(), box.right() - x, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     title);
}

namespace {

// Passes a wheel turn over a control without the focus on to the control's parent: an event that a
// filter takes but leaves ignored goes on up, as one the control itself ignored would.
class WheelNeedsFocus final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        event->ignore();
        return true;
    }
};

} // namespace

void zorviWheelOnlyWithFocus(QWidget& control) {
    static WheelNeedsFocus filter;
    if (control.focusPolicy() == Qt::WheelFocus)
        control.setFocusPolicy(Qt::StrongFocus);
    control.installEventFilter(&filter);
}

FaceButton::FaceButton(QWidget* face, QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(face);
    face->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize FaceButton::sizeHint() const {
    return layout()->sizeHint();
}

QSize FaceButton::minimumSizeHint() const {
    return layout()->minimumSize();
}

IconActionButton::IconActionButton(std::string systemImage, QColor tint, const QString& help,
                                   std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent)
    , systemImage_(std::move(systemImage))
    , tint_(std::move(tint)) {
    setFixedSize(width, height);
    setAttribute(Qt::WA_Hover);
    setHelp(help);
    zorviPointingHandCursor(*this, true);
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void IconActionButton::setSystemImage(std::string systemImage) {
    systemImage_ = std::move(systemImage);
    update();
}

void IconActionButton::setTint(QColor tint) {
    tint_ = std::move(tint);
    update();
}

void IconActionButton::setHelp(const QString& help) {
    setToolTip(help);
    setAccessibleName(help);
}

void IconActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool reduceTransparency = ZorviAccessibility::shared().reduceTransparency();
    paintZorviGlass(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, ZorviGlassDepth::control,
                    reduceTransparency);
    if (isDown() || underMouse()) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.fillPath(shape, withOpacity(SystemColor::secondaryLabel(), isDown() ? 0.2 : 0.1));
    }
    const double side = 17; // a 15-pixel symbol with the glyph font's own margin
    ZorviSymbols::draw(painter, systemImage_, QRectF((width - side) / 2, (height - side) / 2, side, side),
                       tint_);
}

SwitchVisual::SwitchVisual(bool isOn, QWidget* parent)
    : QWidget(parent)
    , isOn_(isOn)
    , position_(isOn ? 1 : 0) {
    setFixedSize(trackWidth, trackHeight);
    animation_.setDuration(animationMilliseconds);
    animation_.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        position_ = value.toDouble();
        update();
    });
}

void SwitchVisual::setOn(bool isOn) {
    if (isOn == isOn_)
        return;
    isOn_ = isOn;
    animation_.stop();
    if (!isVisible()) {
        position_ = isOn ? 1 : 0;
        update();
        return;
    }
    animation_.setStartValue(position_);
    animation_.setEndValue(isOn ? 1.0 : 0.0);
    animation_.start();
}

QRectF SwitchVisual::knobRect(double position, Qt::LayoutDirection direction) {
    const double inset = (trackHeight - knobDiameter) / 2.0;
    const double travel = trackWidth - knobDiameter - 2 * inset;
    const double along = direction == Qt::RightToLeft ? 1 - position : position;
    return {inset + travel * along, inset, double(knobDiameter), double(knobDiameter)};
}

QColor SwitchVisual::trackColor(double position) {
    return mixed(withOpacity(SystemColor::secondaryLabel(), 0.3), Theme::toggleOn(), position);
}

void SwitchVisual::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4); // a switch that takes no clicks looks it
    QPainterPath track;
    track.addRoundedRect(QRectF(0, 0, trackWidth, trackHeight), trackHeight / 2.0, trackHeight / 2.0);
    painter.fillPath(track, trackColor(position_));
    const QRectF knob = knobRect(position_, layoutDirection());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.15)); // the knob's small shadow, half a pixel down
    painter.drawEllipse(knob.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}
