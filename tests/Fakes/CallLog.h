#pragma once

#include <mutex>
#include <string>
#include <vector>

// One ordered record of the calls that several fakes receive, so a test can check the order in which
// the code under test reaches different services. Fakes called off the main thread (the session
// locker) may record while the test reads; `entries` is for reading once the test has waited for them.
struct CallLog {
    std::vector<std::string> entries;

    void add(std::string entry) {
        std::lock_guard lock(mutex);
        entries.push_back(std::move(entry));
    }
    size_t count(const std::string& entry) const {
        std::lock_guard lock(mutex);
        size_t n = 0;
        for (const auto& e : entries)
            n += e == entry;
        return n;
    }
    void clear() {
        std::lock_guard lock(mutex);
        entries.clear();
    }

    mutable std::mutex mutex;
};

// Records into a log that may be absent.
inline void record(CallLog* log, std::string entry) {
    if (log)
        log->add(std::move(entry));
}
