#include "Vigilor/Monitor/WellnessHistory.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/Rounding.h"

#include <algorithm>
#include <filesystem>
#include <pthread.h>
#include <system_error>

namespace {

// The ledger's own domain, so that saving the settings never rewrites the history.
DefaultsStore ledgerStore() {
    return DefaultsStore::suite(WellnessHistory::ledgerDomain);
}

using LedgerEvents = std::shared_ptr<const std::vector<WellnessLedgerEvent>>;

struct DecodedLedger {
    std::vector<WellnessLedgerEvent> events; // every event that decodes, in order
    std::optional<std::string> damage;       // what did not decode
};

// Event by event, so that the stored form of a full ledger is never held whole.
DecodedLedger decodedLedger(const DefaultsStore& store) {
    DecodedLedger ledger;
    // Room for a full ledger at once: growing step by step would hold the old and the new room together
    // several times over, and only the room that is used costs memory.
    ledger.events.reserve(WellnessHistory::ledgerLimit);
    size_t count = 0, unreadable = 0;
    std::string first;
    const bool isList = store.forEachElement(WellnessHistory::ledgerKey, [&](Json&& element) {
        ++count;
        try {
            ledger.events.push_back(WellnessLedgerEvent::fromJSON(element));
        } catch (const JsonDecodingError& error) {
            if (unreadable++ == 0)
                first = error.what();
        }
    });
    if (!isList)
        ledger.damage = "it is not a list of events";
    else if (unreadable > 0)
        ledger.damage = std::to_string(unreadable) + " of " + std::to_string(count) +
                        " events could not be read; the first: " + first;
    return ledger;
}

// What makes the stored form of `events`, wherever it runs.
std::function<Json()> encodedLedger(LedgerEvents events) {
    return [events = std::move(events)] {
        Json stored = Json::array();
        for (const auto& event : *events)
            stored.push_back(event.toJSON());
        return stored;
    };
}

Date ledgerCutoff(Date at) {
    return LocalCalendar::addingDays(at, -WellnessHistory::ledgerDays);
}

// The events kept at `at`; the same list when every event is kept.
LedgerEvents prunedLedger(LedgerEvents events, Date at) {
    const Date cutoff = ledgerCutoff(at);
    if (events->size() <= WellnessHistory::ledgerLimit &&
        std::none_of(events->begin(), events->end(),
                     [&](const auto& event) { return event.occurredAt < cutoff; }))
        return events;
    return std::make_shared<const std::vector<WellnessLedgerEvent>>(
        WellnessHistory::pruned(*events, at));
}

std::string walkRhythm(const WellnessPeriodSummary& today) {
    if (today.movementCredits == 0 && today.skippedWalks == 0 && today.walkDismissed == 0)
        return "No walks credited yet today";
    std::string line =
        std::to_string(today.movementCredits) + (today.movementCredits == 1 ? " walk today" : " walks today");
    if (today.movementMinutes >= 1)
        line += " \u00B7 " + std::to_string(today.movementMinutes) + " min";
    if (today.movementCredits + today.skippedWalks + today.walkDismissed >= 1)
        line += " \u00B7 " + std::to_string(today.walkFollowRate()) + "% followed";
    return line;
}

std::string followRhythm(const WellnessPeriodSummary& today) {
    const int64_t rate =
        today.opportunityCount >= 1
            ? roundedInteger(double(today.followedCount) / double(today.opportunityCount) * 100)
            : 0;
    return std::to_string(rate) + "% followed today - " + std::to_string(today.eyeRests) + " eye rests, " +
           std::to_string(today.movementCredits) + " walks credited";
}

// A stored ledger longer than this is read off the main thread, so that the start does not wait for it
// (a full one is about 5.6 MB); a shorter one takes a few milliseconds at most.
constexpr std::uintmax_t ledgerReadAsideFrom = 256 * 1024;

// The stored ledger, unpruned, from any thread: pruning reads the local calendar, which is left to the
// main thread. It keeps every event that decodes; the stored value is
// kept in a file of its own before the next save drops the others. A ledger still in the settings' domain
// (where earlier versions kept it) is copied to its own and taken out of the settings at the first start
// that finds it there too.
LedgerEvents readStoredLedger() {
    DefaultsStore ledger = ledgerStore();
    DefaultsStore defaults = DefaultsStore::standard();
    ledger.prepareForWriting(); // a damaged file goes aside now, and the start says where
    const bool moved = ledger.contains(WellnessHistory::ledgerKey);
    if (moved)
        defaults.remove(WellnessHistory::ledgerKey);
    DefaultsStore& source = moved ? ledger : defaults;
    if (!source.contains(WellnessHistory::ledgerKey))
        return std::make_shared<const std::vector<WellnessLedgerEvent>>();
    DecodedLedger decoded = decodedLedger(source);
    if (decoded.damage)
        source.keepUnreadableValue(WellnessHistory::ledgerKey, *decoded.damage);
    auto events = std::make_shared<const std::vector<WellnessLedgerEvent>>(std::move(decoded.events));
    if (moved) // held as the events, not as the text they were read from as well
        ledger.holdDeferred(WellnessHistory::ledgerKey, encodedLedger(events));
    else
        ledger.setDeferred(WellnessHistory::ledgerKey, encodedLedger(events));
    return events;
}

} // namespace

