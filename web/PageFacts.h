#pragma once
// What the site-health checks need to know about one HTML page, read in one
// walk over the HTML5 parse: the head's titles, description, robots meta,
// canonicals and hreflang alternates, the body's first-level headings, the ids
// it defines, its main content (word count and a hash of its text), images
// without alt, resources loaded over http, JSON-LD blocks that do not parse,
// and its links. Every list and text is bounded, so a hostile page costs at
// most a fixed amount of memory whatever its size.

#include "Links.h"
#include "Url.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantora {

struct PageFactLimits {
    std::size_t TextPoints = 1000;   // code points kept of a title or description
    std::size_t HeadingPoints = 200; // of a heading
    std::size_t Headings = 8;        // h1 texts kept
    std::size_t Canonicals = 8;
    std::size_t Alternates = 1000; // hreflang links kept
    std::size_t Ids = 5000;        // ids and anchor names kept
    std::size_t IdBytes = 200;
    std::size_t Insecure = 8;     // http resources kept (all are counted)
    std::size_t Fragments = 1000; // links with a fragment kept
    std::size_t NoFollow = 1000;  // nofollow links kept
    std::size_t UrlBytes = 2048;  // longer references are cut
};

struct PageFacts {
    // Titles of the head, each with white space collapsed (and cut).
    std::vector<std::string> Titles;
    bool HasDescription = false;
    std::string Description;          // collapsed, cut
    std::size_t DescriptionChars = 0; // code points of the whole collapsed text
    std::string Robots;               // content of robots meta tags, lower case, joined by ","
    // Canonical references resolved against the page (or as written, cut, when
    // they are not http or https).
    std::vector<std::string> Canonicals;
    // hreflang alternates: value as written, resolved href.
    std::vector<std::pair<std::string, std::string>> Alternates;
    std::size_t AlternateCount = 0;
    std::size_t H1Count = 0;          // <h1> elements in the body
    std::vector<std::string> H1Texts; // those with text, collapsed
    std::size_t H1WithText = 0;
    std::vector<std::string> Ids; // id attributes and <a name> values
    std::size_t MainWords = 0;
    std::uint64_t MainHash = 0; // FNV-1a of the main content's words joined by blanks
    std::size_t ImagesWithoutAlt = 0;
    std::vector<std::string> Insecure; // http URLs of scripts, style sheets, images, frames
    std::size_t InsecureCount = 0;
    std::size_t JsonLdBlocks = 0;
    std::size_t JsonLdInvalid = 0;
    // Links with a fragment: the resolved URL without it, the fragment.
    std::vector<std::pair<std::string, std::string>> Fragments;
    // Resolved URLs (fragment dropped) that a, area links reach only with
    // rel=nofollow: a followed link to the same URL takes it off.
    std::vector<std::string> NoFollow;
    // Too deeply nested for the tree builder: only the links were read.
    bool TooDeep = false;
    // The links the HTML5 parser gives, as ExtractLinks returns them.
    DocumentLinks Links;
    bool operator==(const PageFacts&) const = default;
};

// Reads the facts of an HTML document fetched from pageUrl (an absolute http
// or https URL; relative references are resolved against it and <base>).
PageFacts ReadPageFacts(std::string_view html, std::string_view pageUrl,
                        const PageFactLimits& limits = {});

// The same facts read without the tree builder, in one pass over the tags with
// the fast link reader (Links: its links, each once), for ordinary documents;
// nothing when the document needs the tree builder (ReadPageFacts then).
std::optional<PageFacts> ReadPageFactsFast(std::string_view html, std::string_view pageUrl,
                                           const PageFactLimits& limits = {});
// The same with the page URL already read.
std::optional<PageFacts> ReadPageFactsFast(std::string_view html, const Url& page,
                                           const PageFactLimits& limits = {});

// Whether a JSON text parses (RFC 8259); nesting is followed without recursion.
bool IsValidJson(std::string_view text);

} // namespace vantora
