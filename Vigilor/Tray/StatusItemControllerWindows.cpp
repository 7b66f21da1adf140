// The windows that open from the tray item: the menu panel, the break prompt and the two content
// windows (dashboard and settings).
#include "StatusItemController.h"

#include "Platform/Linux/X11Compositor.h"
#include "Vigilor/Interface/BreakHUDView.h"
#include "Vigilor/Interface/MenuContentView.h"
#include "Vigilor/Interface/StatusWindowView.h"
#include "Vigilor/Interface/WellnessWrapCard.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Settings/SettingsView.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

#include <malloc.h>

namespace {

constexpr QSize dashboardFallbackSize(560, 620);
constexpr QSize settingsFallbackSize(740, 760);
constexpr int settingsFadeMilliseconds = 220;

QScreen* screenAt(const QPointF& point) {
    QScreen* screen = QGuiApplication::screenAt(point.toPoint());
    return screen ? screen : QGuiApplication::primaryScreen();
}

// `owner` or a window of its own: its sheets, and the dialogs opened for it (such as the update dialog
// that its "Check now" asked for).
bool isOwnedBy(const QWindow* window, const QWidget& owner) {
    for (const QWindow* w = window; w; w = w->transientParent())
        if (w == owner.windowHandle())
            return true;
    return false;
}

// While the user drags a window or its edge, the window manager holds the keyboard, yet the window
// stays the active one: it says so on the root window.
bool isMovedOrResized(const QWidget& window) {
    return QGuiApplication::platformName() == QLatin1String("xcb") && x11ActiveWindow() == window.winId();
}

// A window the user asks for comes to the desktop the user is on, also when it is already open on
// another one, and takes the keyboard.
void bringForward(QWidget& window) {
    window.show();
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        x11MoveToCurrentDesktop(window.winId());
    window.raise();
    window.activateWindow();
}

} // namespace

std::optional<QRectF> StatusItemController::trayAnchor() const {
    if (trayIcon_) {
        const QRect icon = trayIcon_->geometry();
        if (icon.isValid() && !icon.isEmpty())
            return QRectF(icon);
    }
    if (!lastClickPoint_)
        return std::nullopt;
    const QPointF point(*lastClickPoint_);
    const QScreen* screen = screenAt(point);
    return screen ? MenuPanelGeometry::clickAnchor(point, QRectF(screen->availableGeometry())) : std::nullopt;
}

// The tray icon, else the pointer where the click happened on the desktop's panel, else the corner of
// the primary screen on the side of the desktop's panel.
MenuPanelGeometry::Placement StatusItemController::menuPlacement() const {
    const auto anchor = trayAnchor();
    const QScreen* screen = trayScreen();
    if (!screen)
        return MenuPanelGeometry::placement(anchor, QRectF(), QRectF());
    return MenuPanelGeometry::placement(anchor, QRectF(screen->geometry()),
                                        QRectF(screen->availableGeometry()));
}

// The screen of the tray icon (or of the click on it), else the primary one.
QScreen* StatusItemController::trayScreen() const {
    const auto anchor = trayAnchor();
    return anchor ? screenAt(anchor->center()) : QGuiApplication::primaryScreen();
}

void StatusItemController::showMenuPanel(bool hidesOnDeactivate) {
    if (menuPanel_) {
        menuPanel_->onHidden = nullptr;
        menuPanel_->deleteLater();
    }
    const QPointer<StatusItemController> self(this);
    MenuContentActions actions{
        [self] {
            if (self)
                self->showMainWindow();
        },
        [self] {
            if (self)
                self->showSettingsWindow();
        },
        [self] {
            if (self)
                self->closeMenuPanel();
        },
        [] { QCoreApplication::quit(); },
    };
    ZorviAccessibility::shared().refreshCompositor();
    auto* content = new MenuContentView(monitor_, std::move(actions));
    menuPanel_ =
        new ZorviMenuPanel(hidesOnDeactivate ? ZorviMenuPanel::Kind::menu : ZorviMenuPanel::Kind::pinnedMenu,
                           content, MenuPanelGeometry::cornerRadius);
    menuPanel_->setAccessibleName(QStringLiteral("Zorvi"));
    menuPanel_->onContentResized = [this] { fitMenuPanel(); };
    menuPanel_->onHidden = [this] { menuPanelDidHide(); };
    // Where the pointer is, not where the host says: some hosts give the icon's corner.
    menuPanel_->setOpeningClick(lastClickPoint_ ? std::optional(QCursor::pos()) : std::nullopt);
    menuPlacement_ = menuPlacement();
    fitMenuPanel();
    menuPanel_->show();
    menuPanel_->raise();
    // A window asked to activate with an old time would only be marked as wanting attention.
    if (!ZorviMenuPanel::menuIsWindow() || !clickTime_)
        menuPanel_->activateWindow();
    removeMenuMonitors();
    installMenuMonitors();
    if (hidesOnDeactivate) {
        keyboardTries_ = 0;
        keyboardTimer_.start();
    }
}