WellnessHistory::WellnessHistory(ObservableObject& publisher, const Clock& clock)
    : clock_(clock)
    , wellnessPeriodSummaries_(publisher, {})
    , wellnessRhythmStatus_(publisher, "Health rhythm starts after Zorvi sees a break.")
    , walkRhythmStatus_(publisher, "Walk rhythm starts after Zorvi credits a walk.")
    , deskHealth_(publisher, std::nullopt) {}

// Until a ledger read aside has landed, the start's summaries count no stored events; every path that
// records or reads the whole ledger takes it in first (waiting if need be), so nothing recorded meanwhile
// is lost or counted twice.
void WellnessHistory::restore() {
    const Date at = clock_.now();
    std::error_code error;
    const auto size = std::filesystem::file_size(ledgerStore().file(), error);
    if (error || size < ledgerReadAsideFrom) {
        events_ = prunedLedger(readStoredLedger(), at);
    } else {
        try {
            restoring_ = std::async(std::launch::async, [weak = weak_from_this()] {
                pthread_setname_np(pthread_self(), "Vigilor.ledger");
                auto events = readStoredLedger();
                DispatchQueue::main().async([weak] {
                    if (auto self = weak.lock()) {
                        self->takeRestored();
                        self->refreshSummaries(self->clock_.now(), true);
                    }
                });
                return events;
            });
        } catch (const std::system_error&) { // no thread to be had: read it here
            events_ = prunedLedger(readStoredLedger(), at);
        }
    }
    refreshSummaries(at, true);
}

void WellnessHistory::takeRestored() const {
    if (restoring_.valid())
        events_ = prunedLedger(restoring_.get(), clock_.now());
}

const std::vector<WellnessLedgerEvent>& WellnessHistory::ledger() const {
    takeRestored();
    return *events_;
}

// Keeps 120 calendar days and, of those, the newest 50,000 events in recording order.
std::vector<WellnessLedgerEvent> WellnessHistory::pruned(std::vector<WellnessLedgerEvent> events,
                                                                     Date at) {
    const Date cutoff = ledgerCutoff(at);
    std::erase_if(events, [&](const WellnessLedgerEvent& event) { return event.occurredAt < cutoff; });
    if (events.size() > ledgerLimit)
        events.erase(events.begin(), events.end() - std::ptrdiff_t(ledgerLimit));
    return events;
}

void WellnessHistory::record(WellnessEventKind kind, std::optional<double> durationSeconds, Date at) {
    takeRestored();
    auto events = std::make_shared<std::vector<WellnessLedgerEvent>>();
    events->reserve(events_->size() + 1);
    *events = *events_;
    events->push_back({UUID::random(), kind, at, durationSeconds});
    events_ = std::move(events);
    persist(at);
    refreshSummaries(at, true);
}

void WellnessHistory::persist(Date at) {
    takeRestored();
    events_ = prunedLedger(events_, at);
    // Encoded on the store's queue: a full ledger would take the main thread tens of milliseconds.
    ledgerStore().setDeferred(ledgerKey, encodedLedger(events_));
}

WellnessPeriodSummary WellnessHistory::periodSummary(const std::string& label, Date since) const {
    WellnessPeriodSummary summary;
    summary.label = label;
    double movementSeconds = 0;
    for (const auto& event : *events_) {
        if (event.occurredAt < since)
            continue;
        switch (event.kind) {
        case WellnessEventKind::eyeRest:
            ++summary.eyeRests;
            break;
        case WellnessEventKind::movementCredit:
            ++summary.movementCredits;
            movementSeconds += event.durationSeconds.value_or(0);
            break;
        case WellnessEventKind::eyeDismissed:
            ++summary.dismissedNudges;
            break;
        case WellnessEventKind::walkDismissed:
            ++summary.dismissedNudges;
            ++summary.walkDismissed;
            break;
        case WellnessEventKind::walkSkipped:
            ++summary.skippedWalks;
            break;
        case WellnessEventKind::lockAway:
            ++summary.lockAways;
            break;
        }
    }
    summary.movementMinutes = roundedInteger(movementSeconds / 60);
    summary.followedCount = summary.eyeRests + summary.movementCredits + summary.lockAways;
    summary.opportunityCount = summary.followedCount + summary.dismissedNudges + summary.skippedWalks;
    return summary;
}

void WellnessHistory::refreshSummaries(Date at, bool force) {
    if (!force && LocalCalendar::isSameDay(at, lastRefresh_))
        return;
    lastRefresh_ = at;
    const Date today = LocalCalendar::startOfDay(at);
    std::vector<WellnessPeriodSummary> summaries = {
        periodSummary("Today", today),
        periodSummary("7 days", LocalCalendar::startOfDay(at, -6)),
        periodSummary("30 days", LocalCalendar::startOfDay(at, -29)),
    };
    const WellnessPeriodSummary todaySummary = summaries.front();
    setIfChanged(wellnessPeriodSummaries_, std::move(summaries));
    setIfChanged(deskHealth_, std::optional(WellnessScoreEngine::summary(*events_, at)));
    setIfChanged(wellnessRhythmStatus_, followRhythm(todaySummary));
    setIfChanged(walkRhythmStatus_, walkRhythm(todaySummary));
}
