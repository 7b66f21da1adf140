#include "LockScreenMessageService.h"

#include "Foundation/DispatchQueue.h"

#include <algorithm>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

using Configuration = LockScreenMessageService::Configuration;

constexpr double privilegedRunTimeoutSeconds = 300;
// pkexec's own exit statuses.
constexpr int promptDismissed = 126; // the user closed the password prompt: a cancel, not an error
constexpr int notAuthorized = 127;   // wrong password, no authentication agent, or not allowed at all

constexpr auto installedHelperPath = VIGILOR_BANNER_HELPER_INSTALLED_PATH;

// One file or folder on the helper's path. A link's own mode means nothing; where it leads is checked
// on its own. A folder with the sticky bit lets others add entries but not replace ours.
std::optional<std::string> componentProblem(const std::filesystem::path& path, const struct stat& info,
                                            uid_t owner) {
    if (info.st_uid != 0 && info.st_uid != owner)
        return path.string() + " is not owned by root";
    const bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    if (!S_ISLNK(info.st_mode) && !sticky && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return path.string() + " can be changed by other users";
    return std::nullopt;
}

// Each folder from the root down to `path`, and `path` itself, read with `statFunction`.
std::optional<std::string> chainProblem(const std::filesystem::path& path, uid_t owner,
                                        int (*statFunction)(const char*, struct stat*)) {
    std::filesystem::path partial;
    for (const auto& part : path) {
        partial /= part;
        struct stat info {};
        if (statFunction(partial.c_str(), &info) != 0)
            return partial.string() + " cannot be read";
        if (auto problem = componentProblem(partial, info, owner))
            return problem;
    }
    return std::nullopt;
}

std::string untrustedText(const std::filesystem::path& helper, const std::string& problem) {
    return "The lock screen message needs an installed helper: " + helper.string() +
           " is not protected from changes (" + problem + ").";
}

std::vector<std::string> nonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            lines.push_back(line.substr(0, line.find_last_not_of(" \t\r") + 1));
        start = end + 1;
    }
    return lines;
}

std::string notAuthorizedText(const ChildProcessResult& result) {
    const auto lines = nonEmptyLines(result.standardError);
    if (lines.empty())
        return "Not authorized to change the lock screen message.";
    std::string reason = lines.front(); // pkexec's own line, e.g. "... No authentication agent found."
    if (reason.ends_with('.'))
        reason.pop_back();
    return "Not authorized to change the lock screen message (" + reason + ").";
}

// What the completion gets for one run of pkexec and the helper.
std::optional<std::string> errorTextFor(const ChildProcessResult& result) {
    if (!result.launched)
        return "Could not ask for administrator rights: " + result.launchError;
    if (result.timedOut)
        return std::string("Changing the lock screen message timed out.");
    if (result.terminationSignal != 0)
        return "Changing the lock screen message was stopped by signal " +
               std::to_string(result.terminationSignal) + ".";
    if (result.exitStatus == 0 || result.exitStatus == promptDismissed)
        return std::nullopt;
    if (result.exitStatus == notAuthorized)
        return notAuthorizedText(result);
    // The helper explains itself in its last line.
    if (const auto lines = nonEmptyLines(result.standardError); !lines.empty())
        return lines.back();
    return "Changing the lock screen message failed (exit status " + std::to_string(result.exitStatus) + ").";
}

// What can be known without rights is checked before anyone is asked for a password.
std::optional<std::string> problemBeforePrompt(const Configuration& configuration,
                                               const std::string& command) {
    if (auto problem = LockScreenMessageService::helperLocationProblem(configuration.helperPath,
                                                                       configuration.helperOwner))
        return problem;
    if (command == "enable" && !GdmBanner::profileReadsDatabase(configuration.layout))
        return GdmBanner::profileMissingText(configuration.layout);
    return std::nullopt;
}

std::optional<std::string> runPrivileged(const Configuration& configuration, const std::string& command) {
    if (auto problem = problemBeforePrompt(configuration, command))
        return problem;
    // Without pkexec's own text prompt: it would wait on whatever terminal the application was started
    // from, where nobody looks. With no graphical agent pkexec says so at once.
    return errorTextFor(
        configuration.runCommand(configuration.privilegeCommand,
                                 {"--disable-internal-agent", configuration.helperPath.string(), command},
                                 configuration.timeoutSeconds));
}

} // namespace

Configuration LockScreenMessageService::systemConfiguration() {
    Configuration configuration;
    configuration.layout = GdmBanner::systemLayout();
    configuration.helperPath = installedHelperPath;
    configuration.privilegeCommand = "/usr/bin/pkexec";
    configuration.timeoutSeconds = privilegedRunTimeoutSeconds;
    configuration.runCommand = ChildProcess::run;
    return configuration;
}

std::optional<std::string>
LockScreenMessageService::helperLocationProblem(const std::filesystem::path& helper, uid_t owner) {
    std::error_code error;
    const auto target = std::filesystem::canonical(helper, error);
    struct stat info {};
    if (error || ::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(target.c_str(), X_OK) != 0)
        return "The lock screen message needs the installed helper, which is missing: " + helper.string() +
               " (install it as root: cmake --install <build folder> --component BannerHelper).";
    // The path as named, then where its links lead.
    for (const auto& [path, statFunction] : {std::pair{helper, &::lstat}, std::pair{target, &::stat}})
        if (auto problem = chainProblem(path, owner, statFunction))
            return untrustedText(helper, *problem);
    return std::nullopt;
}

LockScreenMessageService::LockScreenMessageService()
    : LockScreenMessageService(systemConfiguration()) {
}

LockScreenMessageService::LockScreenMessageService(Configuration configuration)
    : configuration_(std::make_shared<const Configuration>(std::move(configuration)))
    , queue_(std::make_shared<DispatchQueue>("app.zorvi.lock-screen-message")) {
}

LockScreenMessageState LockScreenMessageService::currentMessage() const {
    return GdmBanner::currentState(configuration_->layout);
}

void LockScreenMessageService::enable(Completion completion) {
    runHelper("enable", std::move(completion));
}

void LockScreenMessageService::disable(Completion completion) {
    // A foreign message is never deleted, and with nothing of ours set nobody is asked for a password.
    if (!currentMessage().isOurs()) {
        completion(std::nullopt);
        return;
    }
    runHelper("disable", std::move(completion));
}

// The run blocks while the password prompt is up, so it happens on our own queue. The work keeps the
// queue alive: a service destroyed meanwhile neither waits for the prompt nor loses the completion.
void LockScreenMessageService::runHelper(std::string command, Completion completion) {
    queue_->async([configuration = configuration_, queue = queue_, command = std::move(command),
                   completion = std::move(completion)]() mutable {
        auto errorText = runPrivileged(*configuration, command);
        DispatchQueue::main().async([completion = std::move(completion), errorText = std::move(errorText)] {
            completion(errorText);
        });
    });
}
