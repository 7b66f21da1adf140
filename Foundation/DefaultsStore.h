#pragma once

#include "Json.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
    // Every key of the domain from one read of the file, so that keys written together are read
    // together; an empty object when the file is missing or damaged.
    Json dictionaryRepresentation() const;
    bool boolValue(const std::string& key) const; // false when absent or not a boolean

    // False when the file could not be written; the stored values are then as before.
    bool set(const std::string& key, Json value);
    bool remove(const std::string& key);
    // Replaces several keys in one write of the file: a reader, in this process or another, sees all
    // of the new values or none of them. False when the file could not be written (then none changed).
    bool setValues(std::vector<std::pair<std::string, Json>> values);

    const std::filesystem::path& file() const { return file_; }

private:
    Json readDomain() const;
    bool writeDomain(const Json& domain);

    std::filesystem::path file_;
};
