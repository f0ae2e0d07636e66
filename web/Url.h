#pragma once
// URL parsing, reference resolution and normalisation for http and https.
// Plain C++; shared by the crawler and the analysis server.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantora {

struct Url {
    std::string Scheme; // "http" or "https", lower case
    std::string Host;   // lower case ASCII (international names in their xn-- form);
                        // IPv6 literals keep their brackets
    std::string Port;   // empty when the scheme's default port
    std::string Path;   // begins with "/", dot segments removed, percent-encoded
    std::string Query;  // without the "?"; HasQuery tells "?" with nothing after it apart
    bool HasQuery = false;

    // scheme://host[:port]path[?query]
    std::string ToString() const;
    // host[:port]: the authority as written in the URL
    std::string Authority() const;
    // The same resource written with "http://" (the form the site map uses).
    std::string ToHttpString() const;
    // Identity of the resource with http and https taken as one: authority, path, query.
    std::string Key() const;
};

// Parses an absolute http or https URL and normalises it as a browser does: scheme
// and host in lower case, international host names mapped to ASCII (UTS 46), numeric
// IPv4 and IPv6 hosts in canonical form, the default port dropped, dot segments
// removed, the fragment dropped, bytes that may not stand in a URL percent-encoded
// (a '%' that starts no escape is kept as it stands), escapes of unreserved
// characters decoded and the others written in upper case. Returns nothing for
// other schemes, an empty or malformed host or a bad port.
std::optional<Url> ParseUrl(std::string_view text);

// References longer than this are not resolved (browsers refuse such URLs too).
constexpr std::size_t MaxReferenceBytes = 2u << 20;

// Resolves a reference found in a document against the document's base URL, as a
// browser does (tabs and line breaks inside removed, surrounding blanks trimmed,
// backslashes read as slashes, "http:x" and "http:/x" on an http page taken as
// relative). Time and memory are linear in the reference's length. Returns nothing
// when the result is not http(s).
std::optional<Url> ResolveUrl(const Url& base, std::string_view reference);

// A host as the user reads it: labels in their xn-- form shown in Unicode when they
// decode to a valid international name; any other host is returned unchanged.
std::string HostForDisplay(std::string_view host);

// An absolute URL as the user reads it: its host through HostForDisplay, the rest
// unchanged. Text that is not an http(s) URL is returned unchanged.
std::string UrlForDisplay(std::string_view url);

// The scheme of a reference in lower case ("mailto", "javascript"...), or empty for
// a relative reference.
std::string ReferenceScheme(std::string_view reference);

// Strips tabs, CR and LF anywhere and C0 controls and blanks at both ends, as the
// URL parser of a browser does before it reads an attribute value.
std::string CleanReference(std::string_view reference);

// Percent-encodes every byte that is a control character, a blank, a non-ASCII byte
// or one of " < > \ ^ ` { | } and any '%' not followed by two hex digits. Used for
// text written into site map lines so that no line holds a CR, LF or blank.
std::string EscapeUrlText(std::string_view text);

// A path with an optional "?query" in the percent-encoded form ParseUrl gives its
// path and query: bytes that may not stand in a URL escaped, escapes of unreserved
// characters decoded, the others in upper case. Dot segments are left alone.
std::string NormaliseUrlText(std::string_view pathAndQuery);

// RFC 3986 remove_dot_segments on a path that begins with "/".
std::string RemoveDotSegments(std::string_view path);

} // namespace vantora
