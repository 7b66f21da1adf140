#include "DecodedVideo.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ChildProcess.h"
#include "Foundation/Paths.h"
#include "Foundation/Text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <unistd.h>
#include <variant>

namespace {

constexpr std::string_view folderPrefix = "vigilor-clip-";

bool hasEnded(pid_t owner) {
    return owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH;
}

bool isThisProcess(pid_t owner) {
    return owner == ::getpid();
}

// The frame folders in the runtime folder of the processes that `whose` picks: each folder's name holds
// the process it belongs to.
void removeFolders(bool (*whose)(pid_t)) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(Paths::runtimeDirectory(), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (!name.starts_with(folderPrefix))
            continue;
        std::error_code ignored;
        if (whose(pid_t(std::atoi(name.c_str() + folderPrefix.size()))))
            std::filesystem::remove_all(entry->path(), ignored);
    }
}

// The application is never torn down, so the object that owns a folder outlives the event loop: an
// orderly exit removes this process's folders instead.
void removeOwnFoldersAtExit() {
    static const bool registered = std::atexit([] { removeFolders(isThisProcess); }) == 0;
    (void)registered;
}

// A fresh folder of this user's only, in the runtime folder (a memory file system, emptied at log-out).
std::variant<std::filesystem::path, std::string> makePrivateFolder() {
    const std::filesystem::path base = Paths::runtimeDirectory();
    std::error_code ignored;
    AtomicFile::createDirectories(base, 0700, ignored);
    DecodedVideo::removeFoldersOfEndedProcesses();
    removeOwnFoldersAtExit();
    std::string pattern =
        (base / (std::string(folderPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        return "Cannot make a folder for the clip's frames in " + base.string() + ": " + std::strerror(errno);
    return std::filesystem::path(pattern);
}

// The picture names as ffmpeg's pattern: a '%' of the folder's own name is doubled.
std::string picturePattern(const std::filesystem::path& folder) {
    std::string pattern;
    for (const char c : (folder / "").string())
        pattern += c == '%' ? std::string("%%") : std::string(1, c);
    return pattern + "%06d.jpg";
}

// The last line ffmpeg wrote about its trouble, or its exit.
std::string ffmpegFailure(const ChildProcessResult& result) {
    if (!result.launched)
        return "Cannot run ffmpeg to decode the clip: " + result.launchError;
    if (result.timedOut)
        return "ffmpeg took longer than " + std::to_string(int(DecodedVideo::timeoutSeconds)) +
               " s to decode the clip";
    const std::string_view text = trimmed(result.standardError);
    const std::size_t cut = text.rfind('\n');
    const std::string last(trimmed(cut == std::string_view::npos ? text : text.substr(cut + 1)));
    return "ffmpeg cannot decode the clip: " +
           (last.empty() ? "exit status " + std::to_string(result.exitStatus) : last);
}

} // namespace

DecodedVideo::Outcome DecodedVideo::decode(const std::filesystem::path& video, double framesPerSecond) {
    auto folder = makePrivateFolder();
    if (auto* failure = std::get_if<std::string>(&folder))
        return {nullptr, *failure};
    auto decoded = std::make_shared<DecodedVideo>(std::get<std::filesystem::path>(folder));
    // "file:" keeps a name with a colon or a leading dash a file name; the picture size never grows.
    const ChildProcessResult result = ChildProcess::run(
        "ffmpeg",
        {"-nostdin", "-hide_banner", "-loglevel", "error", "-i", "file:" + video.string(), "-an", "-vf",
         "fps=" + std::to_string(framesPerSecond) +
             ",scale=w='min(640,iw)':h='min(480,ih)':force_original_aspect_ratio=decrease",
         "-q:v", "3", picturePattern(decoded->folder())},
        timeoutSeconds);
    if (!result.succeeded())
        return {nullptr, ffmpegFailure(result)};
    return {decoded, {}};
}

void DecodedVideo::removeFoldersOfEndedProcesses() {
    removeFolders(hasEnded);
}

DecodedVideo::~DecodedVideo() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}
