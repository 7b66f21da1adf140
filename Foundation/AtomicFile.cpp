#include "AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

std::optional<std::string> read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return contents.str();
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

bool write(const std::filesystem::path& path, std::string_view contents, unsigned mode) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        errno = error.value();
        return false;
    }
    std::string temporary =
        (path.parent_path() / (temporaryPrefix(path) + std::string(temporarySuffixLength, 'X'))).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    const bool ok = fchmod(fd, mode_t(mode)) == 0 && writeAll(fd, contents) && fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int why = errno;
        ::unlink(temporary.c_str());
        errno = why;
        return false;
    }
    return true;
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
