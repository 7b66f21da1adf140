// Keeping the login item in line with the launch-at-login setting.
#include "VigilorMonitor.h"

namespace {

std::string statusWord(LoginItem::Status status) {
    switch (status) {
    case LoginItem::Status::notRegistered:
        return "Off";
    case LoginItem::Status::enabled:
        return "On";
    case LoginItem::Status::requiresApproval:
        return "Needs approval";
    case LoginItem::Status::notFound:
        return "Unavailable";
    }
    return "Unknown";
}

} // namespace

void VigilorMonitor::syncLaunchAtLoginStatus() {
    launchAtLoginStatus = statusWord(services_.loginItem->status());
}

void VigilorMonitor::reconcileLaunchAtLoginIfNeeded() {
    LoginItem& item = *services_.loginItem;
    launchAtLoginError = std::nullopt;
    const LoginItem::Status status = item.status();
    std::optional<std::string> failure;

    if (!config().launchAtLogin) {
        if (status == LoginItem::Status::enabled || status == LoginItem::Status::requiresApproval) {
            failure = item.unregisterItem();
            if (!failure)
                log_.append("Launch at login unregistered");
        }
    } else if (status == LoginItem::Status::notRegistered) {
        failure = item.registerItem();
        if (!failure)
            log_.append("Launch at login registered");
    } else if (status == LoginItem::Status::requiresApproval) {
        launchAtLoginError = std::string("Zorvi's autostart entry is switched off. Turn Zorvi on in your "
                                         "desktop's startup applications to finish enabling launch at "
                                         "login.");
    } else if (status == LoginItem::Status::notFound) {
        const std::string path = item.applicationPath().string();
        launchAtLoginError = "Zorvi cannot start at login: its program " + path +
                             " cannot be found. Start Zorvi again from where it is installed.";
        log_.append("Launch at login unavailable: program not found (path: " + path + ")");
    }

    if (failure) {
        const std::string text = "Launch at login failed: " + *failure;
        launchAtLoginError = text;
        log_.append(text);
    }
    syncLaunchAtLoginStatus();
}