// A pop-up holds the keyboard and the pointer, by which it hears Escape and a press elsewhere. A
// desktop's panel may still hold them for its own click when the panel opens (a Status Notifier host
// calls us while it does): they are asked for again until they are ours. A menu that is a window is
// activated with the time of the click once it is on the screen.
void StatusItemController::takeKeyboard() {
    QWindow* window = menuPanel_ && menuPanel_->isVisible() ? menuPanel_->windowHandle() : nullptr;
    if (!window || ++keyboardTries_ > keyboardTriesAtMost) {
        keyboardTimer_.stop();
    } else if (window->isExposed() && ZorviMenuPanel::menuIsWindow()) {
        if (clickTime_)
            x11Activate(window->winId(), *clickTime_);
        keyboardTimer_.stop();
    } else if (window->isExposed() && window->setKeyboardGrabEnabled(true) && window->setMouseGrabEnabled(true)) {
        keyboardTimer_.stop();
    }
}

// Sized to the content within the screen's room, at every show and whenever the content grows or
// shrinks while open; the edge next to the icon stays where it is.
void StatusItemController::fitMenuPanel() {
    if (!menuPanel_)
        return;
    const double fitting = menuPanel_->fittingSize(MenuPanelGeometry::width).height();
    const double height = MenuPanelGeometry::height(menuPlacement_, fitting);
    const QRectF frame = MenuPanelGeometry::frame(menuPlacement_, {MenuPanelGeometry::width, height});
    if (menuPanel_->geometry() != frame.toRect())
        menuPanel_->setGeometry(frame.toRect());
}

// However the panel went (Escape, a press outside, the tray, an action), its monitors go with it. A
// panel that hid itself remembers when, so that the tray click that did it does not reopen it.
void StatusItemController::menuPanelDidHide() {
    removeMenuMonitors();
    if (!closingMenuPanel_)
        menuPanelHiddenAt_ = steadyClock_.elapsed();
}

void StatusItemController::setBreakHUD(bool visible) {
    if (!visible) {
        if (breakHUDPanel_)
            breakHUDPanel_->hide();
        escapeMonitor_ = false;
        updateKeyFilter();
        return;
    }
    // Made again when a compositor started or stopped since: for an alpha channel, or for a shape.
    ZorviAccessibility& accessibility = ZorviAccessibility::shared();
    accessibility.refreshCompositor();
    if (breakHUDPanel_ && breakHUDPanel_->translucent() == accessibility.reduceTransparency())
        breakHUDPanel_.reset();
    if (!breakHUDPanel_)
        breakHUDPanel_ = makeBreakHUDPanel();
    positionBreakHUD(*breakHUDPanel_);
    breakHUDPanel_->show();
    breakHUDPanel_->raise();
    escapeMonitor_ = true;
    updateKeyFilter();
}

std::unique_ptr<ZorviMenuPanel> StatusItemController::makeBreakHUDPanel() {
    auto* view = new BreakHUDView(monitor_);
    auto panel = std::make_unique<ZorviMenuPanel>(ZorviMenuPanel::Kind::breakPrompt, view, 24.0);
    panel->setShapedPart(view->card()); // the panel is larger than the card: only the card shows
    panel->setWindowTitle(QStringLiteral("Zorvi break"));
    panel->onContentResized = [this] {
        if (breakHUDPanel_)
            positionBreakHUD(*breakHUDPanel_);
    };
    return panel;
}

