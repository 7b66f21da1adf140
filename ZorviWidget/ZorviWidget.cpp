#include "ZorviWidget.h"

#include "ZorviShared/ZorviSharedStore.h"

ZorviWidgetEntry ZorviWidgetEntry::placeholder(const Clock& clock) {
    ZorviWidgetEntry entry;
    entry.date = clock.now();
    ZorviStatusSnapshot sample;
    sample.schema = "zorvi.remote.v1";
    sample.app = "Zorvi";
    sample.event = "locked";
    sample.deviceName = "Varek's computer";
    sample.seenAt = clock.now();
    sample.status = ZorviStatus::locked;
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

void ZorviWidgetProvider::getSnapshot(bool isPreview,
                                      const std::function<void(const ZorviWidgetEntry&)>& completion) const {
    completion(isPreview ? placeholder() : readEntry(clock_->now()));
}

void ZorviWidgetProvider::getTimeline(
    const std::function<void(const ZorviWidgetTimeline&)>& completion) const {
    ZorviWidgetEntry entry = readEntry(clock_->now());
    completion(ZorviWidgetTimeline{{std::move(entry)}, clock_->now().addingTimeInterval(reloadInterval)});
}

// The snapshot is taken as loaded: the store has already aged it.
ZorviWidgetEntry ZorviWidgetProvider::readEntry(Date now) const {
    const auto stored = ZorviSharedStore::loadStatus(ZorviSharedStore::store(), now);
    ZorviWidgetEntry entry;
    entry.date = now;
    if (stored) {
        entry.status = stored->snapshot;
        entry.lastRefresh = stored->receivedAt;
    }
    return entry;
}
