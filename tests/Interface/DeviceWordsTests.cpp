// What the user reads about the camera and Bluetooth, everywhere at once, for what the devices
// reported and what the user did since: the one table of words.
#include "Support/MonitorHarness.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Interface/MovementCard.h"
#include "Vigilor/Interface/OnboardingModel.h"
#include "Vigilor/Interface/StatusWindowModel.h"
#include "Vigilor/Settings/SettingsModels.h"

#include <gtest/gtest.h>

#include <map>

namespace {

enum class Camera { works, none, refused, cannotOpen, off }; // off: camera presence switched off
enum class Radio { off, noBus, refused, poweredOff, noAdapter, scanning }; // off: Bluetooth presence off
enum class Step { start, later, pauseResume, settingsChange, onboarding };

// A monitor whose camera and Bluetooth are as a row says, with screen locking allowed and the user
// idle; a camera that works sees the user in every frame it takes.
struct DeviceScene {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    DeviceScene(Camera camera, Radio radio) {
        h.videoQueue = h.faceIdentityQueue = h.runLoop.sharedLoop();
        h.vision->faces = {FakeVisionAnalyzer::face(0.3, 0.3, 0.4, 0.4)};
        h.inputIdle->idle = 600;
        VigilorConfig stored;
        stored.screenLockingEnabled = true;
        stored.cameraPresenceEnabled = camera != Camera::off;
        if (radio != Radio::off) {
            stored.bluetoothPresenceMode = BluetoothPresenceMode::watch;
            stored.watchGateRequired = true;
        }
        stored.save();
        h.camera->hasDevice = camera != Camera::none;
        h.camera->status = camera == Camera::refused ? CameraDevice::denied : CameraDevice::authorized;
        if (camera == Camera::cannotOpen)
            h.camera->settings.inputFailure = "No such file or directory";
        const std::map<Radio, BluetoothAuthorization> access{
            {Radio::noBus, BluetoothAuthorization::unknown},
            {Radio::refused, BluetoothAuthorization::denied}};
        h.bluetooth->authorizationAnswer =
            access.contains(radio) ? access.at(radio) : BluetoothAuthorization::allowedAlways;
        h.bluetooth->initialState = radio == Radio::poweredOff  ? BluetoothCentralState::poweredOff
                                    : radio == Radio::noAdapter ? BluetoothCentralState::unsupported
                                                                : BluetoothCentralState::poweredOn;
        monitor = h.makeMonitor();
    }

    void advance(double seconds) {
        for (; seconds > 0; seconds -= 0.5) {
            if (const auto session = h.camera->lastSession; session && session->running)
                session->deliver(std::make_shared<FakeFrame>());
            h.runLoop.loop().advance(0.5);
        }
    }

