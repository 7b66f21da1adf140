#pragma once

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

// Whole-file reads and atomic replacement: a reader sees either the old or the new contents, never a
// half-written file, and a crash mid-write leaves the old file in place.
namespace AtomicFile {

// The file's bytes, or nothing when it is missing, unreadable or longer than `largest` bytes (errno
// tells why; EFBIG for a file too long, of which no more than `largest` bytes are read). Only a regular
// file is read: it is opened without waiting, so a named pipe, socket or device in its place (which
// could keep a reader waiting for ever) gives nothing at once, with EISDIR for a folder and
// notARegularFile for the rest.
std::optional<std::string> read(const std::filesystem::path& path, uintmax_t largest = UINTMAX_MAX);
inline constexpr int notARegularFile = ENODEV;

// Why read() gave nothing, for a log line: "it is not a regular file", "it is longer than 1 MiB",
// or the system's words for the error.
std::string readFailure(int error, uintmax_t largest);

// Makes `folder` and those of its parents that are missing, each with `mode` whatever the umask (a
// folder that is there is left as it is): 0700 for the folders of this user's data, so that no other
// user can put files where they lie. `error` tells what failed, as std::filesystem::create_directories
// does.
void createDirectories(const std::filesystem::path& folder, unsigned mode, std::error_code& error);

// Writes `contents` to a temporary file beside `path`, flushes it to disk and renames it over
// `path`, creating missing parent folders (as private as the file). `mode` is the new file's permission bits.
// False on any failure, with errno telling why, and then the old file is untouched.
bool write(const std::filesystem::path& path, std::string_view contents, unsigned mode = 0600);

// A new version of a file, written and flushed beside it but not yet in its place, so that its writer
// can make a last check just before it replaces the file. Dropped uncommitted, it is removed.
class Replacement {
public:
    // Creates missing parent folders (as private as the file); nothing, with errno telling why, on any
    // failure.
    static std::optional<Replacement> prepare(const std::filesystem::path& path, std::string_view contents,
                                              unsigned mode = 0600);
    Replacement(Replacement&& other) noexcept;
    Replacement& operator=(Replacement&&) = delete;
    ~Replacement();

    // Renames it over the file; false, with errno telling why, when that failed.
    bool commit();

    enum class Outcome { committed, fileChanged, failed };
    // Renames it over the file only if the file it replaces is the one `expected` accepts (given its
    // status, or nothing when there is no file), in one step with that check: the new version and the
    // file are exchanged, and put back at once when what was exchanged is not what was expected, so that
    // another program's replacement is never written over (fileChanged; the new version is gone then).
    // failed, with errno telling why, when the rename failed.
    Outcome commitReplacing(const std::function<bool(const struct stat*)>& expected);
    // The new file's device, inode, size and modification time, which it keeps in the file's place.
    const struct stat& status() const { return status_; }

private:
    Replacement(std::filesystem::path target, std::string temporary, const struct stat& status);

    std::filesystem::path target_;
    std::string temporary_; // empty once committed or moved from
    struct stat status_;
};

// Removes the temporary files that writes of `path` left behind when the process died mid-write. Only
// for the one program that writes `path`: another writer's temporary file would go too.
void removeLeftovers(const std::filesystem::path& path);

} // namespace AtomicFile
