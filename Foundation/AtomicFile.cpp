#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace AtomicFile {

namespace {

// Opened without waiting for a writer, and kept only when it is a regular file; nothing otherwise,
// with errno telling why.
int openRegularFile(const std::filesystem::path& path, struct stat& info) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return fd;
    const int why = S_ISDIR(info.st_mode) ? EISDIR : info.st_mode ? notARegularFile : errno;
    ::close(fd);
    errno = why;
    return -1;
}

std::string mebibytes(uintmax_t bytes) {
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

} // namespace

// Read straight into one buffer of the file's size (and more, should it grow meanwhile): a large file
// (the wellness ledger) is copied once. A file longer than `largest` is refused before its bytes are
// held, or as soon as it grows past it.
std::optional<std::string> read(const std::filesystem::path& path, uintmax_t largest) {
    struct stat info {};
    const int fd = openRegularFile(path, info);
    if (fd < 0)
        return std::nullopt;
    const bool sized = info.st_size > 0;
    if (sized && uintmax_t(info.st_size) > largest) {
        ::close(fd);
        errno = EFBIG;
        return std::nullopt;
    }
    std::string contents(sized ? size_t(info.st_size) + 1 : 4096, '\0');
    size_t used = 0;
    ssize_t got = 0;
    while ((got = ::read(fd, contents.data() + used, contents.size() - used)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        used += size_t(got);
        if (used > largest) {
            got = -1;
            errno = EFBIG;
            break;
        }
        if (used == contents.size())
            contents.resize(contents.size() * 2);
    }
    const int why = errno;
    ::close(fd);
    if (got < 0) {
        errno = why;
        return std::nullopt;
    }
    contents.resize(used);
    return contents;
}

std::string readFailure(int error, uintmax_t largest) {
    switch (error) {
    case notARegularFile:
        return "it is not a regular file";
    case EISDIR:
        return "it is a folder";
    case EFBIG:
        return "it is longer than " + mebibytes(largest);
    default:
        return std::strerror(error);
    }
}

namespace {

// "defaults.json" → ".defaults.json.XXXXXX", where mkstemp fills in the X.
std::string temporaryPrefix(const std::filesystem::path& path) {
    return "." + path.filename().string() + ".";
}
constexpr size_t temporarySuffixLength = 6;

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        contents.remove_prefix(size_t(written));
    }
    return true;
}

} // namespace

void createDirectories(const std::filesystem::path& folder, unsigned mode, std::error_code& error) {
    error.clear();
    std::error_code ignored;
    if (folder.empty() || std::filesystem::is_directory(folder, ignored))
        return;
    if (const auto parent = folder.parent_path(); parent != folder) {
        createDirectories(parent, mode, error);
        if (error)
            return;
    }
    if (::mkdir(folder.c_str(), 0700) == 0) {
        if (::chmod(folder.c_str(), mode_t(mode)) != 0)
            error.assign(errno, std::generic_category());
        return;
    }
    const int why = errno;
    if (why != EEXIST)
        error.assign(why, std::generic_category());
    else if (!std::filesystem::is_directory(folder, ignored)) // made meanwhile by another, or a file
        error = std::make_error_code(std::errc::not_a_directory);
}

std::optional<Replacement> Replacement::prepare(const std::filesystem::path& path, std::string_view contents,
                                                unsigned mode) {
    std::error_code error;
    // Each read permission of the file lets its folders be searched too: 0600 makes 0700, 0644 0755.
    createDirectories(path.parent_path(), mode | ((mode & 0444) >> 2), error);
    if (error) {
        errno = error.value();
        return std::nullopt;
    }
    std::string temporary =
        (path.parent_path() / (temporaryPrefix(path) + std::string(temporarySuffixLength, 'X'))).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    const bool ok =
        fchmod(fd, mode_t(mode)) == 0 && writeAll(fd, contents) && fsync(fd) == 0 && fstat(fd, &status) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
        const int why = errno;
        ::unlink(temporary.c_str());
        errno = why;
        return std::nullopt;
    }
    return Replacement(path, std::move(temporary), status);
}

Replacement::Replacement(std::filesystem::path target, std::string temporary, const struct stat& status)
    : target_(std::move(target))
    , temporary_(std::move(temporary))
    , status_(status) {
}

Replacement::Replacement(Replacement&& other) noexcept
    : target_(std::move(other.target_))
    , temporary_(std::exchange(other.temporary_, {}))
    , status_(other.status_) {
}

Replacement::~Replacement() {
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
}

bool Replacement::commit() {
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        return false; // the destructor removes the temporary file
    temporary_.clear();
    return true;
}

Replacement::Outcome Replacement::commitReplacing(const std::function<bool(const struct stat*)>& expected) {
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
        // The file that was there now has the temporary name: dropped when it was the one expected,
        // otherwise put back in its place, over the new version.
        const std::string replaced = std::exchange(temporary_, {});
        struct stat status {};
        if (::lstat(replaced.c_str(), &status) == 0 && expected(&status)) {
            ::unlink(replaced.c_str());
            return Outcome::committed;
        }
        return std::rename(replaced.c_str(), target_.c_str()) == 0 ? Outcome::fileChanged : Outcome::failed;
    }
    if (errno == ENOENT) { // no file to exchange with: only a new one may take its place
        if (!expected(nullptr))
            return Outcome::fileChanged;
        if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0)
            return errno == EEXIST ? Outcome::fileChanged : Outcome::failed;
        temporary_.clear();
        return Outcome::committed;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return Outcome::failed;
    // A file system that cannot exchange: the last look and the rename are as close as they can be.
    struct stat current {};
    const bool exists = ::lstat(target_.c_str(), &current) == 0;
    if (!expected(exists ? &current : nullptr))
        return Outcome::fileChanged;
    return commit() ? Outcome::committed : Outcome::failed;
}

bool write(const std::filesystem::path& path, std::string_view contents, unsigned mode) {
    auto replacement = Replacement::prepare(path, contents, mode);
    if (!replacement)
        return false;
    if (replacement->commit())
        return true;
    const int why = errno;
    replacement.reset();
    errno = why;
    return false;
}

void removeLeftovers(const std::filesystem::path& path) {
    const std::string prefix = temporaryPrefix(path);
    std::error_code error;
    std::filesystem::directory_iterator entry(path.parent_path(), error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code ignored;
        if (name.size() == prefix.size() + temporarySuffixLength && name.starts_with(prefix) &&
            entry->is_regular_file(ignored))
            std::filesystem::remove(entry->path(), ignored);
    }
}

} // namespace AtomicFile
