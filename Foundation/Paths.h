#pragma once

#include <filesystem>
#include <string>

// The user's folders, read from the environment at every call so that each test (and each run) can
// point them elsewhere. XDG variables that are unset, empty or relative fall back to the defaults of
// the XDG base-directory rules.
namespace Paths {

std::filesystem::path homeDirectory();
std::filesystem::path configHome(); // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path stateHome();  // $XDG_STATE_HOME or ~/.local/state
std::filesystem::path dataHome();   // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();  // $XDG_CACHE_HOME or ~/.cache
// The session's runtime folder ($XDG_RUNTIME_DIR, a memory file system emptied at log-out); without
// one, "zorvi/runtime" under the state home. Not made here.
std::filesystem::path runtimeDirectory();

// A lock file of `program` keyed to the user and the home folder, whatever the XDG variables say:
// ~/.local/state/zorvi/<program>-<uid>.lock.
std::filesystem::path userLockFile(const std::string& program);
// One keyed to the home folder in the session's runtime folder, for when no folder under the home can be
// written: <runtime folder>/<program>-<digest of the home folder's path>.lock.
std::filesystem::path runtimeLockFile(const std::string& program);

// Where this product keeps its settings (the defaults store), its data (the sync folder) and its log
// files.
std::filesystem::path zorviConfigDirectory();
std::filesystem::path zorviDataDirectory();
std::filesystem::path zorviLogDirectory();

} // namespace Paths
