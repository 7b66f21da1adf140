#include "ZorviMenuPanel.h"

#include "Platform/Linux/X11Compositor.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleHints>
#include <QVBoxLayout>

#include <algorithm>

namespace MenuPanelGeometry {

Placement placement(std::optional<QRectF> anchor, const QRectF& screen, const QRectF& available) {
    if (!anchor) {
        const bool bottom = screen.bottom() - available.bottom() > available.top() - screen.top();
        return {QRectF(bottom ? available.bottomRight() : available.topRight(), QSizeF(0, 0)), available,
                bottom};
    }
    return {*anchor, available, anchor->center().y() > screen.center().y()};
}

std::optional<QRectF> clickAnchor(std::optional<QPointF> pointer, const QRectF& available) {
    if (!pointer || available.contains(*pointer))
        return std::nullopt;
    return QRectF(*pointer, QSizeF(1, 1));
}

double maxHeight(const Placement& p) {
    if (p.area.height() <= 0)
        return defaultHeight;
    const double room = p.trayAtBottom ? p.anchor.top() - p.area.top() : p.area.bottom() - p.anchor.bottom();
    const double whole = p.area.height() - capMargin;
    return std::min(std::max(std::min(whole, room - capMargin), lowestCap), whole);
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
    const double highest = p.area.top();
    const double lowest = p.area.bottom() - size.height();
    const double y =
        p.trayAtBottom
            ? std::min(std::max(p.anchor.top() - gap - size.height(), highest + edgeMargin), lowest)
            : std::max(std::min(p.anchor.bottom() + gap, lowest - edgeMargin), highest);
    return {QPointF(x, y), size};
}

} // namespace MenuPanelGeometry

namespace BreakPromptGeometry {

QSizeF size(QSizeF fitting) {
    return {std::max(fitting.width(), minimumSide), std::max(fitting.height(), minimumSide)};
}

int topGapOn(const QString& currentDesktop) {
    return currentDesktop.split(QLatin1Char(':')).contains(QLatin1String("GNOME")) ? topCentreNotifications
                                                                                    : topGap;
}

QRect frame(const QRect& available, QSize size, int gap) {
    const QPoint centred(available.x() + (available.width() - size.width()) / 2, available.y() + gap);
    return WindowPlacement::keptInside({centred, size}, available);
}

} // namespace BreakPromptGeometry

namespace {

// The windows that are not pop-ups are plain windows kept above the others and off task bars (set as
// they show): Qt makes a tool window transient for a window the window manager never sees, which
// Mutter logs as an invalid WM_TRANSIENT_FOR at every show.
Qt::WindowFlags flagsFor(ZorviMenuPanel::Kind kind) {
    const Qt::WindowFlags frameless = Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    const Qt::WindowFlags floating = Qt::Window | frameless | Qt::WindowStaysOnTopHint;
    switch (kind) {
    case ZorviMenuPanel::Kind::menu:
        return ZorviMenuPanel::menuIsWindow() ? floating : Qt::Popup | frameless;
    case ZorviMenuPanel::Kind::pinnedMenu:
        return floating;
    case ZorviMenuPanel::Kind::breakPrompt:
        // Never given the keyboard; on every desktop (set once it exists).
        return floating | Qt::WindowDoesNotAcceptFocus;
    }
    return frameless;
}

} // namespace

