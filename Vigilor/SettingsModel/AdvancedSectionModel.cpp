#include "AdvancedSectionModel.h"

#include "Vigilor/GdmBanner/GdmBanner.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <algorithm>

std::vector<AdvancedDisclosure> advancedDisclosures() {
    using enum AdvancedDisclosure;
    return {
        lockFineTuning,    bluetoothPresence, breakTuning,        screenDistance,
        postureAndFraming, menuBarAndAlerts,  lockScreenMessage,  phoneAndWatchStatus,
        privacyAndTrust,   recentEvents,      lockAndSecurityLog,
    };
}

DisclosureHeader advancedDisclosureHeader(AdvancedDisclosure disclosure, size_t eventCount,
                                          size_t lockEventCount) {
    using T = SettingsTint;
    switch (disclosure) {
    case AdvancedDisclosure::lockFineTuning:
        return {"Lock fine-tuning", "Raw timing and camera thresholds.", "slider.horizontal.below.rectangle",
                T::warning};
    case AdvancedDisclosure::bluetoothPresence:
        return {"Bluetooth presence", "Pick the exact device and tune range.",
                "dot.radiowaves.left.and.right", T::success};
    case AdvancedDisclosure::breakTuning:
        return {"Break tuning", "Movement credit.", "figure.walk.motion", T::success};
    case AdvancedDisclosure::screenDistance:
        return {"Screen distance", "Desk-distance coaching.", "ruler", T::success};
    case AdvancedDisclosure::postureAndFraming:
        return {"Posture & framing", "Face-angle and framing hints.", "figure.stand", T::notice};
    case AdvancedDisclosure::menuBarAndAlerts:
        return {"Tray & alerts", "Appearance, sounds, notifications.", "menubar.rectangle", T::notice, true};
    case AdvancedDisclosure::lockScreenMessage:
        return {"Lock screen message", "Show a message on GDM's login screen.", "lock.doc", T::warning};
    case AdvancedDisclosure::phoneAndWatchStatus:
        return {"Phone & Watch status", "Remote companion and pairing.", "iphone.and.arrow.forward",
                T::success};
    case AdvancedDisclosure::privacyAndTrust:
        return {"Privacy & Trust", "The core product promise.", "hand.raised", T::success};
    case AdvancedDisclosure::recentEvents:
        return {"Recent events", recentEventsDetail(eventCount), "list.bullet.rectangle", T::secondary};
    case AdvancedDisclosure::lockAndSecurityLog:
        return {"Lock & security log", lockLogDetail(lockEventCount), "lock.doc", T::warning};
    }
    return {};
}

std::string recentEventsDetail(size_t eventCount) {
    return eventCount == 0 ? "None yet" : std::to_string(eventCount) + " logged";
}

std::string lockLogDetail(size_t lockEventCount) {
    return lockEventCount == 0 ? "No lock events" : std::to_string(lockEventCount) + " entries";
}

std::vector<LogLine> recentEventLines(const std::vector<LogLine>& events) {
    const auto count = std::min(events.size(), recentEventLineLimit);
    return {events.begin(), events.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::string calibrationDetail(DistanceCalibrationMode mode) {
    return mode == DistanceCalibrationMode::manual ? "Zorvi uses the distance you set as ideal."
                                                   : "Zorvi slowly adapts to your usual seated distance.";
}

std::string menuBarFeedbackDetail(MenuBarFeedbackStyle style) {
    switch (style) {
    case MenuBarFeedbackStyle::staticIcon:
        return "Minimal tray presence.";
    case MenuBarFeedbackStyle::liveIcon:
        return "Icon changes with face, Watch, and look-away state.";
    case MenuBarFeedbackStyle::liveLabel:
        return "Adds a short status word beside the icon.";
    }
    return {};
}

RemoteCompanionRows remoteCompanionRows(const VigilorConfig& config) {
    RemoteCompanionRows rows;
    rows.pairingDetail = "Copy this into the relay you run, or into a companion app.";
    rows.publishEnabled = remoteStatusEndpointReady(config);
    rows.publishHelp = rows.publishEnabled ? "" : "Status endpoint must be configured to publish";
    return rows;
}

std::optional<std::string> remotePairingJSON(const VigilorConfig& config) {
    // A plain (not ordered) object keeps its keys sorted.
    const nlohmann::json pairing = {
        {"schema", remotePairingSchema},
        {"device_id", config.remoteDeviceID},
        {"shared_secret", config.remoteSharedSecret},
        {"status_endpoint", config.remoteStatusEndpointURL},
        {"command_endpoint", config.remoteCommandEndpointURL},
    };
    std::string text;
    try {
        text = pairing.dump(2);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt; // a stored text that is not UTF-8
    }
    // Slashes written as "\/", as the receivers have always been handed them; keys hold none, so every
    // slash stands inside a value.
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '/')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

LockScreenSignatureRowLook lockScreenSignatureRowLook(const LockScreenMessageState& state, bool busy,
                                                      const std::optional<std::string>& errorText) {
    LockScreenSignatureRowLook look;
    look.iconSymbol = state.isOurs() ? "lock.fill" : "lock";
    look.iconTint = state.isOurs() ? SettingsTint::success : SettingsTint::secondary;
    look.detail = state.isForeign() ? "A custom lock-screen message is already set on this computer."
                                    : "Shows '" + std::string(GdmBanner::signatureText) +
                                          "' on GDM's login screen (needs the banner helper and an "
                                          "admin password).";
    if (busy) {
        look.buttonTitle = "Working...";
        look.buttonSymbol = "hourglass.topside.fill";
    } else if (state.isOurs()) {
        look.buttonTitle = "Disable";
        look.buttonSymbol = "xmark.circle";
    } else if (!state.isForeign()) {
        look.buttonTitle = "Enable";
        look.buttonSymbol = "checkmark.circle";
    }
    look.buttonEnabled = !busy && !state.isForeign();
    look.warning = errorText;
    return look;
}
