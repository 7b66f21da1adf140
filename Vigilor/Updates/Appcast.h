#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The update feed: an RSS 2.0 "appcast" with one item per release, in Sparkle's namespace
// ("http://www.andymatuschak.org/xml-namespaces/sparkle"):
//
//     <rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
//       <item>
//         <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
//         <sparkle:os>linux</sparkle:os>
//         <link>https://zorvi.example/download/1.2</link>
//         <description>What is new, as plain text.</description>
//         <sparkle:edSignature>base64 of the Ed25519 signature</sparkle:edSignature>
//       </item>
//     </channel></rss>
//
// Each item is signed with the maker's Ed25519 key over appcastSignedMessage(item), so that neither
// the feed's server nor anyone between it and us can point the user at another page or another text.

struct AppcastItem {
    std::string version;   // sparkle:shortVersionString, trimmed
    std::string os;        // sparkle:os, trimmed
    std::string link;      // the release's download page, trimmed
    std::string notes;     // description, trimmed
    std::string signature; // sparkle:edSignature, trimmed base64

    bool operator==(const AppcastItem&) const = default;
};

struct AppcastDocument {
    std::vector<AppcastItem> items;
    std::string error; // why the text is not an appcast; empty when it is one
};

// Reads the feed's text. A document type declaration is refused, so that no entity is ever expanded.
AppcastDocument parseAppcast(std::string_view xml);

// The bytes the signature covers: "zorvi-appcast-item-v1", version, os and link, one line each, then
// the notes. Only items whose version, os and link hold no line break are ever checked, so the lines
// cannot be shifted from one field to another.
std::string appcastSignedMessage(const AppcastItem& item);

using Ed25519PublicKey = std::array<std::uint8_t, 32>;

// Whether the item's signature is a valid Ed25519 signature of its message under `publicKey`.
bool hasValidAppcastSignature(const AppcastItem& item, const Ed25519PublicKey& publicKey);
