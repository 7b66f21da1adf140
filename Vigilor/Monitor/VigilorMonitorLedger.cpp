// The wellness ledger, the break anchors kept across restarts, and the summaries made from them.
#include "VigilorMonitor.h"

#include "Foundation/LocalCalendar.h"
#include "Foundation/Rounding.h"

#include <algorithm>
#include <filesystem>
#include <pthread.h>
#include <system_error>

namespace {

// The ledger's own domain, so that saving the settings never rewrites the history.
DefaultsStore ledgerStore() {
    return DefaultsStore::suite(VigilorMonitor::wellnessLedgerDomain);
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
    ledger.events.reserve(VigilorMonitor::wellnessLedgerLimit);
    size_t count = 0, unreadable = 0;
    std::string first;
    const bool isList = store.forEachElement(VigilorMonitor::wellnessLedgerKey, [&](Json&& element) {
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
    return LocalCalendar::addingDays(at, -VigilorMonitor::wellnessLedgerDays);
}

// The events kept at `at`; the same list when every event is kept.
LedgerEvents prunedLedger(LedgerEvents events, Date at) {
    const Date cutoff = ledgerCutoff(at);
    if (events->size() <= VigilorMonitor::wellnessLedgerLimit &&
        std::none_of(events->begin(), events->end(),
                     [&](const auto& event) { return event.occurredAt < cutoff; }))
        return events;
    return std::make_shared<const std::vector<WellnessLedgerEvent>>(
        VigilorMonitor::pruneWellnessLedger(*events, at));
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
    const bool moved = ledger.contains(VigilorMonitor::wellnessLedgerKey);
    if (moved)
        defaults.remove(VigilorMonitor::wellnessLedgerKey);
    DefaultsStore& source = moved ? ledger : defaults;
    if (!source.contains(VigilorMonitor::wellnessLedgerKey))
        return std::make_shared<const std::vector<WellnessLedgerEvent>>();
    DecodedLedger decoded = decodedLedger(source);
    if (decoded.damage)
        source.keepUnreadableValue(VigilorMonitor::wellnessLedgerKey, *decoded.damage);
    auto events = std::make_shared<const std::vector<WellnessLedgerEvent>>(std::move(decoded.events));
    if (moved) // held as the events, not as the text they were read from as well
        ledger.holdDeferred(VigilorMonitor::wellnessLedgerKey, encodedLedger(events));
    else
        ledger.setDeferred(VigilorMonitor::wellnessLedgerKey, encodedLedger(events));
    return events;
}

} // namespace

// Until a ledger read aside has landed, the start's summaries count no stored events; every path that
// records or reads the whole ledger takes it in first (waiting if need be), so nothing recorded meanwhile
// is lost or counted twice.
void VigilorMonitor::restoreWellnessLedger() {
    std::error_code error;
    const auto size = std::filesystem::file_size(ledgerStore().file(), error);
    if (error || size < ledgerReadAsideFrom) {
        wellnessLedger_ = prunedLedger(readStoredLedger(), now());
        return;
    }
    try {
        restoringWellnessLedger_ = std::async(std::launch::async, [weak = weakSelf()] {
            pthread_setname_np(pthread_self(), "Vigilor.ledger");
            auto events = readStoredLedger();
            DispatchQueue::main().async([weak] {
                if (auto self = weak.lock()) {
                    self->takeRestoredWellnessLedger();
                    self->refreshWellnessSummaries(self->now(), true);
                }
            });
            return events;
        });
    } catch (const std::system_error&) { // no thread to be had: read it here
        wellnessLedger_ = prunedLedger(readStoredLedger(), now());
    }
}

void VigilorMonitor::takeRestoredWellnessLedger() const {
    if (restoringWellnessLedger_.valid())
        wellnessLedger_ = prunedLedger(restoringWellnessLedger_.get(), now());
}

const std::vector<WellnessLedgerEvent>& VigilorMonitor::wellnessLedger() const {
    takeRestoredWellnessLedger();
    return *wellnessLedger_;
}

// Keeps 120 calendar days and, of those, the newest 50,000 events in recording order.
std::vector<WellnessLedgerEvent> VigilorMonitor::pruneWellnessLedger(std::vector<WellnessLedgerEvent> events,
                                                                     Date at) {
    const Date cutoff = ledgerCutoff(at);
    std::erase_if(events, [&](const WellnessLedgerEvent& event) { return event.occurredAt < cutoff; });
    if (events.size() > wellnessLedgerLimit)
        events.erase(events.begin(), events.end() - std::ptrdiff_t(wellnessLedgerLimit));
    return events;
}

void VigilorMonitor::recordWellnessEvent(WellnessEventKind kind, std::optional<double> durationSeconds,
                                         Date at) {
    takeRestoredWellnessLedger();
    auto events = std::make_shared<std::vector<WellnessLedgerEvent>>();
    events->reserve(wellnessLedger_->size() + 1);
    *events = *wellnessLedger_;
    events->push_back({UUID::random(), kind, at, durationSeconds});
    wellnessLedger_ = std::move(events);
    persistWellnessLedger(at);
    refreshWellnessSummaries(at, true);
}

void VigilorMonitor::persistWellnessLedger(Date at) {
    takeRestoredWellnessLedger();
    wellnessLedger_ = prunedLedger(wellnessLedger_, at);
    // Encoded on the store's queue: a full ledger would take the main thread tens of milliseconds.
    ledgerStore().setDeferred(wellnessLedgerKey, encodedLedger(wellnessLedger_));
}

WellnessPeriodSummary VigilorMonitor::wellnessSummary(const std::string& label, Date since) const {
    WellnessPeriodSummary summary;
    summary.label = label;
    double movementSeconds = 0;
    for (const auto& event : *wellnessLedger_) {
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

// Unforced, the summaries are recomputed only on the first call of a new calendar day.
void VigilorMonitor::refreshWellnessSummaries(Date at, bool force) {
    if (!force && LocalCalendar::isSameDay(at, lastWellnessSummaryRefresh_))
        return;
    lastWellnessSummaryRefresh_ = at;
    const Date today = LocalCalendar::startOfDay(at);
    std::vector<WellnessPeriodSummary> summaries = {
        wellnessSummary("Today", today),
        wellnessSummary("7 days", LocalCalendar::startOfDay(at, -6)),
        wellnessSummary("30 days", LocalCalendar::startOfDay(at, -29)),
    };
    const WellnessPeriodSummary todaySummary = summaries.front();
    setIfChanged(wellnessPeriodSummaries, std::move(summaries));
    setIfChanged(deskHealth, std::optional(WellnessScoreEngine::summary(*wellnessLedger_, at)));
    setIfChanged(wellnessRhythmStatus, followRhythm(todaySummary));
    setIfChanged(walkRhythmStatus, walkRhythm(todaySummary));
}

void VigilorMonitor::setLastEyeBreakAt(Date at) {
    lastEyeBreakAt_ = at;
    if (breakAnchorsRestored_)
        saveBreakAnchors();
}

void VigilorMonitor::setLastWalkBreakAt(Date at) {
    lastWalkBreakAt_ = at;
    if (breakAnchorsRestored_)
        saveBreakAnchors();
}

void VigilorMonitor::saveBreakAnchors() {
    Json anchors = Json::object();
    anchors["lastEyeBreakAt"] = JsonField::dateValue(lastEyeBreakAt_);
    anchors["lastWalkBreakAt"] = JsonField::dateValue(lastWalkBreakAt_);
    DefaultsStore::standard().set(breakAnchorsKey, std::move(anchors));
}

// Anchors younger than 12 hours survive a restart, each on its own; older ones, future ones and
// damaged values leave the start time.
void VigilorMonitor::restoreBreakAnchors(Date at) {
    const auto stored = DefaultsStore::standard().value(breakAnchorsKey);
    if (stored && stored->is_object() && JsonField::has(*stored, "lastEyeBreakAt") &&
        JsonField::has(*stored, "lastWalkBreakAt")) {
        try {
            Date eye, walk;
            JsonField::read(*stored, "lastEyeBreakAt", eye);
            JsonField::read(*stored, "lastWalkBreakAt", walk);
            const auto fresh = [&](Date anchor) {
                const double age = at.timeIntervalSince(anchor);
                return age >= 0 && age <= 43'200;
            };
            if (fresh(eye))
                setLastEyeBreakAt(eye);
            if (fresh(walk))
                setLastWalkBreakAt(walk);
        } catch (const JsonDecodingError&) {
        }
    }
    breakAnchorsRestored_ = true;
    saveBreakAnchors();
}
