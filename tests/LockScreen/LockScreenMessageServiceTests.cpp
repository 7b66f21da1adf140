#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <optional>
#include <unistd.h>

namespace {

using Completion = std::optional<std::optional<std::string>>; // outer: whether it came at all
const Completion succeeded{std::optional<std::string>()};

// Runs `command` and the main queue until the completion has come.
Completion runToCompletion(AwaitableMainQueue& mainQueue, LockScreenMessageService& service,
                           const std::string& command, std::thread::id* completionThread = nullptr) {
    Completion received;
    auto completion = [&](std::optional<std::string> errorText) {
        if (completionThread)
            *completionThread = std::this_thread::get_id();
        received = std::move(errorText);
    };
    if (command == "enable")
        service.enable(completion);
    else
        service.disable(completion);
    mainQueue.runUntil([&] { return received.has_value(); });
    return received;
}

class LockScreenMessageServiceTest : public testing::Test, protected ServiceFixture {
protected:
    Completion complete(LockScreenMessageService& service, const std::string& command) {
        return runToCompletion(mainQueue, service, command, &completionThread);
    }

    std::thread::id completionThread;
};

TEST_F(LockScreenMessageServiceTest, EnableRunsTheHelperThroughPkexecOffTheMainThread) {
    LockScreenMessageService service(configuration());
    EXPECT_EQ(complete(service, "enable"), succeeded);

    const auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].executable, "/usr/bin/pkexec");
    EXPECT_EQ(calls[0].arguments,
              (std::vector<std::string>{"--disable-internal-agent", helperPath.string(), "enable"}));
    EXPECT_EQ(calls[0].timeoutSeconds, 300);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(completionThread, std::this_thread::get_id());
}

TEST_F(LockScreenMessageServiceTest, HowARunEndsDecidesWhatTheCompletionGets) {
    ChildProcessResult notStarted;
    notStarted.launchError = "/usr/bin/pkexec: No such file or directory";
    ChildProcessResult timedOut = FakeCommandRunner::exited(-1);
    timedOut.timedOut = true;
    timedOut.terminationSignal = SIGKILL;
    ChildProcessResult killed = FakeCommandRunner::exited(-1);
    killed.terminationSignal = SIGTERM;
    const struct {
        const char* name;
        ChildProcessResult result;
        std::optional<std::string> errorText;
    } cases[] = {
        {"success", FakeCommandRunner::exited(0), std::nullopt},
        {"password prompt dismissed",
         FakeCommandRunner::exited(126, "Error executing command as another user: Request dismissed\n"),
         std::nullopt},
        {"not authorized",
         FakeCommandRunner::exited(127, "Error executing command as another user: Not authorized\n\n"
                                        "This incident has been reported.\n"),
         "Not authorized to change the lock screen message (Error executing command as another user: Not "
         "authorized)."},
        {"no graphical authentication agent",
         FakeCommandRunner::exited(
             127, "Error executing command as another user: No authentication agent found.\n"),
         "Not authorized to change the lock screen message (Error executing command as another user: No "
         "authentication agent found)."},
        {"not authorized, unexplained", FakeCommandRunner::exited(127),
         "Not authorized to change the lock screen message."},
        {"pkexec cannot start", notStarted,
         "Could not ask for administrator rights: /usr/bin/pkexec: No such file or directory"},
        {"nobody answered the prompt", timedOut, "Changing the lock screen message timed out."},
        {"stopped by a signal", killed, "Changing the lock screen message was stopped by signal 15."},
        {"the helper refused",
         FakeCommandRunner::exited(3, "Another lock screen message is already set; it was left in place.\n"),
         "Another lock screen message is already set; it was left in place."},
        {"the helper's last line explains",
         FakeCommandRunner::exited(4, "warning: noise\ndconf update failed: x\n\n"),
         "dconf update failed: x"},
        {"a failure without words", FakeCommandRunner::exited(4),
         "Changing the lock screen message failed (exit status 4)."},
    };
    LockScreenMessageService service(configuration());
    for (const auto& c : cases) {
        fake.result = c.result;
        EXPECT_EQ(complete(service, "enable"), Completion(c.errorText)) << c.name;
    }
}

