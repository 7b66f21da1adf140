#pragma once

#include <optional>
#include <string>
#include <string_view>

// The parts of an absolute or relative URL reference, as far as this application reads them.
struct UrlComponents {
    std::string scheme; // as written; empty when there is none
    std::string host;   // empty when there is no authority or it has no host
    std::optional<int> port;
    std::string path;
    std::optional<std::string> query;

    // Whether the scheme is http or https, in any case.
    bool isHttpOrHttps() const;
};

// Nothing when the text is not a well-formed URL reference: a malformed scheme or port, or
// characters that must be percent-encoded (spaces, control characters, non-ASCII, "<>\"{}|\\^`").
std::optional<UrlComponents> parseUrl(std::string_view text);

// Every "%XX" escape replaced by its byte; a "%" without two hexadecimal digits after it stays as it is.
std::string percentDecoded(std::string_view text);

// For a name or value inside a query: every byte other than letters, digits and "-._~" as "%XX".
std::string percentEncodedQueryComponent(std::string_view text);

// The URL as logs may show it: scheme, host, port and path, without user, password, query or fragment,
// which may hold credentials. Empty for empty text; "(not a valid URL)" when it does not parse.
std::string loggableUrl(std::string_view text);
