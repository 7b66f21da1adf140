#include "TemporaryHome.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>

TemporaryHome::TemporaryHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vigilor-home-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary home");
    path_ = pattern;
    setenv("HOME", path_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path_ / ".config").c_str(), 1);
    setenv("XDG_STATE_HOME", (path_ / ".local/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (path_ / ".local/share").c_str(), 1);
}

TemporaryHome::~TemporaryHome() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    const char* current = std::getenv("TZ");
    hadPrevious_ = current != nullptr;
    if (current)
        previous_ = current;
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadPrevious_)
        setenv("TZ", previous_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
