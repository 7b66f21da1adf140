#pragma once

#include <functional>
#include <optional>
#include <string>

// What a read of the stored value found: the value, nothing stored, or a value that is there and cannot
// be read (`unreadable` says why), which must never be taken for nothing stored; or nothing known yet,
// because another program holds the storage for now (`busy`: the backend reports a change later).
struct StoredSyncValue {
    std::optional<std::string> data;
    std::optional<std::string> unreadable;
    bool busy = false;
};

// Where settings sync keeps its one value (the envelope's JSON bytes) so that the user's other
// computers see it. Main thread only; every failure is silent except a write's result.
class SettingsSyncBackend {
public:
    virtual ~SettingsSyncBackend() = default;

    // The storage's name as the settings show it.
    virtual std::string displayName() const = 0;
    // Where exactly the value is kept, for the log.
    virtual std::string location() const = 0;
    virtual bool isAvailable() const = 0;
    virtual StoredSyncValue read() = 0;
    // Replaces the stored value; false when it did not reach the storage (also while another program
    // holds it: a change is reported once it may be tried again).
    virtual bool write(const std::string& data) = 0;
    // From now on `onChange` runs on the main queue whenever the value may have changed from outside.
    virtual void startObserving(std::function<void()> onChange) = 0;
    // Ends what startObserving began; nothing when nothing is observed.
    virtual void stopObserving() = 0;
};
