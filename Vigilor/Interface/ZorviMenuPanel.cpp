#include "ZorviMenuPanel.h"

#include "Platform/Linux/X11Compositor.h"
#include "ZorviAccessibility.h"
#include "ZorviTheme.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

#include <algorithm>

namespace MenuPanelGeometry {

Placement placement(std::optional<QRectF> anchor, const QRectF& screen, const QRectF& available) {
    if (!anchor)
        return {QRectF(available.topRight(), QSizeF(0, 0)), available, false};
    return {*anchor, available, anchor->center().y() > screen.center().y()};
}

double maxHeight(const Placement& p) {
    if (p.area.height() <= 0)
        return defaultHeight;
    const double room = p.trayAtBottom ? p.anchor.top() - p.area.top() : p.area.bottom() - p.anchor.bottom();
    return std::max(std::min(p.area.height() - capMargin, room - capMargin), lowestCap);
}

double height(const Placement& p, double fittingHeight) {
    if (fittingHeight <= 0)
        return defaultHeight;
    const double cap = maxHeight(p);
    return std::max(std::min(minimumHeight, cap), std::min(cap, fittingHeight));
}

QRectF frame(const Placement& p, QSizeF size) {
    if (size.width() <= 0 || size.height() <= 0)
        size = QSizeF(width, defaultHeight);
    double x = p.anchor.center().x() - size.width() / 2;
    x = std::max(x, p.area.left() + edgeMargin);
    x = std::min(x, p.area.right() - size.width() - edgeMargin);
    double y;
    if (p.trayAtBottom)
        y = std::max(p.anchor.top() - gap - size.height(), p.area.top() + edgeMargin);
    else
        y = std::min(p.anchor.bottom() + gap, p.area.bottom() - size.height() - edgeMargin);
    return {QPointF(x, y), size};
}

} // namespace MenuPanelGeometry

namespace BreakPromptGeometry {

QSizeF size(QSizeF fitting) {
    return {std::max(fitting.width(), minimumSide), std::max(fitting.height(), minimumSide)};
}

QRectF frame(const QRectF& available, QSizeF size) {
    return {QPointF(available.center().x() - size.width() * 0.5, available.top() + topGap), size};
}

} // namespace BreakPromptGeometry

namespace {

Qt::WindowFlags flagsFor(ZorviMenuPanel::Kind kind) {
    const Qt::WindowFlags frameless = Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    switch (kind) {
    case ZorviMenuPanel::Kind::menu:
        return Qt::Popup | frameless;
    case ZorviMenuPanel::Kind::pinnedMenu:
        return Qt::Tool | frameless | Qt::WindowStaysOnTopHint;
    case ZorviMenuPanel::Kind::breakPrompt:
        // Above other windows and never given the keyboard; on every desktop (set once it exists).
        return Qt::Tool | frameless | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
    }
    return frameless;
}

} // namespace

ZorviMenuPanel::ZorviMenuPanel(Kind kind, QWidget* content, double cornerRadius)
    : QWidget(nullptr, flagsFor(kind))
    , kind_(kind)
    , content_(content)
    , cornerRadius_(cornerRadius)
    , translucent_(!ZorviAccessibility::shared().reduceTransparency()) {
    // A press outside closes the pop-up and goes nowhere else: the tray icon it lands on must not
    // open the panel again.
    setAttribute(Qt::WA_NoMouseReplay);
    if (kind == Kind::breakPrompt) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            x11ShowOnAllDesktops(winId());
    }
    if (translucent_)
        setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(content);
}

QSizeF ZorviMenuPanel::fittingSize(double forWidth) const {
    const QSize hint = content_->sizeHint();
    const double height =
        content_->hasHeightForWidth() ? content_->heightForWidth(int(forWidth)) : hint.height();
    return {double(hint.width()), height};
}

bool ZorviMenuPanel::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible() && onContentResized)
        onContentResized();
    return handled;
}

void ZorviMenuPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (onHidden)
        onHidden();
}

void ZorviMenuPanel::setShapedPart(QWidget* part) {
    if (shapedPart_)
        shapedPart_->removeEventFilter(this);
    shapedPart_ = part;
    if (part)
        part->installEventFilter(this);
    updateMask();
}

QPainterPath ZorviMenuPanel::shape() const {
    const QRect area =
        shapedPart_ ? QRect(shapedPart_->mapTo(this, QPoint(0, 0)), shapedPart_->size()) : rect();
    QPainterPath path;
    path.addRoundedRect(QRectF(area), cornerRadius_, cornerRadius_);
    return path;
}

// The shaped part moves and grows with the content inside the panel.
bool ZorviMenuPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == shapedPart_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        updateMask();
    return QWidget::eventFilter(watched, event);
}

void ZorviMenuPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
}

// Without a compositor everything outside the shape is cut away; with one it is simply left unpainted.
void ZorviMenuPanel::updateMask() {
    if (!translucent_)
        setMask(QRegion(shape().toFillPolygon().toPolygon()));
}

void ZorviMenuPanel::paintEvent(QPaintEvent*) {
    if (kind_ == Kind::breakPrompt && translucent_)
        return; // the prompt's card is its own glass
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape(), SystemColor::windowBackground());
}
