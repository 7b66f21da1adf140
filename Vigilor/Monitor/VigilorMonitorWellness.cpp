// The wellness ledger and the break anchors kept across restarts.
#include "VigilorMonitor.h"

// The ledger arrives with coaching; until then a run starts without history.
void VigilorMonitor::restoreWellnessLedger() { wellnessLedger_.clear(); }

void VigilorMonitor::restoreBreakAnchors(Date /*now*/) { breakAnchorsRestored_ = false; }

void VigilorMonitor::refreshWellnessSummaries(Date at, bool /*force*/) { lastWellnessSummaryRefresh_ = at; }
