#pragma once

#include "Foundation/Date.h"
#include "Platform/InputGrab.h"
#include "Platform/SessionLocker.h"
#include "Vigilor/Companion/RelayEvent.h"

#include <functional>
#include <optional>
#include <string>

// Where the lock asked for stands: asked for and awaited until a screen locker reports the session
// locked, the wait for that report has run out, or no locker took the request.
enum class ZorviLockProgress { awaited, locked, unconfirmed, failed };

// The session's lock as Zorvi knows it, and the one lock request Zorvi has under way: the request, the
// lockers' answer, the session's confirmation, the time-out, the retry and the unlock. It is the only
// writer of the session's lock state; the monitor feeds it events and carries out what it asks for
// through Outputs. Plain state, no clock or timer of its own: every event carries its time.
//
// Who asks matters: a user's request (the menu's Lock Now, a verified remote command) is never dropped;
// while the lockers are being asked it joins that request (and is asked again if no locker took it),
// and while a lock is awaited it asks again; either way the lock that follows is the user's. An
// absence's request is dropped while another is under way. The session may lock or unlock at any point,
// by Zorvi's request or by anyone else's. A wait that runs out while another program holds the keyboard
// or the pointer is no sign that the locker does not lock: no locker can lock past such a grab.
//
// | Stage       | Event                                   | Next        | What is said and done                      |
// |-------------|-----------------------------------------|-------------|--------------------------------------------|
// | any but asking | request                              | asking      | the lockers are asked                      |
// | any but asking | refused before any locker is asked   | failed      | the refusal is the owner's to say          |
// | asking      | request by the user                     | asking      | joins: answered with it if a locker took it ("Zorvi requested <user's> lock via X"; the lock is the user's), else asked again |
// | asking      | request by an absence                   | asking      | "Lock request dropped: …"                  |
// | awaiting    | request by the user                     | asking      | the lockers are asked again: the lock is the user's |
// | awaiting    | request by an absence                   | awaiting    | "Lock request dropped: …"                  |
// | asking      | lockers answer: taken                   | awaiting    | "Zorvi requested … lock via X"; wait 10.5 s |
// | asking      | taken, the session locked meanwhile     | confirmed   | request, then "Screen locked by Zorvi (…)", feedback, displays sleep |
// | asking      | none took it                            | failed      | "<source> lock failed: …"; the request before it is restored |
// | asking      | none took it, the session locked meanwhile | failed   | failure, then "Screen locked by the system, user, or idle policy" |
// | asking      | answer after a lock and unlock meanwhile | idle       | request lines only                         |
// | awaiting    | the session locks (within 10 s of the locker taking it) | confirmed | "Screen locked by Zorvi (…)", feedback, displays sleep |
// | awaiting    | the wait runs out                       | unconfirmed | "Lock attempt unconfirmed; …", status; counts against the locker |
// | awaiting    | the wait runs out, input held elsewhere | unconfirmed | "Lock attempt unconfirmed. Another program holds …", status; not counted |
// | awaiting    | given up (a remote command's own time-out) | unconfirmed | nothing: the command says it           |
// | unconfirmed | 10 s later, still away                  | (retry due) | the absence asks again                     |
// | any         | the session locks, no request of ours   | idle        | "Screen locked by the system, user, or idle policy", status |
// | locked      | the session unlocks                     | idle        | "Screen unlocked"; opened (ours or not)    |
// | locked      | the locker holding it goes away         | idle        | "The screen locker stopped …"; lost, not said to be open |
// Who asks for a lock: an absence's request is dropped while another is under way, a user's never is.
enum class LockRequester { user, absence };

// How the session's lock ended.
struct LockOpening {
    bool wasZorvisLock = false;
    std::optional<Date> lockedAt; // when the lock began, where that is known
    std::optional<Date> seenLockedAt; // when the lock was first seen: it began then or earlier
    bool lost = false; // the locker went away: nobody unlocked, and the session may still be covered
};

class LockAttempt {
public:
    enum class Stage { idle, asking, awaiting, confirmed, unconfirmed, failed };
    // Who holds the session locked: nobody, Zorvi's request, someone else (the user, an idle policy),
    // or not yet known while the lockers of a request are still being asked.
    enum class Holder { none, zorvi, other, undecided };
    using Requester = LockRequester;

    static constexpr double confirmationWait = 10.5; // the lockers' answer to the lock's report
    static constexpr double ownLockWindow = 10;      // a lock this soon after a locker took our request: ours
    static constexpr double retryWait = 10;          // an unconfirmed absence lock is asked again after
    static constexpr double minimumCreditedLock = 5; // shorter locks credit nothing
    static constexpr int unconfirmedBeforeDoubt = 2; // with no lock ever seen, the locker does not lock
    // A grab seen when a wait ran out is told until the next retry could have seen it again.
    static constexpr double heldInputNews = 30;
    static constexpr const char* noSource = "Zorvi"; // the request source while none is under way
    static constexpr const char* lockerDoesNotLockText =
        "This session's screen locker does not lock: it took Zorvi's requests, but the session never locked";

