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

std::string WidgetStatusStoreMirror::mirrorKey(const ZorviStatusSnapshot& snapshot, RelayEvent event) {
    const auto flag = [](std::optional<bool> value) { return value.value_or(false) ? "true" : "false"; };
    return std::string(rawValue(event)) + "|" +
           std::string(rawValue(snapshot.status.value_or(ZorviStatus::unknown))) + "|" +
           snapshot.reason.value_or("") + "|" + snapshot.source.value_or("") + "|" +
           std::to_string(snapshot.confidence.value_or(0)) + "|" + flag(snapshot.facePresent) + "|" +
           flag(snapshot.companionPresent) + "|" +
           std::to_string(roundedInteger(snapshot.inputIdleSeconds.value_or(0)));
}

ZorviStatusSnapshot WidgetStatusStoreMirror::widgetSnapshot(const ZorviStatusSnapshot& snapshot,
                                                            RelayEvent event, Date seenAt,
                                                            const WidgetMirrorFacts& facts,
                                                            const std::string& deviceName) {
    ZorviStatusSnapshot widget = snapshot;
    widget.schema = "zorvi.remote.v1";
    widget.app = "Zorvi";
    widget.event = std::string(rawValue(event));
    widget.deviceID = facts.deviceID;
    widget.deviceName = deviceName.empty() ? unnamedComputer : deviceName;
    widget.seenAt = seenAt;
    widget.stale = false;
    widget.ageSeconds = 0;
    if (facts.screenLocked)
        widget.message = "Computer locked.";
    return widget;
}

void WidgetStatusStoreMirror::mirror(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date seenAt,
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
