#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A release's version as people write it: numbers separated by dots ("1.10", "2.0.3"), optionally
// followed by a pre-release tag of letters and a number ("2.0b1", "2.1-rc2"). Versions compare by
// their numbers, not their text, so "1.10" is newer than "1.9"; missing numbers count as zero ("1.2"
// equals "1.2.0"); and a pre-release comes before its release ("2.0b1" is older than "2.0").
struct SoftwareVersion {
    std::vector<unsigned long> numbers;
    std::string preReleaseTag; // lower case; empty for a release
    unsigned long preReleaseNumber = 0;

    // Nothing for text that is not a version ("dev", "", "1..2", "v1").
    static std::optional<SoftwareVersion> parse(std::string_view text);

    std::strong_ordering operator<=>(const SoftwareVersion& other) const;
    bool operator==(const SoftwareVersion& other) const { return (*this <=> other) == 0; }
};

// Whether `candidate` is newer than the running version. A running version that is not a version
// ("dev", a build without one) is older than every release.
bool isNewerVersion(const SoftwareVersion& candidate, std::string_view runningVersion);