    using Completion = std::function<void(bool taken)>;

    // What is said of a grab another program holds: the sentence, and the short word of the badges.
    struct HeldInputWords {
        const char* sentence;
        const char* readiness;
    };
    // For the keyboard or the pointer (`none` reads as the keyboard).
    static const HeldInputWords& heldInputWords(HeldInput held);

    using Opening = LockOpening;

    // What the attempt asks of its owner. Every call happens inside one of the events below.
    class Outputs {
    public:
        virtual ~Outputs() = default;
        // Asks the session's lockers, off the main thread; their answer comes back as lockersAnswered.
        virtual void askLockers(const std::string& source) = 0;
        virtual void armConfirmationTimeout(double seconds) = 0;
        virtual void cancelConfirmationTimeout() = 0;
        virtual void activityLog(const std::string& line) = 0;
        virtual void lockLog(const std::string& line) = 0;
        virtual void statusEvent(RelayEvent event, const std::string& source) = 0;
        // A lock that Zorvi asked for and a locker confirmed: told once per lock.
        virtual void ownLockConfirmed(const std::string& source, Date lockedAt) = 0;
        // Whoever locked it: a remote command waiting for the lock has it.
        virtual void sessionLocked() = 0;
        virtual void sessionOpened(const Opening& opening) = 0;
    };

    explicit LockAttempt(Outputs& outputs)
        : out_(outputs) {}

    // Events.
    // False when the request is dropped (its completion is then called with false at once).
    bool request(const std::string& source, Requester who, Date at, bool quiet, Completion completion);
    void lockersAnswered(const SessionLockAttempt& answer, Date at);
    // A request refused before any locker was asked (no locker, a build that cannot lock).
    void refused(Date at, bool quiet);
    void sessionLocked(Date at, std::optional<Date> systemLockedAt);
    void sessionUnlocked(Date at);
    void lockLost(Date at);
    // The wait for the lock ran out; `heldInput` says what another program held of the input then
    // (nothing when that could not be asked).
    void confirmationTimedOut(Date at, std::optional<HeldInput> heldInput);
    void giveUp();

    // Queries; none changes anything.
    Stage stage() const { return stage_; }
    bool asking() const { return stage_ == Stage::asking; }
    // A locker took the request, and its lock is awaited.
    bool awaiting() const { return stage_ == Stage::awaiting; }
    bool locked() const { return holder_ != Holder::none; }
    Holder holder() const { return holder_; }
    std::optional<Date> lockedAt() const { return lockedAt_; }
    std::optional<Date> requestedAt() const { return request_ ? std::optional(request_->at) : std::nullopt; }
    std::string requestSource() const { return request_ ? request_->source : noSource; }
    // A lock is asked for and not yet seen, within the window in which its lock would be ours.
    bool locking(Date at) const;
    ZorviLockProgress progress() const;
    // The absence whose lock went unconfirmed may ask again (a clock set back counts as the wait over).
    bool retryDue(Date at) const;
    // A request that was no quiet retry failed less than the own-lock window ago.
    bool failedRecently(Date at) const;
    // Zorvi's requests went unconfirmed again and again, and no lock of the session was ever seen.
    bool lockerDoesNotLock() const { return unconfirmedCount_ >= unconfirmedBeforeDoubt && locksSeen_ == 0; }
    // What another program held of the input when the latest wait for a lock ran out, while that is news.
    std::optional<HeldInput> heldInput(Date at) const;

private:
    struct Request {
        std::string source;
        Date at;
        bool quiet = false;
        Completion completion;
        std::optional<Date> takenAt; // when a locker took it: a locker may take seconds to answer
    };

    void ask(Request request);
    void logAnswer(const Request& request, const SessionLockAttempt& answer);
    void logRequested(const Request& request, const std::string& method);
    void settleJoined(bool taken);
    void endWait(bool countsAgainstLocker);
    void confirmOwn(const std::string& source, Date at);
    void lockedByOther();
    void opened(Date at, bool lost);
    bool withinOwnWindow(Date at) const;

    Outputs& out_;
    Stage stage_ = Stage::idle;
    Holder holder_ = Holder::none;
    std::optional<Date> lockedAt_;     // where known
    std::optional<Date> seenLockedAt_;
    std::optional<Request> request_;     // the request in force: asked, awaited, or answered and locked
    std::optional<Request> previous_;    // what a failed request gives back
    std::optional<Request> joined_;      // a user's request that came while the lockers were asked
    bool unlockedWhileAsking_ = false;   // the session locked and unlocked before the lockers answered
    bool lastAnswerFailed_ = false;      // the latest answer was a refusal: quiet retries are no lock awaited
    std::optional<Date> unconfirmedAt_;
    std::optional<Date> failedAt_;
    int unconfirmedCount_ = 0;
    std::optional<HeldInput> heldInput_; // keyboard or pointer, seen when a wait ran out
    std::optional<Date> heldInputAt_;
    int locksSeen_ = 0;
};
