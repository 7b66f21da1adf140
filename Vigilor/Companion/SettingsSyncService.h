#pragma once

#include "SettingsSync.h"
#include "SettingsSyncBackend.h"
#include "SettingsSyncEnvelope.h"

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/HostName.h"

#include <memory>
#include <optional>
#include <string>

// Settings sync: each change of the synced settings is written as one envelope into the shared
// storage, and an envelope another computer wrote is applied when it is newer than what this
// installation last wrote or applied (last writer wins, ties broken by the writers' identities).
//
// Faults of the plain rule are kept out: a write that did not reach the storage (held by another
// program, say) is not recorded as synced, and is made after the next read that finds nothing newer; a
// storage found empty gets this computer's settings at once, not with the next change; and a stored value
// that cannot be read or decoded (out of reach of this user, written by a newer version, or damaged by
// the sync tool) is left in place until a readable one arrives or the settings of this computer change,
// instead of being overwritten by the push at launch. A storage that is not there yet gets this
// computer's settings as soon as it appears. And a date more than a day ahead of this computer's clock
// (another computer's clock set wrong, or a damaged copy) orders nothing: such a copy counts as written
// when it is read, so that it cannot outrank every real change after it; and, remembered by its
// contents, it is applied once, not again at each start.
//
// Made on the main thread and owned through a shared pointer (the backend's callback holds it weakly).
class SettingsSyncService final : public SettingsSync,
                                  public std::enable_shared_from_this<SettingsSyncService> {
public:
    static constexpr const char* installIDKey = "app.zorvi.settings.sync.installID.v1";
    static constexpr const char* lastAppliedKey = "app.zorvi.settings.sync.lastApplied.v1";
    static constexpr const char* lastAppliedOriginKey = "app.zorvi.settings.sync.lastAppliedOrigin.v1";
    // The SHA-256 of the stored copy last applied, so that a later start reading the same copy again (one
    // dated far ahead, which the dates cannot tell apart) neither applies nor logs it a second time.
    static constexpr const char* lastAppliedCopyKey = "app.zorvi.settings.sync.lastAppliedCopy.v1";

    // How far ahead of this computer's clock a date may lie and still order copies.
    static constexpr double trustedLead = 24 * 60 * 60;

    // Without a backend: the sync folder's file. Reads or makes the install identity, nothing else.
    explicit SettingsSyncService(std::shared_ptr<SettingsSyncBackend> backend = nullptr,
                                 DefaultsStore defaults = DefaultsStore::standard(),
                                 std::string deviceName = computerName(),
                                 const Clock& clock = SystemClock::shared());
    ~SettingsSyncService() override;

    void enable() override;
    void refreshStatus() override;
    void push(const VigilorConfig& config, Date now) override;

    Status status() const override { return status_(); }
    std::optional<Date> lastSyncedAt() const override { return lastSyncedAt_(); }
    std::optional<std::string> lastSyncedFromDevice() const override { return lastSyncedFromDevice_(); }
    std::string backendDisplayName() const override { return backend_->displayName(); }

    const std::string& installID() const { return installID_; }
    const std::string& deviceName() const { return deviceName_; }
    // Kept in the defaults: when the envelope last pushed or applied was written.
    std::optional<Date> lastApplied() const;

    // The conflict rule: whether an envelope written at `updatedAt` by `origin` replaces what this
    // installation last pushed or applied (written at `recordedTime` by `recordedOrigin`).
    static bool envelopeWins(Date updatedAt, const std::string& origin, std::optional<Date> recordedTime,
                             const std::optional<std::string>& recordedOrigin);

private:
    void pullAndApply();
    void applyIfNewer(const SettingsSyncEnvelope& envelope, const std::string& contentDigest);
    void write(const SyncedSettings& settings, Date updatedAt);
    void record(Date time, const std::string& origin);
    // lastApplied(), unless it lies too far ahead of `now` to order anything.
    std::optional<Date> trustedLastApplied(Date now) const;

    std::shared_ptr<SettingsSyncBackend> backend_;
    DefaultsStore defaults_;
    std::string deviceName_;
    const Clock& clock_;
    std::string installID_;
    bool enabled_ = false;
    Published<Status> status_{*this, Status::off};
    Published<std::optional<Date>> lastSyncedAt_{*this, std::nullopt};
    Published<std::optional<std::string>> lastSyncedFromDevice_{*this, std::nullopt};
    // What the stored envelope is believed to hold.
    std::optional<SyncedSettings> lastPushed_;
    // The synced settings of this computer as last offered or applied, to tell the user's own changes.
    std::optional<SyncedSettings> lastOffered_;
    // The stored value was read and could not be decoded.
    bool storedCopyUnreadable_ = false;
    // When this computer's settings (lastOffered_) changed without reaching the storage.
    std::optional<Date> owedAt_;
};
