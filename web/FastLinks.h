#pragma once
// A link extractor that reads only what it needs: one pass over the bytes with the
// HTML5 tokenizer's rules for tags, attributes, comments and raw-text elements, no
// tree. It gives the links the HTML5 parser gives (ExtractLinks), each first
// occurrence in the same order; documents that use what only the tree builder can
// decide (select, svg, math, template, frames, misnested tables, rare character
// references, invalid UTF-8, NUL bytes...) are handed to the HTML5 parser.

#include "Links.h"

#include <optional>
#include <string_view>

namespace vantora {

// What the fast reader meets besides links, in document order, for readers of
// other facts of the page. Each call may answer false: the document then needs
// the tree builder and the scan gives nothing.
// Elements come with their lower-case name and their kind (HtmlTags.h).
// How a start tag is written.
struct StartTagForm {
    bool Repeated = false;    // it names an attribute twice
    bool SelfClosing = false; // it ends in "/>" (which only foreign content honours)
    std::string_view Written; // its attributes as written, from after the name to the ">"
};

class TagListener {
  public:
    virtual ~TagListener() = default;
    // A start tag: its attributes' decoded values, and its form.
    virtual bool StartTag(std::string_view name, int kind, const AttributeReader& attribute,
                          const StartTagForm& form) = 0;
    virtual bool EndTag(std::string_view name, int kind) = 0;
    // Character data between markup, as written (references not decoded).
    virtual bool Text(std::string_view raw) = 0;
    // The content of a raw-text element (script, style, title, textarea...)
    // after its start tag was reported; its end tag follows as EndTag.
    virtual bool RawText(std::string_view name, int kind, std::string_view content) = 0;
};

// Decodes the common character references (&amp; &lt; &nbsp; &copy;..., decimal
// and hexadecimal ones to ordinary characters, "&" that starts none) as the
// HTML5 tokenizer does in text and attribute values alike. False: a form whose
// reading differs between the two or that only the parser knows.
bool DecodeCommonReferences(std::string_view raw, std::string& out);

// The links of a document without the tree builder, or nothing when the document
// needs it. Each (kind, reference) pair is listed once, at its first occurrence.
// A listener is told each tag and each piece of text on the way.
std::optional<DocumentLinks> ScanLinksFast(std::string_view html, TagListener* listener = nullptr);

// The links as the HTML5 tokenizer reads the document, without the tree builder
// and without ever giving up: every occurrence, in order, nothing from a template.
// For documents too deep for the tree builder (ExtractLinks); on a document that
// ScanLinksFast reads, the same links once each are its own.
DocumentLinks ScanLinksAsTokenizer(std::string_view html);

// The tags and text of a document as the HTML5 tokenizer reads it, told to the
// listener, without ever giving up (but where the listener answers false).
void ReadTagsAsTokenizer(std::string_view html, TagListener& listener);

// ScanLinksFast, or ExtractLinks where that gives nothing.
DocumentLinks ExtractLinksFast(std::string_view html);

// The links with each (kind, reference) pair kept at its first occurrence only: the
// form in which the two extractors' results are compared.
DocumentLinks UniqueLinks(DocumentLinks links);

} // namespace vantora
