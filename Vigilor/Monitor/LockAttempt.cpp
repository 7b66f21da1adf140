#include "LockAttempt.h"

#include "Foundation/Text.h"

#include <utility>

bool LockAttempt::request(const std::string& source, Requester who, Date at, bool quiet, Completion completion) {
    const bool underWay = stage_ == Stage::asking || stage_ == Stage::awaiting;
    if (underWay && who == Requester::absence) {
        if (!quiet)
            out_.lockLog("Lock request dropped: lock attempt already in progress");
        if (completion)
            completion(false);
        return false;
    }
    Request request{source, at, quiet, std::move(completion), std::nullopt};
    if (stage_ == Stage::asking) {
        // The lockers are being asked already: this request is asked again after their answer, unless
        // the session locks meanwhile. A later one takes the place of an earlier one, which is answered.
        if (joined_ && joined_->completion)
            joined_->completion(false);
        joined_ = std::move(request);
        return true;
    }
    if (stage_ == Stage::awaiting)
        out_.cancelConfirmationTimeout();
    ask(std::move(request));
    return true;
}

void LockAttempt::ask(Request request) {
    // A request asked again keeps the one before it as what a failure restores.
    if (stage_ != Stage::awaiting)
        previous_ = std::exchange(request_, std::nullopt);
    request_ = std::move(request);
    stage_ = Stage::asking;
    unlockedWhileAsking_ = false;
    out_.askLockers(request_->source);
}

void LockAttempt::logRequested(const Request& request, const std::string& method) {
    out_.lockLog("Zorvi requested " + asciiLowercased(request.source) + " lock via " + method);
}

void LockAttempt::logAnswer(const Request& request, const SessionLockAttempt& answer) {
    const bool taken = answer.method.has_value();
    if (!taken && request.quiet)
        return;
    for (const std::string& failure : answer.failures)
        out_.activityLog(failure);
    if (taken) {
        out_.activityLog("Lock invoked: " + *answer.method);
        logRequested(request, *answer.method);
    } else {
        // Said where the lock was asked for too: the dashboard shows the lock log.
        out_.activityLog("Lock failed: no method worked");
        out_.lockLog(request.source + " lock failed: no screen locker took the request");
    }
}

void LockAttempt::lockersAnswered(const SessionLockAttempt& answer, Date at) {
    if (stage_ != Stage::asking || !request_)
        return;
    Request asked = *request_;
    const bool taken = answer.method.has_value();
    lastAnswerFailed_ = !taken;
    logAnswer(asked, answer);
    if (taken)
        out_.statusEvent(RelayEvent::lockInvoked, asked.source);
    // A user's request that joined this one went with it to the locker: the lock that follows is theirs.
    if (taken && joined_) {
        logRequested(*joined_, *answer.method);
        request_->source = joined_->source;
        request_->at = joined_->at;
    }
    if (unlockedWhileAsking_) {
        // The session locked and was unlocked before the lockers answered: nothing is awaited any more.
        stage_ = Stage::idle;
        request_.reset();
    } else if (taken && holder_ == Holder::undecided) {
        stage_ = Stage::confirmed;
        confirmOwn(request_->source, lockedAt_.value_or(at));
    } else if (taken) {
        stage_ = Stage::awaiting;
        request_->takenAt = at;
        out_.armConfirmationTimeout(confirmationWait);
    } else {
        stage_ = Stage::failed;
        if (!asked.quiet)
            failedAt_ = at;
        request_ = std::exchange(previous_, std::nullopt);
        // A lock that came while the lockers were asked, none of which took the request, is not ours.
        if (holder_ == Holder::undecided)
            lockedByOther();
    }
    if (asked.completion)
        asked.completion(taken);
    settleJoined(taken);
}

// A request that joined the one answered has what it asked for when a locker took that one or the
// session locked meanwhile; otherwise it is asked for in its own right.
void LockAttempt::settleJoined(bool taken) {
    if (auto again = std::exchange(joined_, std::nullopt)) {
        if (taken || locked()) {
            if (again->completion)
                again->completion(true);
        } else {
            ask(std::move(*again));
        }
    }
}

void LockAttempt::refused(Date at, bool quiet) {
    if (stage_ == Stage::asking)
        return;
    if (stage_ == Stage::awaiting)
        out_.cancelConfirmationTimeout();
    stage_ = Stage::failed;
    lastAnswerFailed_ = true;
    if (!quiet)
        failedAt_ = at;
}

void LockAttempt::confirmOwn(const std::string& source, Date at) {
    holder_ = Holder::zorvi;
    out_.lockLog("Screen locked by Zorvi (" + source + ")");
    out_.ownLockConfirmed(source, at);
}

void LockAttempt::lockedByOther() {
    holder_ = Holder::other;
    out_.lockLog("Screen locked by the system, user, or idle policy");
    out_.statusEvent(RelayEvent::locked, "System");
}

// Counted from when a locker took the request (MATE's takes 2 s to be taken for silence, xscreensaver's
// command up to 5 s): a lock while its confirmation is still awaited is ours. A request in the future
// also counts: the clock may have been set back.
bool LockAttempt::withinOwnWindow(Date at) const {
    return request_ && at.timeIntervalSince(request_->takenAt.value_or(request_->at)) <= ownLockWindow;
}

