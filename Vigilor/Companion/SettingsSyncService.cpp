#include "SettingsSyncService.h"

#include "SyncFolderFileSyncBackend.h"

#include "Foundation/Digest.h"
#include "Foundation/Iso8601.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Uuid.h"

namespace {

std::shared_ptr<SettingsSyncBackend> defaultBackend() {
    // There is no account key-value store on this platform; the sync folder serves.
    return std::make_shared<SyncFolderFileSyncBackend>();
}

std::string storedInstallID(DefaultsStore& defaults) {
    if (const auto stored = defaults.value(SettingsSyncService::installIDKey); stored && stored->is_string())
        return stored->get<std::string>();
    std::string made = UUID::random().uuidString();
    defaults.set(SettingsSyncService::installIDKey, made);
    return made;
}

bool isTrusted(Date date, Date now) {
    return date <= now.addingTimeInterval(SettingsSyncService::trustedLead);
}

} // namespace

SettingsSyncService::SettingsSyncService(std::shared_ptr<SettingsSyncBackend> backend, DefaultsStore defaults,
                                         std::string deviceName, const Clock& clock)
    : backend_(backend ? std::move(backend) : defaultBackend())
    , defaults_(std::move(defaults))
    , deviceName_(std::move(deviceName))
    , clock_(clock)
    , installID_(storedInstallID(defaults_)) {
}

SettingsSyncService::~SettingsSyncService() {
    backend_->stopObserving();
}

std::optional<Date> SettingsSyncService::lastApplied() const {
    const auto stored = defaults_.value(lastAppliedKey);
    if (!stored || !stored->is_number())
        return std::nullopt;
    return Date(stored->get<double>());
}

// A recorded time far ahead was taken from such a date before it was judged: it orders nothing either.
std::optional<Date> SettingsSyncService::trustedLastApplied(Date now) const {
    const auto recorded = lastApplied();
    return recorded && isTrusted(*recorded, now) ? recorded : std::nullopt;
}

void SettingsSyncService::record(Date time, const std::string& origin) {
    defaults_.set(lastAppliedKey, JsonField::dateValue(time));
    defaults_.set(lastAppliedOriginKey, origin);
}

bool SettingsSyncService::envelopeWins(Date updatedAt, const std::string& origin,
                                       std::optional<Date> recordedTime,
                                       const std::optional<std::string>& recordedOrigin) {
    if (!recordedTime || updatedAt > *recordedTime)
        return true;
    if (updatedAt < *recordedTime)
        return false;
    return !recordedOrigin || *recordedOrigin < origin;
}

void SettingsSyncService::enable() {
    if (!enabled_) {
        enabled_ = true;
        backend_->startObserving([weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->pullAndApply();
        });
        pullAndApply();
    }
    refreshStatus();
}

// Assigned on every call, so that observers hear of each refresh.
void SettingsSyncService::refreshStatus() {
    status_ = !enabled_ ? Status::off : backend_->isAvailable() ? Status::active : Status::unavailable;
}

void SettingsSyncService::push(const VigilorConfig& config, Date now) {
    if (!enabled_) {
        refreshStatus();
        return;
    }
    SyncedSettings settings = SyncedSettings::from(config);
    const bool changedHere = lastOffered_ && *lastOffered_ != settings;
    lastOffered_ = settings;
    if (!backend_->isAvailable()) {
        // Offered once the storage appears; a change made meanwhile is owed from now.
        if (changedHere)
            owedAt_ = now;
        refreshStatus();
        return;
    }
    if (lastPushed_ && *lastPushed_ == settings) {
        owedAt_.reset();
        return;
    }
    // An unreadable stored copy gives way only to a change the user made here.
    if (storedCopyUnreadable_ && !changedHere)
        return;
    write(settings, now);
}

