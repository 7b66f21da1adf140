#include "StatusItemController.h"

#include "Foundation/SystemLog.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <atomic>

namespace {

// A filled disc, for desktops whose icon theme has no suitable symbol.
QIcon drawnIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0x7d, 0x32));
    painter.drawEllipse(QRectF(4, 4, 24, 24));
    return QIcon(pixmap);
}

QIcon statusIcon() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("security-high"));
    return themed.isNull() ? drawnIcon() : themed;
}

} // namespace

StatusItemController::StatusItemController(std::shared_ptr<VigilorMonitor> monitor)
    : monitor_(std::move(monitor)) {
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    QObject::connect(&refreshTimer_, &QTimer::timeout, &refreshTimer_, [this] { refresh(); });
    subscription_ = monitor_->subscribe([this] {
        if (!refreshTimer_.isActive())
            refreshTimer_.start();
    });

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        createTrayIcon();
    } else {
        static std::atomic<bool> reported = false;
        if (!reported.exchange(true))
            systemLog("interface", "No system tray: status icon unavailable");
    }
    refresh();
}

StatusItemController::~StatusItemController() {
    monitor_->unsubscribe(subscription_);
}

void StatusItemController::createTrayIcon() {
    menu_ = std::make_unique<QMenu>();
    QObject::connect(menu_->addAction(QStringLiteral("Quit")), &QAction::triggered, &QCoreApplication::quit);
    trayIcon_ = std::make_unique<QSystemTrayIcon>(statusIcon());
    trayIcon_->setContextMenu(menu_.get());
    trayIcon_->show();
}

void StatusItemController::refresh() {
    toolTip_ = QString::fromStdString(monitor_->decision());
    if (trayIcon_)
        trayIcon_->setToolTip(toolTip_);
}
