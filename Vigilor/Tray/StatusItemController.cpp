#include "StatusItemController.h"

#include "Foundation/SystemLog.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Monitor/CoachingState.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/NudgeLevel.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QRandomGenerator>
#include <QWindow>

#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace {

using ZorviMenuIcon::Badge;
using ZorviMenuIcon::EyeState;

// The redraw rides on the monitor's own half-second tick whenever the tick changes something; a
// quiet monitor leaves it to the icon timer, which waits a little longer so as not to race the tick.
constexpr int iconTimerSlack = 50;
constexpr int iconTickTolerance = 50;
constexpr int keyboardRetryMilliseconds = 50;

double randomBlinkDelay() {
    return 4 + QRandomGenerator::global()->bounded(5.0);
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

Badge badgeFor(const VigilorMonitor& m, bool walkDue, bool liveState) {
    const CoachingSummaries& coaching = m.coachingSummaries();
    if (m.isPaused())
        return Badge::paused;
    if (m.phase() == MonitorPhase::blocked)
        return Badge::blocked;
    if (coaching.isSnoozed())
        return Badge::snoozed;
    if (walkDue)
        return Badge::walkDue;
    if (liveState && (coaching.distanceLevel() == NudgeLevel::presenceCheck ||
                      coaching.focusLevel() == NudgeLevel::presenceCheck ||
                      coaching.wellnessStatus() != WellnessStatus::onTrack))
        return Badge::warningDot;
    return Badge::none;
}

// Closing a pop-up sends its ungrab, which the server carries out in its own time; a locker asked
// meanwhile could still find our grab. One round trip has the server carry out everything sent so far.
void syncWithXServer() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection)
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool isWalkDue(const VigilorMonitor& m) {
    return m.config().walkBreakEnabled && m.coachingSummaries().walkBreakRemaining() <= 0;
}

QString titleWord(const VigilorMonitor& m) {
    const CoachingSummaries& coaching = m.coachingSummaries();
    if (coaching.isSnoozed())
        return QStringLiteral("Snoozed");
    if (coaching.eyeBreakRemaining() <= 0 || coaching.walkBreakRemaining() <= 0)
        return coaching.walkBreakRemaining() <= 0 ? QStringLiteral("Walk") : QStringLiteral("Eyes");
    return qs(m.statusSummaries().menuTitle());
}

} // namespace

StatusItemController::IconPresentation StatusItemController::iconPresentation(const VigilorMonitor& m,
                                                                              EyeState eyeState,
                                                                              bool pulseFrame,
                                                                              bool reduceMotion) {
    const VigilorConfig& config = m.config();
    const CoachingSummaries& coaching = m.coachingSummaries();
    const bool live = config.menuBarFeedbackStyle != MenuBarFeedbackStyle::staticIcon;
    const bool breakDue = coaching.eyeBreakRemaining() <= 0 || coaching.walkBreakRemaining() <= 0;
    const bool walkDue = isWalkDue(m);
    IconPresentation p;
    p.pulses = config.visualNudgesEnabled && config.pulseMenuBarWhenDue && !coaching.isSnoozed() &&
               breakDue && !m.isPaused();
    p.face.eyeState = eyeState;
    p.face.facePresent = live ? m.cameraPresence().facePresent() : true;
    p.face.watchPresent = live && m.companion().watchPresent();
    p.face.isLookingAway = live && m.cameraPresence().isLookingAway();
    p.face.paused = m.isPaused();
    p.face.badge = badgeFor(m, walkDue, live);
    p.face.opacity = p.pulses && !reduceMotion && pulseFrame ? 0.42 : 1.0;

    const QString separator = QStringLiteral(" \u2014 ");
    if (coaching.isSnoozed()) {
        const int minutes = int(std::ceil(coaching.snoozeRemaining() / 60));
        p.toolTip = QStringLiteral("Zorvi") + separator + QStringLiteral("snoozed for %1m").arg(minutes);
    } else if (walkDue) {
        p.toolTip = QStringLiteral("Zorvi") + separator + QStringLiteral("walk due");
    } else {
        p.toolTip = QStringLiteral("Zorvi");
    }
    // A tray shows no text beside its icon: the live label's word heads the tooltip instead.
    if (config.menuBarFeedbackStyle == MenuBarFeedbackStyle::liveLabel) {
        p.title = titleWord(m);
        p.toolTip = p.title + QLatin1Char('\n') + p.toolTip;
    }
    return p;
}

