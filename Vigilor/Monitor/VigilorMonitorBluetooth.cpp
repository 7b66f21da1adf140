// Bluetooth presence: the user's watch or phone as a presence companion.
#include "VigilorMonitor.h"

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

bool VigilorMonitor::bluetoothPresenceEnabled() const {
    const VigilorConfig& c = config();
    if (c.bluetoothPresenceMode == BluetoothPresenceMode::off)
        return false;
    return c.watchGateRequired || !c.cameraPresenceEnabled;
}

bool VigilorMonitor::isBluetoothUnavailable() const {
    return bluetoothWords(bluetoothState()).unavailable;
}

void VigilorMonitor::reportBluetooth(BluetoothState state, const std::string& cause) {
    setIfChanged(bluetoothState_, state);
    const BluetoothWords& words = bluetoothWords(state);
    if (*words.logLine)
        log_.append(words.logLine + (words.logsCause ? cause : std::string()));
}

// Stops listening for the companion and forgets what was heard of it.
void VigilorMonitor::forgetBluetoothCompanion() {
    if (central_)
        central_->stopScan();
    central_.reset();
    lastWatchSeen_.reset();
    watchWeakSince_.reset();
    setIfChanged(watchPresent, false);
    setIfChanged(watchRSSI, std::optional<int>());
}

void VigilorMonitor::startBluetooth(bool requestIfNeeded) {
    if (!bluetoothPresenceEnabled()) {
        forgetBluetoothCompanion();
        reportBluetooth(BluetoothState::offInSettings);
        return;
    }
    switch (services_.bluetooth->authorization()) {
    case BluetoothAuthorization::notDetermined:
        if (requestIfNeeded)
            createCentral();
        else
            reportBluetooth(BluetoothState::permissionNeeded);
        return;
    case BluetoothAuthorization::restricted:
        return reportBluetooth(BluetoothState::restricted);
    case BluetoothAuthorization::denied:
        return reportBluetooth(BluetoothState::refused);
    case BluetoothAuthorization::allowedAlways:
        if (!central_)
            createCentral();
        return;
    case BluetoothAuthorization::unknown:
        break;
    }
    reportBluetooth(BluetoothState::unknownAccess, services_.bluetooth->unknownAuthorizationCause());
}

// The central reports through callbacks that hold the monitor weakly. A central that is replaced or
// dropped is released with its callbacks, so reports only ever come from the one in `central_`.
void VigilorMonitor::createCentral() {
    BluetoothCentralHandlers handlers;
    handlers.didUpdateState = [weak = weakSelf()](BluetoothCentral& central) {
        if (auto self = weak.lock())
            self->centralManagerDidUpdateState(central);
    };
    handlers.didDiscover = [weak = weakSelf()](BluetoothCentral& central,
                                               const BluetoothPeripheral& peripheral, int rssi) {
        if (auto self = weak.lock())
            self->centralManagerDidDiscover(central, peripheral, rssi);
    };
    // The companion counts as gone once unheard for the grace; no other device needs to be heard.
    handlers.longestSilence = [weak = weakSelf()](const BluetoothPeripheral& peripheral) {
        const auto self = weak.lock();
        if (!self || !self->matchesConfiguredBluetoothCompanion(peripheral))
            return 0.0;
        return self->config().watchGrace;
    };
    central_.reset();
    central_ = services_.bluetooth->makeCentral(std::move(handlers));
    // Until its first report nothing is known of the radio, whatever was said before.
    reportBluetooth(BluetoothState::starting);
}

void VigilorMonitor::centralManagerDidUpdateState(BluetoothCentral& central) {
    if (!bluetoothPresenceEnabled()) {
        central.stopScan();
        reportBluetooth(BluetoothState::offInSettings);
        return;
    }
    const BluetoothState state = bluetoothStateFor(central.state(), central.hearsStillPeripherals());
    if (state == BluetoothState::scanning)
        central.scanForPeripherals(true);
    reportBluetooth(state);
}

// Runs for every advertisement of every nearby device, many times a second: an integer test, one name
// read, the match and a few assignments.
void VigilorMonitor::centralManagerDidDiscover(BluetoothCentral& /*central*/,
                                               const BluetoothPeripheral& peripheral, int rssi) {
    if (!bluetoothPresenceEnabled() || rssi == unavailableBluetoothRSSI)
        return;
    const std::string name = peripheral.name.value_or("");
    if (deviceDiscoveryActive_)
        recordDiscoveredDevice(peripheral, rssi, name);
    if (matchesConfiguredBluetoothCompanion(peripheral))
        updateWatch(rssi);
}

bool VigilorMonitor::matchesConfiguredBluetoothCompanion(const BluetoothPeripheral& peripheral) const {
    const VigilorConfig& c = config();
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

// A strength equal to the weak threshold is strong. A weak run keeps the time of its first weak
// sighting, so that a companion that stays weak for a whole grace period counts as gone.
void VigilorMonitor::updateWatch(int rssi) {
    setIfChanged(watchRSSI, std::optional<int>(rssi));
    const Date at = now();
    noteWatchSeen(at, rssi < config().watchWeakRSSI);
    setIfChanged(watchPresent, isWatchNear(at));
}
