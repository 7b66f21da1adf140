#pragma once

#include "Foundation/Base64.h"
#include "Vigilor/Updates/Appcast.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A maker's key pair of the test's own, made fresh with OpenSSL, that signs appcast items the way the
// maker's release tooling does, and writes feeds of them.
class AppcastSigner {
public:
    AppcastSigner() {
        const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
            EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), &EVP_PKEY_CTX_free);
        EVP_PKEY* made = nullptr;
        if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
            EVP_PKEY_keygen(context.get(), &made) != 1)
            throw std::runtime_error("cannot make an Ed25519 key");
        key_.reset(made);
        std::size_t length = publicKey_.size();
        EVP_PKEY_get_raw_public_key(key_.get(), publicKey_.data(), &length);
    }

    const Ed25519PublicKey& publicKey() const { return publicKey_; }

    // The base64 signature of the item's message.
    std::string signature(const AppcastItem& item) const {
        const std::string message = appcastSignedMessage(item);
        const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                              &EVP_MD_CTX_free);
        std::string signature(64, '\0');
        std::size_t length = signature.size();
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get());
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        return base64Encoded(signature);
    }

    // A release for this system with a link under https://zorvi.example/, signed.
    AppcastItem release(const std::string& version, const std::string& notes = "Faster and calmer.") const {
        AppcastItem item{version, "linux", "https://zorvi.example/download/" + version, notes, {}};
        item.signature = signature(item);
        return item;
    }

    // The feed's text with these items, as a maker would publish it.
    static std::string feed(const std::vector<AppcastItem>& items) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<rss version=\"2.0\" "
                          "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
                          "<channel>\n<title>Zorvi</title>\n";
        for (const AppcastItem& item : items) {
            xml += "<item>\n<title>Zorvi " + escaped(item.version) + "</title>\n";
            xml += "<sparkle:shortVersionString>" + escaped(item.version) + "</sparkle:shortVersionString>\n";
            if (!item.os.empty())
                xml += "<sparkle:os>" + escaped(item.os) + "</sparkle:os>\n";
            xml += "<link>" + escaped(item.link) + "</link>\n";
            xml += "<description>" + escaped(item.notes) + "</description>\n";
            if (!item.signature.empty())
                xml += "<sparkle:edSignature>" + item.signature + "</sparkle:edSignature>\n";
            xml += "</item>\n";
        }
        return xml + "</channel>\n</rss>\n";
    }

private:
    static std::string escaped(const std::string& text) {
        std::string out;
        for (char c : text)
            out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
        return out;
    }

    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_{nullptr, &EVP_PKEY_free};
    Ed25519PublicKey publicKey_{};
};
