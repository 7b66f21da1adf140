#include "MacWidgetStatusStoreMirror.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "ZorviShared/ZorviMacDefaults.h"

MacWidgetStatusStoreMirror::MacWidgetStatusStoreMirror(FactsSource facts,
                                                       std::function<std::string()> hostName)
    : facts_(std::move(facts))
    , hostName_(std::move(hostName)) {
}

MacWidgetMirrorFacts MacWidgetStatusStoreMirror::factsOf(const VigilorMonitor* monitor) {
    if (!monitor)
        return {};
    return {monitor->config().remoteDeviceID, monitor->lockAttempt().locked()};
}

std::string MacWidgetStatusStoreMirror::mirrorKey(const RemoteMacStatusSnapshot& snapshot, RelayEvent event) {
    const auto flag = [](bool value) { return value ? "true" : "false"; };
    return std::string(rawValue(event)) + "|" + std::string(rawValue(snapshot.status)) + "|" + snapshot.reason + "|" +
           snapshot.source + "|" + std::to_string(snapshot.confidence) + "|" + flag(snapshot.facePresent) +
           "|" + flag(snapshot.companionPresent) + "|" +
           std::to_string(roundedInteger(snapshot.inputIdleSeconds));
}

ZorviMacStatus MacWidgetStatusStoreMirror::widgetStatus(RemoteMacLockStatus status) {
    switch (status) {
    case RemoteMacLockStatus::locked:
        return ZorviMacStatus::locked;
    case RemoteMacLockStatus::unlocked:
        return ZorviMacStatus::unlocked;
    case RemoteMacLockStatus::locking:
        return ZorviMacStatus::locking;
    case RemoteMacLockStatus::unknown:
        return ZorviMacStatus::unknown;
    }
    return ZorviMacStatus::unknown;
}

ZorviMacStatusSnapshot MacWidgetStatusStoreMirror::widgetSnapshot(const RemoteMacStatusSnapshot& snapshot,
                                                                  RelayEvent event, Date seenAt,
                                                                  const MacWidgetMirrorFacts& facts,
                                                                  const std::string& deviceName) {
    ZorviMacStatusSnapshot widget;
    widget.schema = "zorvi.remote.v1";
    widget.app = "Zorvi";
    widget.event = std::string(rawValue(event));
    widget.deviceID = facts.deviceID;
    widget.deviceName = deviceName.empty() ? unnamedComputer : deviceName;
    widget.seenAt = seenAt;
    widget.status = widgetStatus(snapshot.status);
    widget.reason = snapshot.reason;
    widget.source = snapshot.source;
    widget.confidence = snapshot.confidence;
    widget.facePresent = snapshot.facePresent;
    widget.companionPresent = snapshot.companionPresent;
    widget.inputIdleSeconds = snapshot.inputIdleSeconds;
    widget.stale = false;
    widget.ageSeconds = 0;
    if (facts.screenLocked)
        widget.message = "Computer locked.";
    return widget;
}

void MacWidgetStatusStoreMirror::mirror(const RemoteMacStatusSnapshot& snapshot, RelayEvent event, Date seenAt,
                                        bool force) {
    const std::string key = mirrorKey(snapshot, event);
    DefaultsStore store = ZorviMacDefaults::store();
    if (!force) {
        const auto stored = store.value(ZorviMacDefaults::lastStatusMirrorKey);
        if (stored && stored->is_string() && stored->get_ref<const std::string&>() == key)
            return;
    }
    const MacWidgetMirrorFacts facts = facts_ ? facts_() : MacWidgetMirrorFacts{};
    ZorviMacDefaults::persistStatus(
        widgetSnapshot(snapshot, event, seenAt, facts, hostName_ ? hostName_() : ""), seenAt, key, store);
    reloadTimelines(widgetKind);
}