// A write that does not reach the storage is owed: it is made after the next read that finds nothing
// newer, so that a storage held by another program for a while loses no change made here.
void SettingsSyncService::write(const SyncedSettings& settings, Date updatedAt) {
    const SettingsSyncEnvelope envelope{1, updatedAt, installID_, deviceName_, settings};
    const std::optional<std::string> data = envelope.encoded();
    if (!data)
        return;
    if (!backend_->write(*data)) {
        // Not recorded, so that the next push of these settings tries again.
        owedAt_ = updatedAt;
        refreshStatus();
        return;
    }
    owedAt_.reset();
    storedCopyUnreadable_ = false;
    lastPushed_ = settings;
    record(updatedAt, installID_);
    lastSyncedAt_ = updatedAt;
    lastSyncedFromDevice_ = deviceName_;
    refreshStatus();
}

void SettingsSyncService::pullAndApply() {
    if (!enabled_ || !backend_->isAvailable()) {
        refreshStatus();
        return;
    }
    const StoredSyncValue stored = backend_->read();
    if (stored.busy) {
        refreshStatus();
        return;
    }
    if (!stored.data && !stored.unreadable) {
        // Nothing stored, or nothing any more (a storage that just appeared included): the settings of
        // this computer go there at once, as of when they were last in step (or now, when they never
        // were), rather than with the next change.
        storedCopyUnreadable_ = false;
        lastPushed_.reset();
        const Date now = clock_.now();
        if (lastOffered_)
            write(*lastOffered_, owedAt_.value_or(trustedLastApplied(now).value_or(now)));
        refreshStatus();
        return;
    }
    std::optional<SettingsSyncEnvelope> envelope =
        stored.data ? SettingsSyncEnvelope::decode(*stored.data) : std::nullopt;
    if (!envelope) {
        systemLog("SettingsSync", "Ignored stored settings that cannot be read" +
                                      (stored.unreadable ? " (" + *stored.unreadable + ")" : std::string()) +
                                      ", left in place at " + backend_->location());
        storedCopyUnreadable_ = true;
        refreshStatus();
        return;
    }
    storedCopyUnreadable_ = false;
    const std::string digest = sha256Hex(*stored.data);
    const auto appliedCopy = defaults_.value(lastAppliedCopyKey);
    const bool appliedBefore = appliedCopy && appliedCopy->is_string() && *appliedCopy == digest;
    if (envelope->originInstallID != installID_ && !appliedBefore)
        applyIfNewer(*envelope, digest);
    lastPushed_ = std::move(envelope->settings);
    if (owedAt_ && lastOffered_ && lastPushed_ != lastOffered_)
        write(*lastOffered_, *owedAt_);
    else
        owedAt_.reset();
    refreshStatus();
}

// The conflict rule, against a change here that did not get out yet when there is one. A copy dated too
// far ahead counts as written now, unless it is the one already read.
void SettingsSyncService::applyIfNewer(const SettingsSyncEnvelope& envelope,
                                       const std::string& contentDigest) {
    const Date now = clock_.now();
    Date updatedAt = envelope.updatedAt;
    if (!isTrusted(updatedAt, now)) {
        if (lastPushed_ == envelope.settings)
            return;
        systemLog("SettingsSync",
                  "Settings from " + envelope.originDevice + " are dated " + iso8601String(updatedAt) +
                      ", more than a day ahead of this computer's clock: taken as written now");
        updatedAt = now;
    }
    const auto recordedOrigin = defaults_.value(lastAppliedOriginKey);
    const bool wins = owedAt_ ? envelopeWins(updatedAt, envelope.originInstallID, owedAt_, installID_)
                              : envelopeWins(updatedAt, envelope.originInstallID, trustedLastApplied(now),
                                             recordedOrigin && recordedOrigin->is_string()
                                                 ? std::optional(recordedOrigin->get<std::string>())
                                                 : std::nullopt);
    if (!wins)
        return;
    owedAt_.reset();
    record(updatedAt, envelope.originInstallID);
    defaults_.set(lastAppliedCopyKey, contentDigest);
    lastSyncedAt_ = updatedAt;
    lastSyncedFromDevice_ = envelope.originDevice;
    lastOffered_ = envelope.settings;
    if (onRemoteSettings)
        onRemoteSettings(envelope.settings);
}
