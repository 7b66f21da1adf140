#include "SoftwareVersion.h"

#include "Foundation/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

// Reads a run of digits at `at` into `value`; false when there is none or it does not fit.
bool readNumber(std::string_view text, std::size_t& at, unsigned long& value) {
    const char* begin = text.data() + at;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end == begin)
        return false;
    at += static_cast<std::size_t>(end - begin);
    return true;
}

} // namespace

std::optional<SoftwareVersion> SoftwareVersion::parse(std::string_view text) {
    SoftwareVersion version;
    std::size_t at = 0;
    for (;;) {
        unsigned long number = 0;
        if (!readNumber(text, at, number))
            return std::nullopt;
        version.numbers.push_back(number);
        if (at == text.size() || text[at] != '.')
            break;
        ++at;
    }
    if (at == text.size())
        return version;
    if (text[at] == '-')
        ++at;
    const std::size_t tagStart = at;
    while (at < text.size() && isLetter(text[at]))
        ++at;
    if (at == tagStart)
        return std::nullopt;
    version.preReleaseTag = asciiLowercased(text.substr(tagStart, at - tagStart));
    if (at < text.size() && !readNumber(text, at, version.preReleaseNumber))
        return std::nullopt;
    return at == text.size() ? std::optional(version) : std::nullopt;
}

std::strong_ordering SoftwareVersion::operator<=>(const SoftwareVersion& other) const {
    const std::size_t count = std::max(numbers.size(), other.numbers.size());
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned long mine = i < numbers.size() ? numbers[i] : 0;
        const unsigned long theirs = i < other.numbers.size() ? other.numbers[i] : 0;
        if (mine != theirs)
            return mine <=> theirs;
    }
    if (preReleaseTag.empty() || other.preReleaseTag.empty())
        return preReleaseTag.empty() <=> other.preReleaseTag.empty(); // the release is newer
    if (const auto byTag = preReleaseTag <=> other.preReleaseTag; byTag != 0)
        return byTag;
    return preReleaseNumber <=> other.preReleaseNumber;
}

bool isNewerVersion(const SoftwareVersion& candidate, std::string_view runningVersion) {
    const auto running = SoftwareVersion::parse(runningVersion);
    return !running || candidate > *running;
}
