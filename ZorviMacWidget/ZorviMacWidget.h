#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Date.h"
#include "ZorviShared/ZorviMacStatusSnapshot.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The three sizes the desktop widget comes in.
enum class ZorviMacWidgetFamily { systemSmall, systemMedium, systemLarge };
template <> struct RawValues<ZorviMacWidgetFamily> {
    static constexpr std::array cases{
        std::pair{ZorviMacWidgetFamily::systemSmall, std::string_view("small")},
        std::pair{ZorviMacWidgetFamily::systemMedium, std::string_view("medium")},
        std::pair{ZorviMacWidgetFamily::systemLarge, std::string_view("large")},
    };
};

// What the widget shows at one moment: the stored snapshot with local freshness applied, and when the
// application wrote it.
struct ZorviMacWidgetEntry {
    Date date;
    std::optional<ZorviMacStatusSnapshot> status;
    std::optional<Date> lastRefresh;

    bool operator==(const ZorviMacWidgetEntry&) const = default;

    // A locked sample for previews, whatever the store holds.
    static ZorviMacWidgetEntry placeholder(const Clock& clock = SystemClock::shared());
};

// One entry and the time after which the widget asks for the next timeline.
struct ZorviMacWidgetTimeline {
    std::vector<ZorviMacWidgetEntry> entries;
    Date reloadAfter;
};

// Turns the shared store into timeline entries. It keeps nothing between requests: every request reads
// the store afresh, and each completion runs once, before the request returns.
class ZorviMacWidgetProvider {
public:
    static constexpr double reloadInterval = 30;

    explicit ZorviMacWidgetProvider(const Clock& clock = SystemClock::shared())
        : clock_(&clock) {}

    ZorviMacWidgetEntry placeholder() const { return ZorviMacWidgetEntry::placeholder(*clock_); }
    void getSnapshot(bool isPreview, const std::function<void(const ZorviMacWidgetEntry&)>& completion) const;
    void getTimeline(const std::function<void(const ZorviMacWidgetTimeline&)>& completion) const;

private:
    ZorviMacWidgetEntry readEntry(Date now) const;

    const Clock* clock_;
};

// The widget's one configuration: its kind (the name the application's reload request uses), the name
// and description the desktop shows, and the sizes offered.
struct ZorviMacStatusWidget {
    std::string kind = "ZorviMacWidget";

    static constexpr const char* configurationDisplayName = "Zorvi";
    static constexpr const char* description = "This computer's lock status and presence signals.";
    static constexpr std::array supportedFamilies{ZorviMacWidgetFamily::systemSmall,
                                                  ZorviMacWidgetFamily::systemMedium,
                                                  ZorviMacWidgetFamily::systemLarge};
};
