#include "Vigilor/Monitor/CompanionPresence.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/LockDecision.h"

#include <locale>
#include <stdexcept>

namespace {

// The next code point of UTF-8 text; a byte that does not start a well-formed sequence stands for
// itself, so that any name can be searched.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length <= 1 || i + length > text.size()) {
        ++i;
        return lead;
    }
    char32_t point = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        point = (point << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return point;
}

// Letters of every script compare in lower case, as the C.UTF-8 locale maps them; where that locale
// is missing, ASCII letters still do.
std::u32string foldedCase(std::string_view text) {
    static const std::locale utf8 = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::runtime_error&) {
            return std::locale::classic();
        }
    }();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    std::u32string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        folded.push_back(char32_t(ctype.tolower(wchar_t(nextCodePoint(text, i)))));
    return folded;
}

// Device names are the user's own ("Jürgens Uhr"), so unlike Foundation's ASCII-only comparison this
// one folds the case of letters beyond ASCII too.
bool containsFoldingCase(std::string_view text, std::string_view fragment) {
    return foldedCase(text).find(foldedCase(fragment)) != std::u32string::npos;
}

bool nameMatches(const std::string& peripheralName, const std::string& configuredName) {
    return !configuredName.empty() && containsFoldingCase(peripheralName, configuredName);
}

bool identifierMatches(const UUID& identifier, const std::optional<UUID>& configured) {
    return configured && *configured == identifier;
}

} // namespace

bool matchesCompanion(const VigilorConfig& c, const BluetoothPeripheral& peripheral) {
    const std::string name = peripheral.name.value_or("");
    switch (c.bluetoothPresenceMode) {
    case BluetoothPresenceMode::off:
        return false;
    case BluetoothPresenceMode::watch:
        return identifierMatches(peripheral.identifier, c.watchUUID) || nameMatches(name, c.watchName);
    case BluetoothPresenceMode::phone:
        return identifierMatches(peripheral.identifier, c.phoneUUID) || nameMatches(name, c.phoneName);
    case BluetoothPresenceMode::either:
        return identifierMatches(peripheral.identifier, c.watchUUID) ||
               identifierMatches(peripheral.identifier, c.phoneUUID) || nameMatches(name, c.watchName) ||
               nameMatches(name, c.phoneName);
    }
    return false;
}

CompanionPresence::CompanionPresence(ObservableObject& owner,
                                     std::shared_ptr<BluetoothCentralProvider> bluetooth, const Clock& clock,
                                     ActivityLog& log, const Published<VigilorConfig>& config)
    : bluetooth_(std::move(bluetooth))
    , clock_(clock)
    , log_(log)
    , config_(config)
    , bluetoothState_(owner, BluetoothState::starting)
    , watchPresent_(owner, false)
    , watchRSSI_(owner, std::nullopt)
    , secondsSinceWatch_(owner, std::nullopt) {
}

bool CompanionPresence::bluetoothPresenceEnabled() const {
    const VigilorConfig& c = config_();
    if (c.bluetoothPresenceMode == BluetoothPresenceMode::off)
        return false;
    return c.watchGateRequired || !c.cameraPresenceEnabled;
}

std::string CompanionPresence::companionWordCapitalised() const {
    return companionWords(config_().bluetoothPresenceMode).capitalised;
}

std::string CompanionPresence::companionWordLowerCase() const {
    return companionWords(config_().bluetoothPresenceMode).lowerCase;
}

void CompanionPresence::report(BluetoothState state, const std::string& cause) {
    setIfChanged(bluetoothState_, state);
    const BluetoothWords& words = bluetoothWords(state);
    if (*words.logLine)
        log_.append(words.logLine + (words.logsCause ? cause : std::string()));
}

// Stops listening for the companion and forgets what was heard of it.
void CompanionPresence::forget() {
    if (central_)
        central_->stopScan();
    central_.reset();
    lastSeen_.reset();
    weakSince_.reset();
    setIfChanged(watchPresent_, false);
    setIfChanged(watchRSSI_, std::optional<int>());
}

void CompanionPresence::syncWithSettings(bool requestIfNeeded) {
    if (bluetoothPresenceEnabled()) {
        start(requestIfNeeded);
        return;
    }
    forget();
    setIfChanged(secondsSinceWatch_, std::optional<double>());
    report(BluetoothState::offInSettings);
}

void CompanionPresence::start(bool requestIfNeeded) {
    switch (bluetooth_->authorization()) {
    case BluetoothAuthorization::notDetermined:
        if (requestIfNeeded)
            createCentral();
        else
            report(BluetoothState::permissionNeeded);
        return;
    case BluetoothAuthorization::restricted:
        return report(BluetoothState::restricted);
    case BluetoothAuthorization::denied:
        return report(BluetoothState::refused);
    case BluetoothAuthorization::allowedAlways:
        if (!central_)
            createCentral();
        return;
    case BluetoothAuthorization::unknown:
        break;
    }
    report(BluetoothState::unknownAccess, bluetooth_->unknownAuthorizationCause());
}