QString StatusItemController::accessibilityLabel(const VigilorMonitor& m) {
    const QString start = m.coachingSummaries().isSnoozed() ? QStringLiteral("Zorvi snoozed. ")
                          : isWalkDue(m)                    ? QStringLiteral("Zorvi walk due. ")
                                                            : QStringLiteral("Zorvi ");
    return start + qs(m.statusSummaries().readinessSummary());
}

EyeState StatusItemController::calculateEyeState(const VigilorMonitor& m, bool reduceMotion,
                                                 bool iconOnScreen, BlinkSchedule& s, Date now,
                                                 const std::function<double()>& blinkDelay) {
    if (m.isPaused())
        return EyeState::rest;
    if (m.cameraPresence().isLookingAway())
        return EyeState::glance;
    if (!m.cameraPresence().facePresent() && m.cameraPresence().secondsSinceFace() > 0)
        return reduceMotion ? EyeState::normal : EyeState::alert;
    if (reduceMotion || !iconOnScreen)
        return EyeState::normal;
    if (s.blinkStartTime) {
        if (now.timeIntervalSince(*s.blinkStartTime) < blinkDuration) {
            s.eyeState = EyeState::blink;
            return EyeState::blink;
        }
        s.blinkStartTime.reset();
    }
    if (now.timeIntervalSince(s.nextBlinkTime) >= 0) {
        s.blinkStartTime = now;
        s.eyeState = EyeState::blink;
        s.nextBlinkTime = now.addingTimeInterval(blinkDelay());
        return EyeState::blink;
    }
    return EyeState::normal;
}

bool StatusItemController::isEchoOfClose(std::optional<qint64> hiddenAt, qint64 now) {
    return hiddenAt && now - *hiddenAt >= 0 && now - *hiddenAt < closeEchoMilliseconds;
}

StatusItemController::StatusItemController(std::shared_ptr<VigilorMonitor> monitor)
    : StatusItemController(std::move(monitor), Environment()) {
}

StatusItemController::StatusItemController(std::shared_ptr<VigilorMonitor> monitor, Environment environment)
    : monitor_(std::move(monitor))
    , environment_(std::move(environment)) {
    if (!environment_.blinkDelay)
        environment_.blinkDelay = randomBlinkDelay;
    steadyClock_.start();
    blink_.nextBlinkTime = environment_.clock->now().addingTimeInterval(environment_.blinkDelay());

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, &StatusItemController::monitorDidChange);
    subscription_ = monitor_->subscribe([this] {
        if (!refreshTimer_.isActive())
            refreshTimer_.start();
    });
    monitor_->setSessionWillLock([this] { closeGrabbingPopups(); });

    // On X the icon docks whenever a tray comes (a desktop's panel often starts after the programs of
    // the session), so it is made there even before one is seen; elsewhere only where a tray is.
    const bool trayNow = QSystemTrayIcon::isSystemTrayAvailable();
    if (trayNow || QGuiApplication::platformName() == QLatin1String("xcb"))
        createTrayIcon();
    if (!trayNow && !notifierItem_) {
        static std::atomic<bool> reported = false;
        if (!reported.exchange(true))
            systemLog("interface", trayIcon_ ? "No system tray yet: the status icon shows once one starts"
                                             : "No system tray: status icon unavailable");
    }
    updateIcon();
    iconTimer_.setSingleShot(true);
    iconTimer_.setTimerType(Qt::PreciseTimer);
    connect(&iconTimer_, &QTimer::timeout, this, &StatusItemController::updateIcon);
    iconTimer_.start(iconInterval + iconTimerSlack);
    scheduleScreenshotStage();
    connect(qApp, &QApplication::focusWindowChanged, this, &StatusItemController::keyboardMoved);
    keyboardTimer_.setInterval(keyboardRetryMilliseconds);
    connect(&keyboardTimer_, &QTimer::timeout, this, &StatusItemController::takeKeyboard);
    // The prompt's first value, false included, is delivered once shortly after the start.
    refreshTimer_.start();
}

StatusItemController::~StatusItemController() {
    monitor_->unsubscribe(subscription_);
    monitor_->setSessionWillLock(nullptr);
    removeMenuMonitors();
    escapeMonitor_ = false;
    updateKeyFilter();
    if (menuPanel_) {
        menuPanel_->onHidden = nullptr;
        delete menuPanel_.data();
    }
    // A window still shown hides as it is destroyed, and the controller, half gone by then, must not
    // take that for the user closing it.
    for (QWidget* window : {mainWindow_.get(), settingsWindow_.get()})
        if (window)
            window->removeEventFilter(this);
}

