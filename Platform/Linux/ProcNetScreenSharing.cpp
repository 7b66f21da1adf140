#include "ProcNetScreenSharing.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

namespace {

// The kernel's TCP_ESTABLISHED, as the "st" column prints it.
constexpr unsigned establishedState = 0x01;

std::string_view nextField(std::string_view& rest) {
    const auto start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find_first_of(" \t");
    const auto field = rest.substr(0, end);
    rest.remove_prefix(field.size());
    return field;
}

bool isHex(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

std::optional<unsigned> hexValue(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (!isHex(text) || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "0100007F:170C" (IPv4) or 32 hex digits and a port (IPv6): the port, when the field has that shape.
std::optional<unsigned> portOf(std::string_view endpoint) {
    const auto colon = endpoint.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto address = endpoint.substr(0, colon);
    const auto port = endpoint.substr(colon + 1);
    if ((address.size() != 8 && address.size() != 32) || !isHex(address) || port.size() != 4)
        return std::nullopt;
    return hexValue(port);
}

// The slot column: a decimal number and a colon ("12:"); the header's "sl" is not one.
bool isSlot(std::string_view field) {
    return field.size() >= 2 && field.back() == ':' &&
           field.substr(0, field.size() - 1).find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

ProcNetScreenSharing::ProcNetScreenSharing(std::filesystem::path tcpTable, std::filesystem::path tcp6Table)
    : tcpTable_(std::move(tcpTable))
    , tcp6Table_(std::move(tcp6Table)) {
}

bool ProcNetScreenSharing::isScreenSharingActive() {
    return tableHasScreenSharingConnection(tcpTable_) || tableHasScreenSharingConnection(tcp6Table_);
}

bool ProcNetScreenSharing::isScreenSharingConnection(std::string_view line) {
    std::string_view rest = line;
    const auto slot = nextField(rest);
    const auto localPort = portOf(nextField(rest));
    const auto remotePort = portOf(nextField(rest));
    const auto state = nextField(rest);
    if (!isSlot(slot) || !localPort || !remotePort || state.size() != 2)
        return false;
    return hexValue(state) == establishedState && *localPort == screenSharingPort;
}

bool ProcNetScreenSharing::tableHasScreenSharingConnection(const std::filesystem::path& table) {
    std::ifstream file(table);
    std::string line;
    while (std::getline(file, line))
        if (isScreenSharingConnection(line))
            return true;
    return false;
}
