#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

// One running copy of a program per set of data: an exclusive flock on a lock file that lives beside
// the data it protects, so that every copy that would write that data finds the same lock.
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
    std::string problem;         // unavailable: what failed, on which path, and why
};

// Claims `lockFile` for the rest of the process, making its folder when missing. The descriptor that
// holds the lock stays open until the process ends, however it ends, so the claim covers every exit
// path. A claim held by another changes no file.
Claim claim(const std::filesystem::path& lockFile);

} // namespace SingleInstance
