#include "SettingsModels.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Monitor/CompanionPresence.h"

#include <algorithm>
#include <cmath>

std::string sliderValueText(double value, std::string_view suffix) {
    if (std::isnan(value))
        return {};
    return std::to_string(roundedInteger(value)) + std::string(suffix);
}

SliderGrid SliderGrid::of(const SettingRange& range, double perShownUnit) {
    // Whole shown units stay whole: 1.05 / 0.01 is 105.00000000000001.
    const auto shown = [&](double value) { return std::round(value / perShownUnit * 1e9) / 1e9; };
    return {shown(range.minimum), shown(range.maximum), shown(range.step)};
}

int SliderGrid::lastPosition() const {
    if (!(step > 0) || !(maximum > minimum))
        return 0;
    return int(std::floor((maximum - minimum) / step + 1e-9));
}

double SliderGrid::value(int position) const {
    return minimum + std::clamp(position, 0, lastPosition()) * step;
}

int SliderGrid::position(double value) const {
    if (std::isnan(value) || !(step > 0))
        return 0;
    // Rounded, not truncated: 1.15 × 100 is 114.99999999999999.
    const double steps = std::round((value - minimum) / step);
    return int(std::clamp(steps, 0.0, double(lastPosition())));
}

SettingsSyncRowModel settingsSyncRowModel(SettingsSync::Status status,
                                          const std::optional<std::string>& shortTime,
                                          const std::optional<std::string>& device,
                                          const std::string& backendDisplayName, const std::string& folder) {
    switch (status) {
    case SettingsSync::Status::off:
        return {SystemColor::secondaryLabel(), "Off", "Sync is paused.", std::nullopt};
    case SettingsSync::Status::unavailable:
        return {Theme::warning(), "No sync folder", "Nothing syncs until " + folder + " exists.",
                "Create that folder, or link there a folder your sync tool carries (Nextcloud, "
                "Syncthing\u2026), and sync starts by itself."};
    case SettingsSync::Status::active:
        break;
    }
    std::string detail = "Through " + backendDisplayName + ".";
    if (!shortTime)
        detail += " Waiting for the first change.";
    else if (!device)
        detail += " Last change " + *shortTime + ".";
    else
        detail += " Last change " + *shortTime + " from " + *device + ".";
    return {Theme::success(), "On", std::move(detail), std::nullopt};
}

std::string disclosureAccessibilityLabel(const std::string& title, bool expanded) {
    return title + ", " + (expanded ? "expanded" : "collapsed");
}

std::string disclosureAccessibilityHint(bool expanded) {
    return std::string("Double-tap to ") + (expanded ? "collapse" : "expand");
}

std::string bluetoothModeDetail(BluetoothPresenceMode mode) {
    switch (mode) {
    case BluetoothPresenceMode::off:
        return "No Bluetooth prompt; Zorvi uses camera and input only.";
    case BluetoothPresenceMode::watch:
        return "Best when you wear your Watch while you step away.";
    case BluetoothPresenceMode::phone:
        return "Best when you carry your phone away from the computer.";
    case BluetoothPresenceMode::either:
        return "Zorvi treats either configured device as a nearby signal.";
    }
    return {};
}

std::string lockingModeDescription(LockingModeOption mode) {
    return mode == LockingModeOption::cameraOnly ? "camera" : "device";
}

std::string presenceNote(LockingModeOption mode, BluetoothState bluetooth) {
    // Bluetooth that cannot be heard makes no promise: the note names what keeps it.
    if (bluetooth != BluetoothState::offInSettings && bluetoothWords(bluetooth).unavailable)
        return std::string(bluetoothWords(bluetooth).summary) + " \u2014 Zorvi cannot tell when your " +
               lockingModeDescription(mode) + " goes out of Bluetooth range.";
    if (mode == LockingModeOption::both)
        return "Zorvi locks when you are out of the camera's view and your " + lockingModeDescription(mode) +
               " goes out of Bluetooth range.";
    return "Zorvi locks when your " + lockingModeDescription(mode) +
           " goes out of Bluetooth range, with no camera running.";
}

bool offersPhonePairing(BluetoothPresenceMode mode) {
    return mode == BluetoothPresenceMode::phone || mode == BluetoothPresenceMode::either;
}

int signalLevel(int rssi) {
    if (rssi >= -49)
        return 4;
    if (rssi >= -70)
        return 3;
    if (rssi >= -85)
        return 2;
    return 1;
}

std::string devicePickerPrompt(SettingsCommands::BluetoothDeviceType type) {
    return std::string("Select which Bluetooth device to use for ") +
           (type == SettingsCommands::BluetoothDeviceType::watch ? "Apple Watch" : "iPhone") +
           " lock signals.";
}

std::string devicePickerSearchLine(const VigilorMonitor& monitor) {
    if (!monitor.companion().bluetoothPresenceEnabled())
        return bluetoothWords(BluetoothState::offInSettings).pickerLine;
    return bluetoothWords(monitor.companion().bluetoothState()).pickerLine;
}

bool isDeviceSelected(const VigilorConfig& config, SettingsCommands::BluetoothDeviceType type,
                      const std::string& deviceID) {
    const std::optional<UUID>& configured =
        type == SettingsCommands::BluetoothDeviceType::watch ? config.watchUUID : config.phoneUUID;
    return configured && configured->uuidString() == deviceID;
}

FaceEnrolmentSheetPhase faceEnrolmentSheetPhase(const std::optional<FaceEnrolmentProgress>& progress) {
    if (!progress)
        return FaceEnrolmentSheetPhase::waiting;
    if (progress->errorDescription)
        return FaceEnrolmentSheetPhase::failed;
    if (progress->isComplete)
        return FaceEnrolmentSheetPhase::done;
    return FaceEnrolmentSheetPhase::capturing;
}
