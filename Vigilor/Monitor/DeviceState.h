#pragma once

#include "Platform/BluetoothCentral.h"

#include <optional>
#include <string>

// What the camera last told the monitor. It is written in one place, where the camera code hears from
// the platform (access, the device, the session and its notices) or the camera is switched off; every
// word the interface shows about the camera is read from the state's row of the table below, and no
// word is ever read back into a state.
struct CameraState {
    enum class Kind {
        starting,           // not asked yet
        permissionNeeded,   // access not decided yet
        refused,            // access denied or restricted
        unknownAccess,      // the platform could not say whether access is allowed
        noDevice,           // no video capture device at all
        cannotOpen,         // the device would not open or start
        running,            // the session was started
        interrupted,        // another application holds the camera
        resumed,            // the camera can be had again after an interruption
        failedWhileRunning, // it had been running, then failed and stopped
        switchedOff,        // camera presence is off in the settings
    };
    Kind kind = Kind::starting;
    std::string reason; // the device's name while it runs; the platform's words when it failed

    bool operator==(const CameraState&) const = default;
};

// One row of the camera's table. The texts under "while blocked" are empty for a state that does not
// block the monitor.
struct CameraWords {
    const char* status;    // the published `cameraStatus`; empty: the device's name (the reason)
    const char* logLine;   // the activity-log line of the report; empty: none
    bool logsReason;       // the reason follows the line
    bool blocks;           // no camera watches the desk: the monitor's phase is blocked
    bool asksPermission;   // a refusal that asking again may mend
    bool works;            // the camera opens: onboarding's Camera row is granted
    const char* faceWord;  // the Face signal while no face is in view; empty: the seconds since a face
    const char* readiness; // while blocked: the readiness word
    // The nudge card's title while blocked, or while no frames show a face.
    const char* nudgeTitle;
    const char* lockReason;
    const char* brief;
    const char* markReason; // the presence mark's words after "blocked; "
    const char* onboarding; // onboarding's Camera row; empty: the row's own description
};

const CameraWords& cameraWords(CameraState::Kind kind);
std::string cameraStatusText(const CameraState& state);
// The camera's answer about access as a state, the same for every caller: nothing when access is
// granted (the device itself is asked next).
std::optional<CameraState::Kind> cameraAccessProblem(int authorization);

// What Bluetooth last told the monitor: written where the monitor asks for authorisation and where its
// central reports the radio, and turned off with Bluetooth presence. The log line of each state is its
// reason, followed, where the system could not be asked, by the cause the platform gave.
enum class BluetoothState {
    starting,         // a central was made and has not reported yet
    offInSettings,    // Bluetooth presence is off
    permissionNeeded, // not decided, and not to be asked now
    restricted,
    refused,       // denied, or the radio reports no authorisation
    unknownAccess, // the system could not say (no system bus)
    poweredOff,    // the radio is off
    unknownRadio,  // the radio's state is not known (the Bluetooth service does not answer)
    resetting,     // the Bluetooth service went away for a moment
    noAdapter,     // no Bluetooth Low Energy radio
    stillUnheard,  // scanning, but a companion lying still cannot be heard: its silence tells nothing
    scanning,
};

struct BluetoothWords {
    const char* status;            // the published `bluetoothStatus`
    const char* logLine;           // empty: none
    bool logsCause;                // the platform's cause follows the line
    bool unavailable;              // no advertisement can arrive
    bool asksPermission;           // a refusal that asking again may mend
    bool works;                    // onboarding's Apple Watch row is granted
    const char* summary;           // with Bluetooth presence on and no signal: readiness and the Watch line
    const char* signalWord;        // the Watch chip's word while unavailable
    const char* pickerLine;        // the device picker's line while it lists no device
    const char* onboarding;        // onboarding's Apple Watch row; empty: the row's own description
    const char* cameraFreeLocking; // the decision without the camera while unavailable
};

const BluetoothWords& bluetoothWords(BluetoothState state);
// A report of the central's radio as a state; `hearsStill` as the central's hearsStillPeripherals().
BluetoothState bluetoothStateFor(BluetoothCentralState radio, bool hearsStill);
