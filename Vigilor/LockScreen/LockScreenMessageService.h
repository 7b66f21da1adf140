#pragma once

#include "Foundation/ChildProcess.h"
#include "Vigilor/GdmBanner/GdmBanner.h"
#include "Vigilor/GdmBanner/LockScreenMessageState.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class DispatchQueue;

// Puts our signature text on the login screen and takes it away again. On Linux that is GDM's login
// banner (see GdmBanner.h). Reading needs no rights; changing it runs the installed
// vigilor-banner-helper as root through pkexec, which asks for an administrator's password.
//
// The service keeps no state of its own: the banner settings are the state, and they outlive the
// application until the message is turned off or replaced.
class LockScreenMessageService {
public:
    // Gets nothing on success or when the user dismissed the password prompt, else a text for the user.
    using Completion = std::function<void(std::optional<std::string> errorText)>;
    // ChildProcess::run, or a stand-in in tests.
    using CommandRunner = std::function<ChildProcessResult(
        const std::string& executable, const std::vector<std::string>& arguments, double timeoutSeconds)>;

    struct Configuration {
        GdmBanner::Layout layout;
        std::filesystem::path helperPath;
        // Who besides root may own the helper and its folders: nobody (root's own id) in the
        // application, the test's own user in tests.
        uid_t helperOwner = 0;
        std::string privilegeCommand; // pkexec
        // The password prompt is part of the run, so this is generous; it only ends a prompt nobody
        // answers.
        double timeoutSeconds = 0;
        CommandRunner runCommand;
    };

    // The real system: GDM's paths, /usr/bin/pkexec, the helper where `cmake --install` puts it.
    static Configuration systemConfiguration();

    // Why the helper at `helper` may not be run with administrator rights, if it may not: it and every
    // folder above it, where links lead included, must belong to root (or `owner`) and be writable by
    // nobody else, so that nobody but an administrator can put another program in its place.
    static std::optional<std::string> helperLocationProblem(const std::filesystem::path& helper, uid_t owner);

    LockScreenMessageService();
    explicit LockScreenMessageService(Configuration configuration);

    static constexpr std::string_view signatureText = GdmBanner::signatureText;

    // Any thread; reads a few small files.
    LockScreenMessageState currentMessage() const;
    // Asks for administrator rights and writes our signature text. The completion runs on the main
    // queue.
    void enable(Completion completion);
    // Removes the message when it is ours. When it is not, nothing runs, nobody is asked for a password,
    // and the completion gets nothing at once, on the calling thread; otherwise on the main queue.
    void disable(Completion completion);

private:
    void runHelper(std::string command, Completion completion);

    std::shared_ptr<const Configuration> configuration_;
    std::shared_ptr<DispatchQueue> queue_;
};
