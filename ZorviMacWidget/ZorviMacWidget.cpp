#include "ZorviMacWidget.h"

#include "ZorviShared/ZorviMacDefaults.h"

ZorviMacWidgetEntry ZorviMacWidgetEntry::placeholder(const Clock& clock) {
    ZorviMacWidgetEntry entry;
    entry.date = clock.now();
    ZorviMacStatusSnapshot sample;
    sample.schema = "zorvi.remote.v1";
    sample.app = "Zorvi";
    sample.event = "locked";
    sample.deviceName = "Varek's computer";
    sample.seenAt = clock.now();
    sample.status = ZorviMacStatus::locked;
    sample.reason = "Computer locked.";
    sample.source = "Zorvi";
    sample.facePresent = true;
    sample.companionPresent = true;
    sample.inputIdleSeconds = 3.0;
    sample.stale = false;
    sample.ageSeconds = 0;
    entry.status = std::move(sample);
    entry.lastRefresh = clock.now();
    return entry;
}

void ZorviMacWidgetProvider::getSnapshot(
    bool isPreview, const std::function<void(const ZorviMacWidgetEntry&)>& completion) const {
    completion(isPreview ? placeholder() : readEntry(clock_->now()));
}

void ZorviMacWidgetProvider::getTimeline(
    const std::function<void(const ZorviMacWidgetTimeline&)>& completion) const {
    ZorviMacWidgetEntry entry = readEntry(clock_->now());
    completion(ZorviMacWidgetTimeline{{std::move(entry)}, clock_->now().addingTimeInterval(reloadInterval)});
}

// The snapshot is taken as loaded: the store has already aged it.
ZorviMacWidgetEntry ZorviMacWidgetProvider::readEntry(Date now) const {
    const auto stored = ZorviMacDefaults::loadStatus(ZorviMacDefaults::store(), now);
    ZorviMacWidgetEntry entry;
    entry.date = now;
    if (stored) {
        entry.status = stored->snapshot;
        entry.lastRefresh = stored->receivedAt;
    }
    return entry;
}
