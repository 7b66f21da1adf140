#pragma once

#include <filesystem>
#include <string_view>

// A log that lines are appended to, by this process and perhaps others at the same time. Each line
// goes out in one write to a file opened for appending, so lines from different writers never mix
// within a line. The file is opened per line, so a log moved or deleted meanwhile is simply started
// again.
class LogFile {
public:
    explicit LogFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    // Appends `line` and a newline, creating missing parent folders and the file (mode 0600: the lines
    // tell when the user was away). A symbolic link in the file's place is not followed, and anything
    // else that is not a regular file (a named pipe) is not written to. False when the line could not be
    // written whole; never throws.
    bool append(std::string_view line) const;

private:
    std::filesystem::path path_;
};
