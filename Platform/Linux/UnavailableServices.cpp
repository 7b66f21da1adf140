#include "UnavailableServices.h"

#include "Foundation/SystemLog.h"

UnavailableNotificationCenter::UnavailableNotificationCenter() {
    systemLog("notifications", std::string(reason) + ": notifications are unavailable");
}

void UnavailableNotificationCenter::requestAuthorization(AuthorizationCompletion completion) {
    if (completion)
        completion(false, std::string(reason));
}

void UnavailableNotificationCenter::add(NotificationRequest, AddCompletion completion) {
    if (completion)
        completion(std::string(reason));
}

UnavailableAudioInput::UnavailableAudioInput() {
    systemLog("audio", "No audio input service: call detection is unavailable");
}

UnavailableInputIdle::UnavailableInputIdle() {
    systemLog("input", "No input idle source: keyboard and mouse activity unknown");
}

UnavailableScreenSharing::UnavailableScreenSharing() {
    systemLog("screen-sharing", "No screen-sharing check: remote sessions are not detected");
}
