#pragma once

#include "Foundation/DispatchQueue.h"
#include "Platform/CloudKeyValueStore.h"

#include <map>
#include <string>

// One computer's view of an account's key-value store. A test plays the other computers with
// writeFromElsewhere(), which, like the real store, is announced to the observers on the main queue.
class FakeCloudKeyValueStore final : public CloudKeyValueStore {
public:
    bool hasAccount() const override { return signedIn; }
    std::optional<std::string> data(const std::string& key) const override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    bool setData(const std::string& key, const std::string& value) override {
        ++writes;
        if (failWrites)
            return false;
        values[key] = value;
        return true;
    }
    void synchronize() override {}
    int addExternalChangeObserver(std::function<void()> onChange) override {
        observers[++lastToken] = std::move(onChange);
        return lastToken;
    }
    void removeExternalChangeObserver(int token) override { observers.erase(token); }

    void writeFromElsewhere(const std::string& key, const std::string& value) {
        values[key] = value;
        for (const auto& [token, observer] : observers)
            DispatchQueue::main().async(observer);
    }

    bool signedIn = true;
    bool failWrites = false;
    int writes = 0;
    std::map<std::string, std::string> values;
    std::map<int, std::function<void()>> observers;
    int lastToken = 0;
};
