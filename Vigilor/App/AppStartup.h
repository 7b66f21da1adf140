#pragma once

#include "DesktopWidget.h"

#include <functional>
#include <memory>

class OnboardingWindowController;
class StatusItemController;
class VigilorMonitor;

// What the application does once Qt is up: make the monitor, put the icon in the tray, start the update
// check and, on the first run, show the onboarding window; the desktop widget starts then, or once
// onboarding is done, so that the onboarding window does not hide it. Without a display only the monitor
// runs.
class AppStartup : public std::enable_shared_from_this<AppStartup> {
    struct Passkey {};

public:
    using OnboardingFactory = std::function<std::unique_ptr<OnboardingWindowController>(
        std::shared_ptr<VigilorMonitor> monitor, std::function<void()> onComplete)>;

    struct Environment {
        bool displayAvailable = true;
        // Where the monitor comes from; empty: AppServices::shared().
        std::function<std::shared_ptr<VigilorMonitor>()> monitor;
        // Makes the onboarding window's controller; empty: a real OnboardingWindowController.
        OnboardingFactory makeOnboarding;
        // Starts the update check; empty: UpdaterService::shared().
        std::function<void()> startUpdater;
        // Starts the desktop widget; empty: the installed one (DesktopWidget).
        std::function<void()> startWidget;
    };

    // Onboarding was shown once, by an earlier version or by this one.
    static constexpr const char* onboardingShownKey = "zorvi.onboardingShown";
    static constexpr const char* onboardingShownV1Key = "zorvi.onboardingShown.v1";

    static std::shared_ptr<AppStartup> create(Environment environment);
    AppStartup(Passkey, Environment environment);
    ~AppStartup();

    void applicationDidFinishLaunching();
    void showOnboarding();

    const std::shared_ptr<VigilorMonitor>& monitor() const { return monitor_; }
    StatusItemController* statusItemController() const { return statusItem_.get(); }
    OnboardingWindowController* onboardingWindowController() const { return onboarding_.get(); }

private:
    void finishOnboarding();

    Environment environment_;
    std::shared_ptr<VigilorMonitor> monitor_; // declared before the windows, so it outlives them
    std::unique_ptr<StatusItemController> statusItem_;
    std::unique_ptr<OnboardingWindowController> onboarding_;
    DesktopWidget widget_;
};
