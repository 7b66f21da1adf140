#include "DesktopWidget.h"

#include "Foundation/SystemLog.h"

#include <QCoreApplication>

#include <csignal>
#include <string>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int endWait = 1000; // milliseconds the widget has to end on its own

} // namespace

DesktopWidget::~DesktopWidget() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return;
    process_->terminate();
    if (!process_->waitForFinished(endWait))
        process_->kill();
}

std::optional<std::filesystem::path> DesktopWidget::program(const std::filesystem::path& programDirectory) {
    for (const char* relative : {VIGILOR_WIDGET_FROM_PROGRAM, VIGILOR_WIDGET_FROM_BUILT_PROGRAM}) {
        const std::filesystem::path candidate = (programDirectory / relative).lexically_normal();
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

void DesktopWidget::start() {
    if (process_)
        return;
    const auto widget = program(QCoreApplication::applicationDirPath().toStdString());
    if (!widget) {
        systemLog("app", "The desktop widget (zorvi-widget) is not installed beside Zorvi: it does not start");
        return;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->setInputChannelMode(QProcess::ForwardedInputChannel);
    // It goes with the application however that ends, a crash included.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_->start(QString::fromStdString(widget->string()), {QStringLiteral("--family"), QStringLiteral("medium")});
    if (!process_->waitForStarted(endWait))
        systemLog("app", "The desktop widget did not start: " + process_->errorString().toStdString());
}
