#include "WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement {

namespace {

// Where a run of `length` starts when centred on the run [start, start + span).
int centred(int start, int span, int length) {
    return start + (span - length) / 2;
}

// The start of a run of `length` moved into [start, start + span): the near edge wins when it is
// longer.
int movedInto(int position, int length, int start, int span) {
    return std::max(std::min(position, start + span - length), start);
}

} // namespace

QRect frame(const Request& r) {
    const QSize wanted = r.lastFrame ? r.lastFrame->size() : r.content.grownBy(r.decorations);
    const QSize size = wanted.boundedTo(r.area.size());
    QPoint origin;
    if (r.lastFrame) {
        origin = r.lastFrame->topLeft();
    } else {
        const QRect over = r.over.value_or(r.area);
        origin = {centred(over.x(), over.width(), size.width()),
                  centred(over.y(), over.height(), size.height())};
    }
    return keptInside({origin, size}, r.area);
}

QRect keptInside(const QRect& frame, const QRect& area) {
    const QSize size = frame.size().boundedTo(area.size());
    return {QPoint(movedInto(frame.x(), size.width(), area.x(), area.width()),
                   movedInto(frame.y(), size.height(), area.y(), area.height())),
            size};
}

} // namespace WindowPlacement

namespace WindowPlacing {

namespace {

// A title bar and thin borders, a little larger than most window managers draw them.
constexpr QMargins guessedDecorations(4, 32, 4, 8);
std::optional<QMargins> lastSeenDecorations;

// The frame Qt knows of, once the window manager has put one around the window (while a window is
// being framed Qt may report a frame that does not yet surround it).
std::optional<QMargins> ownDecorations(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    if (outer == inner || !outer.contains(inner))
        return std::nullopt;
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

// A window without the window manager's frame (the menu panel, the break prompt).
bool isFrameless(const QWidget& window) {
    return window.windowFlags().testFlag(Qt::FramelessWindowHint);
}

// A least size larger than `content` gives way to it, in the window and in the views its layout holds
// (a layout that keeps the window to its views' least size would otherwise undo it). A window of fixed
// size stays fixed, at the smaller size.
void yieldLeastSize(QWidget& window, QSize content) {
    if (QLayout* layout = window.layout()) {
        const QSize inner = content.shrunkBy(layout->contentsMargins());
        for (int i = 0; i < layout->count(); ++i)
            if (QWidget* view = layout->itemAt(i)->widget())
                view->setMinimumSize(view->minimumSize().boundedTo(inner));
    }
    if (window.minimumSize() == window.maximumSize())
        window.setFixedSize(window.minimumSize().boundedTo(content));
    else
        window.setMinimumSize(window.minimumSize().boundedTo(content));
}

// Once the window manager has framed a window whose frame was guessed, a frame that does not lie in
// the work area is placed anew with the real decorations. Its first painting or activation comes
// after the framing; it may also move or resize.
class FrameCheck : public QObject {
public:
    static constexpr const char* name = "frameCheck";

    FrameCheck(QWidget& window, WindowPlacement::Request request)
        : QObject(&window)
        , window_(window)
        , request_(std::move(request)) {
        setObjectName(QLatin1String(name));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::WindowActivate:
        case QEvent::Move:
        case QEvent::Resize:
            break;
        default:
            return false;
        }
        const auto real = window_.isVisible() ? ownDecorations(window_) : std::nullopt;
        if (!real)
            return false;
        lastSeenDecorations = *real;
        setObjectName({});
        window_.removeEventFilter(this);
        deleteLater();
        if (!request_.area.contains(window_.frameGeometry())) {
            WindowPlacement::Request again = request_;
            again.decorations = *real;
            // Not from inside the window's own painting.
            QMetaObject::invokeMethod(
                &window_, [window = &window_, again] { place(*window, again); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget& window_;
    WindowPlacement::Request request_;
};

// Where a window lies with its frame: the frame Qt knows of, else (Qt may report a frame of a pixel or
// none for a window it has not seen framed) its content with the frame it is thought to have.
QRect knownFrame(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    return outer.contains(window.geometry()) ? outer : window.geometry().marginsAdded(decorations(window));
}

// The shown windows on `screen` that its work area no longer holds are moved and shrunk into it. A
// window the window manager does not manage (the tray icon's, docked in the tray) is not ours to move,
// nor one it fits to the area itself (maximised, full screen).
void keepInside(const QScreen& screen) {
    const QRect area = screen.availableGeometry();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->screen() != &screen ||
            (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) ||
            window->windowFlags().testFlag(Qt::BypassWindowManagerHint) ||
            area.contains(knownFrame(*window)))
            continue;
        WindowPlacement::Request request;
        request.content = window->size();
        request.decorations = decorations(*window);
        request.area = area;
        request.lastFrame = knownFrame(*window);
        place(*window, request);
    }
}

} // namespace

QMargins decorations(const QWidget& window) {
    if (isFrameless(window))
        return {};
    if (const auto own = ownDecorations(window)) {
        lastSeenDecorations = *own;
        return *own;
    }
    return lastSeenDecorations.value_or(guessedDecorations);
}

WindowPlacement::Request request(const QWidget& window, const QScreen* screen, std::optional<QRect> lastFrame,
                                 const QWidget* over) {
    WindowPlacement::Request r;
    r.content = window.size();
    r.decorations = decorations(window);
    if (lastFrame) {
        r.lastFrame = lastFrame;
        if (const QScreen* holding = QGuiApplication::screenAt(lastFrame->center()))
            screen = holding;
    } else if (over && over->isVisible()) {
        r.over = over->frameGeometry();
        if (const QScreen* holding = QGuiApplication::screenAt(r.over->center()))
            screen = holding;
    }
    r.area = screen ? screen->availableGeometry() : QRect(0, 0, 1440, 900);
    return r;
}

void place(QWidget& window, const WindowPlacement::Request& request) {
    const QRect frame = WindowPlacement::frame(request);
    const QRect content = frame.marginsRemoved(request.decorations);
    yieldLeastSize(window, content.size());
    // Given as the content's rectangle, the position is the content's whether or not Qt already knows
    // the frame; the window manager puts its frame around it.
    window.setGeometry(content);
    delete window.findChild<QObject*>(QLatin1String(FrameCheck::name), Qt::FindDirectChildrenOnly);
    if (!isFrameless(window) && !ownDecorations(window))
        new FrameCheck(window, request);
}

void keepInsideWorkAreas() {
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    const QLatin1String name("workAreaWatch");
    if (!application || application->findChild<QObject*>(name, Qt::FindDirectChildrenOnly))
        return;
    // Goes with the application, and the screens' connections with it.
    auto* watch = new QObject(application);
    watch->setObjectName(name);
    const auto follow = [watch](QScreen* screen) {
        QObject::connect(screen, &QScreen::availableGeometryChanged, watch,
                         [screen] { keepInside(*screen); });
    };
    for (QScreen* screen : QGuiApplication::screens())
        follow(screen);
    QObject::connect(application, &QGuiApplication::screenAdded, watch, follow);
}

} // namespace WindowPlacing
