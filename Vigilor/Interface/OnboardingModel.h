#pragma once

#include "Vigilor/Monitor/DeviceState.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// What the onboarding window shows, as plain values: its cards, its permission rows and when each is
// shown, what counts as granted, and the re-checks after a press.

enum class OnboardingTint { success, notice, warning };

struct OnboardingCard {
    std::string name; // whatZorviDoes, privateByDesign, permissionsSection
    std::string symbol;
    OnboardingTint tint;
    std::string title;
    std::string subtitle;
    std::string body; // empty: the card has no body text
    std::string accessibilityLabel;
};

// The cards in their order.
std::vector<OnboardingCard> onboardingCards();

enum class OnboardingPermission { camera, appleWatch, screenLocking };

struct OnboardingPermissionRow {
    OnboardingPermission permission;
    std::string symbol;
    std::string title;
    std::string description;
    std::string buttonText;
};

const OnboardingPermissionRow& onboardingPermissionRow(OnboardingPermission permission);
// The rows in their order: Camera, Apple Watch while Bluetooth presence is on, Screen locking.
std::vector<OnboardingPermission> visiblePermissionRows(bool bluetoothPresenceEnabled);

// The window's display copy of the three permissions, never saved.
struct OnboardingPermissionStates {
    bool cameraPermissionGranted = false;
    bool bluetoothPermissionGranted = false;
    bool screenLockingEnabled = false;
    // What keeps the camera or Bluetooth from working, where the row's own description would not say;
    // empty: the row's own.
    std::string cameraProblem;
    std::string bluetoothProblem;
    // What keeps Zorvi from locking this session whatever the user allows (no screen locker); empty: none.
    std::string lockingProblem;

    bool granted(OnboardingPermission permission) const;
    bool operator==(const OnboardingPermissionStates&) const = default;
};

std::string onboardingPermissionDescription(OnboardingPermission permission,
                                                   const OnboardingPermissionStates& states);

// Granted means what the devices reported: a camera that opened, a Bluetooth radio that scans; and the
// setting that lets Zorvi lock.
OnboardingPermissionStates permissionStatesFrom(CameraState::Kind camera, BluetoothState bluetooth,
                                                bool screenLockingEnabled, std::string lockingProblem = {});

// After a press the permissions are looked at again three times, each delay counted from the look
// before (about 0.5, 2.0 and 5.0 s after the press), as the user answers at their own pace. Every
// press starts a chain of its own; none is cancelled.
inline constexpr std::array<double, 3> permissionRecheckDelays{0.5, 1.5, 3.0};
void pollPermissionStatus(std::function<void()> completion);
