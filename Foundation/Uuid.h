#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A 128-bit universally unique identifier. Random ones come from the system's CSPRNG.
class UUID {
public:
    using Bytes = std::array<uint8_t, 16>;

    constexpr explicit UUID(const Bytes& bytes)
        : bytes_(bytes) {}

    // A fresh version-4 identifier.
    static UUID random();
    // The version-5 identifier of `name` within `namespaceID` (SHA-1, RFC 4122 section 4.3): the same
    // name in the same namespace always gives the same identifier.
    static UUID nameBased(const UUID& namespaceID, std::string_view name);
    // Canonical 8-4-4-4-12 hexadecimal text, either case; nothing else is accepted.
    static std::optional<UUID> parse(std::string_view text);

    // Canonical upper-case text, 36 characters.
    std::string uuidString() const;
    const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const UUID&, const UUID&) = default;
    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    Bytes bytes_;
};
