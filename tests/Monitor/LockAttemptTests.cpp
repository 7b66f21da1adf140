#include "Vigilor/Monitor/LockAttempt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Stage = LockAttempt::Stage;
using Who = LockAttempt::Requester;

// Everything the attempt says and does, in order: lock-log lines, status events, the feedback for
// Zorvi's own lock, and the session opening again; and how often the lockers were asked.
struct Recorder final : LockAttempt::Outputs {
    std::vector<std::string> said;
    int asked = 0;
    void askLockers(const std::string&) override { ++asked; }
    void armConfirmationTimeout(double) override {}
    void cancelConfirmationTimeout() override {}
    void activityLog(const std::string&) override {}
    void lockLog(const std::string& line) override { said.push_back(line); }
    void statusEvent(RelayEvent event, const std::string& source) override {
        said.push_back("status " + std::string(rawValue(event)) + " " + source);
    }
    void ownLockConfirmed(const std::string& source, Date) override { said.push_back("feedback " + source); }
    void sessionLocked() override {}
    void sessionOpened(const LockAttempt::Opening& o) override {
        said.push_back(std::string("opened") + (o.wasZorvisLock ? " ours" : " theirs") + (o.lost ? " lost" : ""));
    }
};

enum class Event {
    autoLock, lockNow, remote, taken, refused, locks, unlocks, lost, timesOut, timesOutGrabbed, givesUp };

struct Step {
    Event event;
    double at;
};

struct Row {
    const char* name;
    std::vector<Step> steps;
    Stage stage;
    std::vector<std::string> said;
    int asked = 1;
};

void play(LockAttempt& attempt, const Step& step) {
    const Date at(step.at);
    switch (step.event) {
    case Event::autoLock:
        attempt.request("Auto", Who::absence, at, false, {});
        break;
    case Event::lockNow:
        attempt.request("Manual", Who::user, at, false, {});
        break;
    case Event::remote:
        attempt.request("Remote", Who::user, at, false, {});
        break;
    case Event::taken:
        attempt.lockersAnswered({"logind", {}}, at);
        break;
    case Event::refused:
        attempt.lockersAnswered({std::nullopt, {"logind failed: no session"}}, at);
        break;
    case Event::locks:
        attempt.sessionLocked(at, std::nullopt);
        break;
    case Event::unlocks:
        attempt.sessionUnlocked(at);
        break;
    case Event::lost:
        attempt.lockLost(at);
        break;
    case Event::timesOut:
        attempt.confirmationTimedOut(at, HeldInput::none);
        break;
    case Event::timesOutGrabbed:
        attempt.confirmationTimedOut(at, HeldInput::keyboard);
        break;
    case Event::givesUp:
        attempt.giveUp();
        break;
    }
}

const std::string requestedAuto = "Zorvi requested auto lock via logind";
const std::string requestedManual = "Zorvi requested manual lock via logind";
const std::string ourLock = "Screen locked by Zorvi (Auto)";
const std::string ourManualLock = "Screen locked by Zorvi (Manual)";
const std::string theirLock = "Screen locked by the system, user, or idle policy";
const std::string unconfirmed = "Lock attempt unconfirmed; the session did not lock within 10s";
const std::string dropped = "Lock request dropped: lock attempt already in progress";

} // namespace

