#pragma once

#include <functional>
#include <optional>
#include <string>

// A small key-value store that the user's account carries to his other computers and that tells when
// another computer changed it. Main thread only.
class CloudKeyValueStore {
public:
    virtual ~CloudKeyValueStore() = default;

    // Whether an account is signed in now.
    virtual bool hasAccount() const = 0;
    virtual std::optional<std::string> data(const std::string& key) const = 0;
    // False when the value could not be kept.
    virtual bool setData(const std::string& key, const std::string& value) = 0;
    // Asks the store to exchange its values with the account soon.
    virtual void synchronize() = 0;
    // `onChange` runs on the main queue each time values changed from outside, until removed.
    virtual int addExternalChangeObserver(std::function<void()> onChange) = 0;
    virtual void removeExternalChangeObserver(int token) = 0;
};
