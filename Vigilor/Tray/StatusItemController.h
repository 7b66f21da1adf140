#pragma once

#include "Foundation/Clock.h"
#include "Vigilor/Design/ZorviMenuIcon.h"
#include "Vigilor/Interface/ZorviMenuPanel.h"
#include "Vigilor/Settings/SettingsPageState.h"
#include "Vigilor/Tray/StatusNotifierItem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class CompanionPairingService;
class QScreen;
class QWidget;
class QWindow;
class VigilorMonitor;

// The tray item and everything that opens from it: the drawn icon, redrawn every half second from the
// monitor's state; the menu panel that a click (left or right, there is no context menu) toggles; the
// dashboard and settings windows, built when asked for and let go when closed; and the break prompt
// that follows the monitor's `breakHUDVisible`.
// Where a Status Notifier host shows items the item is ours on the session bus (StatusNotifierItem);
// elsewhere Qt's tray icon docks in an XEmbed tray. Without either there is no icon and nothing opens
// from it; the rest still works. Before the
// monitor asks for a lock, and after a while without input, the pop-ups close (closeGrabbingPopups).
//
// The monitor announces a change before making it, so what follows from a change is read on the next
// turn of the event loop, which also folds any number of changes in one turn into one refresh.
class StatusItemController : public QObject {
public:
    static constexpr const char* screenshotStageVariable = "ZORVI_SCREENSHOT_STAGE";
    static constexpr int iconInterval = 500;      // milliseconds between redraws
    static constexpr double blinkDuration = 0.12; // seconds
    static constexpr int closeEchoMilliseconds = 300;
    // A Status Notifier host reads the whole picture again at each new icon: it is told at most this
    // often (seconds), and never of a blink.
    static constexpr double statusNotifierIconInterval = 1.0;
    // A pop-up of ours holds the keyboard and the pointer, and no screen locker can lock past that, the
    // desktop's own idle lock included: one left this long without input closes, short of the least
    // idle delay desktops offer (a minute).
    static constexpr double popupIdleCloseSeconds = 45;

    struct Environment {
        const Clock* clock = &SystemClock::shared();
        // Seconds until the next blink, drawn uniformly from 4 to 9.
        std::function<double()> blinkDelay;
        // A new phone pairing service for each pairing the settings window starts.
        std::function<std::shared_ptr<CompanionPairingService>()> makePairingService = {};
    };

    // What one redraw of the icon shows and says.
    struct IconPresentation {
        ZorviMenuIcon::Face face;
        bool pulses = false;
        QString title; // the liveLabel word; empty for the other styles
        QString toolTip;
    };
    static IconPresentation iconPresentation(const VigilorMonitor& monitor, ZorviMenuIcon::EyeState eyeState,
                                             bool pulseFrame, bool reduceMotion);
    // What the icon says to assistive technology: a Status Notifier host reads it (IconAccessibleDesc);
    // an XEmbed tray takes no such text (the tooltip is what it reads out).
    static QString accessibilityLabel(const VigilorMonitor& monitor);

    // The blink bookkeeping of the icon's eye state.
    struct BlinkSchedule {
        std::optional<Date> blinkStartTime;
        Date nextBlinkTime;
        ZorviMenuIcon::EyeState eyeState = ZorviMenuIcon::EyeState::normal;
    };
    static ZorviMenuIcon::EyeState calculateEyeState(const VigilorMonitor& monitor, bool reduceMotion,
                                                     bool iconOnScreen, BlinkSchedule& schedule, Date now,
                                                     const std::function<double()>& blinkDelay);
    // A tray click that arrives this soon after the panel hid itself was the click that hid it.
    static bool isEchoOfClose(std::optional<qint64> hiddenAtMilliseconds, qint64 nowMilliseconds);

    explicit StatusItemController(std::shared_ptr<VigilorMonitor> monitor);
    StatusItemController(std::shared_ptr<VigilorMonitor> monitor, Environment environment);
    ~StatusItemController() override;
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    bool hasTrayIcon() const { return trayIcon_ || notifierItem_; }
    // Where the tray shows the icon on screen; empty when the tray does not say.
    QRect trayIconGeometry() const { return trayIcon_ ? trayIcon_->geometry() : QRect(); }
    const QString& toolTip() const { return toolTip_; }
    const ZorviMenuIcon::Face& face() const { return face_; }

