#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

// A log that lines are appended to, by this process and perhaps others at the same time. Each line
// goes out in one write to a file opened for appending, so lines from different writers never mix
// within a line. The file is opened per line, so a log moved or deleted meanwhile is simply started
// again.
//
// A log that has reached its bound is moved to "<name>.1" (the one there before goes) and started
// afresh, so that a log written for years holds no more than twice its bound on disk. A full log whose
// lock another writer holds is not waited for: the line goes to it, and it is moved aside later.
class LogFile {
public:
    // Far more than a few months of lock diagnostics.
    static constexpr uintmax_t defaultLargestFile = uintmax_t(4) << 20;

    explicit LogFile(std::filesystem::path path, uintmax_t largestFile = defaultLargestFile);

    const std::filesystem::path& path() const { return path_; }
    // Where a full log goes: "<name>.1" beside it.
    std::filesystem::path previousPath() const;

    // Appends `line` and a newline, creating missing parent folders and the file (mode 0600: the lines
    // tell when the user was away). A symbolic link in the file's place is not followed, and anything
    // else that is not a regular file (a named pipe) is not written to. False when the line could not be
    // written whole; never throws.
    bool append(std::string_view line) const;

private:
    int rotatedIfFull(int fd) const;

    std::filesystem::path path_;
    uintmax_t largestFile_;
};