// A helper that is missing, or that someone other than an administrator could replace (a build tree, a
// folder others may write), is never run with administrator rights.
TEST(LockScreenMessageService, AsksNobodyForAPasswordWhenTheChangeCannotWork) {
    using Path = std::filesystem::path;
    const auto missingHelper = [](ServiceFixture& f) {
        return "The lock screen message needs the installed helper, which is missing: " +
               f.helperPath.string() +
               " (install it as root: cmake --install <build folder> --component BannerHelper).";
    };
    const auto changeable = [](std::function<Path(ServiceFixture&)> part) {
        return [part](ServiceFixture& f) {
            return "The lock screen message needs an installed helper: " + f.helperPath.string() +
                   " is not protected from changes (" + part(f).string() + " can be changed by other users).";
        };
    };
    const auto openTo = [](std::filesystem::perms others) {
        return [others](const Path& path) {
            std::filesystem::permissions(path, others, std::filesystem::perm_options::add);
        };
    };
    const struct {
        const char* name;
        std::function<void(ServiceFixture&)> arrange;
        std::function<std::string(ServiceFixture&)> errorText;
    } cases[] = {
        {"helper missing", [](ServiceFixture& f) { std::filesystem::remove(f.helperPath); }, missingHelper},
        {"helper not executable",
         [](ServiceFixture& f) { std::filesystem::permissions(f.helperPath, std::filesystem::perms(0644)); },
         missingHelper},
        {"a folder above it open to the group",
         [=](ServiceFixture& f) { openTo(std::filesystem::perms::group_write)(f.root.root() / "opt"); },
         changeable([](ServiceFixture& f) { return f.root.root() / "opt"; })},
        {"the helper open to everyone",
         [=](ServiceFixture& f) { openTo(std::filesystem::perms::others_write)(f.helperPath); },
         changeable([](ServiceFixture& f) { return f.helperPath; })},
        {"a link to a helper in an open folder",
         [=](ServiceFixture& f) {
             const Path open = f.root.root() / "open";
             f.root.writeProgram(open / "helper", "#!/bin/sh\n");
             openTo(std::filesystem::perms::others_write)(open);
             std::filesystem::remove(f.helperPath);
             std::filesystem::create_symlink(open / "helper", f.helperPath);
         },
         changeable([](ServiceFixture& f) { return f.root.root() / "open"; })},
        {"GDM does not read its database",
         [](ServiceFixture& f) {
             f.root.write(f.root.layout().profileCandidates.front(),
                          "user-db:user\nfile-db:/var/lib/gdm3/x\n");
         },
         [](ServiceFixture& f) { return GdmBanner::profileMissingText(f.root.layout()); }},
    };
    for (const auto& c : cases) {
        ServiceFixture fixture;
        c.arrange(fixture);
        LockScreenMessageService service(fixture.configuration());
        EXPECT_EQ(runToCompletion(fixture.mainQueue, service, "enable"), Completion(c.errorText(fixture)))
            << c.name;
        EXPECT_TRUE(fixture.fake.calls().empty()) << c.name;
    }

    // The application trusts root alone: a helper of the user's own, as in a build tree, is refused.
    ServiceFixture fixture;
    auto configuration = fixture.configuration();
    configuration.helperOwner = 0;
    if (::getuid() == 0) { // as root, hand the helper to somebody else
        ASSERT_EQ(::chown(fixture.helperPath.c_str(), 65534, 65534), 0);
    }
    LockScreenMessageService service(configuration);
    const auto received = runToCompletion(fixture.mainQueue, service, "enable");
    ASSERT_TRUE(received && *received);
    EXPECT_NE(received->value().find(" is not owned by root)."), std::string::npos) << received->value();
    EXPECT_TRUE(fixture.fake.calls().empty());
}

TEST(LockScreenMessageService, DisableRunsOnlyWhileTheMessageIsOurs) {
    const struct {
        const char* name;
        std::optional<std::string> file; // in 50-x, or ours when it is our own keyfile
        bool runs;
    } cases[] = {
        {"off", std::nullopt, false},
        {"foreign", bannerKeyfile("Authorised use only"), false},
        {"our text in someone else's file", bannerKeyfile(std::string(GdmBanner::signatureText)), false},
        {"ours", GdmBanner::ownKeyfileContents(), true},
    };
    for (const auto& c : cases) {
        ServiceFixture fixture;
        if (c.file)
            fixture.root.write(c.runs ? fixture.root.layout().ownFile() : fixture.root.gdmFile("50-x"),
                               *c.file);
        LockScreenMessageService service(fixture.configuration());
        Completion received;
        service.disable([&](std::optional<std::string> errorText) { received = std::move(errorText); });
        // Nothing to delete: the answer comes at once, on this thread, and nobody is asked for a password.
        EXPECT_EQ(received.has_value(), !c.runs) << c.name;
        fixture.mainQueue.runUntil([&] { return received.has_value(); });
        EXPECT_EQ(received, succeeded) << c.name;
        const auto calls = fixture.fake.calls();
        ASSERT_EQ(calls.size(), c.runs ? 1u : 0u) << c.name;
        if (c.runs) {
            EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{"--disable-internal-agent",
                                                                    fixture.helperPath.string(), "disable"}));
        }
    }
}