// The central reports through callbacks that hold this weakly. A central that is replaced or dropped
// is released with its callbacks, so reports only ever come from the one in `central_`.
void CompanionPresence::createCentral() {
    BluetoothCentralHandlers handlers;
    handlers.didUpdateState = [weak = weak_from_this()](BluetoothCentral& central) {
        if (auto self = weak.lock())
            self->centralDidUpdateState(central);
    };
    handlers.didDiscover = [weak = weak_from_this()](BluetoothCentral&, const BluetoothPeripheral& peripheral,
                                                     int rssi) {
        if (auto self = weak.lock())
            self->centralDidDiscover(peripheral, rssi);
    };
    // The companion counts as gone once unheard for the grace; no other device needs to be heard.
    handlers.longestSilence = [weak = weak_from_this()](const BluetoothPeripheral& peripheral) {
        const auto self = weak.lock();
        if (!self || !matchesCompanion(self->config_(), peripheral))
            return 0.0;
        return self->config_().watchGrace;
    };
    central_.reset();
    central_ = bluetooth_->makeCentral(std::move(handlers));
    // Until its first report nothing is known of the radio, whatever was said before.
    report(BluetoothState::starting);
}

void CompanionPresence::centralDidUpdateState(BluetoothCentral& central) {
    if (!bluetoothPresenceEnabled()) {
        central.stopScan();
        report(BluetoothState::offInSettings);
        return;
    }
    const BluetoothState state = bluetoothStateFor(central.state(), central.hearsStillPeripherals());
    if (state == BluetoothState::scanning)
        central.scanForPeripherals(true);
    report(state);
}

// Runs for every advertisement of every nearby device, many times a second: an integer test, the
// listener, the match and a few assignments.
void CompanionPresence::centralDidDiscover(const BluetoothPeripheral& peripheral, int rssi) {
    if (!bluetoothPresenceEnabled() || rssi == unavailableBluetoothRSSI)
        return;
    if (advertisementListener_)
        advertisementListener_(peripheral, rssi);
    if (matchesCompanion(config_(), peripheral))
        heard(rssi);
}

// A strength equal to the weak threshold is strong. A weak run keeps the time of its first weak
// sighting, so that a companion that stays weak for a whole grace period counts as gone.
void CompanionPresence::heard(int rssi) {
    setIfChanged(watchRSSI_, std::optional<int>(rssi));
    const Date at = clock_.now();
    noteSeen(at, rssi < config_().watchWeakRSSI);
    setIfChanged(watchPresent_, isNear(at));
}

void CompanionPresence::noteSeen(Date at, bool weak) {
    lastSeen_ = at;
    if (!weak)
        weakSince_.reset();
    else if (!weakSince_)
        weakSince_ = at;
}

void CompanionPresence::refresh(Date at) {
    setIfChanged(secondsSinceWatch_,
                 lastSeen_ ? std::optional(roundedToHalf(at.timeIntervalSince(*lastSeen_))) : std::nullopt);
    setIfChanged(watchPresent_, isNear(at));
}

bool CompanionPresence::isNear(Date at) const {
    const double grace = config_().watchGrace;
    return lastSeen_ && at.timeIntervalSince(*lastSeen_) < grace &&
           (!weakSince_ || at.timeIntervalSince(*weakSince_) < grace);
}

bool CompanionPresence::allowsWatchGate(Date at) const {
    if (!bluetoothPresenceEnabled())
        return true;
    if (!lastSeen_)
        return false;
    const double grace = config_().watchGrace;
    if (at.timeIntervalSince(*lastSeen_) >= grace)
        return true;
    if (!weakSince_)
        return false;
    return at.timeIntervalSince(*weakSince_) >= grace;
}

bool CompanionPresence::hasIndependentAwayEvidence(Date at) const {
    if (!bluetoothPresenceEnabled() || isBluetoothUnavailable() || !lastSeen_)
        return false;
    return !isNear(at);
}

void CompanionPresence::scanForDiscovery() {
    if (!central_)
        createCentral();
    // A central that has not reported powered on yet starts this scan on that report.
    if (central_)
        central_->scanForPeripherals(true);
}

// The picker shares the companion's scan. While Bluetooth presence is on, that scan must go on after
// the picker closes: stopping it would let the companion age out, which opens the gate and, without
// the camera, locks the session merely because the picker was open. Only a scan that the companion
// no longer needs is stopped.
void CompanionPresence::stopDiscoveryScan() {
    if (central_ && !bluetoothPresenceEnabled())
        central_->stopScan();
}