    // The tray's click, whatever the button.
    void toggleMenuPanel();
    void closeMenuPanel();
    void showMenuPanel(bool hidesOnDeactivate = true);
    void showMainWindow();
    void showSettingsWindow();
    void setBreakHUD(bool visible);
    // One redraw of the icon; the icon's own pace calls it, tests may too.
    void updateIcon();

    ZorviMenuPanel* menuPanel() const { return menuPanel_; }
    ZorviMenuPanel* breakHUDPanel() const { return breakHUDPanel_.get(); }
    QWidget* mainWindow() const { return mainWindow_.get(); }
    QWidget* settingsWindow() const { return settingsWindow_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createTrayIcon();
    void monitorDidChange();
    // Closes the menu panel and every other pop-up, and sees the X server let go of their grabs.
    void closeGrabbingPopups();
    void closePopupsLeftIdle();
    void scheduleScreenshotStage();
    void pushIcon(const IconPresentation& presentation);
    bool reduceMotion() const;

    // The menu panel.
    std::optional<QRectF> trayAnchor() const;
    QScreen* trayScreen() const;
    MenuPanelGeometry::Placement menuPlacement() const;
    void fitMenuPanel();
    void menuPanelDidHide();
    void installMenuMonitors();
    void removeMenuMonitors();
    void takeKeyboard();
    // The menu a Status Notifier host shows for the item, and a click the host hands on.
    std::vector<StatusNotifierItem::MenuEntry> trayMenu();
    void activatedFromTray(const StatusNotifierItem::Activation& activation);
    void pushToStatusNotifier(const IconPresentation& presentation);
    void updateKeyFilter();

    // The break prompt.
    std::unique_ptr<ZorviMenuPanel> makeBreakHUDPanel();
    void positionBreakHUD(ZorviMenuPanel& panel);

    // The content windows.
    std::unique_ptr<QWidget> makeContentWindow(const QString& title, QSize fallbackSize, QWidget* rootView);
    std::unique_ptr<QWidget> makeSettingsWindow();
    void presentSettingsWindow();
    void placeContentWindow(QWidget& window, const std::optional<QRect>& lastFrame);
    void rememberFrame(const QWidget& window);
    void keyboardMoved(QWindow* window);
    void settingsWindowDidResignKey();
    void settingsWindowDidClose();
    void letWindowGo(std::unique_ptr<QWidget>& window);

    std::shared_ptr<VigilorMonitor> monitor_;
    Environment environment_;
    int subscription_ = 0;
    QTimer refreshTimer_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<StatusNotifierItem> notifierItem_;

    QPointer<ZorviMenuPanel> menuPanel_; // owned by Qt once replaced (deleted later)
    MenuPanelGeometry::Placement menuPlacement_;
    std::optional<QPoint> lastClickPoint_;
    std::optional<uint32_t> clickTime_; // the host's timestamp of the click that opens the panel
    QTimer keyboardTimer_;
    int keyboardTries_ = 0;
    static constexpr int keyboardTriesAtMost = 20;
    std::optional<qint64> menuPanelHiddenAt_;
    bool closingMenuPanel_ = false;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<QWidget> settingsWindow_;
    SettingsPageState settingsPage_; // what a new settings window restores of the last one
    // Where each content window's frame was when it was last put away.
    std::optional<QRect> mainWindowFrame_;
    std::optional<QRect> settingsWindowFrame_;
    QPointer<QWindow> keyboardWindow_; // the window that has the keyboard
    std::unique_ptr<ZorviMenuPanel> breakHUDPanel_;
    std::optional<bool> deliveredBreakHUDVisible_;

    QTimer iconTimer_;
    QElapsedTimer sinceIconUpdate_;
    bool pulseFrame_ = false;
    BlinkSchedule blink_;
    ZorviMenuIcon::Face face_;
    std::optional<ZorviMenuIcon::Face> pushedFace_;
    QString pushedAccessibilityLabel_;
    std::optional<Date> iconSentAt_; // to a Status Notifier host
    ZorviMenuIcon::DrawnFaces drawnFaces_;
    QString toolTip_;

    bool menuKeyMonitor_ = false;
    bool escapeMonitor_ = false;
    bool keyFilterInstalled_ = false;
    QElapsedTimer steadyClock_;
};
