#pragma once

#include "Foundation/Clock.h"
#include "Foundation/Date.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The three sizes the desktop widget comes in.
enum class ZorviWidgetFamily { systemSmall, systemMedium, systemLarge };
template <> struct RawValues<ZorviWidgetFamily> {
    static constexpr std::array cases{
        std::pair{ZorviWidgetFamily::systemSmall, std::string_view("small")},
        std::pair{ZorviWidgetFamily::systemMedium, std::string_view("medium")},
        std::pair{ZorviWidgetFamily::systemLarge, std::string_view("large")},
    };
};

// What the widget shows at one moment: the stored snapshot with local freshness applied, and when the
// application wrote it.
struct ZorviWidgetEntry {
    Date date;
    std::optional<ZorviStatusSnapshot> status;
    std::optional<Date> lastRefresh;

    bool operator==(const ZorviWidgetEntry&) const = default;

    // A locked sample for previews, whatever the store holds.
    static ZorviWidgetEntry placeholder(const Clock& clock = SystemClock::shared());
};

// One entry and the time after which the widget asks for the next timeline.
struct ZorviWidgetTimeline {
    std::vector<ZorviWidgetEntry> entries;
    Date reloadAfter;
};

// Turns the shared store into timeline entries. It keeps nothing between requests: every request reads
// the store afresh, and each completion runs once, before the request returns.
class ZorviWidgetProvider {
public:
    static constexpr double reloadInterval = 30;

    explicit ZorviWidgetProvider(const Clock& clock = SystemClock::shared())
        : clock_(&clock) {}

    ZorviWidgetEntry placeholder() const { return ZorviWidgetEntry::placeholder(*clock_); }
    void getSnapshot(bool isPreview, const std::function<void(const ZorviWidgetEntry&)>& completion) const;
    void getTimeline(const std::function<void(const ZorviWidgetTimeline&)>& completion) const;

private:
    ZorviWidgetEntry readEntry(Date now) const;

    const Clock* clock_;
};

// The widget's one configuration: its kind (the name the application's reload request uses), the name
// and description the desktop shows, and the sizes offered.
struct ZorviStatusWidget {
    std::string kind = "ZorviMacWidget";

    static constexpr const char* configurationDisplayName = "Zorvi";
    static constexpr const char* description = "This computer's lock status and presence signals.";
    static constexpr std::array supportedFamilies{
        ZorviWidgetFamily::systemSmall, ZorviWidgetFamily::systemMedium, ZorviWidgetFamily::systemLarge};
};
