#include "Support/OffscreenApplication.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Design/ZorviMenuIcon.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviWidget/ZorviWidgetWindow.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPixmap>

#include <functional>

namespace {

// Runs the event loop until `done` holds or two seconds have passed.
bool processEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void persist(ZorviStatus status) {
    ZorviStatusSnapshot snapshot;
    snapshot.status = status;
    snapshot.stale = false;
    DefaultsStore store = ZorviSharedStore::store();
    ZorviSharedStore::persistStatus(snapshot, SystemClock::shared().now(), "key", store);
}

std::optional<ZorviStatus> shownStatus(const ZorviWidgetWindow& window) {
    const auto& status = window.view().entry().status;
    return status ? status->status : std::nullopt;
}

} // namespace

// The application's write is the widget's reload request: the window sees each replacement of the
// store's file, the first one included, without waiting for its 30 s timeline.
TEST(ZorviWidgetWindow, RedrawsWhenTheApplicationWritesTheStore) {
    TemporaryHome home;
    OffscreenApplication app;
    ZorviWidgetWindow window(ZorviWidgetFamily::systemSmall);
    EXPECT_FALSE(window.view().entry().status);
    EXPECT_EQ(window.windowFlags() & (Qt::WindowStaysOnBottomHint | Qt::FramelessWindowHint),
              Qt::WindowStaysOnBottomHint | Qt::FramelessWindowHint);
    EXPECT_EQ(window.windowType(), Qt::Window) << "a tool window is transient for a window no one sees";
    // The product's icon, as the application draws it.
    EXPECT_EQ(window.windowIcon().pixmap(32).toImage(),
              QPixmap::fromImage(ZorviMenuIcon::applicationImage(32).convertToFormat(QImage::Format_ARGB32))
                  .toImage());

    persist(ZorviStatus::locked);
    EXPECT_TRUE(processEventsUntil([&] { return shownStatus(window) == ZorviStatus::locked; }));
    persist(ZorviStatus::unlocked);
    EXPECT_TRUE(processEventsUntil([&] { return shownStatus(window) == ZorviStatus::unlocked; }));
}

TEST(ZorviWidgetWindow, APreviewShowsThePlaceholderWhateverTheStoreHolds) {
    TemporaryHome home;
    OffscreenApplication app;
    persist(ZorviStatus::unlocked);
    ZorviWidgetWindow window(ZorviWidgetFamily::systemMedium, true);
    ASSERT_TRUE(window.view().entry().status);
    EXPECT_EQ(window.view().entry().status->deviceName, "Varek's computer");
    EXPECT_EQ(window.view().entry().status->status, ZorviStatus::locked);
}
