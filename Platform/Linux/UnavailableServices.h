#pragma once

#include "Platform/AudioInput.h"
#include "Platform/InputIdle.h"
#include "Platform/ScreenSharing.h"
#include "Platform/UserNotifications.h"

// Stand-ins for desktop services that Vigilor cannot reach on this system. Each says so once in the
// developer log when it is made, and then answers as a system without the service would: the monitor
// carries on and reports the absence in its own words.

// No notification service: authorisation is refused with a reason, nothing is ever shown.
class UnavailableNotificationCenter final : public UserNotificationCenter {
public:
    static constexpr const char* reason = "No notification service";

    UnavailableNotificationCenter();

    // Both answer at once, on the calling thread.
    void requestAuthorization(AuthorizationCompletion completion) override;
    void add(NotificationRequest request, AddCompletion completion) override;
    void setNotificationCategories(std::vector<NotificationCategory>) override {}
    void setResponseHandler(std::function<void(const NotificationResponse&)>) override {}
    void removeNotifications(const std::vector<std::string>&) override {}
};

// No audio service: there is no default input, so call detection stays off.
class UnavailableAudioInput final : public AudioInputDevices {
public:
    UnavailableAudioInput();

    std::optional<DeviceID> defaultInputDevice() override { return std::nullopt; }
    void setDefaultInputListener(std::function<void()>) override {}
    void setRunningListener(DeviceID, std::function<void()>) override {}
    bool isRunning(DeviceID) override { return false; }
};

// No source of input idle time: the monitor treats the user's input as unknown.
class UnavailableInputIdle final : public InputIdleSource {
public:
    UnavailableInputIdle();

    std::optional<double> secondsSinceLastInput() override { return std::nullopt; }
    std::string name() const override { return "none"; }
};

// No way to see screen-sharing connections: none is ever reported.
class UnavailableScreenSharing final : public ScreenSharingSessions {
public:
    UnavailableScreenSharing();

    bool isScreenSharingActive() override { return false; }
};