// A Status Notifier host gets our own item, which tells it the state in the properties it reads; an
// XEmbed tray gets Qt's icon. A click in an XEmbed tray reaches the icon whatever the button, and
// toggles the panel. A Status Notifier host calls the item for a left click, and some for a right click
// (KDE), but others show only the menu the item exports (Xfce's panel, GNOME's AppIndicator extension):
// it holds the panel's main ways, so that every click on every host opens something of Zorvi's.
void StatusItemController::createTrayIcon() {
    if (StatusNotifierItem::hostPresent(QDBusConnection::sessionBus())) {
        notifierItem_ = std::make_unique<StatusNotifierItem>(QDBusConnection::sessionBus(), trayMenu());
        notifierItem_->onActivate = [this](const StatusNotifierItem::Activation& a) { activatedFromTray(a); };
        return;
    }
    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A double click's first click has toggled the panel already: taken as a second
                // toggle, it would close what that click opened.
                if (reason == QSystemTrayIcon::MiddleClick || reason == QSystemTrayIcon::Unknown ||
                    reason == QSystemTrayIcon::DoubleClick)
                    return;
                lastClickPoint_ = QCursor::pos();
                clickTime_.reset();
                toggleMenuPanel();
            });
}

std::vector<StatusNotifierItem::MenuEntry> StatusItemController::trayMenu() {
    return {
        {QStringLiteral("Open Zorvi"),
         [this](uint32_t timestamp) {
             lastClickPoint_.reset(); // chosen from the host's menu, whose place says nothing
             clickTime_ = timestamp ? std::optional(timestamp) : std::nullopt;
             if (!menuPanel_ || !menuPanel_->isVisible())
                 showMenuPanel();
         }},
        {QStringLiteral("Open the dashboard"), [this](uint32_t) { showMainWindow(); }},
        {QStringLiteral("Settings"), [this](uint32_t) { showSettingsWindow(); }},
        {QString(), nullptr},
        {QStringLiteral("Quit Zorvi"), [](uint32_t) { QCoreApplication::quit(); }},
    };
}

// The host says where it was clicked in its own pixels (Qt's are larger by the scale factor), or
// nothing (0, 0): then the pointer says.
void StatusItemController::activatedFromTray(const StatusNotifierItem::Activation& a) {
    const double scale = qApp->devicePixelRatio();
    lastClickPoint_ = a.point.isNull() ? QCursor::pos() : QPoint(int(a.point.x() / scale), int(a.point.y() / scale));
    clickTime_ = a.timestamp;
    toggleMenuPanel();
}

void StatusItemController::monitorDidChange() {
    const bool visible = monitor_->breakCoach().breakHUDVisible();
    if (deliveredBreakHUDVisible_ != visible) {
        deliveredBreakHUDVisible_ = visible;
        setBreakHUD(visible);
    }
    if (sinceIconUpdate_.isValid() && sinceIconUpdate_.elapsed() >= iconInterval - iconTickTolerance)
        updateIcon();
}

void StatusItemController::scheduleScreenshotStage() {
    if (!qEnvironmentVariableIsSet(screenshotStageVariable))
        return;
    const QString stage = qEnvironmentVariable(screenshotStageVariable);
    QTimer::singleShot(2000, this, [this, stage] {
        if (stage == QLatin1String("menu") || stage == QLatin1String("settings")) {
            if (hasTrayIcon())
                showMenuPanel(false);
        } else if (stage == QLatin1String("dashboard")) {
            showMainWindow();
        }
    });
}

bool StatusItemController::reduceMotion() const {
    return ZorviAccessibility::shared().reduceMotion();
}

void StatusItemController::updateIcon() {
    pulseFrame_ = !pulseFrame_;
    // It blinks only where it is redrawn in place (an XEmbed icon on screen), not over the bus.
    const bool onScreen = trayIcon_ && trayIcon_->isVisible();
    const EyeState eyes = calculateEyeState(*monitor_, reduceMotion(), onScreen, blink_,
                                            environment_.clock->now(), environment_.blinkDelay);
    pushIcon(iconPresentation(*monitor_, eyes, pulseFrame_, reduceMotion()));
    sinceIconUpdate_.start();
    iconTimer_.start(iconInterval + iconTimerSlack);
    closePopupsLeftIdle(); // on the icon's pace, which runs also while the monitor is paused
}

