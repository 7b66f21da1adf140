// Writes statuses to the shared store as fast as it can, as the application would: "e<i>" locked or
// unlocked by turn, at time i, mirror key "k<i>"; stops after 2000 writes or two seconds. A process of
// its own, started afresh, so that its store has every thread it needs (a forked copy of a test that has
// used the store would not).
#include "ZorviShared/ZorviSharedStore.h"

#include <chrono>

int main() {
    DefaultsStore shared = ZorviSharedStore::store();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 1; i <= 2000 && std::chrono::steady_clock::now() - started < std::chrono::seconds(2); ++i) {
        ZorviStatusSnapshot s;
        s.event = "e" + std::to_string(i);
        s.deviceName = "Desk";
        s.status = i % 2 ? ZorviStatus::locked : ZorviStatus::unlocked;
        s.stale = false;
        s.ageSeconds = 0;
        ZorviSharedStore::persistStatus(s, Date(i), "k" + std::to_string(i), shared);
        DefaultsStore::synchronizeAll(); // each status its own write, as many as can be
    }
    return 0;
}
