#include "XScreenSaverWatcher.h"

#include "Foundation/ChildProcess.h"
#include "Foundation/Clock.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/SystemLog.h"
#include "Platform/Linux/ScreenLockers.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

std::optional<bool> xscreensaverLockIn(const std::string& timeLine) {
    if (timeLine.find("screen locked since") != std::string::npos)
        return true;
    if (timeLine.find("blanked since") != std::string::npos) // "blanked since", "non-blanked since"
        return false;
    return std::nullopt;
}

std::optional<Date> xscreensaverLockedSinceIn(const std::string& timeLine) {
    constexpr std::string_view marker = "screen locked since ";
    const auto at = timeLine.find(marker);
    if (at == std::string::npos)
        return std::nullopt;
    char month[4] = {};
    CivilDateTime since;
    // The weekday, the month's English abbreviation, the day, the time and the year, as ctime writes them.
    if (std::sscanf(timeLine.c_str() + at + marker.size(), "%*3s %3s %d %d:%d:%d %d", month, &since.day,
                    &since.hour, &since.minute, &since.second, &since.year) != 6)
        return std::nullopt;
    static constexpr std::array<std::string_view, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto found = std::ranges::find(months, std::string_view(month));
    if (found == months.end())
        return std::nullopt;
    since.month = int(found - months.begin()) + 1;
    return LocalCalendar::dateOf(since);
}

std::optional<bool> xscreensaverLockChangeIn(const std::string& watchLine) {
    const std::string word = watchLine.substr(0, watchLine.find(' '));
    if (word == "LOCK")
        return true;
    if (word == "BLANK" || word == "UNBLANK")
        return false;
    return std::nullopt; // RUN: it changed the graphics it shows, the lock as it was
}

// One running command whose lines the event loop hands over as they arrive; `child` is gone once the
// command has ended.
struct XScreenSaverWatcher::Lines {
    std::unique_ptr<RunningChildProcess> child;
    std::unique_ptr<QSocketNotifier> notifier;
};

XScreenSaverWatcher::XScreenSaverWatcher(std::string command, std::string displayName)
    : command_(std::move(command))
    , presence_(std::move(displayName)) {
}

XScreenSaverWatcher::~XScreenSaverWatcher() = default;

bool XScreenSaverWatcher::start(Reports reports) {
    reports_ = std::move(reports);
    if (context_)
        return true;
    if (!presence_.start({[this](bool present) { presenceChanged(present); },
                          [this] {
                              if (!watch_ || !watch_->child)
                                  follow();
                          }})) {
        unavailableReason_ = "xscreensaver is not looked for (" + presence_.unavailableReason() + ")";
        return false;
    }
    // Ended at once, or the commands would outlive the process.
    context_ = std::make_unique<QObject>();
    if (auto* application = QCoreApplication::instance())
        QObject::connect(application, &QCoreApplication::aboutToQuit, context_.get(), [this] { unfollow(); });
    running_ = presence_.present();
    if (running_)
        follow();
    return true;
}

void XScreenSaverWatcher::presenceChanged(bool present) {
    running_ = present;
    if (present) {
        systemLog("session", "xscreensaver started: its lock is followed");
        follow();
    } else {
        systemLog("session", "xscreensaver went away: its lock no longer counts");
        unfollow();
        heard(std::nullopt, std::nullopt);
    }
    if (reports_.runningChanged)
        reports_.runningChanged();
}

void XScreenSaverWatcher::follow() {
    auto lastLine = std::make_shared<std::string>();
    watchHeard_ = false;
    watch_ = readLinesOf(
        {"-watch"},
        [this, lastLine](const std::string& line) {
            *lastLine = line;
            watchHeard_ = true;
            if (const auto locked = xscreensaverLockChangeIn(line))
                heard(locked, 0.0);
        },
        [this, lastLine] {
            systemLog("session", command_ + " -watch ended (" + *lastLine +
                                     "): xscreensaver's lock no longer counts until its state changes");
            heard(std::nullopt, std::nullopt);
        });
    if (!watch_) {
        systemLog("session", "xscreensaver runs, but its lock cannot be followed: " + launchError_);
        return;
    }
    // -watch says nothing until the first change; -time tells where things stand now, and since when
    // (a time ahead of the clock tells nothing).
    struct Answer {
        std::optional<bool> locked;
        std::optional<double> lockedFor;
    };
    auto answer = std::make_shared<Answer>();
    time_ = readLinesOf(
        {"-time"},
        [answer](const std::string& line) {
            if (const auto locked = xscreensaverLockIn(line))
                answer->locked = locked;
            if (const auto since = xscreensaverLockedSinceIn(line))
                answer->lockedFor = SystemClock::shared().now().timeIntervalSince(*since);
        },
        [this, answer] {
            if (!watchHeard_ && answer->locked.has_value())
                heard(answer->locked, answer->lockedFor);
        });
}

void XScreenSaverWatcher::unfollow() {
    watch_.reset();
    time_.reset();
}

std::unique_ptr<XScreenSaverWatcher::Lines>
XScreenSaverWatcher::readLinesOf(const std::vector<std::string>& arguments,
                                 std::function<void(const std::string&)> line, std::function<void()> ended) {
    auto lines = std::make_unique<Lines>();
    lines->child = RunningChildProcess::start(command_, arguments, launchError_);
    if (!lines->child)
        return nullptr;
    lines->notifier =
        std::make_unique<QSocketNotifier>(lines->child->outputDescriptor(), QSocketNotifier::Read);
    Lines* raw = lines.get();
    QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, raw->notifier.get(),
                     [raw, line = std::move(line), ended = std::move(ended)] {
                         if (raw->child->readLines(line))
                             return;
                         // The notifier goes once its signal has returned; the command is reaped now.
                         raw->notifier->setEnabled(false);
                         raw->notifier.release()->deleteLater();
                         raw->child.reset();
                         ended();
                     });
    return lines;
}

void XScreenSaverWatcher::heard(std::optional<bool> locked, std::optional<double> lockedFor) {
    if (reports_.lock)
        reports_.lock(locked, lockedFor);
}

std::optional<std::string> XScreenSaverWatcher::lock() const {
    return runLockCommand(command_, {"-lock"});
}
