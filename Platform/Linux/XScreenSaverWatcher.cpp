#include "XScreenSaverWatcher.h"

#include "Foundation/ChildProcess.h"
#include "Foundation/SystemLog.h"
#include "Platform/Linux/ScreenLockers.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

XScreenSaverWord xscreensaverStateIn(const std::string& timeLine) {
    if (timeLine.find("screen locked since") != std::string::npos)
        return XScreenSaverWord::locked;
    if (timeLine.find("blanked since") != std::string::npos) // "blanked since", "non-blanked since"
        return XScreenSaverWord::unlocked;
    if (timeLine.find("no screensaver is running") != std::string::npos)
        return XScreenSaverWord::notRunning;
    return XScreenSaverWord::nothing;
}

XScreenSaverWord xscreensaverChangeIn(const std::string& watchLine) {
    const std::string word = watchLine.substr(0, watchLine.find(' '));
    if (word == "LOCK")
        return XScreenSaverWord::locked;
    if (word == "BLANK" || word == "UNBLANK")
        return XScreenSaverWord::unlocked;
    if (word == "RUN")
        return XScreenSaverWord::running;
    return XScreenSaverWord::nothing;
}

// One running command whose lines the event loop hands over as they arrive.
struct XScreenSaverWatcher::Lines {
    std::unique_ptr<RunningChildProcess> child;
    std::unique_ptr<QSocketNotifier> notifier;
};

XScreenSaverWatcher::XScreenSaverWatcher(std::string command)
    : command_(std::move(command)) {
}

XScreenSaverWatcher::~XScreenSaverWatcher() = default;

bool XScreenSaverWatcher::start(Reports reports) {
    reports_ = std::move(reports);
    if (watch_)
        return true;
    auto lastLine = std::make_shared<std::string>();
    watch_ = follow(
        {"-watch"},
        [this, lastLine](const std::string& line) {
            *lastLine = line;
            watchHeard_ = true;
            heard(xscreensaverChangeIn(line));
        },
        [this, lastLine] {
            systemLog("session", command_ + " -watch ended (" + *lastLine +
                                     "): xscreensaver's lock is no longer followed");
            heard(XScreenSaverWord::notRunning);
        });
    if (!watch_)
        return false;
    // Ended at once, or the commands would outlive the process.
    context_ = std::make_unique<QObject>();
    if (auto* application = QCoreApplication::instance())
        QObject::connect(application, &QCoreApplication::aboutToQuit, context_.get(), [this] {
            watch_.reset();
            time_.reset();
        });
    // -watch says nothing until the first change; -time tells where things stand now.
    auto answer = std::make_shared<XScreenSaverWord>(XScreenSaverWord::notRunning);
    time_ = follow(
        {"-time"},
        [answer](const std::string& line) {
            if (const XScreenSaverWord word = xscreensaverStateIn(line); word != XScreenSaverWord::nothing)
                *answer = word;
        },
        [this, answer] {
            if (!watchHeard_)
                heard(*answer);
        });
    return true;
}

std::unique_ptr<XScreenSaverWatcher::Lines> XScreenSaverWatcher::follow(const std::vector<std::string>& arguments,
                                                                       std::function<void(const std::string&)> line,
                                                                       std::function<void()> ended) {
    auto lines = std::make_unique<Lines>();
    lines->child = RunningChildProcess::start(command_, arguments, unavailableReason_);
    if (!lines->child)
        return nullptr;
    lines->notifier = std::make_unique<QSocketNotifier>(lines->child->outputDescriptor(), QSocketNotifier::Read);
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

void XScreenSaverWatcher::heard(XScreenSaverWord word) {
    switch (word) {
    case XScreenSaverWord::nothing:
        return;
    case XScreenSaverWord::notRunning:
        setRunning(false);
        if (reports_.lock)
            reports_.lock(std::nullopt);
        return;
    case XScreenSaverWord::running:
        setRunning(true);
        return;
    case XScreenSaverWord::locked:
    case XScreenSaverWord::unlocked:
        setRunning(true);
        if (reports_.lock)
            reports_.lock(word == XScreenSaverWord::locked);
        return;
    }
}

void XScreenSaverWatcher::setRunning(bool running) {
    if (running_ == running)
        return;
    running_ = running;
    if (reports_.runningChanged)
        reports_.runningChanged();
}

std::optional<std::string> XScreenSaverWatcher::lock() const {
    return runLockCommand(command_, {"-lock"});
}