    void take(Step step) {
        advance(0.5);
        switch (step) {
        case Step::start:
            return;
        case Step::later:
            return advance(25);
        case Step::pauseResume:
            monitor->togglePaused();
            monitor->togglePaused();
            break;
        case Step::settingsChange:
            monitor->settings().updateConfig([](VigilorConfig& c) { c.eyeBreakInterval = 1500; });
            break;
        case Step::onboarding: // "Continue" on the Camera row
            monitor->requestCameraThenBluetooth();
            break;
        }
        advance(0.5);
    }
};

// Panel: title, decision; hero: readiness, lock reason; brief; chips: Face, Watch; the permission
// button; the presence mark; onboarding's Camera and Apple Watch rows ("granted", the description, or
// "-" when not shown); the device picker's line; the dashboard's Desk and Camera frame pills; the
// presence card's note ("-" when not shown).
std::vector<std::string> words(const VigilorMonitor& m, Date now) {
    const MenuContentModel panel = menuContentModel(m);
    const MovementCardModel card = movementCardModel(m, now, {}, {}, {});
    const LockingModeOption mode = lockingModeForConfig(m.config());
    const OnboardingPermissionStates onboarding = permissionStatesFrom(
        m.cameraPresence().cameraState().kind, m.companion().bluetoothState(), m.config().screenLockingEnabled);
    const auto row = [&](OnboardingPermission permission, bool shown) -> std::string {
        if (!shown)
            return "-";
        return onboarding.granted(permission) ? "granted"
                                              : onboardingPermissionDescription(permission, onboarding);
    };
    return {panel.nudgeTitle,
            panel.decision,
            m.statusSummaries().readinessSummary(),
            m.statusSummaries().lockReason(),
            m.statusSummaries().signalBrief(),
            panel.chips[0].value,
            panel.chips[1].value,
            !panel.showPermissionButton ? "-"
            : panel.permissionForCamera ? "camera"
                                        : "Bluetooth",
            "Zorvi " + PresenceMarkView::look(presenceMarkState(m)).stateDescription,
            row(OnboardingPermission::camera, true),
            row(OnboardingPermission::appleWatch, m.companion().bluetoothPresenceEnabled()),
            devicePickerSearchLine(m),
            card.desk.value + " \u2014 " + card.desk.detail,
            card.cameraFrame.value + " \u2014 " + card.cameraFrame.detail,
            mode == LockingModeOption::cameraOnly ? "-" : presenceNote(mode, m.companion().bluetoothState())};
}

const std::string noCamera = "No camera found, so Zorvi cannot see the desk.";
const std::string cannotOpen = "The camera cannot be opened, so Zorvi cannot see the desk.";
const std::string cameraOffRow = "Camera presence is off; Zorvi uses Bluetooth and input.";
const std::string watchRow = "Verifies your proximity to the computer";
const std::string unavailable = "Bluetooth is unavailable; Watch verification is suppressing auto-lock.";
const std::string serviceGone = "The Bluetooth service cannot be reached.";
const std::string notSearching = "Bluetooth presence is off, so Zorvi is not searching.";
const std::string notAllowed = "Zorvi may not use Bluetooth, so no device can be found.";
const std::string unreachable = "The Bluetooth service cannot be reached, so no device can be found.";
const std::string searching = "Searching for nearby Bluetooth devices\u2026";
const std::string noAdapter = "No Bluetooth adapter is available on this computer.";
const std::string noCameraPill = "No camera \u2014 No camera found";
const std::string cameraOffPill = "Off \u2014 Camera disabled for device-only mode";
const std::string learningDesk = "Learning \u2014 face height";
const std::string faceOnly = "Face only \u2014 body out of frame";
const std::string cannotTell = " \u2014 Zorvi cannot tell when your device goes out of Bluetooth range.";

// The rows that the same devices give whatever the user did.
// clang-format off
std::vector<std::string> noCameraWords(const std::string& watch, const std::string& button,
                                       const std::string& watchRow, const std::string& picker,
                                       const std::string& note = "-") {
    return {"No camera found", "No camera signal", "No camera found", noCamera, noCamera, "No camera", watch,
            button, "Zorvi blocked; no camera found", "No camera found. Connect one, then choose Continue.",
            watchRow, picker, noCameraPill, noCameraPill, note};
}
const std::vector<std::string> cameraRefused = {
    "Zorvi needs access", "No camera signal", "Needs permission", "Needs Camera permission.",
    "Zorvi may not open the camera; Continue checks again.", "Blocked", "off", "camera",
    "Zorvi blocked; permission needed", "Detects your presence at the desk", "-", notSearching,
    "Blocked \u2014 Camera denied", "Blocked \u2014 Camera denied", "-"};
const std::vector<std::string> cameraOffNoBus = {
    "Camera presence is off", "Bluetooth unavailable \u2014 no camera-free locking", "Bluetooth unavailable",
    "Won't lock: Bluetooth is unavailable.", unavailable, "Off", "unavailable", "-", "Zorvi away",
    cameraOffRow, serviceGone, unreachable, cameraOffPill, cameraOffPill, "Bluetooth unavailable" + cannotTell};
// clang-format on

TEST(DeviceWords, FollowWhatTheDevicesReportedWhateverTheUserDidSince) {
    const struct {
        const char* name;
        Camera camera;
        Radio radio;
        Step step;
        std::vector<std::string> words;
    } rows[] = {
        // clang-format off
        {"no camera: no face assumed at the start", Camera::none, Radio::off, Step::start,
         noCameraWords("off", "-", "-", notSearching)},
        {"no camera, 25 s on: no seconds counted", Camera::none, Radio::off, Step::later,
         noCameraWords("off", "-", "-", notSearching)},
        {"no camera, paused and resumed", Camera::none, Radio::off, Step::pauseResume,
         noCameraWords("off", "-", "-", notSearching)},
        {"no camera, Bluetooth refused: each named for itself", Camera::none, Radio::refused, Step::start,
         noCameraWords("blocked", "Bluetooth", watchRow, notAllowed, "Needs Bluetooth permission" + cannotTell)},
        {"no camera, radio off, a settings change", Camera::none, Radio::poweredOff, Step::settingsChange,
         noCameraWords("radio off", "-", "Bluetooth is off. Turn it on, then choose Continue.",
                       "Bluetooth is off. Turn it on to find your device.", "Bluetooth off" + cannotTell)},
        {"camera refused", Camera::refused, Radio::off, Step::start, cameraRefused},
        {"camera refused, Continue in onboarding", Camera::refused, Radio::off, Step::onboarding, cameraRefused},
        {"camera that cannot be opened, Continue in onboarding", Camera::cannotOpen, Radio::off, Step::onboarding,
         {"Camera unavailable", "No camera signal", "Camera unavailable", cannotOpen, cannotOpen, "Unavailable", "off",
          "-", "Zorvi blocked; camera unavailable", "The camera cannot be opened. Choose Continue to try again.", "-",
          notSearching, "Unavailable \u2014 Camera error", "Unavailable \u2014 Camera error", "-"}},
        {"camera off, no system bus", Camera::off, Radio::noBus, Step::start, cameraOffNoBus},
        {"camera off, no system bus, a settings change", Camera::off, Radio::noBus, Step::settingsChange,
         cameraOffNoBus},
        {"camera off, watch never heard", Camera::off, Radio::scanning, Step::start,
         {"Camera presence is off", "Learning Watch", "Away signal", "Won't lock: waiting for first Watch signal.",
          "Waiting to learn your Watch signal.", "Off", "baseline needed", "-", "Zorvi away", cameraOffRow, "granted",
          searching, cameraOffPill, cameraOffPill,
          "Zorvi locks when your device goes out of Bluetooth range, with no camera running."}},
        {"camera sees you, no system bus", Camera::works, Radio::noBus, Step::start,
         {"You are in view", "Coaching: present", "Bluetooth unavailable", "Won't lock: face is visible.", unavailable,
          "Looking here", "unavailable", "-", "Zorvi face present", "granted", serviceGone, unreachable, learningDesk,
          faceOnly, "Bluetooth unavailable" + cannotTell}},
        {"camera sees you, Bluetooth refused", Camera::works, Radio::refused, Step::start,
         {"You are in view", "Coaching: present", "Needs Bluetooth permission", "Won't lock: face is visible.",
          unavailable, "Looking here", "blocked", "Bluetooth", "Zorvi face present", "granted", watchRow, notAllowed,
          learningDesk, faceOnly, "Needs Bluetooth permission" + cannotTell}},
        {"camera sees you, no adapter, 25 s on", Camera::works, Radio::noAdapter, Step::later,
         {"You are in view", "Coaching: present", "No Bluetooth adapter", "Won't lock: face is visible.", unavailable,
          "Looking here", "no adapter", "-", "Zorvi face present", "granted", noAdapter, noAdapter, learningDesk,
          faceOnly, "No Bluetooth adapter" + cannotTell}},
        {"everything works, paused and resumed", Camera::works, Radio::scanning, Step::pauseResume,
         {"You are in view", "Coaching: present", "Learning Watch signal", "Won't lock: face is visible.",
          "Camera is active; waiting to learn your Watch signal.", "Looking here", "baseline needed", "-",
          "Zorvi face present", "granted", "granted", searching, learningDesk, faceOnly,
          "Zorvi locks when you are out of the camera's view and your device goes out of Bluetooth range."}},
        // clang-format on
    };
    for (const auto& r : rows) {
        DeviceScene scene(r.camera, r.radio);
        scene.take(r.step);
        EXPECT_EQ(words(*scene.monitor, scene.h.clock.now()), r.words) << r.name;
    }
}

} // namespace