void LockAttempt::sessionLocked(Date at, std::optional<Date> systemLockedAt) {
    if (locked())
        return; // the same lock, reported again
    ++locksSeen_;
    heldInput_.reset();
    seenLockedAt_ = at;
    // A lock we asked for began about now, if the session cannot say; another's began when it says.
    const bool asked = stage_ == Stage::asking || (stage_ == Stage::awaiting && withinOwnWindow(at));
    lockedAt_ = asked ? systemLockedAt.value_or(at) : systemLockedAt;
    if (stage_ == Stage::asking) {
        // Ours only if a locker took the request: the answer decides.
        holder_ = Holder::undecided;
    } else if (stage_ == Stage::awaiting && withinOwnWindow(at)) {
        out_.cancelConfirmationTimeout();
        stage_ = Stage::confirmed;
        confirmOwn(request_->source, at);
    } else {
        if (stage_ == Stage::awaiting)
            out_.cancelConfirmationTimeout();
        stage_ = Stage::idle;
        lockedByOther();
    }
    out_.sessionLocked();
}

void LockAttempt::sessionUnlocked(Date at) {
    if (locked())
        opened(at, false);
}

void LockAttempt::lockLost(Date at) {
    if (locked())
        opened(at, true);
}

void LockAttempt::opened(Date at, bool lost) {
    // A lock whose request is still being asked is taken for ours, as its window says, so that its
    // unlock is told after it.
    if (holder_ == Holder::undecided && request_)
        confirmOwn(request_->source, lockedAt_.value_or(at));
    // A locker that went away unlocked nothing: whether the session is open is not known.
    out_.lockLog(lost ? "The screen locker stopped while the session was locked" : "Screen unlocked");
    Opening opening{holder_ == Holder::zorvi, lockedAt_, seenLockedAt_, lost};
    holder_ = Holder::none;
    lockedAt_.reset();
    seenLockedAt_.reset();
    if (stage_ == Stage::asking) {
        unlockedWhileAsking_ = true;
    } else {
        if (stage_ == Stage::awaiting)
            out_.cancelConfirmationTimeout();
        stage_ = Stage::idle;
        request_.reset();
    }
    out_.sessionOpened(opening);
}

// A grab held elsewhere explains the wait: it is told instead, and does not count against the locker.
void LockAttempt::confirmationTimedOut(Date at, std::optional<HeldInput> heldInput) {
    if (stage_ != Stage::awaiting)
        return;
    const std::string source = requestSource();
    const bool held = heldInput && *heldInput != HeldInput::none;
    endWait(!held);
    unconfirmedAt_ = at;
    heldInput_ = held ? heldInput : std::nullopt;
    heldInputAt_ = at;
    out_.lockLog(held ? std::string("Lock attempt unconfirmed. ") + heldInputWords(*heldInput).sentence
                      : "Lock attempt unconfirmed; the session did not lock within 10s");
    out_.statusEvent(RelayEvent::lockAttemptUnconfirmed, source);
    // Said once, when the doubt sets in; the interface says it for as long as it lasts.
    if (!held && lockerDoesNotLock() && unconfirmedCount_ == unconfirmedBeforeDoubt)
        out_.lockLog(lockerDoesNotLockText);
}

void LockAttempt::giveUp() {
    if (stage_ == Stage::awaiting)
        endWait(true);
}

void LockAttempt::endWait(bool countsAgainstLocker) {
    out_.cancelConfirmationTimeout();
    stage_ = Stage::unconfirmed;
    if (countsAgainstLocker)
        ++unconfirmedCount_;
    request_.reset();
}

std::optional<HeldInput> LockAttempt::heldInput(Date at) const {
    const double age = heldInputAt_ ? at.timeIntervalSince(*heldInputAt_) : -1;
    return age >= 0 && age < heldInputNews ? heldInput_ : std::nullopt;
}

const LockAttempt::HeldInputWords& LockAttempt::heldInputWords(HeldInput held) {
    static constexpr HeldInputWords keyboard{"Another program holds the keyboard, so the screen cannot lock yet",
                                             "Keyboard held by another program"};
    static constexpr HeldInputWords pointer{"Another program holds the pointer, so the screen cannot lock yet",
                                            "Pointer held by another program"};
    return held == HeldInput::pointer ? pointer : keyboard;
}

bool LockAttempt::locking(Date at) const {
    return (stage_ == Stage::asking || stage_ == Stage::awaiting) && withinOwnWindow(at);
}

// The retries of an absence whose lock failed are no lock awaited.
ZorviLockProgress LockAttempt::progress() const {
    if (locked())
        return ZorviLockProgress::locked;
    switch (stage_) {
    case Stage::awaiting:
        return ZorviLockProgress::awaited;
    case Stage::asking:
        return lastAnswerFailed_ ? ZorviLockProgress::failed : ZorviLockProgress::awaited;
    case Stage::failed:
        return ZorviLockProgress::failed;
    default:
        return ZorviLockProgress::unconfirmed;
    }
}

bool LockAttempt::retryDue(Date at) const {
    if (stage_ != Stage::unconfirmed || !unconfirmedAt_)
        return false;
    const double waited = at.timeIntervalSince(*unconfirmedAt_);
    return waited < 0 || waited >= retryWait;
}

bool LockAttempt::failedRecently(Date at) const {
    const double age = failedAt_ ? at.timeIntervalSince(*failedAt_) : -1;
    return age >= 0 && age < ownLockWindow;
}
