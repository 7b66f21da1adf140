#pragma once

#include "Support/MonitorHarness.h"

// Stores a full ledger, one event a minute back from `now`: 50,000 events within the 120 days kept,
// for a monitor made (or restored) after it.
inline void storeFullLedger(Date now) {
    Json stored = Json::array();
    for (int i = 0; i < 50'000; ++i)
        stored.push_back(WellnessLedgerEvent{UUID::random(), WellnessEventKind::eyeRest,
                                             now.addingTimeInterval(-i * 60.0), 20.0}
                             .toJSON());
    DefaultsStore::suite(WellnessHistory::ledgerDomain)
        .set(WellnessHistory::ledgerKey, std::move(stored));
    DefaultsStore::synchronizeAll();
}
