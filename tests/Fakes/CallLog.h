#pragma once

#include <string>
#include <vector>

// One ordered record of the calls that several fakes receive, so a test can check the order in which
// the code under test reaches different services.
struct CallLog {
    std::vector<std::string> entries;

    void add(std::string entry) { entries.push_back(std::move(entry)); }
    size_t count(const std::string& entry) const {
        size_t n = 0;
        for (const auto& e : entries)
            n += e == entry;
        return n;
    }
    void clear() { entries.clear(); }
};

// Records into a log that may be absent.
inline void record(CallLog* log, std::string entry) {
    if (log)
        log->add(std::move(entry));
}
