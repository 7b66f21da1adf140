#include "TemporaryHome.h"

#include "Foundation/DefaultsStore.h"

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
    // The session's runtime folder too, so that nothing a test starts puts files in the real one.
    const auto runtime = path_ / "runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

TemporaryHome::~TemporaryHome() {
    // Written now, so that no pending write makes the folders again once they are gone.
    DefaultsStore::synchronizeAll();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedVariable::ScopedVariable(const char* name, const char* value)
    : name_(name) {
    if (const char* old = std::getenv(name))
        previous_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
}

ScopedVariable::~ScopedVariable() {
    previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_);
}

ScopedTimeZone::ScopedTimeZone(const char* zone)
    : variable_("TZ", zone) {
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    // The variable is restored after this body; re-read the zone then, at the next use.
    tzset();
}
