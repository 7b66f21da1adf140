// Keeping the login item in line with the launch-at-login setting.
#include "VigilorMonitor.h"

#include "Foundation/Paths.h"

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

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
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
                append("Launch at login unregistered");
        }
    } else if (status == LoginItem::Status::notRegistered) {
        failure = item.registerItem();
        if (!failure)
            append("Launch at login registered");
    } else if (status == LoginItem::Status::requiresApproval) {
        launchAtLoginError =
            std::string("Approve Zorvi in System Settings \u25B8 General \u25B8 Login Items to "
                        "finish enabling launch at login.");
    } else if (status == LoginItem::Status::notFound) {
        const std::string path = item.applicationPath().string();
        const bool inApplications = startsWith(path, "/Applications/") ||
                                    startsWith(path, Paths::homeDirectory().string() + "/Applications/");
        launchAtLoginError =
            inApplications
                ? "macOS could not register Zorvi for launch at login. Make sure Zorvi is signed "
                  "with a valid certificate (not ad-hoc)."
                : "Move Zorvi to your Applications folder to enable launch at login. It is currently "
                  "running from " +
                      path + ".";
        append("Launch at login unavailable: SMAppService reported .notFound (path: " + path + ")");
    }

    if (failure) {
        const std::string text = "Launch at login failed: " + *failure;
        launchAtLoginError = text;
        append(text);
    }
    syncLaunchAtLoginStatus();
}
