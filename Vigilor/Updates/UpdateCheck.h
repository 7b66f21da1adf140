#pragma once

#include "Foundation/Date.h"
#include "Vigilor/Updates/Appcast.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why an update check found nothing to say about a release, with the text the user reads.
struct UpdateCheckError {
    enum class Kind {
        insecureFeedAddress, // the feed's own address is not HTTPS
        unreachable,         // no answer: no network, refused, timed out, too large ... (detail)
        badStatus,           // an answer other than success (detail: the status)
        insecureRedirect,    // a redirect to an address that is not HTTPS
        tooManyRedirects,
        notAnAppcast,            // not XML, or not an RSS feed (detail)
        noReleases,              // an appcast without items
        noReleasesForThisSystem, // items for other systems only
        noTrustedRelease,        // every item for this system was refused (detail: the first reason)
        noAnswer,                // the process that checks gave no answer (detail: why)
    };

    Kind kind;
    std::string detail;

    std::string description() const;
    bool operator==(const UpdateCheckError&) const = default;
};

// Why a release of this system is passed over.
struct AppcastItemRefusal {
    enum class Reason { noVersionNumber, insecureDownloadPage, notSigned, signatureMismatch };

    std::string version; // as the feed gives it, cut to a length a line can hold
    Reason reason;

    // "release "9.0" is not signed"
    std::string description() const;
    bool operator==(const AppcastItemRefusal&) const = default;
};

// What one check found.
struct UpdateCheckOutcome {
    enum class Kind { updateAvailable, upToDate, failed };

    Kind kind = Kind::failed;
    AppcastItem release;                          // updateAvailable: the newest trusted release
    std::string newestVersion;                    // upToDate: the newest trusted release's version
    std::optional<UpdateCheckError> error;        // failed
    std::vector<AppcastItemRefusal> refusedItems; // items of this system passed over, for the log
};

inline constexpr std::string_view thisSystemName = "linux";

// The scheme rule of every address the check fetches or opens: HTTPS always; plain HTTP only to a host
// in `plainHttpHosts` (the tests' loopback server; the application names none).
bool isTrustedUpdateAddress(std::string_view url, const std::vector<std::string>& plainHttpHosts = {});

// Why an item of this system cannot be offered; nothing when it can. Checks the version, the download
// page's address (HTTPS only) and the signature, in that order.
std::optional<AppcastItemRefusal> appcastItemRefusal(const AppcastItem& item,
                                                     const Ed25519PublicKey& publicKey);

// The log's account of the items passed over: a line for each reason, in the order the reasons first
// came, naming the first item and counting the others, so that a feed of many bad items fills no log.
std::vector<std::string> refusalLogLines(const std::vector<AppcastItemRefusal>& refusals);

// The check's decision on the feed's text: the newest trusted release of this system, compared with
// the running version.
UpdateCheckOutcome evaluateAppcast(std::string_view xml, std::string_view runningVersion,
                                   const Ed25519PublicKey& publicKey);

// Whether the user is shown what a check found. A user who asked sees every outcome. A background
// check shows only a new release, and neither the version the user skipped nor an older one, as
// Sparkle does: a release newer than the skipped one is shown again.
bool showsUpdateOutcome(const UpdateCheckOutcome& outcome, bool userInitiated,
                        const std::optional<std::string>& skippedVersion);

// Background checks: at most one a day, the time of the last one that read the feed kept in the
// defaults store (a failed check leaves it as it was, so the next look tries again). The wait until the
// next look is capped at an hour, because a suspended machine's timers do not count the time it slept;
// a last check in the future (the clock was set back) counts as due.
inline constexpr double updateCheckInterval = 86'400;
inline constexpr double longestUpdateCheckWait = 3'600;
double backgroundCheckWait(std::optional<Date> lastCheck, Date now);
