#pragma once

#include <QString>
#include <QTimer>

#include <memory>

class QMenu;
class QSystemTrayIcon;
class VigilorMonitor;

// The tray icon: the monitor's current decision as its tooltip, and a menu to quit. Without a system
// tray (no tray host running, or no display) there is no icon; the tooltip text is still kept.
//
// The monitor announces a change before making it, so the refresh waits for the next turn of the
// event loop, which also folds any number of changes in one turn into one refresh.
class StatusItemController {
public:
    explicit StatusItemController(std::shared_ptr<VigilorMonitor> monitor);
    ~StatusItemController();
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    const QString& toolTip() const { return toolTip_; }
    bool hasTrayIcon() const { return trayIcon_ != nullptr; }

private:
    void createTrayIcon();
    void refresh();

    std::shared_ptr<VigilorMonitor> monitor_;
    int subscription_ = 0;
    QTimer refreshTimer_;
    QString toolTip_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_; // declared after the menu it shows, so it goes first
};