void StatusItemController::closePopupsLeftIdle() {
    if (!QApplication::activePopupWidget())
        return;
    const std::optional<double> idle = monitor_->knownInputIdleSeconds();
    if (idle && *idle >= popupIdleCloseSeconds)
        closeGrabbingPopups();
}

void StatusItemController::closeGrabbingPopups() {
    bool closed = false;
    if (menuPanel_ && menuPanel_->isVisible() && menuPanel_->hidesOnDeactivate()) {
        closeMenuPanel();
        closed = true;
    }
    // Any other pop-up (a combo box's list, say) grabs too; closing one may uncover the one under it.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        closed = true;
        if (QApplication::activePopupWidget() == popup)
            break; // it would not close
    }
    if (closed)
        syncWithXServer();
}

// The tray gets a new picture or text only when it differs from what it shows.
void StatusItemController::pushIcon(const IconPresentation& p) {
    face_ = p.face;
    if (notifierItem_) {
        pushToStatusNotifier(p);
        return;
    }
    if (!trayIcon_) {
        toolTip_ = p.toolTip;
        return;
    }
    if (pushedFace_ != p.face) {
        pushedFace_ = p.face;
        trayIcon_->setIcon(drawnFaces_.icon(p.face, QApplication::palette().color(QPalette::WindowText)));
        if (!trayIcon_->isVisible())
            trayIcon_->show();
    }
    if (toolTip_ != p.toolTip) {
        toolTip_ = p.toolTip;
        trayIcon_->setToolTip(toolTip_);
    }
}

// A host told of a new picture or label reads them again; it is told at most once a second, of what
// the icon shows at that redraw: a change undone meanwhile (a pulse frame) costs nothing.
void StatusItemController::pushToStatusNotifier(const IconPresentation& p) {
    const QString label = accessibilityLabel(*monitor_);
    const Date now = environment_.clock->now();
    const bool changed = pushedFace_ != p.face || pushedAccessibilityLabel_ != label;
    if (changed && (!iconSentAt_ || now.timeIntervalSince(*iconSentAt_) >= statusNotifierIconInterval)) {
        pushedFace_ = p.face;
        pushedAccessibilityLabel_ = label;
        iconSentAt_ = now;
        notifierItem_->setIcon(drawnFaces_.icon(p.face, QApplication::palette().color(QPalette::WindowText)),
                               label);
    }
    if (toolTip_ != p.toolTip) {
        toolTip_ = p.toolTip;
        notifierItem_->setToolTip(toolTip_);
    }
}

void StatusItemController::toggleMenuPanel() {
    if (!hasTrayIcon())
        return;
    if (menuPanel_ && menuPanel_->isVisible()) {
        // A double click's second click: the first opened the panel, which stays.
        if (!menuPanel_->withinDoubleClickOfShow())
            closeMenuPanel();
        return;
    }
    if (isEchoOfClose(menuPanelHiddenAt_, steadyClock_.elapsed())) {
        menuPanelHiddenAt_.reset();
        return;
    }
    showMenuPanel();
}

void StatusItemController::closeMenuPanel() {
    if (menuPanel_) {
        closingMenuPanel_ = true;
        menuPanel_->hide();
        closingMenuPanel_ = false;
    }
    removeMenuMonitors();
}

// Escape goes to whichever of the two is open, the menu first, and no further.
bool StatusItemController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (menuKeyMonitor_) {
            closeMenuPanel();
            return true;
        }
        if (escapeMonitor_) {
            setBreakHUD(false);
            return true;
        }
    }
    if (event->type() == QEvent::Hide && watched->isWidgetType())
        rememberFrame(*static_cast<QWidget*>(watched));
    // Minimised windows hide spontaneously and stay.
    if (event->type() == QEvent::Hide && !event->spontaneous()) {
        if (watched == settingsWindow_.get())
            settingsWindowDidClose();
        else if (watched == mainWindow_.get())
            letWindowGo(mainWindow_);
    }
    return QObject::eventFilter(watched, event);
}

void StatusItemController::installMenuMonitors() {
    menuKeyMonitor_ = true;
    updateKeyFilter();
}

void StatusItemController::removeMenuMonitors() {
    menuKeyMonitor_ = false;
    updateKeyFilter();
}

void StatusItemController::updateKeyFilter() {
    const bool wanted = menuKeyMonitor_ || escapeMonitor_;
    if (wanted == keyFilterInstalled_ || !qApp)
        return;
    keyFilterInstalled_ = wanted;
    if (wanted)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}