// Measured at every show and whenever its content changes while shown (the walk prompt is taller),
// never below 260 × 260, centred 24 under the top of the tray's screen.
void StatusItemController::positionBreakHUD(ZorviMenuPanel& panel) {
    const QSizeF size = BreakPromptGeometry::size(panel.fittingSize(BreakPromptGeometry::minimumSide));
    const auto anchor = trayAnchor();
    const QScreen* screen = anchor ? screenAt(anchor->center()) : screenAt(QCursor::pos());
    if (!screen) {
        panel.resize(size.toSize());
        return;
    }
    const QRect frame = BreakPromptGeometry::frame(
        screen->availableGeometry(), size.toSize(),
        BreakPromptGeometry::topGapOn(qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
    if (panel.geometry() != frame)
        panel.setGeometry(frame);
}

std::unique_ptr<QWidget> StatusItemController::makeContentWindow(const QString& title, QSize fallbackSize,
                                                                 QWidget* rootView) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    // The window keeps to the least and greatest sizes its view allows.
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addWidget(rootView);
    layout->activate(); // the least and greatest sizes hold from here on, for every resize
    const QSize fitting = window->sizeHint();
    window->resize(fitting.width() > 1 ? fitting.width() : fallbackSize.width(),
                   fitting.height() > 1 ? fitting.height() : fallbackSize.height());
    return window;
}

void StatusItemController::showMainWindow() {
    closeMenuPanel();
    if (!mainWindow_) {
        mainWindow_ =
            makeContentWindow(QStringLiteral("Zorvi"), dashboardFallbackSize,
                              new StatusWindowView(monitor_, SystemClock::shared(), WellnessWrapCard::share));
        mainWindow_->installEventFilter(this);
    }
    placeContentWindow(*mainWindow_, mainWindowFrame_);
    bringForward(*mainWindow_);
}

void StatusItemController::showSettingsWindow() {
    closeMenuPanel();
    if (!settingsWindow_)
        settingsWindow_ = makeSettingsWindow();
    presentSettingsWindow();
}

// Built at each opening, on the page as the last window left it. Its first screenful is built here,
// the rest after its first frame (SettingsView).
std::unique_ptr<QWidget> StatusItemController::makeSettingsWindow() {
    auto window = makeContentWindow(QStringLiteral("Zorvi Settings"), settingsFallbackSize,
                                    new SettingsView(monitor_, {environment_.makePairingService}, settingsPage_));
    window->installEventFilter(this);
    return window;
}

// Where it was put away, else centred on the tray's screen; it fades in unless the user reduces motion
// or nothing composites.
void StatusItemController::presentSettingsWindow() {
    placeContentWindow(*settingsWindow_, settingsWindowFrame_);
    ZorviAccessibility& accessibility = ZorviAccessibility::shared();
    accessibility.refreshCompositor();
    const bool fade = !accessibility.reduceMotion() && accessibility.compositorRunning();
    settingsWindow_->setWindowOpacity(fade ? 0.0 : 1.0);
    bringForward(*settingsWindow_);
    if (fade) {
        auto* animation =
            new QPropertyAnimation(settingsWindow_.get(), "windowOpacity", settingsWindow_.get());
        animation->setDuration(settingsFadeMilliseconds);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

// A content window comes back where the user last saw it, at that size: the first time centred on the
// tray's screen, always whole inside the work area of its screen.
void StatusItemController::placeContentWindow(QWidget& window, const std::optional<QRect>& lastFrame) {
    WindowPlacing::place(window, WindowPlacing::request(window, trayScreen(), lastFrame));
}

// Kept here, not in the window, so that it outlives the window.
void StatusItemController::rememberFrame(const QWidget& window) {
    if (&window == mainWindow_.get())
        mainWindowFrame_ = window.frameGeometry();
    else if (&window == settingsWindow_.get())
        settingsWindowFrame_ = window.frameGeometry();
}

// The settings window resigns the keyboard when it leaves the window and the windows of its own; a
// menu that is a window closes when it loses the keyboard.
void StatusItemController::keyboardMoved(QWindow* window) {
    const QPointer<QWindow> before = std::exchange(keyboardWindow_, window);
    if (settingsWindow_ && isOwnedBy(before, *settingsWindow_) && !isOwnedBy(window, *settingsWindow_))
        settingsWindowDidResignKey();
    if (menuPanel_ && menuPanel_->isVisible() && menuPanel_->hidesOnDeactivate() && before &&
        before == menuPanel_->windowHandle() && window != before)
        closeMenuPanel();
}

// Losing the keyboard hides the settings window, which closes it, unless the window manager holds it
// while the user moves the window; nothing hides it while the screenshot stage is set.
// Where the keyboard went is known only once the change is complete, hence the turn of the event loop.
void StatusItemController::settingsWindowDidResignKey() {
    if (qEnvironmentVariableIsSet(screenshotStageVariable))
        return;
    QTimer::singleShot(0, this, [this] {
        if (!settingsWindow_ || !settingsWindow_->isVisible())
            return;
        // The menu panel opened from the tray takes the keyboard without closing anything.
        const QWindow* now = QGuiApplication::focusWindow();
        if (isOwnedBy(now, *settingsWindow_) || (!now && isMovedOrResized(*settingsWindow_)) ||
            (menuPanel_ && now && now == menuPanel_->windowHandle()))
            return;
        settingsWindow_->hide();
    });
}

// A closed settings window goes, its page remembered for the next one; one with a sheet up is only
// hidden, since the sheet's state (a pairing code, a device search) would go with it.
void StatusItemController::settingsWindowDidClose() {
    const auto* view = settingsWindow_->findChild<SettingsView*>(QStringLiteral("settings"));
    if (view->content()->isPresentingSheet())
        return;
    settingsPage_ = view->pageState();
    letWindowGo(settingsWindow_);
}

// Closed windows are not kept: the next request builds a new one. Deleted on the next turn of the
// event loop, after the event that closed it; on the turn after, once its children are gone too, the
// heap's free pages go back to the system, which the allocator would otherwise keep (some 11 MiB after
// the settings window).
void StatusItemController::letWindowGo(std::unique_ptr<QWidget>& window) {
    QWidget* closed = window.release();
    connect(closed, &QObject::destroyed, [] { QTimer::singleShot(0, [] { malloc_trim(0); }); });
    closed->deleteLater();
}
