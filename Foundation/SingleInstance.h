#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

// One running copy of a program per user: an exclusive flock on a file in the user's runtime folder.
namespace SingleInstance {

struct Claim {
    enum class Outcome {
        claimed,       // this process is the one
        heldByAnother, // another process holds the claim
        unavailable,   // the lock file could not be used: nobody can tell
    };
    Outcome outcome = Outcome::unavailable;
    std::filesystem::path lockFile;
    std::optional<pid_t> holder; // the process that holds the claim, as it wrote into the file
    std::string problem;         // why the claim is unavailable
};

// $XDG_RUNTIME_DIR when it names an absolute folder; else a folder of the user's own with mode 0700
// under the state home, made when missing.
std::filesystem::path runtimeDirectory();

// Claims `fileName` in the runtime folder for the rest of the process. The descriptor that holds the
// lock stays open until the process ends, however it ends, so the claim covers every exit path. A
// claim held by another changes no file.
Claim claim(const std::string& fileName);

} // namespace SingleInstance
