#include "Url.h"

#include "Text.h"

#include <cctype>

namespace {

bool isAllowedCharacter(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F)
        return false;
    for (char forbidden : std::string_view("<>\"{}|\\^`"))
        if (c == static_cast<unsigned char>(forbidden))
            return false;
    return true;
}

bool isSchemeText(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (unsigned char c : text)
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// "user:password@host:port" → host and port.
bool parseAuthority(std::string_view authority, UrlComponents& url) {
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') { // IPv6 literal
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        host = authority.substr(0, close + 1);
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            port = rest.substr(1);
        }
    } else if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (!port.empty()) {
        if (port.size() > 5)
            return false;
        int value = 0;
        for (unsigned char c : port) {
            if (!std::isdigit(c))
                return false;
            value = value * 10 + (c - '0');
        }
        if (value > 65535)
            return false;
        url.port = value;
    }
    url.host = std::string(host);
    return true;
}

} // namespace

std::optional<UrlComponents> parseUrl(std::string_view text) {
    for (unsigned char c : text)
        if (!isAllowedCharacter(c))
            return std::nullopt;
    UrlComponents url;
    if (const auto hash = text.find('#'); hash != std::string_view::npos)
        text = text.substr(0, hash);
    if (const auto question = text.find('?'); question != std::string_view::npos) {
        url.query = std::string(text.substr(question + 1));
        text = text.substr(0, question);
    }
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
        const std::string_view scheme = text.substr(0, colon);
        const auto slash = text.find('/');
        if (slash == std::string_view::npos || colon < slash) {
            if (!isSchemeText(scheme))
                return std::nullopt;
            url.scheme = std::string(scheme);
            text.remove_prefix(colon + 1);
        }
    }
    if (text.substr(0, 2) == "//") {
        text.remove_prefix(2);
        const auto end = text.find('/');
        if (!parseAuthority(text.substr(0, end), url))
            return std::nullopt;
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    }
    url.path = std::string(text);
    return url;
}

bool UrlComponents::isHttpOrHttps() const {
    const std::string lower = asciiLowercased(scheme);
    return lower == "http" || lower == "https";
}

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (low < 0) {
            decoded += text[i];
            continue;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

std::string percentEncodedQueryComponent(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += digits[c >> 4];
            encoded += digits[c & 0x0F];
        }
    }
    return encoded;
}

std::string loggableUrl(std::string_view text) {
    text = trimmed(text);
    if (text.empty())
        return {};
    const auto url = parseUrl(text);
    if (!url)
        return "(not a valid URL)";
    std::string shown = url->scheme.empty() ? "" : url->scheme + ":";
    if (!url->host.empty() || url->port)
        shown += "//" + url->host + (url->port ? ":" + std::to_string(*url->port) : "");
    return shown + url->path;
}
