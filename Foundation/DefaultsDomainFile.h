#pragma once

// The file of one defaults domain, as the store reads and writes it: its values, its stamp, and the
// read that waits out another program's rewrite in place. For DefaultsStore only.

#include "DefaultsStore.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace DefaultsDomainFile {

// A stored value in one of three forms: parsed; as the text it was read from (an object or array
// stays text, a slice of its file's contents, until someone reads it, and is written back as it was);
// or what makes it (a large value such as the wellness ledger is encoded on the store's queue, or at
// its first read, rather than on the thread that changed it).
struct Entry {
    std::shared_ptr<const Json> value;
    std::shared_ptr<const std::function<Json()>> encode;
    std::shared_ptr<const std::string> source; // the file's contents that `asRead` is part of
    std::string_view asRead;

    static Entry parsed(Json json) {
        return {std::make_shared<const Json>(std::move(json)), nullptr, nullptr, {}};
    }

    // For readers: made once and kept.
    const std::shared_ptr<const Json>& resolved() {
        if (!value) {
            // The text was checked when its file was read; parsing it again cannot fail.
            value = std::make_shared<const Json>(encode ? (*encode)() : parseJson(asRead).value_or(Json()));
            encode.reset();
            source.reset();
        }
        return value;
    }
    // For the writer, outside the lock: made and dropped, so that no thread pays for destroying it.
    std::string text() const {
        const auto dump = [](const Json& json) {
            return json.dump(-1, ' ', false, Json::error_handler_t::replace);
        };
        if (value)
            return dump(*value);
        return encode ? dump((*encode)()) : std::string(asRead);
    }
};

using Values = std::map<std::string, Entry, std::less<>>;

// Enough of a file's identity to tell that it was replaced or rewritten: an atomic replacement always
// brings a new inode, an edit in place a new size or time.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

FileStamp stampOf(const struct stat& info);
// Through a symbolic link, as reading and writing see the file; nothing when it cannot be reached.
std::optional<FileStamp> stampOf(const std::filesystem::path& file);

// The file that writes replace: the end of a chain of symbolic links, which need not exist yet, so
// that the links stay.
std::filesystem::path writeTarget(const std::filesystem::path& file);

// What reading a domain's file found: its values, or why a file that is there cannot be used.
struct FileContents {
    Values values;
    std::optional<FileStamp> stamp;
    std::optional<std::string> unreadable;
};

// What stands in the file's place when it is not a regular file, read without opening it (opening a
// named pipe could wait for a writer that never comes).
std::optional<std::string> whyNotAFile(const std::filesystem::path& file);
FileContents readDomainFileOnce(const std::filesystem::path& file, uintmax_t largest);
// A file that another program is rewriting in place (emptied, then written) may be caught half-written:
// one that does not read is read again as soon as it changes, for as long as its domain says a rewrite
// may take, and counts as damaged only when it stays as it was.
FileContents readDomainFile(const std::filesystem::path& file, const DefaultsDomain& declared);
// Compact JSON text; invalid UTF-8 in a value the program made is written as U+FFFD rather than
// stopping the write.
std::string domainText(const Values& values);

} // namespace DefaultsDomainFile
