// The 0.5 s decision tick.
#include "VigilorMonitor.h"

// The presence rules arrive with the guard; the tick already runs on its timer.
void VigilorMonitor::evaluateDecision() {}
