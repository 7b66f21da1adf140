#pragma once

#include "ZorviWidget.h"
#include "ZorviWidgetView.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

// The widget on the desktop: a small frameless window below the other windows that shows the latest
// timeline entry. It asks the provider for a timeline when it starts, when the timeline's reload time
// comes, and when the shared store's folder changes (the application replaces the store's file on
// every write, which is this platform's reload request).
class ZorviWidgetWindow : public QWidget {
public:
    explicit ZorviWidgetWindow(ZorviWidgetFamily family, bool preview = false,
                               const Clock& clock = SystemClock::shared());

    const ZorviWidgetView& view() const { return *view_; }
    // Reads a new timeline now and schedules the next one.
    void reloadTimeline();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void watchStoreFolder();

    ZorviWidgetProvider provider_;
    const Clock* clock_;
    bool preview_;
    ZorviWidgetView* view_; // a child, owned by this window
    QFileSystemWatcher watcher_;
    QTimer reloadTimer_; // the timeline's own reload time
    QTimer changeTimer_; // gathers the several changes of one atomic replace into one reload
};
