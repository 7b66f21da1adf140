#include "DeviceState.h"

#include "Platform/CameraDevice.h"

#include <array>
#include <utility>

namespace {

using Camera = CameraState::Kind;

// What a blocked monitor says when a refusal keeps the camera from it: only this can be asked again.
constexpr CameraWords refusal(const char* status, const char* logLine) {
    return {.status = status,
            .logLine = logLine,
            .logsReason = false,
            .blocks = true,
            .asksPermission = true,
            .works = false,
            .faceWord = "Blocked",
            .readiness = "Needs permission",
            .nudgeTitle = "Zorvi needs access",
            .lockReason = "Needs Camera permission.",
            .brief = "Zorvi may not open the camera; Continue checks again.",
            .markReason = "permission needed",
            .onboarding = ""};
}

// A camera that is missing or broken: nothing the user may grant would help.
constexpr CameraWords missing(const char* status, const char* logLine, bool logsReason, const char* faceWord,
                              const char* readiness, const char* sentence, const char* markReason,
                              const char* onboarding) {
    return {.status = status,
            .logLine = logLine,
            .logsReason = logsReason,
            .blocks = true,
            .asksPermission = false,
            .works = false,
            .faceWord = faceWord,
            .readiness = readiness,
            .nudgeTitle = readiness,
            .lockReason = sentence,
            .brief = sentence,
            .markReason = markReason,
            .onboarding = onboarding};
}

// A camera that does not block: it runs, or it is starting, in use elsewhere or switched off. Until its
// frames come, no missing face is a lost user.
constexpr CameraWords watching(const char* status, const char* logLine, bool logsReason, bool works,
                               const char* faceWord, const char* onboarding = "",
                               const char* nudgeTitle = "Zorvi cannot see you") {
    return {.status = status,
            .logLine = logLine,
            .logsReason = logsReason,
            .blocks = false,
            .asksPermission = false,
            .works = works,
            .faceWord = faceWord,
            .readiness = "",
            .nudgeTitle = nudgeTitle,
            .lockReason = "",
            .brief = "",
            .markReason = "",
            .onboarding = onboarding};
}

constexpr const char* cannotBeOpened = "The camera cannot be opened, so Zorvi cannot see the desk.";
constexpr const char* openAgain = "The camera cannot be opened. Choose Continue to try again.";

// Each state's row, in the order of the states.
constexpr std::array<std::pair<Camera, CameraWords>, 11> cameraTable{{
    {Camera::starting, watching("Starting camera", "", false, false, "Starting")},
    {Camera::permissionNeeded, refusal("Camera permission needed", "Camera permission waiting for user")},
    {Camera::refused, refusal("Camera denied", "Camera permission denied")},
    {Camera::unknownAccess, missing("Camera unavailable", "Camera status unknown", false, "Unavailable",
                                    "Camera unavailable", cannotBeOpened, "camera unavailable", openAgain)},
    {Camera::noDevice, missing("No camera found", "No camera found", false, "No camera", "No camera found",
                               "No camera found, so Zorvi cannot see the desk.", "no camera found",
                               "No camera found. Connect one, then choose Continue.")},
    {Camera::cannotOpen, missing("Camera error", "Camera failed: ", true, "Unavailable", "Camera unavailable",
                                 cannotBeOpened, "camera unavailable", openAgain)},
    {Camera::running, watching("", "Camera started: ", true, true, "")},
    {Camera::interrupted, watching("Camera in use by another app",
                                   "Camera interrupted (another app is using it)", false, true, "In use")},
    {Camera::resumed, watching("Camera ready", "Camera available again", false, true, "")},
    {Camera::failedWhileRunning,
     missing("Camera error", "Camera failed: ", true, "Stopped", "Camera stopped",
             "The camera stopped sending pictures, so Zorvi cannot see the desk.", "camera stopped",
             "The camera stopped. Choose Continue to start it again.")},
    // The update path says in its own line that the camera was stopped.
    {Camera::switchedOff,
     watching("Camera disabled for device-only mode", "", false, false, "Off",
              "Camera presence is off; Zorvi uses Bluetooth and input.", "Camera presence is off")},
}};

template <class Table> constexpr bool inStateOrder(const Table& table) {
    for (size_t i = 0; i < table.size(); ++i)
        if (size_t(table[i].first) != i)
            return false;
    return true;
}
static_assert(inStateOrder(cameraTable) && cameraTable.size() == size_t(Camera::switchedOff) + 1);

constexpr const char* searching = "Searching for nearby Bluetooth devices\u2026";
constexpr const char* notAllowed = "Zorvi may not use Bluetooth, so no device can be found.";
constexpr const char* unreachable = "The Bluetooth service cannot be reached, so no device can be found.";
constexpr const char* serviceGone = "The Bluetooth service cannot be reached.";

constexpr const char* allowForCameraFree = "Allow Bluetooth for camera-free locking";
constexpr const char* noCameraFreeWithoutService = "Bluetooth unavailable \u2014 no camera-free locking";

constexpr BluetoothWords unusable(const char* status, const char* logLine, bool asksPermission,
                                  const char* summary, const char* signalWord, const char* pickerLine,
                                  const char* onboarding, const char* cameraFreeLocking) {
    return {status,  logLine,    false,      true,       asksPermission,   false,
            summary, signalWord, pickerLine, onboarding, cameraFreeLocking};
}

// A row whose log line names what kept the system from answering.
constexpr BluetoothWords withCause(BluetoothWords words) {
    words.logsCause = true;
    return words;
}

using Radio = BluetoothState;

// Each state's row, in the order of the states.
constexpr std::array<std::pair<Radio, BluetoothWords>, 12> bluetoothTable{{
    {Radio::starting, {"Starting Bluetooth", "", false, false, false, false, "", "", searching, "", ""}},
    {Radio::offInSettings, unusable("Bluetooth off in settings", "", false, "", "off",
                                    "Bluetooth presence is off, so Zorvi is not searching.", "", "")},
    {Radio::permissionNeeded,
     unusable("Bluetooth permission needed", "Bluetooth permission waiting for user", true,
              "Needs Bluetooth permission", "blocked", notAllowed, "", allowForCameraFree)},
    {Radio::restricted,
     unusable("Bluetooth restricted", "Bluetooth restricted", false, "Bluetooth restricted", "blocked",
              notAllowed, "Bluetooth is restricted on this computer.",
              "Bluetooth restricted \u2014 no camera-free locking")},
    {Radio::refused, unusable("Bluetooth denied", "Bluetooth permission denied", true,
                              "Needs Bluetooth permission", "blocked", notAllowed, "", allowForCameraFree)},
    {Radio::unknownAccess,
     withCause(unusable("Bluetooth unavailable", "Bluetooth unavailable: ", false, "Bluetooth unavailable",
                        "unavailable", unreachable, serviceGone, noCameraFreeWithoutService))},
    {Radio::poweredOff, unusable("Bluetooth off", "Bluetooth is off", false, "Bluetooth off", "radio off",
                                 "Bluetooth is off. Turn it on to find your device.",
                                 "Bluetooth is off. Turn it on, then choose Continue.",
                                 "Turn on Bluetooth for camera-free locking")},
    {Radio::unknownRadio, unusable("Bluetooth state unknown", "", false, "Bluetooth unavailable",
                                   "unavailable", unreachable, serviceGone, noCameraFreeWithoutService)},
    {Radio::resetting, unusable("Bluetooth is restarting", "", false, "Bluetooth unavailable", "unavailable",
                                unreachable, serviceGone, noCameraFreeWithoutService)},
    {Radio::noAdapter, unusable("No Bluetooth adapter", "", false, "No Bluetooth adapter", "no adapter",
                                "No Bluetooth adapter is available on this computer.",
                                "No Bluetooth adapter is available on this computer.",
                                "No Bluetooth adapter \u2014 no camera-free locking")},
    // Moving, the companion is still heard; lying still it is not, so no absence can be told.
    {Radio::stillUnheard,
     {"Scanning alongside another program",
      "Bluetooth: another program keeps scanning, so a device lying still goes unheard; its silence will not "
      "lock this computer",
      false, true, false, true, "Another program is scanning Bluetooth", "unheard", searching, "",
      "Another program is scanning Bluetooth \u2014 a device lying still is not heard, so no camera-free "
      "lock"}},
    {Radio::scanning,
     {"Scanning", "Bluetooth scanning", false, false, false, true, "", "", searching, "", ""}},
}};
static_assert(inStateOrder(bluetoothTable) && bluetoothTable.size() == size_t(Radio::scanning) + 1);

} // namespace

