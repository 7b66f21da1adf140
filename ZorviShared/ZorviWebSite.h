#pragma once

#include <array>
#include <cstddef>

// The product's web hosts, written once: every link the interface offers (the store listing, the share
// and trust pages), the site that the share card names, and the login screen's signature take them
// from here. Plain constants, so that the privileged banner helper, which
// links nothing it does not need, shares them. Until the product has pages of its own they are
// placeholders under the reserved .example domain (RFC 2606).
namespace ZorviWebSite {

inline constexpr char makerHost[] = "zorvi.example";
inline constexpr char storeHost[] = "apps.zorvi.example";

// Two literals joined at compile time, for fixed texts that name a host; the array ends in the zero.
template <std::size_t A, std::size_t B>
constexpr std::array<char, A + B - 1> joined(const char (&first)[A], const char (&second)[B]) {
    std::array<char, A + B - 1> text{};
    for (std::size_t i = 0; i + 1 < A; ++i)
        text[i] = first[i];
    for (std::size_t i = 0; i < B; ++i)
        text[A - 1 + i] = second[i];
    return text;
}

} // namespace ZorviWebSite
