#include "DefaultsStore.h"

#include "AtomicFile.h"
#include "Paths.h"

#include <mutex>

namespace {

// Writers in this process take turns, so that two read-modify-write cycles never lose a key.
std::mutex& storeMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

DefaultsStore::DefaultsStore(std::filesystem::path file)
    : file_(std::move(file)) {
}

DefaultsStore DefaultsStore::standard() {
    return DefaultsStore(Paths::zorviConfigDirectory() / "defaults.json");
}

DefaultsStore DefaultsStore::suite(const std::string& name) {
    return DefaultsStore(Paths::zorviConfigDirectory() / (name + ".json"));
}

Json DefaultsStore::readDomain() const {
    const auto text = AtomicFile::read(file_);
    if (!text)
        return Json::object();
    auto domain = parseJson(*text);
    if (!domain || !domain->is_object())
        return Json::object();
    return std::move(*domain);
}

bool DefaultsStore::writeDomain(const Json& domain) {
    try {
        return AtomicFile::write(file_, jsonText(domain));
    } catch (const JsonEncodingError&) {
        return false;
    }
}

std::optional<Json> DefaultsStore::value(const std::string& key) const {
    std::lock_guard lock(storeMutex());
    Json domain = readDomain();
    const auto it = domain.find(key);
    if (it == domain.end())
        return std::nullopt;
    return std::move(*it);
}

Json DefaultsStore::dictionaryRepresentation() const {
    std::lock_guard lock(storeMutex());
    return readDomain();
}

bool DefaultsStore::boolValue(const std::string& key) const {
    const auto stored = value(key);
    return stored && stored->is_boolean() && stored->get<bool>();
}

bool DefaultsStore::set(const std::string& key, Json value) {
    std::lock_guard lock(storeMutex());
    Json domain = readDomain();
    domain[key] = std::move(value);
    return writeDomain(domain);
}

bool DefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(storeMutex());
    Json domain = readDomain();
    if (domain.erase(key) == 0)
        return true;
    return writeDomain(domain);
}

bool DefaultsStore::setValues(std::vector<std::pair<std::string, Json>> values) {
    std::lock_guard lock(storeMutex());
    Json domain = readDomain();
    for (auto& [key, value] : values)
        domain[key] = std::move(value);
    return writeDomain(domain);
}
