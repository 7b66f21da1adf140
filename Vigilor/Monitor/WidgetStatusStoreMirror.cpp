#include "WidgetStatusStoreMirror.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "ZorviShared/ZorviSharedStore.h"

WidgetStatusStoreMirror::WidgetStatusStoreMirror(FactsSource facts, std::function<std::string()> hostName)
    : facts_(std::move(facts))
    , hostName_(std::move(hostName)) {
}

WidgetMirrorFacts WidgetStatusStoreMirror::factsOf(const VigilorMonitor* monitor) {
    if (!monitor)
        return {};
    return {monitor->config().remoteDeviceID, monitor->lockAttempt().locked()};
}

std::string WidgetStatusStoreMirror::mirrorKey(const RemoteStatusSnapshot& snapshot, RelayEvent event) {
    const auto flag = [](bool value) { return value ? "true" : "false"; };
    return std::string(rawValue(event)) + "|" + std::string(rawValue(snapshot.status)) + "|" +
           snapshot.reason + "|" + snapshot.source + "|" + std::to_string(snapshot.confidence) + "|" +
           flag(snapshot.facePresent) + "|" + flag(snapshot.companionPresent) + "|" +
           std::to_string(roundedInteger(snapshot.inputIdleSeconds));
}

ZorviStatus WidgetStatusStoreMirror::widgetStatus(RemoteLockStatus status) {
    switch (status) {
    case RemoteLockStatus::locked:
        return ZorviStatus::locked;
    case RemoteLockStatus::unlocked:
        return ZorviStatus::unlocked;
    case RemoteLockStatus::locking:
        return ZorviStatus::locking;
    case RemoteLockStatus::unknown:
        return ZorviStatus::unknown;
    }
    return ZorviStatus::unknown;
}

ZorviStatusSnapshot WidgetStatusStoreMirror::widgetSnapshot(const RemoteStatusSnapshot& snapshot,
                                                            RelayEvent event, Date seenAt,
                                                            const WidgetMirrorFacts& facts,
                                                            const std::string& deviceName) {
    ZorviStatusSnapshot widget;
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

void WidgetStatusStoreMirror::mirror(const RemoteStatusSnapshot& snapshot, RelayEvent event, Date seenAt,
                                     bool force) {
    const std::string key = mirrorKey(snapshot, event);
    DefaultsStore store = ZorviSharedStore::store();
    if (!force) {
        const auto stored = store.value(ZorviSharedStore::lastStatusMirrorKey);
        if (stored && stored->is_string() && stored->get_ref<const std::string&>() == key)
            return;
    }
    const WidgetMirrorFacts facts = facts_ ? facts_() : WidgetMirrorFacts{};
    ZorviSharedStore::persistStatus(
        widgetSnapshot(snapshot, event, seenAt, facts, hostName_ ? hostName_() : ""), seenAt, key, store);
    reloadTimelines(widgetKind);
}
