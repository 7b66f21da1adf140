#include "FaceIdentityService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Base64.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/Paths.h"
#include "Foundation/SerialQueueExecutor.h"
#include "Foundation/SystemLog.h"
#include "Vigilor/Camera/FeaturePrintEntry.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include <sys/stat.h>

namespace {

using Case = FaceIdentityError::Case;

FaceIdentityError invalid(const std::string& text) {
    return FaceIdentityError(Case::enrollmentInvalid, text);
}

// Far more than the prints of any enrolment.
constexpr uintmax_t largestEnrollmentFile = uintmax_t(16) << 20;

std::string fileContents(const std::string& path) {
    errno = 0;
    auto bytes = AtomicFile::read(path, largestEnrollmentFile);
    if (!bytes)
        throw std::runtime_error("The file " + path + " could not be read: " +
                                 AtomicFile::readFailure(errno, largestEnrollmentFile));
    return std::move(*bytes);
}

// The file's entries as JSON; throws when it is no JSON array.
Json entriesOf(const std::string& text) {
    Json document = Json::parse(text);
    if (!document.is_array())
        throw std::runtime_error("The enrollment file does not hold a JSON array");
    return document;
}

// The entry's print, or the entry's own error.
FeaturePrint printOf(const Json& object, std::size_t index) {
    FeaturePrintEntry entry;
    try {
        entry = FeaturePrintEntry::fromJSON(object);
    } catch (const JsonDecodingError& error) {
        throw invalid("Failed to load enrollment: Entry " + std::to_string(index) + ": " + error.what());
    }
    std::optional<FaceIdentityError> entryError;
    std::optional<std::string> otherError;
    if (const auto bytes = base64Decoded(entry.data_base64)) {
        try {
            if (auto print = FeaturePrint::unarchived(*bytes))
                return std::move(*print);
            entryError =
                FaceIdentityError(Case::featurePrintDecodingFailed, "Failed to unarchive feature print");
        } catch (const FeaturePrintError& error) {
            otherError = error.what();
        }
    } else {
        entryError = FaceIdentityError(Case::featurePrintDecodingFailed, "Invalid base64");
    }
    throw invalid("Failed to decode entry [" + std::to_string(index) +
                  "]: " + (entryError ? entryError->textualForm() : *otherError));
}

// One line for the log: which entries were left out, and why.
void logUnreadable(const std::string& path, const std::vector<FaceIdentityError>& unreadable,
                   std::size_t used) {
    std::string line;
    for (const auto& error : unreadable)
        line += (line.empty() ? "" : "; ") + error.errorDescription();
    systemLog("FaceIdentity", "Left out of " + path + ": " + line + "; the other " + std::to_string(used) +
                                  " enrolled print" + (used == 1 ? " is" : "s are") + " used");
}

struct FileTime {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    bool operator==(const FileTime&) const = default;
};

std::optional<FileTime> modificationTime(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileTime{status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

} // namespace

// The decoded prints of the enrolment file, kept while the file keeps its modification time.
class EnrollmentCache {
public:
    explicit EnrollmentCache(std::string enrollmentPath)
        : enrollmentPath(std::move(enrollmentPath)) {}

    // The enrolled prints in file order; throws FaceIdentityError.
    std::vector<FeaturePrint> loadEnrolledPrints() {
        std::error_code ignored;
        if (!std::filesystem::exists(enrollmentPath, ignored))
            throw FaceIdentityError(Case::enrollmentMissing);
        if (const auto fileTime = modificationTime(enrollmentPath)) {
            if (cacheFileModTime == fileTime && !cachedPrints.empty())
                return cachedPrints;
            // Recorded before reading: a file that fails to load is reported once, and later matches
            // against the unchanged file go on with the prints of the last good load.
            cacheFileModTime = fileTime;
        }
        Json entries;
        try {
            entries = entriesOf(fileContents(enrollmentPath));
        } catch (const std::exception& error) {
            throw invalid(std::string("Failed to load enrollment: ") + error.what());
        }
        if (entries.empty())
            throw invalid("Enrollment file is empty");
        std::vector<FeaturePrint> prints;
        std::vector<FaceIdentityError> unreadable;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            try {
                prints.push_back(printOf(entries[i], i));
            } catch (const FaceIdentityError& error) {
                unreadable.push_back(error);
            }
        }
        if (prints.empty())
            throw unreadable.front();
        if (!unreadable.empty())
            logUnreadable(enrollmentPath, unreadable, prints.size());
        cachedPrints = prints;
        cachedUnreadableEntries = unreadable.size();
        return prints;
    }

    std::vector<FeaturePrint> cachedPrints;
    std::size_t cachedUnreadableEntries = 0; // of the file the prints were read from
    std::optional<FileTime> cacheFileModTime;
    const std::string enrollmentPath;
};

namespace {

FaceMatchOutcome match(EnrollmentCache& cache, const FeaturePrint& probe, double threshold) {
    std::vector<double> distances;
    try {
        for (const auto& enrolled : cache.loadEnrolledPrints())
            distances.push_back(probe.distance(enrolled));
    } catch (const FaceIdentityError& error) {
        return FaceMatchOutcome::error(error);
    } catch (const FeaturePrintError& error) {
        return FaceMatchOutcome::error(invalid(std::string("Unexpected error: ") + error.what()));
    }
    if (distances.empty())
        return FaceMatchOutcome::error(invalid("No enrolled prints"));
    double smallest = distances.front();
    for (double distance : distances)
        if (distance < smallest)
            smallest = distance;
    // A distance equal to the threshold, or one that is not a number, is no match.
    const std::size_t unreadable = cache.cachedUnreadableEntries;
    return threshold > smallest ? FaceMatchOutcome::match(smallest, unreadable)
                                : FaceMatchOutcome::noMatch(smallest, unreadable);
}

} // namespace

FaceIdentityService::FaceIdentityService(std::optional<std::string> enrollmentPath,
                                         std::shared_ptr<Executor> queue)
    : enrollmentPath_(enrollmentPath ? *enrollmentPath : defaultEnrollmentPath())
    , queue_(queue ? std::move(queue) : std::make_shared<SerialQueueExecutor>("Vigilor.face-identity"))
    , enrollmentCache_(std::make_shared<EnrollmentCache>(enrollmentPath_)) {
}

FaceIdentityService::~FaceIdentityService() = default;

void FaceIdentityService::matchFeaturePrintInProcess(FeaturePrint probe, double threshold,
                                                     std::function<void(FaceMatchOutcome)> completion) {
    queue_->post([cache = enrollmentCache_, probe = std::move(probe), threshold,
                  completion = std::move(completion)]() mutable {
        DispatchQueue::main().async([outcome = match(*cache, probe, threshold),
                                     completion = std::move(completion)] { completion(outcome); });
    });
}

std::string FaceIdentityService::defaultEnrollmentPath() {
    return (Paths::homeDirectory() / ".config/tavrel/known-face-enrollment.json").string();
}
