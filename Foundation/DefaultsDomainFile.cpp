#include "DefaultsDomainFile.h"

#include "AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace DefaultsDomainFile {

FileStamp stampOf(const struct stat& info) {
    return FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

std::optional<FileStamp> stampOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return std::nullopt;
    return stampOf(info);
}

std::filesystem::path writeTarget(const std::filesystem::path& file) {
    std::filesystem::path target = file;
    std::error_code error;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, error); ++hops) {
        const auto next = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.lexically_normal();
}

std::optional<std::string> whyNotAFile(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    switch (status.type()) {
    case std::filesystem::file_type::regular:
        return std::nullopt;
    case std::filesystem::file_type::not_found:
        return "a link to nothing";
    case std::filesystem::file_type::directory:
        return "a folder";
    case std::filesystem::file_type::fifo:
        return "a named pipe";
    case std::filesystem::file_type::socket:
        return "a socket";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
        return "a device";
    default:
        return error ? std::nullopt : std::optional<std::string>("not a regular file");
    }
}

FileContents readDomainFileOnce(const std::filesystem::path& file, uintmax_t largest) {
    FileContents contents;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, error)))
        return contents;
    contents.stamp = stampOf(file);
    if (auto why = whyNotAFile(file)) {
        contents.unreadable = "it is " + *why;
        return contents;
    }
    errno = 0;
    auto text = AtomicFile::read(file, largest); // not const: its text is moved below, not copied
    if (!text) {
        const int why = errno;
        contents.unreadable = why == EFBIG || why == AtomicFile::notARegularFile
                                  ? AtomicFile::readFailure(why, largest)
                                  : "it cannot be opened: " + AtomicFile::readFailure(why, largest);
        return contents;
    }
    auto shared = std::make_shared<const std::string>(std::move(*text));
    JsonObjectMembers domain = jsonObjectMembers(*shared, DefaultsStore::mostDomainValues);
    if (domain.tooMany) {
        contents.unreadable =
            "it holds more than " + std::to_string(DefaultsStore::mostDomainValues) + " values";
        return contents;
    }
    if (!domain.valid || !domain.isObject) {
        contents.unreadable = domain.valid ? "it does not hold a JSON object" : "it is not valid JSON";
        return contents;
    }
    for (auto& member : domain.members)
        contents.values[member.key] = member.value ? Entry::parsed(std::move(*member.value))
                                                   : Entry{nullptr, nullptr, shared, member.text};
    return contents;
}

namespace {

// Tells whether a file changed (was written, replaced or removed) since the watch began, waking as
// soon as its folder reports a change to it.
class ChangeWatch {
public:
    explicit ChangeWatch(std::filesystem::path file)
        : file_(std::move(file))
        , before_(stampOf(file_))
        , fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        constexpr uint32_t changes =
            IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
        if (fd_ >= 0 && ::inotify_add_watch(fd_, file_.parent_path().c_str(), changes) < 0)
            ::close(std::exchange(fd_, -1));
    }
    ~ChangeWatch() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Waits up to `seconds` for a change; without a watch, looks once when they are over.
    bool changedWithin(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            if (stampOf(file_) != before_ || reported())
                return true;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            if (fd_ < 0) {
                std::this_thread::sleep_for(left);
                continue;
            }
            pollfd ready{fd_, POLLIN, 0};
            ::poll(&ready, 1, int(left.count()));
        }
    }

private:
    // Whether the events since the last look name the file (a change that left its size and time alone).
    bool reported() {
        alignas(inotify_event) char events[4096];
        bool named = false;
        for (ssize_t n; fd_ >= 0 && (n = ::read(fd_, events, sizeof events)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                named = named || (event->len > 0 && file_.filename() == event->name);
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        return named;
    }

    const std::filesystem::path file_;
    const std::optional<FileStamp> before_;
    int fd_;
};

} // namespace

FileContents readDomainFile(const std::filesystem::path& file, const DefaultsDomain& declared) {
    constexpr int readRounds = 4; // a file that keeps changing and never reads is judged after these
    FileContents contents;
    for (int round = 0; round < readRounds; ++round) {
        ChangeWatch watch(writeTarget(file));
        contents = readDomainFileOnce(file, declared.largestFile);
        if (!contents.unreadable || whyNotAFile(file) || !watch.changedWithin(declared.rewriteTime))
            break;
    }
    return contents;
}

std::string domainText(const Values& values) {
    std::string text = "{";
    for (const auto& [key, value] : values) {
        if (text.size() > 1)
            text += ',';
        text += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace);
        text += ':';
        text += value.text();
    }
    return text + "}";
}

} // namespace DefaultsDomainFile
