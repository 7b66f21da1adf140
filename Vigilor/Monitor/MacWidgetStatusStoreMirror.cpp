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
    return {monitor->config().remoteDeviceID, monitor->screenLocked()};
}

std::string MacWidgetStatusStoreMirror::mirrorKey(const RemoteMacStatusSnapshot& snapshot,
                                                  const std::string& event) {
    const auto flag = [](bool value) { return value ? "true" : "false"; };
    return event + "|" + std::string(rawValue(snapshot.status)) + "|" + snapshot.reason + "|" +
           snapshot.source + "|" + std::to_string(snapshot.confidence) + "|" + flag(snapshot.facePresent) +
           "|" + flag(snapshot.companionPresent) + "|" +
           std::to_string(roundedInteger(snapshot.inputIdleSeconds));
}

ZorviMacStatusSnapshot MacWidgetStatusStoreMirror::widgetSnapshot(const RemoteMacStatusSnapshot& snapshot,
                                                                  const std::string& event, Date seenAt,
                                                                  const MacWidgetMirrorFacts& facts,
                                                                  const std::string& deviceName) {
    ZorviMacStatusSnapshot widget;
    widget.schema = "zorvi.remote.v1";
    widget.app = "Zorvi";
    widget.event = event;
    widget.deviceID = facts.deviceID;
    widget.deviceName = deviceName.empty() ? unnamedComputer : deviceName;
    widget.seenAt = seenAt;
    widget.status =
        enumFromRawValue<ZorviMacStatus>(rawValue(snapshot.status)).value_or(ZorviMacStatus::unknown);
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

void MacWidgetStatusStoreMirror::mirror(const RemoteMacStatusSnapshot& snapshot, const std::string& event,
                                        Date seenAt, bool force) {
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
