#pragma once

#include "SettingsSyncBackend.h"

#include "Platform/CloudKeyValueStore.h"

#include <memory>
#include <optional>

// The envelope as one value of an account's key-value store.
class KeyValueStoreSyncBackend final : public SettingsSyncBackend {
public:
    static constexpr const char* defaultKey = "app.zorvi.settings.envelope.v1";

    KeyValueStoreSyncBackend(std::shared_ptr<CloudKeyValueStore> store, std::string key = defaultKey);
    ~KeyValueStoreSyncBackend() override;

    std::string displayName() const override { return "iCloud"; }
    std::string location() const override { return "the key-value store's key " + key_; }
    // Asked afresh each time: signing in while running makes the store usable at once.
    bool isAvailable() const override { return store_->hasAccount(); }
    StoredSyncValue read() override { return {store_->data(key_), std::nullopt}; }
    bool write(const std::string& data) override;
    void startObserving(std::function<void()> onChange) override;
    void stopObserving() override;

private:
    std::shared_ptr<CloudKeyValueStore> store_;
    std::string key_;
    std::optional<int> observer_;
};
