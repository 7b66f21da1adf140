#pragma once

#include "Vigilor/Companion/SettingsSync.h"
#include "Vigilor/Config/SettingRanges.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/DeviceState.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/SettingsModel/SettingsBindings.h"

#include <QColor>

#include <optional>
#include <string>
#include <string_view>

// What the settings window's rows and sheets show, as pure functions of the values they read, so that
// each rule is decided (and tested) in one place and the widgets only draw.

// A slider's value text: the bound value rounded to the nearest whole number, halves away from zero,
// immediately followed by the suffix (which brings its own space, if any). The value is shown as bound,
// never clamped to the slider's range; a value that is not a number shows nothing.
std::string sliderValueText(double value, std::string_view suffix);

// The positions of a slider that moves from `minimum` to `maximum` in steps of `step`: position k is
// minimum + k * step.
struct SliderGrid {
    double minimum = 0;
    double maximum = 0;
    double step = 1;

    // A setting's range as the window shows it, `perShownUnit` of the record's units to one shown unit
    // (60 s to the minute, 0.01 to the percent).
    static SliderGrid of(const SettingRange& range, double perShownUnit = 1);

    int lastPosition() const;
    double value(int position) const;
    // The position nearest to `value`, within the range; a stored value off the grid or off the range
    // is only drawn there, it keeps its value until the slider is moved.
    int position(double value) const;
};

// The settings-sync row, by the service's state.
struct SettingsSyncRowModel {
    QColor tint; // also the status word's colour
    std::string word;
    std::string detail;
    std::optional<std::string> notice; // a warning under the row
};
// `shortTime` is the last sync time in the locale's short time style, when there was one; `folder` is
// the sync folder whose absence makes sync unavailable.
SettingsSyncRowModel settingsSyncRowModel(SettingsSync::Status status,
                                          const std::optional<std::string>& shortTime,
                                          const std::optional<std::string>& device,
                                          const std::string& backendDisplayName, const std::string& folder);

// A disclosure header's accessible label and hint.
std::string disclosureAccessibilityLabel(const std::string& title, bool expanded);
std::string disclosureAccessibilityHint(bool expanded);

// The detail of the "Bluetooth mode" rows, by the stored mode.
std::string bluetoothModeDetail(BluetoothPresenceMode mode);

// "camera" for the camera alone, "device" when a Bluetooth device takes part.
std::string lockingModeDescription(LockingModeOption mode);
// The note under the presence card's Bluetooth block: with both signals a lock needs both the user out
// of the camera's view and the device out of range, so that is what it says; with the device alone no
// camera runs. While Bluetooth is on but cannot be heard, the note says that instead.
std::string presenceNote(LockingModeOption mode, BluetoothState bluetooth);
// Pairing a phone is offered while the Bluetooth mode includes a phone.
bool offersPhonePairing(BluetoothPresenceMode mode);

// The device picker: bars lit for a signal strength (1 to 4), the header's prompt, and whether a listed
// device is the one configured for the picker's type. Identifiers compare as canonical upper-case
// UUID text, exactly.
int signalLevel(int rssi);
std::string devicePickerPrompt(SettingsCommands::BluetoothDeviceType type);
// The line the picker shows while it lists no device: that it searches, or why it cannot.
std::string devicePickerSearchLine(const VigilorMonitor& monitor);
bool isDeviceSelected(const VigilorConfig& config, SettingsCommands::BluetoothDeviceType type,
                      const std::string& deviceID);

// A face enrolment as the enrolment sheet reads it: one value per field, each read under the
// progress object's lock.
struct FaceEnrolmentProgress {
    int capturedCount = 0;
    int targetCount = 30;
    bool isComplete = false;
    std::optional<std::string> errorDescription; // present when the enrolment failed

    bool operator==(const FaceEnrolmentProgress&) const = default;
};
enum class FaceEnrolmentSheetPhase { waiting, failed, done, capturing };
// Waiting before the first progress exists; then failed (an error), done (complete) or capturing.
FaceEnrolmentSheetPhase faceEnrolmentSheetPhase(const std::optional<FaceEnrolmentProgress>& progress);
