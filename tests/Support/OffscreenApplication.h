#pragma once

#include <QApplication>
#include <QByteArray>

// A QApplication on Qt's offscreen platform, so tests can make real widgets without a display. It has
// no system tray, and windows are shown nowhere.
class OffscreenApplication {
public:
    OffscreenApplication() = default;
    OffscreenApplication(const OffscreenApplication&) = delete;
    OffscreenApplication& operator=(const OffscreenApplication&) = delete;

    // Delivers everything posted so far, including queued calls and zero-time timers.
    static void processPending() { QApplication::processEvents(); }

private:
    struct OffscreenPlatform {
        OffscreenPlatform() { qputenv("QT_QPA_PLATFORM", "offscreen"); }
    };

    OffscreenPlatform platform_; // chosen before the application below starts
    int argc_ = 1;
    char name_[6] = "tests";
    char* argv_[2] = {name_, nullptr};
    QApplication app_{argc_, argv_};
};
