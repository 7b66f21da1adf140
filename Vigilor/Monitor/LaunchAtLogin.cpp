#include "Vigilor/Monitor/LaunchAtLogin.h"

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

void LaunchAtLogin::syncStatus() {
    launchAtLoginStatus_ = statusWord(item_->status());
}

void LaunchAtLogin::reconcileIfNeeded() {
    LoginItem& item = *item_;
    launchAtLoginError_ = std::nullopt;
    const LoginItem::Status status = item.status();
    std::optional<std::string> failure;

    if (!config_().launchAtLogin) {
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
        launchAtLoginError_ = std::string("Zorvi's autostart entry is switched off. Turn Zorvi on in your "
                                          "desktop's startup applications to finish enabling launch at "
                                          "login.");
    } else if (status == LoginItem::Status::notFound) {
        const std::string path = item.applicationPath().string();
        launchAtLoginError_ = "Zorvi cannot start at login: its program " + path +
                              " cannot be found. Start Zorvi again from where it is installed.";
        log_.append("Launch at login unavailable: program not found (path: " + path + ")");
    }

    if (failure) {
        const std::string text = "Launch at login failed: " + *failure;
        launchAtLoginError_ = text;
        log_.append(text);
    }
    syncStatus();
}