const CameraWords& cameraWords(CameraState::Kind kind) {
    return cameraTable[size_t(kind)].second;
}

std::string cameraStatusText(const CameraState& state) {
    const char* status = cameraWords(state.kind).status;
    return *status ? status : state.reason;
}

std::optional<CameraState::Kind> cameraAccessProblem(int authorization) {
    switch (authorization) {
    case CameraDevice::authorized:
        return std::nullopt;
    case CameraDevice::restricted:
    case CameraDevice::denied:
        return Camera::refused;
    case CameraDevice::notDetermined:
        return Camera::permissionNeeded;
    case CameraDevice::noDevice:
        return Camera::noDevice;
    default:
        return Camera::unknownAccess;
    }
}

const BluetoothWords& bluetoothWords(BluetoothState state) {
    return bluetoothTable[size_t(state)].second;
}

BluetoothState bluetoothStateFor(BluetoothCentralState radio, bool hearsStill) {
    switch (radio) {
    case BluetoothCentralState::unauthorized:
        return BluetoothState::refused;
    case BluetoothCentralState::poweredOff:
        return BluetoothState::poweredOff;
    case BluetoothCentralState::poweredOn:
        return hearsStill ? BluetoothState::scanning : BluetoothState::stillUnheard;
    case BluetoothCentralState::resetting:
        return BluetoothState::resetting;
    case BluetoothCentralState::unsupported:
        return BluetoothState::noAdapter;
    case BluetoothCentralState::unknown:
        break;
    }
    return BluetoothState::unknownRadio;
}
