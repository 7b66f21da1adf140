#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>

// Small value records shared by the monitor, the wellness ledger, the dashboard and the device picker.

enum class MonitorPhase { starting, ready, faceMissing, paused, blocked };
template <> struct RawValues<MonitorPhase> {
    static constexpr std::array cases{
        std::pair{MonitorPhase::starting, std::string_view("Starting")},
        std::pair{MonitorPhase::ready, std::string_view("Ready")},
        std::pair{MonitorPhase::faceMissing, std::string_view("Face Missing")},
        std::pair{MonitorPhase::paused, std::string_view("Paused")},
        std::pair{MonitorPhase::blocked, std::string_view("Blocked")},
    };
};

enum class WellnessEventKind { eyeRest, movementCredit, eyeDismissed, walkDismissed, walkSkipped, lockAway };
template <> struct RawValues<WellnessEventKind> {
    static constexpr std::array cases{
        std::pair{WellnessEventKind::eyeRest, std::string_view("eyeRest")},
        std::pair{WellnessEventKind::movementCredit, std::string_view("movementCredit")},
        std::pair{WellnessEventKind::eyeDismissed, std::string_view("eyeDismissed")},
        std::pair{WellnessEventKind::walkDismissed, std::string_view("walkDismissed")},
        std::pair{WellnessEventKind::walkSkipped, std::string_view("walkSkipped")},
        std::pair{WellnessEventKind::lockAway, std::string_view("lockAway")},
    };
};

// One entry of the wellness ledger. Dates are written as seconds since 2001-01-01 UTC, the form the
// ledger is stored in.
struct WellnessLedgerEvent {
    UUID id = UUID::random();
    WellnessEventKind kind = WellnessEventKind::eyeRest;
    Date occurredAt;
    std::optional<double> durationSeconds;

    Json toJSON() const;
    // Requires "id", "kind" and "occurredAt"; throws JsonDecodingError otherwise.
    static WellnessLedgerEvent fromJSON(const Json& object);

    bool operator==(const WellnessLedgerEvent&) const = default;
};

// Counts of the ledger events of one period, and the lines the dashboard shows for them.
struct WellnessPeriodSummary {
    std::string label;
    int64_t eyeRests = 0;
    int64_t movementCredits = 0;
    int64_t dismissedNudges = 0; // eye and walk dismissals together
    int64_t skippedWalks = 0;
    int64_t walkDismissed = 0;
    int64_t lockAways = 0;
    int64_t movementMinutes = 0;
    int64_t followedCount = 0;    // eye rests, walks and locked absences
    int64_t opportunityCount = 0; // followed + dismissed + skipped

    std::string compactLine() const;
    std::string detailLine() const;
    int64_t walkFollowRate() const;
    std::string walkCompactLine() const;
    std::string walkDetailLine() const;

    bool operator==(const WellnessPeriodSummary&) const = default;

private:
    bool isEmpty() const;
    bool isWalkEmpty() const;
};

// A Bluetooth peripheral seen during device discovery.
struct ZorviDiscoveredDevice {
    std::string id; // canonical UUID text
    std::string name;
    int rssi = 0; // dBm
    Date lastSeen;

    bool operator==(const ZorviDiscoveredDevice&) const = default;
};