bool ZorviMenuPanel::menuIsWindow() {
    return QGuiApplication::platformName() == QLatin1String("xcb") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

ZorviMenuPanel::ZorviMenuPanel(Kind kind, QWidget* content, double cornerRadius)
    : QWidget(nullptr, flagsFor(kind))
    , kind_(kind)
    , content_(content)
    , cornerRadius_(cornerRadius)
    , translucent_(!ZorviAccessibility::shared().reduceTransparency()) {
    // A press outside closes the pop-up and goes nowhere else: the tray icon it lands on must not
    // open the panel again.
    setAttribute(Qt::WA_NoMouseReplay);
    // Before anything makes the window: the X window's visual, with or without an alpha channel, is
    // chosen as it is made and never changes.
    if (translucent_)
        setAttribute(Qt::WA_TranslucentBackground);
    if (kind == Kind::breakPrompt)
        setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(scrolling(content));
    // The prompt's shape is its card, which moves as the content scrolls.
    if (kind == Kind::breakPrompt)
        content->installEventFilter(this);
}

// A panel capped below its content's height scrolls, with a slim bar over the content's right margin
// rather than beside it, so the content keeps the panel's whole width.
QScrollArea* ZorviMenuPanel::scrolling(QWidget* content) {
    auto* scroll = plainScrollArea(content, Qt::ScrollBarAlwaysOff);
    scroll->setObjectName(QStringLiteral("menuScroll"));
    // The content's size changes reach the panel through the viewport that now holds it.
    scroll->viewport()->installEventFilter(this);

    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName(QStringLiteral("menuScrollBar"));
    // A slim handle with no arrows and no trough, readable on light and dark panels alike.
    scrollBar_->setStyleSheet(
        QStringLiteral(
            "QScrollBar:vertical { background: transparent; width: %1px; margin: 0; }"
            "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.5); border-radius: %2px;"
            " min-height: 24px; }"
            "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(scrollBarWidth)
            .arg(scrollBarWidth / 2));
    scrollBar_->hide();
    QScrollBar* inner = scroll->verticalScrollBar();
    connect(inner, &QScrollBar::rangeChanged, scrollBar_, [this, inner](int minimum, int maximum) {
        scrollBar_->setRange(minimum, maximum);
        scrollBar_->setPageStep(inner->pageStep());
        scrollBar_->setVisible(maximum > minimum);
        scrollBar_->raise();
    });
    connect(inner, &QScrollBar::valueChanged, scrollBar_, &QScrollBar::setValue);
    connect(scrollBar_, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);
    return scroll;
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

// The prompt goes on every desktop each time it is shown, and a panel that is a window is kept off task
// bars: a window manager forgets both of a window hidden in between.
void ZorviMenuPanel::showEvent(QShowEvent* event) {
    if ((kind_ != Kind::menu || menuIsWindow()) && QGuiApplication::platformName() == QLatin1String("xcb"))
        x11KeepOffTaskbarAndPager(winId()); // a pop-up is never listed
    if (kind_ == Kind::breakPrompt && QGuiApplication::platformName() == QLatin1String("xcb"))
        x11ShowOnAllDesktops(winId());
    shownFor_.start();
    QWidget::showEvent(event);
}

bool ZorviMenuPanel::withinDoubleClickOfShow() const {
    return shownFor_.isValid() && shownFor_.elapsed() < QApplication::doubleClickInterval();
}

// A pop-up closes on a press outside it, unless that press is a double click's second: soon after the
// click that opened it, where that click was.
void ZorviMenuPanel::mousePressEvent(QMouseEvent* event) {
    const int near = std::max(QApplication::styleHints()->mouseDoubleClickDistance(), 8);
    if (kind_ == Kind::menu && !rect().contains(event->position().toPoint()) && withinDoubleClickOfShow() &&
        openingClick_ && (event->globalPosition().toPoint() - *openingClick_).manhattanLength() <= near) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
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

// The shaped part moves and grows with the content inside the panel, and with the content scrolled.
bool ZorviMenuPanel::eventFilter(QObject* watched, QEvent* event) {
    const bool shapeMoved = (watched == shapedPart_ || watched == content_) &&
                            (event->type() == QEvent::Move || event->type() == QEvent::Resize);
    if (shapeMoved) {
        placeScrollBar();
        updateMask();
    } else if (event->type() == QEvent::LayoutRequest && watched != shapedPart_ && watched != content_ &&
               isVisible() && onContentResized) {
        onContentResized();
    }
    return QWidget::eventFilter(watched, event);
}

void ZorviMenuPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeScrollBar();
    updateMask();
}

// Clear of the rounded corners, over the right margin of the panel's visible shape.
void ZorviMenuPanel::placeScrollBar() {
    if (!scrollBar_)
        return;
    const int inset = int(cornerRadius_);
    const int right = int(shape().boundingRect().right());
    scrollBar_->setGeometry(right - scrollBarWidth - scrollBarInset, inset, scrollBarWidth,
                            std::max(0, height() - 2 * inset));
}

// Without a compositor everything outside the shape is cut away; with one it is simply left unpainted.
void ZorviMenuPanel::updateMask() {
    if (!translucent_)
        setMask(QRegion(shape().toFillPolygon().toPolygon()));
}

// Under the prompt's glass card too, so that its texts read as well over any window as over none.
void ZorviMenuPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape(), SystemColor::windowBackground());
}
