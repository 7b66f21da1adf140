#pragma once

#include "Foundation/ObservableObject.h"
#include "Platform/LoginItem.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"

#include <memory>
#include <optional>
#include <string>

// Keeps the desktop's autostart entry in line with the launch-at-login setting and says where it
// stands: the status word the settings window shows and, while it cannot be put right, why. The
// monitor tells it when the settings change; nothing else writes the entry.
class LaunchAtLogin {
public:
    LaunchAtLogin(ObservableObject& owner, std::shared_ptr<LoginItem> item, ActivityLog& log,
                  const Published<VigilorConfig>& config)
        : item_(std::move(item))
        , log_(log)
        , config_(config)
        , launchAtLoginStatus_(owner, "Off")
        , launchAtLoginError_(owner, std::nullopt) {}

    const std::string& launchAtLoginStatus() const { return launchAtLoginStatus_(); }
    const std::optional<std::string>& launchAtLoginError() const { return launchAtLoginError_(); }

    // Reads the entry's status again.
    void syncStatus();
    // Adds or removes the entry as the setting says, and publishes what came of it.
    void reconcileIfNeeded();

private:
    std::shared_ptr<LoginItem> item_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    Published<std::string> launchAtLoginStatus_;
    Published<std::optional<std::string>> launchAtLoginError_;
};
