#include "ServiceTestSupport.h"

#include "Vigilor/LockScreen/LockScreenSignatureRowModel.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class LockScreenSignatureRowModelTest : public testing::Test, protected ServiceFixture {
protected:
    std::unique_ptr<LockScreenSignatureRowModel> makeRow() {
        return std::make_unique<LockScreenSignatureRowModel>(
            std::make_shared<LockScreenMessageService>(configuration()));
    }
    bool settle(const LockScreenSignatureRowModel& row) {
        return mainQueue.runUntil([&] { return !row.isBusy(); });
    }
    std::vector<std::string> commandsRun() const {
        std::vector<std::string> commands;
        for (const auto& call : fake.calls())
            commands.push_back(call.arguments.back());
        return commands;
    }
};

TEST_F(LockScreenSignatureRowModelTest, TheButtonEnablesWhenOffAndDisablesWhenOurs) {
    actLikeTheHelper();
    auto row = makeRow();
    int changes = 0;
    row->setOnChange([&] { ++changes; });
    EXPECT_EQ(row->state(), LockScreenMessageState::off());

    row->toggle();
    EXPECT_TRUE(row->isBusy());
    EXPECT_FALSE(row->canToggle());
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::ours());
    EXPECT_EQ(row->errorText(), std::nullopt);

    row->toggle();
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::off());
    EXPECT_EQ(commandsRun(), (std::vector<std::string>{"enable", "disable"}));
    EXPECT_EQ(changes, 4); // busy and done, twice
}

TEST_F(LockScreenSignatureRowModelTest, AForeignMessageCannotBeToggled) {
    root.write(root.gdmFile("50-corp"), bannerKeyfile("Authorised use only"));
    auto row = makeRow();
    EXPECT_EQ(row->state(), LockScreenMessageState::foreign("Authorised use only"));
    EXPECT_FALSE(row->canToggle());
    row->toggle();
    EXPECT_FALSE(row->isBusy());
    mainQueue.runPending();
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(LockScreenSignatureRowModelTest, ASecondPressWhileBusyRunsNothing) {
    actLikeTheHelper();
    auto row = makeRow();
    row->toggle();
    row->toggle();
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(commandsRun(), std::vector<std::string>{"enable"});
}

TEST_F(LockScreenSignatureRowModelTest, AFailureKeepsTheStateAndShowsTheErrorUntilTheNextTry) {
    fake.result = FakeCommandRunner::exited(4, "dconf update failed: x\n");
    auto row = makeRow();
    row->toggle();
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::off());
    EXPECT_EQ(row->errorText(), "dconf update failed: x");

    fake.result = FakeCommandRunner::exited(126); // the user closes the prompt this time
    row->toggle();
    EXPECT_EQ(row->errorText(), std::nullopt);
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::off());
    EXPECT_EQ(row->errorText(), std::nullopt);
}

// The row reads the state when it is made; a message removed elsewhere since is noticed after the
// press, which then asks for nothing.
TEST_F(LockScreenSignatureRowModelTest, AMessageRemovedElsewhereIsNoticedAfterThePress) {
    root.write(root.layout().ownFile(), GdmBanner::ownKeyfileContents());
    auto row = makeRow();
    EXPECT_EQ(row->state(), LockScreenMessageState::ours());
    std::filesystem::remove(root.layout().ownFile());

    row->toggle();
    EXPECT_TRUE(row->isBusy()); // the answer came at once, but is taken on a later turn of the main queue
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::off());
    EXPECT_TRUE(fake.calls().empty());
}

// The window reads the message again each time it is shown, unless a change is still running.
TEST_F(LockScreenSignatureRowModelTest, AReloadCatchesAChangeMadeElsewhereButWaitsForOneInFlight) {
    fake.result = FakeCommandRunner::exited(4, "dconf update failed: x\n");
    auto row = makeRow();
    row->toggle();
    ASSERT_TRUE(settle(*row));
    root.write(root.layout().ownFile(), GdmBanner::ownKeyfileContents());
    row->reload();
    EXPECT_EQ(row->state(), LockScreenMessageState::ours());
    EXPECT_EQ(row->errorText(), "dconf update failed: x") << "a reload is no new action";

    fake.result = FakeCommandRunner::exited(0);
    row->toggle(); // disables: the fake leaves the file, so the completion reads ours again
    std::filesystem::remove(root.layout().ownFile());
    row->reload();
    EXPECT_EQ(row->state(), LockScreenMessageState::ours()) << "busy: left to the completion";
    ASSERT_TRUE(settle(*row));
    EXPECT_EQ(row->state(), LockScreenMessageState::off());
}

TEST_F(LockScreenSignatureRowModelTest, AnAnswerForAClosedRowIsDropped) {
    actLikeTheHelper();
    auto row = makeRow();
    row->toggle();
    row.reset();
    // The service's answer and the row's own hop both run, and find no row.
    EXPECT_TRUE(mainQueue.runUntil([&] { return mainQueue.ran() == 2; }));
    EXPECT_EQ(GdmBanner::currentState(root.layout()), LockScreenMessageState::ours());
}

} // namespace
