#pragma once

#include "Foundation/RawValueEnum.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/SettingsModel/Binding.h"

#include <memory>
#include <string>

// The lock-speed preset of the settings window. Its raw values are also its labels.
enum class LockPatience { patient, balanced, fast };
template <> struct RawValues<LockPatience> {
    static constexpr std::array cases{
        std::pair{LockPatience::patient, std::string_view("Give me a moment")},
        std::pair{LockPatience::balanced, std::string_view("Balanced")},
        std::pair{LockPatience::fast, std::string_view("Lock fast")},
    };
};

// The four settings one lock-speed preset writes together.
struct LockPatiencePreset {
    double lockTimeout;
    int minMissingSamples;
    double activeInputGrace;
    double lookAwayLockGrace;
};
LockPatiencePreset lockPatiencePreset(LockPatience patience);
// The preset whose band holds the timeout: below 9 s fast, below 24 s balanced, else patient (a
// timeout that is not a number included). A timeout set with the fine-tuning slider therefore shows
// the nearest preset without anything being written.
LockPatience lockPatienceForTimeout(double lockTimeout);
void applyLockPatience(LockPatience patience, VigilorConfig& config);

// Which presence signals lock the computer. Not stored: a view over the camera switch, the Bluetooth mode
// and the companion gate.
enum class LockingModeOption { cameraOnly, deviceOnly, both };
LockingModeOption lockingModeForConfig(const VigilorConfig& config);
// Keeps a companion kind the user already chose when moving between the two device modes; only the
// camera-only mode drops it.
void applyLockingMode(LockingModeOption mode, VigilorConfig& config);

// Where a phone pairing attempt stands, as the pairing sheet shows it.
enum class PairingSheetState { advertising, notAnnounced, paired, timedOut };

// The bindings the settings window's rows edit: the two-way half of the settings form, kept free of
// Qt so that its conversions are tested on their own (the form itself is SettingsContent, in the
// interface, which hands these to its rows). Every getter reads the monitor's published state at
// the moment it is asked; every setter is one run of the monitor's update path (or of a monitor
// setter built on it), with the conversion between the unit a control shows and the unit stored.
// The choice lists are the enumerations' cases in declaration order, labelled by their raw values
// (allCases<E>() and rawValue()).
class SettingsBindings {
public:
    explicit SettingsBindings(std::shared_ptr<VigilorMonitor> monitor);

    VigilorMonitor& monitor() const { return *monitor_; }

    // Essentials.
    Binding<bool> autoLockEnabled() const;
    Binding<bool> screenLockingEnabled() const;
    Binding<bool> launchAtLogin() const;
    Binding<bool> visualNudgesEnabled() const;

    // When to lock and when not to.
    Binding<LockPatience> lockPatience() const;
    Binding<bool> suppressLockDuringCalls() const;
    Binding<bool> suppressAutoLockDuringRemoteSession() const;

    // Eyes and movement: intervals shown in minutes, stored in seconds.
    Binding<bool> eyeBreakEnabled() const;
    Binding<double> eyeBreakMinutes() const;
    Binding<bool> walkBreakEnabled() const;
    Binding<double> walkBreakMinutes() const;

    // Presence and the known face.
    Binding<LockingModeOption> lockingMode() const;
    Binding<bool> requireKnownFaceForPresence() const;

    // Camera and Bluetooth presence.
    // Edited with a slider of doubles, stored as whole dBm rounded half away from zero.
    Binding<double> watchWeakRSSI() const;
    Binding<BluetoothPresenceMode> bluetoothPresenceMode() const;
    Binding<std::string> watchName() const;
    Binding<std::string> phoneName() const;

    // Screen distance and posture: thresholds shown in percent, stored as ratios.
    Binding<double> distanceWarnPercent() const;
    Binding<double> distanceDangerPercent() const;
    Binding<DistanceCalibrationMode> distanceCalibrationMode() const;
    Binding<bool> bodyPoseHintsEnabled() const;
    Binding<DeskProfile> deskProfile() const;
    Binding<CameraProfile> cameraProfile() const;

    // Menu-bar alerts and notifications.
    Binding<MenuBarFeedbackStyle> menuBarFeedbackStyle() const;
    Binding<bool> pulseMenuBarWhenDue() const;
    Binding<bool> notifyWhenBreakDue() const;
    Binding<bool> soundWhenBreakDue() const;
    Binding<bool> notifyWhenComputerLocks() const;

    // The phone relay; endpoint texts are stored as typed (their fields commit when editing ends).
    Binding<bool> remoteCompanionEnabled() const;
    Binding<std::string> remoteStatusEndpointURL() const;
    Binding<std::string> remoteCommandEndpointURL() const;

    // Any whole-number or seconds field edited without conversion (lockTimeout, minMissingSamples,
    // watchGrace, the break durations ...).
    Binding<int> configBinding(int VigilorConfig::*field) const;
    Binding<double> configBinding(double VigilorConfig::*field) const;

private:
    template <class T> Binding<T> field(T VigilorConfig::*member) const;
    Binding<bool> viaSetter(bool VigilorConfig::*member, void (SettingsCommands::*setter)(bool)) const;

    std::shared_ptr<VigilorMonitor> monitor_;
};
