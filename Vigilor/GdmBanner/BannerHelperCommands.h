#pragma once

#include "Vigilor/GdmBanner/GdmBanner.h"

#include <string>
#include <vector>

// The work of vigilor-banner-helper, the one part of the login-screen message that runs as root (through
// pkexec). It takes no text and no path from its caller: it knows two commands, "enable" and
// "disable", writes only our signature text, deletes only a file that holds nothing but it, and checks
// the state again itself, so that a call made outside the application cannot touch anyone else's
// banner. Every change is compiled with `dconf update`; when that fails, the change is undone.
namespace BannerHelper {

// Exit statuses. pkexec itself uses 126 and 127, so the helper never does.
enum ExitStatus : int { success = 0, usage = 2, refused = 3, failed = 4 };

struct Outcome {
    int exitStatus = success;
    std::string message; // one line for the user, empty on success
};

// Runs the command that the arguments name (the program name not included).
Outcome perform(const std::vector<std::string>& arguments, const GdmBanner::Layout& layout);

Outcome enable(const GdmBanner::Layout& layout);
Outcome disable(const GdmBanner::Layout& layout);

} // namespace BannerHelper
