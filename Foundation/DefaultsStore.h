#pragma once

#include "Json.h"

#include <filesystem>
#include <optional>
#include <string>

// A persistent key-value domain: one JSON object per domain in one file,
// $XDG_CONFIG_HOME/zorvi/<domain>.json. Each write replaces the file atomically, so another process
// reading the domain (the widget reads the shared suite) sees a whole file. A file that is missing or
// damaged reads as a domain without values; reading never changes the file, and the damaged file is
// only replaced by the next write.
class DefaultsStore {
public:
    explicit DefaultsStore(std::filesystem::path file);

    // The user's standard domain ("defaults.json").
    static DefaultsStore standard();
    // A named suite shared between programs ("<suite>.json").
    static DefaultsStore suite(const std::string& name);

    std::optional<Json> value(const std::string& key) const;
    bool boolValue(const std::string& key) const; // false when absent or not a boolean

    // False when the file could not be written; the stored values are then as before.
    bool set(const std::string& key, Json value);
    bool remove(const std::string& key);

    const std::filesystem::path& file() const { return file_; }

private:
    Json readDomain() const;
    bool writeDomain(const Json& domain);

    std::filesystem::path file_;
};
