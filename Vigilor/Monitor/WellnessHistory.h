#pragma once

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/ObservableObject.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The wellness ledger: every eye rest, walk, dismissed or skipped nudge and locked absence, kept for
// 120 days in a file of its own, and what is published from it (the three period summaries, the day's
// rhythm lines and the 30-day desk health). The break coaching and the lock's welcome back record
// into it; the views read it. It is the only writer of the ledger and of those values.
class WellnessHistory : public std::enable_shared_from_this<WellnessHistory> {
public:
    static constexpr const char* ledgerKey = "app.zorvi.wellnessLedger.v1";
    // The ledger's own file beside the settings', so that saving the settings never rewrites it.
    // 50,000 events take a few MiB; a ledger file longer than 64 MiB is taken as damaged.
    static constexpr DefaultsDomain ledgerDomain{"wellness-ledger", uintmax_t(64) << 20};
    static constexpr size_t ledgerLimit = 50'000;
    static constexpr int ledgerDays = 120;

    WellnessHistory(ObservableObject& publisher, const Clock& clock);

    const std::vector<WellnessPeriodSummary>& wellnessPeriodSummaries() const {
        return wellnessPeriodSummaries_();
    }
    const std::string& wellnessRhythmStatus() const { return wellnessRhythmStatus_(); }
    const std::string& walkRhythmStatus() const { return walkRhythmStatus_(); }
    const std::optional<DeskHealthSummary>& deskHealth() const { return deskHealth_(); }

    // The whole ledger: while a large stored ledger is still being read at start, this waits for it.
    const std::vector<WellnessLedgerEvent>& ledger() const;
    // Reads the stored ledger and publishes its summaries; a large one is read off the main thread,
    // and its summaries are published again when it has been taken in.
    void restore();
    void record(WellnessEventKind kind, std::optional<double> durationSeconds, Date at);
    // Prunes and saves the ledger.
    void persist(Date at);
    // Unforced, the summaries are recomputed only on the first call of a new calendar day.
    void refreshSummaries(Date at, bool force);
    // Keeps 120 calendar days and, of those, the newest 50,000 events in recording order.
    static std::vector<WellnessLedgerEvent> pruned(std::vector<WellnessLedgerEvent> events, Date at);

private:
    using Events = std::shared_ptr<const std::vector<WellnessLedgerEvent>>;
    void takeRestored() const;
    WellnessPeriodSummary periodSummary(const std::string& label, Date since) const;

    const Clock& clock_;
    // Never changed in place: the store's queue encodes the list it was given while a new one is made.
    // Mutable, as is the restore, because a reader takes in a restore that has not landed yet.
    mutable Events events_ = std::make_shared<const std::vector<WellnessLedgerEvent>>();
    mutable std::future<Events> restoring_;
    Date lastRefresh_ = Date::distantPast();

    Published<std::vector<WellnessPeriodSummary>> wellnessPeriodSummaries_;
    Published<std::string> wellnessRhythmStatus_;
    Published<std::string> walkRhythmStatus_;
    Published<std::optional<DeskHealthSummary>> deskHealth_;
};