TEST_F(LockScreenMessageServiceTest, ADestroyedServiceNeitherWaitsForThePromptNorDropsTheAnswer) {
    std::promise<void> answered;
    auto answer = answered.get_future().share();
    fake.effect = [answer](const std::string&) { answer.wait_for(std::chrono::seconds(10)); };
    Completion received;
    {
        auto service = std::make_unique<LockScreenMessageService>(configuration());
        service->enable([&](std::optional<std::string> errorText) { received = std::move(errorText); });
        auto destroyed = std::async(std::launch::async, [&] { service.reset(); });
        EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        answered.set_value();
    }
    EXPECT_TRUE(mainQueue.runUntil([&] { return received.has_value(); }));
    EXPECT_EQ(received, succeeded);
}

TEST_F(LockScreenMessageServiceTest, TheApplicationUsesPkexecAndOnlyTheInstalledHelper) {
    const auto configuration = LockScreenMessageService::systemConfiguration();
    EXPECT_EQ(configuration.privilegeCommand, "/usr/bin/pkexec");
    EXPECT_TRUE(configuration.helperPath.is_absolute());
    EXPECT_TRUE(configuration.helperPath.string().ends_with("/libexec/vigilor/vigilor-banner-helper"));
    EXPECT_EQ(configuration.helperOwner, 0u); // root alone
    // A program that root installed passes, through the system's own links (/bin/sh).
    EXPECT_EQ(LockScreenMessageService::helperLocationProblem("/bin/sh", 0), std::nullopt);
    EXPECT_EQ(configuration.layout.ownFile(), "/etc/dconf/db/gdm.d/90-zorvi-banner");
    EXPECT_GE(configuration.timeoutSeconds, 120); // long enough to type a password
}

// Everything real but pkexec, which here is a stand-in that runs the helper as it is given.
class LockScreenMessageServiceEndToEnd : public LockScreenMessageServiceTest {
protected:
    void SetUp() override {
        setenv("VIGILOR_BANNER_HELPER_ROOT", root.root().c_str(), 1);
        root.writeProgram(root.layout().dconfCommand, "#!/bin/sh\nexit 0\n");
        root.writeProgram(fakePkexec,
                          "#!/bin/sh\n[ \"$1\" = --disable-internal-agent ] && shift\nexec \"$@\"\n");
        root.writeProgram(dismissingPkexec, "#!/bin/sh\necho 'Request dismissed' >&2\nexit 126\n");
    }
    LockScreenMessageService::Configuration endToEnd(const std::filesystem::path& pkexec) {
        std::filesystem::copy_file(BANNER_HELPER_TEST_BUILD, helperPath,
                                   std::filesystem::copy_options::overwrite_existing);
        return {root.layout(), helperPath, ::getuid(), pkexec.string(), 30, ChildProcess::run};
    }

    std::filesystem::path fakePkexec = root.root() / "usr/bin/pkexec";
    std::filesystem::path dismissingPkexec = root.root() / "usr/bin/pkexec-dismissing";
};

TEST_F(LockScreenMessageServiceEndToEnd, EnableThenDisable) {
    LockScreenMessageService service(endToEnd(fakePkexec));
    EXPECT_EQ(service.currentMessage(), LockScreenMessageState::off());
    EXPECT_EQ(complete(service, "enable"), succeeded);
    EXPECT_EQ(service.currentMessage(), LockScreenMessageState::ours());
    EXPECT_EQ(complete(service, "disable"), succeeded);
    EXPECT_EQ(service.currentMessage(), LockScreenMessageState::off());
}

TEST_F(LockScreenMessageServiceEndToEnd, TheHelperRefusesToCoverAMessageThatAppearedMeanwhile) {
    LockScreenMessageService service(endToEnd(fakePkexec));
    root.write(root.gdmFile("50-corp"), bannerKeyfile("Corp"));
    EXPECT_EQ(complete(service, "enable"),
              Completion("Another lock screen message is already set; it was left in place."));
    EXPECT_EQ(service.currentMessage(), LockScreenMessageState::foreign("Corp"));
}

TEST_F(LockScreenMessageServiceEndToEnd, ADismissedPromptChangesNothingAndIsNoError) {
    LockScreenMessageService service(endToEnd(dismissingPkexec));
    EXPECT_EQ(complete(service, "enable"), succeeded);
    EXPECT_EQ(service.currentMessage(), LockScreenMessageState::off());
}

} // namespace
