#include "UpdateCheck.h"

#include "Foundation/Text.h"
#include "Foundation/Url.h"
#include "Vigilor/Updates/SoftwareVersion.h"

#include <algorithm>

namespace {

// A version number is a few characters; one from a hostile feed may be a megabyte of digits.
constexpr size_t longestQuotedVersion = 40;

} // namespace

std::string UpdateCheckError::description() const {
    switch (kind) {
    case Kind::insecureFeedAddress:
        return "The update feed's address is not an HTTPS address.";
    case Kind::unreachable:
        return "The update feed could not be reached (" + detail + ").";
    case Kind::badStatus:
        return "The update feed answered with HTTP status " + detail + ".";
    case Kind::insecureRedirect:
        return "The update feed redirected to an address that is not HTTPS.";
    case Kind::tooManyRedirects:
        return "The update feed redirected too many times.";
    case Kind::notAnAppcast:
        return "The update feed is not a readable appcast (" + detail + ").";
    case Kind::noReleases:
        return "The update feed lists no releases.";
    case Kind::noReleasesForThisSystem:
        return "The update feed lists no releases for Linux.";
    case Kind::noTrustedRelease:
        return "No release in the update feed can be trusted: " + detail + ".";
    case Kind::noAnswer:
        return "The update check ended without an answer (" + detail + ").";
    }
    return {};
}

bool isTrustedUpdateAddress(std::string_view url, const std::vector<std::string>& plainHttpHosts) {
    const auto parts = parseUrl(url);
    if (!parts || parts->host.empty())
        return false;
    const std::string scheme = asciiLowercased(parts->scheme);
    if (scheme == "https")
        return true;
    return scheme == "http" && std::find(plainHttpHosts.begin(), plainHttpHosts.end(),
                                         asciiLowercased(parts->host)) != plainHttpHosts.end();
}

std::string AppcastItemRefusal::description() const {
    const std::string name = "release \"" + version + "\"";
    switch (reason) {
    case Reason::noVersionNumber:
        return name + " has no version number";
    case Reason::insecureDownloadPage:
        return name + " has a download page that is not an HTTPS address";
    case Reason::notSigned:
        return name + " is not signed";
    case Reason::signatureMismatch:
        return name + " has a signature that does not match";
    }
    return name;
}

std::optional<AppcastItemRefusal> appcastItemRefusal(const AppcastItem& item,
                                                     const Ed25519PublicKey& publicKey) {
    using Reason = AppcastItemRefusal::Reason;
    const auto refused = [&item](Reason reason) {
        return AppcastItemRefusal{clippedText(item.version, longestQuotedVersion), reason};
    };
    if (!SoftwareVersion::parse(item.version))
        return refused(Reason::noVersionNumber);
    if (!isTrustedUpdateAddress(item.link))
        return refused(Reason::insecureDownloadPage);
    if (item.signature.empty())
        return refused(Reason::notSigned);
    if (!hasValidAppcastSignature(item, publicKey))
        return refused(Reason::signatureMismatch);
    return std::nullopt;
}

std::vector<std::string> refusalLogLines(const std::vector<AppcastItemRefusal>& refusals) {
    std::vector<std::pair<const AppcastItemRefusal*, size_t>> firstAndCount;
    for (const auto& refusal : refusals) {
        const auto same = std::find_if(firstAndCount.begin(), firstAndCount.end(), [&](const auto& entry) {
            return entry.first->reason == refusal.reason;
        });
        if (same == firstAndCount.end())
            firstAndCount.emplace_back(&refusal, 1);
        else
            ++same->second;
    }
    std::vector<std::string> lines;
    for (const auto& [first, count] : firstAndCount)
        lines.push_back(
            "Passed over " + first->description() +
            (count > 1 ? ", and " + std::to_string(count - 1) + " more for the same reason" : ""));
    return lines;
}

UpdateCheckOutcome evaluateAppcast(std::string_view xml, std::string_view runningVersion,
                                   const Ed25519PublicKey& publicKey) {
    UpdateCheckOutcome outcome;
    const auto fail = [&outcome](UpdateCheckError::Kind kind, std::string detail = {}) {
        outcome.kind = UpdateCheckOutcome::Kind::failed;
        outcome.error = UpdateCheckError{kind, std::move(detail)};
        return outcome;
    };
    const AppcastDocument document = parseAppcast(xml);
    if (!document.error.empty())
        return fail(UpdateCheckError::Kind::notAnAppcast, document.error);
    if (document.items.empty())
        return fail(UpdateCheckError::Kind::noReleases);
    std::optional<AppcastItem> newest;
    std::optional<SoftwareVersion> newestVersion;
    bool anyForThisSystem = false;
    for (const AppcastItem& item : document.items) {
        if (item.os != thisSystemName)
            continue;
        anyForThisSystem = true;
        if (auto refusal = appcastItemRefusal(item, publicKey)) {
            outcome.refusedItems.push_back(std::move(*refusal));
            continue;
        }
        const auto version = SoftwareVersion::parse(item.version);
        if (!newestVersion || *version > *newestVersion) {
            newest = item;
            newestVersion = version;
        }
    }
    if (!anyForThisSystem)
        return fail(UpdateCheckError::Kind::noReleasesForThisSystem);
    if (!newest)
        return fail(UpdateCheckError::Kind::noTrustedRelease, outcome.refusedItems.front().description());
    if (isNewerVersion(*newestVersion, runningVersion)) {
        outcome.kind = UpdateCheckOutcome::Kind::updateAvailable;
        outcome.release = *newest;
    } else {
        outcome.kind = UpdateCheckOutcome::Kind::upToDate;
        outcome.newestVersion = newest->version;
    }
    return outcome;
}

bool showsUpdateOutcome(const UpdateCheckOutcome& outcome, bool userInitiated,
                        const std::optional<std::string>& skippedVersion) {
    if (userInitiated)
        return true;
    if (outcome.kind != UpdateCheckOutcome::Kind::updateAvailable)
        return false;
    const auto version = SoftwareVersion::parse(outcome.release.version);
    return !version || !skippedVersion || isNewerVersion(*version, *skippedVersion);
}

double backgroundCheckWait(std::optional<Date> lastCheck, Date now) {
    if (!lastCheck || *lastCheck > now)
        return 0;
    const double untilDue = lastCheck->addingTimeInterval(updateCheckInterval).timeIntervalSince(now);
    return std::clamp(untilDue, 0.0, longestUpdateCheckWait);
}
