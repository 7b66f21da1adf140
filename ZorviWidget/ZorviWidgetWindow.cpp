#include "ZorviWidgetWindow.h"

#include "ZorviShared/ZorviSharedStore.h"

#include <QContextMenuEvent>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

// The product's icon, carried in the program as the application draws it for the icon theme while
// building, at the sizes window managers ask for.
QIcon productIcon() {
    QIcon icon;
    for (const int pixels : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/zorvi.png").arg(pixels), QSize(pixels, pixels));
    return icon;
}

} // namespace

ZorviWidgetWindow::ZorviWidgetWindow(ZorviWidgetFamily family, bool preview, const Clock& clock)
    // A plain window, kept off task bars (main): Qt makes a tool window transient for a window the
    // window manager never sees, which Mutter warns of.
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint)
    , provider_(clock)
    , clock_(&clock)
    , preview_(preview)
    , view_(new ZorviWidgetView(family, clock, this)) {
    setWindowTitle(QString::fromLatin1(ZorviStatusWidget::configurationDisplayName));
    setWindowIcon(productIcon());
    setAccessibleDescription(QString::fromLatin1(ZorviStatusWidget::description));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFixedSize(ZorviWidgetView::familySize(family));

    reloadTimer_.setSingleShot(true);
    connect(&reloadTimer_, &QTimer::timeout, this, &ZorviWidgetWindow::reloadTimeline);
    changeTimer_.setSingleShot(true);
    changeTimer_.setInterval(100);
    connect(&changeTimer_, &QTimer::timeout, this, &ZorviWidgetWindow::reloadTimeline);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &changeTimer_, qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &changeTimer_, qOverload<>(&QTimer::start));
    reloadTimeline();
}

void ZorviWidgetWindow::reloadTimeline() {
    watchStoreFolder();
    if (preview_) {
        provider_.getSnapshot(true, [this](const ZorviWidgetEntry& entry) { view_->setEntry(entry); });
        return;
    }
    provider_.getTimeline([this](const ZorviWidgetTimeline& timeline) {
        view_->setEntry(timeline.entries.front());
        const double wait = timeline.reloadAfter.timeIntervalSince(clock_->now());
        reloadTimer_.start(
            int(std::lround(std::clamp(wait, 0.0, ZorviWidgetProvider::reloadInterval) * 1000)));
    });
}

// The store's file is replaced by a rename, which a watch on the file itself would lose; the folder's
// watch sees every replacement. A folder made (or made again) later is picked up at the next reload.
void ZorviWidgetWindow::watchStoreFolder() {
    const auto storeFile = ZorviSharedStore::store().file();
    const QString file = QString::fromStdString(storeFile.string());
    const QString folder = QString::fromStdString(storeFile.parent_path().string());
    if (!watcher_.directories().contains(folder))
        watcher_.addPath(folder);
    if (!watcher_.files().contains(file))
        watcher_.addPath(file);
}

// A frameless window has no title bar to drag, so the whole widget moves it.
void ZorviWidgetWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
}

void ZorviWidgetWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Reload")), &QAction::triggered, this,
            &ZorviWidgetWindow::reloadTimeline);
    connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, this, &QWidget::close);
    menu.exec(event->globalPos());
}
