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

// The links of a document without the tree builder, or nothing when the document
// needs it. Each (kind, reference) pair is listed once, at its first occurrence.
std::optional<DocumentLinks> ScanLinksFast(std::string_view html);

// The links as the HTML5 tokenizer reads the document, without the tree builder
// and without ever giving up: every occurrence, in order, nothing from a template.
// For documents too deep for the tree builder (ExtractLinks); on a document that
// ScanLinksFast reads, the same links once each are its own.
DocumentLinks ScanLinksAsTokenizer(std::string_view html);

// ScanLinksFast, or ExtractLinks where that gives nothing.
DocumentLinks ExtractLinksFast(std::string_view html);

// The links with each (kind, reference) pair kept at its first occurrence only: the
// form in which the two extractors' results are compared.
DocumentLinks UniqueLinks(DocumentLinks links);

} // namespace vantora
