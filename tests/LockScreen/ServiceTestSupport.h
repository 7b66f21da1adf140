#pragma once

#include "BannerTestSupport.h"

#include "Vigilor/LockScreen/LockScreenMessageService.h"

#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// Stands in for pkexec and the helper: notes each run, optionally does what the helper would do to
// the files, and answers with a scripted result.
class FakeCommandRunner {
public:
    struct Call {
        std::string executable;
        std::vector<std::string> arguments;
        double timeoutSeconds = 0;
        std::thread::id thread;
    };

    LockScreenMessageService::CommandRunner runner() {
        return
            [this](const std::string& executable, const std::vector<std::string>& arguments, double timeout) {
                std::lock_guard lock(mutex_);
                calls_.push_back({executable, arguments, timeout, std::this_thread::get_id()});
                if (effect)
                    effect(arguments.back());
                return result;
            };
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    ChildProcessResult result = exited(0);
    std::function<void(const std::string& command)> effect;

    static ChildProcessResult exited(int status, std::string standardError = "") {
        ChildProcessResult result;
        result.launched = true;
        result.exitStatus = status;
        result.standardError = std::move(standardError);
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// A GDM that reads its database, a helper installed where the service expects one, and the fake
// runner.
struct ServiceFixture {
    ServiceFixture() {
        root.writeReadingProfile();
        root.writeProgram(helperPath, "#!/bin/sh\nexit 99\n"); // present, never run by the fake runner
        protectFolders(helperPath);
    }

    // The test's own user stands in for root as the owner of the installed helper.
    LockScreenMessageService::Configuration configuration() {
        return {root.layout(), helperPath, ::getuid(), "/usr/bin/pkexec", 300, fake.runner()};
    }
    // As `cmake --install` leaves them: nobody but their owner may change the folders above `path`.
    void protectFolders(const std::filesystem::path& path) const {
        for (auto folder = path.parent_path(); folder != root.root().parent_path();
             folder = folder.parent_path())
            std::filesystem::permissions(
                folder, std::filesystem::perms::group_write | std::filesystem::perms::others_write,
                std::filesystem::perm_options::remove);
    }
    // What the real helper does, without its checks.
    void actLikeTheHelper() {
        fake.effect = [this](const std::string& command) {
            if (command == "enable")
                root.write(root.layout().ownFile(), GdmBanner::ownKeyfileContents());
            else
                std::filesystem::remove(root.layout().ownFile());
        };
    }

    BannerRoot root;
    std::filesystem::path helperPath = root.root() / "opt/zorvi/vigilor-banner-helper";
    FakeCommandRunner fake;
    AwaitableMainQueue mainQueue;
};
