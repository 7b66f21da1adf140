#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and atomic replacement: a reader sees either the old or the new contents, never a
// half-written file, and a crash mid-write leaves the old file in place.
namespace AtomicFile {

// The file's bytes, or nothing when it is missing or unreadable (errno tells why).
std::optional<std::string> read(const std::filesystem::path& path);

// Writes `contents` to a temporary file beside `path`, flushes it to disk and renames it over
// `path`, creating missing parent folders. `mode` is the new file's permission bits. False on any
// failure, with errno telling why, and then the old file is untouched.
bool write(const std::filesystem::path& path, std::string_view contents, unsigned mode = 0600);

// Removes the temporary files that writes of `path` left behind when the process died mid-write. Only
// for the one program that writes `path`: another writer's temporary file would go too.
void removeLeftovers(const std::filesystem::path& path);

} // namespace AtomicFile