TEST(LockAttempt, FollowsEachSequenceOfEvents) {
    using enum Event;
    const Row rows[] = {
        {"a lock confirmed after the answer",
         {{autoLock, 0}, {taken, 0.1}, {locks, 2}},
         Stage::confirmed,
         {requestedAuto, "status lock_invoked Auto", ourLock, "feedback Auto"}},
        {"a lock confirmed before the answer is told after the request",
         {{lockNow, 0}, {locks, 0.5}, {taken, 1}},
         Stage::confirmed,
         {requestedManual, "status lock_invoked Manual", ourManualLock, "feedback Manual"}},
        {"locked and unlocked before the answer: nothing is awaited, and Lock Now asks again",
         {{lockNow, 0}, {locks, 0.5}, {unlocks, 3}, {taken, 4}, {lockNow, 5}},
         Stage::asking,
         {ourManualLock, "feedback Manual", "Screen unlocked", "opened ours", requestedManual,
          "status lock_invoked Manual"},
         2},
        {"someone else's lock while every locker refuses is not ours",
         {{lockNow, 0}, {locks, 0.5}, {refused, 1}},
         Stage::failed,
         {"Manual lock failed: no screen locker took the request", theirLock, "status locked System"}},
        {"a lock that does not come is unconfirmed",
         {{autoLock, 0}, {taken, 0.1}, {timesOut, 10.6}},
         Stage::unconfirmed,
         {requestedAuto, "status lock_invoked Auto", unconfirmed, "status lock_attempt_unconfirmed Auto"}},
        {"Lock Now while a lock is awaited asks again",
         {{autoLock, 0}, {taken, 0.1}, {lockNow, 3}},
         Stage::asking,
         {requestedAuto, "status lock_invoked Auto"},
         2},
        {"an absence's request while the lockers are asked is dropped",
         {{lockNow, 0}, {autoLock, 0.2}},
         Stage::asking,
         {dropped}},
        {"Lock Now joins the request being asked: the lock that follows is the user's",
         {{autoLock, 0}, {lockNow, 0.2}, {taken, 1}, {locks, 2}},
         Stage::confirmed,
         {requestedAuto, "status lock_invoked Auto", requestedManual, ourManualLock, "feedback Manual"}},
        {"Lock Now joins the request being asked and is asked again when it failed",
         {{autoLock, 0}, {lockNow, 0.2}, {refused, 1}},
         Stage::asking,
         {"Auto lock failed: no screen locker took the request"},
         2},
        {"a lock while a slow locker's request is awaited is ours",
         {{autoLock, 0}, {taken, 5}, {locks, 14}},
         Stage::confirmed,
         {requestedAuto, "status lock_invoked Auto", ourLock, "feedback Auto"}},
        {"a lock long after the request is someone else's",
         {{autoLock, 0}, {taken, 0.1}, {locks, 10.2}},
         Stage::idle,
         {requestedAuto, "status lock_invoked Auto", theirLock, "status locked System"}},
        {"the locker holding Zorvi's lock goes away",
         {{autoLock, 0}, {taken, 0.1}, {locks, 1}, {lost, 30}},
         Stage::idle,
         {requestedAuto, "status lock_invoked Auto", ourLock, "feedback Auto",
          "The screen locker stopped while the session was locked", "opened ours lost"}},
        {"the user's own lock and unlock",
         {{locks, 0}, {unlocks, 60}},
         Stage::idle,
         {theirLock, "status locked System", "Screen unlocked", "opened theirs"},
         0},
        {"an unlock during a retry ends it",
         {{autoLock, 0}, {taken, 0.1}, {timesOut, 10.6}, {autoLock, 20.6}, {locks, 21}, {unlocks, 25}, {taken, 26}},
         Stage::idle,
         {requestedAuto, "status lock_invoked Auto", unconfirmed, "status lock_attempt_unconfirmed Auto", ourLock,
          "feedback Auto", "Screen unlocked", "opened ours", requestedAuto, "status lock_invoked Auto"},
         2},
        {"a remote command's own time-out gives up without a word",
         {{remote, 0}, {taken, 0.1}, {givesUp, 10}},
         Stage::unconfirmed,
         {"Zorvi requested remote lock via logind", "status lock_invoked Remote"}},
    };
    for (const Row& row : rows) {
        Recorder recorder;
        LockAttempt attempt(recorder);
        for (const Step& step : row.steps)
            play(attempt, step);
        EXPECT_EQ(attempt.stage(), row.stage) << row.name;
        EXPECT_EQ(recorder.said, row.said) << row.name;
        EXPECT_EQ(recorder.asked, row.asked) << row.name;
    }
}

// The retry waits for as long again; a locker whose requests go unconfirmed twice, with no lock of the
// session ever seen, does not lock; one lock seen clears that doubt.
TEST(LockAttempt, TellsWhenToRetryAndWhenTheLockerDoesNotLock) {
    Recorder recorder;
    LockAttempt attempt(recorder);
    for (const Step& step : std::vector<Step>{{Event::autoLock, 0}, {Event::taken, 0.1}, {Event::timesOut, 10.6}})
        play(attempt, step);
    EXPECT_FALSE(attempt.retryDue(Date(20.5)));
    EXPECT_TRUE(attempt.retryDue(Date(20.6)));
    EXPECT_FALSE(attempt.lockerDoesNotLock());
    for (const Step& step : std::vector<Step>{{Event::autoLock, 21}, {Event::taken, 21.1}, {Event::timesOut, 31.6}})
        play(attempt, step);
    EXPECT_TRUE(attempt.lockerDoesNotLock());
    EXPECT_EQ(recorder.said.back(), LockAttempt::lockerDoesNotLockText);
    play(attempt, {Event::locks, 40});
    EXPECT_FALSE(attempt.lockerDoesNotLock());

    // Waits that run out while another program holds the keyboard cast no doubt; they are told a while.
    Recorder grabbed;
    LockAttempt underGrab(grabbed);
    for (const Step& step : std::vector<Step>{{Event::autoLock, 0}, {Event::taken, 0}, {Event::timesOutGrabbed, 10.5},
                                              {Event::autoLock, 21}, {Event::taken, 21}, {Event::timesOutGrabbed, 31.5}})
        play(underGrab, step);
    const std::string held = "Lock attempt unconfirmed. Another program holds the keyboard, so the screen cannot lock yet";
    EXPECT_EQ(std::ranges::count(grabbed.said, held), 2);
    EXPECT_FALSE(underGrab.lockerDoesNotLock());
    EXPECT_EQ(underGrab.heldInput(Date(61)), HeldInput::keyboard);
    EXPECT_EQ(underGrab.heldInput(Date(61.5)), std::nullopt) << "told until a retry could have looked again";
}
