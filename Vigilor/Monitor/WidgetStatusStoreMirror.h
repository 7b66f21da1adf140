#pragma once

#include "Foundation/DefaultsStore.h"
#include "Foundation/HostName.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <functional>
#include <string>

class VigilorMonitor;

// What the widget's copy needs from the monitor besides the status record itself.
struct WidgetMirrorFacts {
    std::string deviceID;      // the relay device identifier of the settings in use
    bool screenLocked = false; // the monitor's belief at the time of writing
};

// The application's only way of talking to the desktop widget: each status event becomes the shared
// status snapshot in the shared store, followed by a reload request for the widget. Main thread
// only, like every caller.
class WidgetStatusStoreMirror final : public WidgetStatusMirror {
public:
    // The widget kind keeps the spelling the widget has always been asked by.
    static constexpr const char* widgetKind = "ZorviMacWidget";

    using FactsSource = std::function<WidgetMirrorFacts()>;
    explicit WidgetStatusStoreMirror(FactsSource facts = {},
                                     std::function<std::string()> hostName = computerName);
    // The monitor is made from the services that hold this mirror, so its facts are attached after.
    void setFactsSource(FactsSource facts) { facts_ = std::move(facts); }

    void mirror(const ZorviStatusSnapshot& snapshot, RelayEvent event, Date seenAt, bool force) override;

    // Event, status, reason, source, confidence, face, companion and idle seconds (rounded half away from
    // zero), joined by "|", an absent one as its empty value: two writes with the same key would show the
    // widget the same thing. The key is kept in the store the widget shares, in this form.
    static std::string mirrorKey(const ZorviStatusSnapshot& snapshot, RelayEvent event);
    // The widget's copy of the record of one status event: the report with the writer's and the
    // freshness fields set (the stored form leaves the relay's desk health and recovery fields out).
    static ZorviStatusSnapshot widgetSnapshot(const ZorviStatusSnapshot& snapshot, RelayEvent event,
                                              Date seenAt, const WidgetMirrorFacts& facts,
                                              const std::string& deviceName);
    // The facts of a monitor; empty ones when there is none (yet).
    static WidgetMirrorFacts factsOf(const VigilorMonitor* monitor);

    // Asks the widget of `kind` to reload. The widget watches the suite's file and re-reads it whenever
    // the file is replaced, so on this platform the write itself is the request and the default hook
    // does nothing more; a test may hook in to see that the request follows each write.
    std::function<void(const std::string& kind)> reloadTimelines = [](const std::string&) {};

private:
    FactsSource facts_;
    std::function<std::string()> hostName_;
};
