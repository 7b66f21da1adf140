// The one update path of the settings and the setting operations that the settings window, the menu
// panel and the device picker call. Each operation hands the update path one small mutation; values are
// stored exactly as given, because range limits are the controls' business.
#include "Vigilor/Monitor/MonitorSettings.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/Text.h"

MonitorSettings::MonitorSettings(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                                 ActivityLog& log, std::shared_ptr<UserNotificationCenter> notifications,
                                 std::function<std::shared_ptr<SettingsSync>()> makeSettingsSync,
                                 VigilorConfig initial, Followers followers)
    : lifetime_(std::move(lifetime))
    , clock_(clock)
    , log_(log)
    , notifications_(std::move(notifications))
    , makeSettingsSync_(std::move(makeSettingsSync))
    , followers_(std::move(followers))
    , config_(owner, std::move(initial))
    , settingsUnsaved_(owner, std::nullopt) {
    // Only the record in force: the stored one keeps its values until the next change is saved.
    VigilorConfig usable = config_();
    if (const auto replaced = usable.normalise(); !replaced.empty()) {
        config_ = usable;
        logReplacedValues(replaced);
    }
}

MonitorSettings::~MonitorSettings() {
    if (listeningToStore_)
        DefaultsStore::setReportHandler(nullptr);
}

void MonitorSettings::listenToStore() {
    listeningToStore_ = true;
    DefaultsStore::setReportHandler([weak = weakSelf()](const DefaultsStoreReport& report) {
        DispatchQueue::main().async([weak, report] {
            if (auto self = weak.lock())
                self->takeStoreReport(report);
        });
    });
}

// Said when the settings become unsaved or saved again, not for each file of the folder.
void MonitorSettings::takeStoreReport(const DefaultsStoreReport& report) {
    using Kind = DefaultsStoreReport::Kind;
    if (report.kind != Kind::unwritable && report.kind != Kind::writable) {
        log_.append(report.text);
        return;
    }
    if (report.kind == Kind::unwritable)
        unsavedFiles_[report.file] = report.reason;
    else
        unsavedFiles_.erase(report.file);
    std::optional<std::string> why;
    if (!unsavedFiles_.empty())
        why = unsavedFiles_.begin()->second;
    if (why == settingsUnsaved())
        return;
    settingsUnsaved_ = why;
    log_.append(why ? settingsUnsavedText(*why) : "Settings are saved again");
}

SettingsSync* MonitorSettings::settingsSync() {
    if (!settingsSync_ && makeSettingsSync_)
        settingsSync_ = makeSettingsSync_();
    return settingsSync_.get();
}

void MonitorSettings::startSync() {
    SettingsSync* sync = settingsSync();
    if (!sync)
        return;
    sync->onRemoteSettings = [weak = weakSelf()](const SyncedSettings& settings) {
        if (auto self = weak.lock())
            self->applyRemoteSettings(settings);
    };
    sync->enable();
    sync->refreshStatus();
    sync->push(config(), clock_.now());
}

void MonitorSettings::updateConfig(const std::function<void(VigilorConfig&)>& mutation) {
    const VigilorConfig previous = config();
    VigilorConfig next = previous;
    mutation(next);
    logReplacedValues(next.normalise());
    if (next.remoteSharedSecret.empty())
        next.remoteSharedSecret = VigilorConfig::makeRemoteSharedSecret();
    if (next.remoteDeviceID.empty())
        next.remoteDeviceID = VigilorConfig::makeRemoteDeviceID();
    next.save();
    config_ = next;
    followers_.applied(previous, next);
    if (!isApplyingRemoteSettings_)
        if (SettingsSync* sync = settingsSync())
            sync->push(next, clock_.now());
    log_.append("Settings updated");
}

void MonitorSettings::logReplacedValues(const std::vector<VigilorConfig::ReplacedValue>& replaced) {
    for (const auto& r : replaced) {
        const std::string value = doubleDescription(r.value);
        if (reportedReplacedValues_.insert(r.key + "=" + value).second)
            log_.append("Setting " + r.key + " of " + value + r.unit + " cannot be used: using " +
                        doubleDescription(r.replacement) + r.unit);
    }
}

void MonitorSettings::applyRemoteSettings(const SyncedSettings& settings) {
    // Another computer's values count only within what this one's settings window offers: the update
    // path keeps them there.
    isApplyingRemoteSettings_ = true;
    updateConfig([&](VigilorConfig& c) { settings.apply(c); });
    isApplyingRemoteSettings_ = false;
    std::optional<std::string> device;
    if (SettingsSync* sync = settingsSync())
        device = sync->lastSyncedFromDevice();
    log_.append("Settings synced from " + device.value_or("another computer"));
}

void MonitorSettings::setAutoLockEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.autoLockEnabled = enabled; });
}

void MonitorSettings::setLaunchAtLogin(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.launchAtLogin = enabled; });
}

void MonitorSettings::setBreakSoundEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.soundWhenBreakDue = enabled; });
}

void MonitorSettings::setBreakNotificationsEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.notifyWhenBreakDue = enabled; });
    if (enabled)
        requestNotificationAuthorization("Break notifications enabled", "Break notifications denied",
                                         "Notification setup failed: ");
}

void MonitorSettings::setLockNotificationsEnabled(bool enabled) {
    updateConfig([&](VigilorConfig& c) { c.notifyWhenComputerLocks = enabled; });
    if (enabled)
        requestNotificationAuthorization("Lock notifications enabled", "Lock notifications denied",
                                         "Lock notification setup failed: ");
}

// The answer may come on any thread; it is only logged, and the setting keeps the user's choice.
void MonitorSettings::requestNotificationAuthorization(const std::string& enabledLine,
                                                       const std::string& deniedLine,
                                                       const std::string& failurePrefix) {
    notifications_->requestAuthorization([weak = weakSelf(), enabledLine, deniedLine,
                                          failurePrefix](bool granted, std::optional<std::string> error) {
        DispatchQueue::main().async([=] {
            auto self = weak.lock();
            if (!self)
                return;
            if (error)
                self->log_.append(failurePrefix + *error);
            else
                self->log_.append(granted ? enabledLine : deniedLine);
        });
    });
}

// Choosing a companion device also makes it a gate of the lock; choosing none lifts the gate.
void MonitorSettings::setBluetoothPresenceMode(BluetoothPresenceMode mode) {
    updateConfig([&](VigilorConfig& c) {
        c.bluetoothPresenceMode = mode;
        c.watchGateRequired = mode != BluetoothPresenceMode::off;
    });
}

// The update path hands the new secret to the relay client and restarts it.
void MonitorSettings::regenerateRemoteSharedSecret() {
    const std::string secret = VigilorConfig::makeRemoteSharedSecret();
    updateConfig([&](VigilorConfig& c) { c.remoteSharedSecret = secret; });
    log_.append("Remote companion secret regenerated");
}

void MonitorSettings::updateDeviceUUID(const std::string& uuidString, BluetoothDeviceType deviceType) {
    const std::optional<UUID> uuid = UUID::parse(uuidString);
    if (!uuid)
        return;
    updateConfig([&](VigilorConfig& c) {
        (deviceType == BluetoothDeviceType::watch ? c.watchUUID : c.phoneUUID) = *uuid;
    });
}

void MonitorSettings::updateDeviceName(const std::string& name, BluetoothDeviceType deviceType) {
    updateConfig([&](VigilorConfig& c) {
        (deviceType == BluetoothDeviceType::watch ? c.watchName : c.phoneName) = name;
    });
}
