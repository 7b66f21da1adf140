#include "BannerHelperCommands.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ChildProcess.h"

#include <optional>
#include <system_error>
#include <utility>

namespace {

using BannerHelper::Outcome;
using GdmBanner::Layout;

// `dconf update` takes well under a second; this only keeps a wedged one from holding root forever.
constexpr double dconfUpdateTimeoutSeconds = 60;
constexpr unsigned keyfileMode = 0644; // dconf update and the user's own reads need it readable

Outcome refusal(std::string message) {
    return {BannerHelper::refused, std::move(message)};
}
Outcome failure(std::string message) {
    return {BannerHelper::failed, std::move(message)};
}

std::string firstLine(const std::string& text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return {};
    const auto end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string whyItFailed(const ChildProcessResult& result) {
    if (!result.launched)
        return result.launchError;
    if (result.timedOut)
        return "it did not finish in time";
    if (const std::string line = firstLine(result.standardError); !line.empty())
        return line;
    if (result.terminationSignal != 0)
        return "ended by signal " + std::to_string(result.terminationSignal);
    return "exit status " + std::to_string(result.exitStatus);
}

// Compiles the keyfile folders into the databases GDM reads. Nothing when that worked.
std::optional<std::string> updateDatabase(const Layout& layout) {
    const auto result = ChildProcess::run(
        layout.dconfCommand.string(), {"update", layout.databaseRoot().string()}, dconfUpdateTimeoutSeconds);
    if (result.succeeded())
        return std::nullopt;
    return "dconf update failed: " + whyItFailed(result);
}

std::string leftInPlaceText(const std::filesystem::path& file) {
    return file.string() + " holds other settings than Zorvi's lock screen message; it was left in place.";
}

bool fileExists(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(file, error));
}

bool removeFile(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::remove(file, error) && !error;
}

// Our file as it is now: nothing when it is missing, an outcome when it cannot be used.
struct OwnFile {
    std::optional<std::string> contents;
    std::optional<Outcome> problem;
};

OwnFile readOwnFile(const Layout& layout) {
    const auto file = layout.ownFile();
    if (!fileExists(file))
        return {};
    auto contents = AtomicFile::read(file);
    if (!contents)
        return {std::nullopt, failure("Could not read " + file.string() + ".")};
    if (!GdmBanner::holdsOnlyOurBanner(*contents))
        return {std::nullopt, refusal(leftInPlaceText(file))};
    return {std::move(contents), std::nullopt};
}

} // namespace

namespace BannerHelper {

Outcome perform(const std::vector<std::string>& arguments, const Layout& layout) {
    if (arguments.size() == 1 && arguments.front() == "enable")
        return enable(layout);
    if (arguments.size() == 1 && arguments.front() == "disable")
        return disable(layout);
    return {usage, "Usage: vigilor-banner-helper enable|disable"};
}

Outcome enable(const Layout& layout) {
    if (!GdmBanner::profileReadsDatabase(layout))
        return refusal(GdmBanner::profileMissingText(layout));
    const OwnFile existing = readOwnFile(layout);
    if (existing.problem)
        return *existing.problem;
    if (GdmBanner::currentState(layout).isForeign())
        return refusal("Another lock screen message is already set; it was left in place.");

    const auto file = layout.ownFile();
    const bool created = !existing.contents;
    // A file of ours from an earlier version gets today's text.
    if (existing.contents != GdmBanner::ownKeyfileContents() &&
        !AtomicFile::write(file, GdmBanner::ownKeyfileContents(), keyfileMode))
        return failure("Could not write " + file.string() + ".");
    // A later file may still switch the banner off; then ours would never show.
    if (!GdmBanner::currentState(layout).isOurs()) {
        if (created)
            removeFile(file);
        return refusal("Another GDM setting keeps the lock screen message hidden; nothing was changed.");
    }
    if (auto error = updateDatabase(layout)) {
        if (created)
            removeFile(file);
        return failure(std::move(*error));
    }
    return {};
}

Outcome disable(const Layout& layout) {
    const OwnFile existing = readOwnFile(layout);
    if (existing.problem)
        return *existing.problem;
    if (!existing.contents)
        return {}; // nothing of ours is set
    const auto file = layout.ownFile();
    if (!removeFile(file))
        return failure("Could not delete " + file.string() + ".");
    if (auto error = updateDatabase(layout)) {
        // The compiled database still shows the message: keep the file that says so.
        AtomicFile::write(file, *existing.contents, keyfileMode);
        return failure(std::move(*error));
    }
    return {};
}

} // namespace BannerHelper
