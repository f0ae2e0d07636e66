#pragma once
// Captions of page lines in the site map. The program turns a relative caption back
// into a URL by appending it to the folder of the nearest absolute ancestor, through
// the folder parts of the relative ancestors in between, by plain concatenation (no
// "..", no dot segments). A caption is written relative only when that concatenation
// gives back exactly the page's URL.

#include <string>
#include <string_view>

namespace vantora::webcharter {

// The text a node contributes to its descendants' URLs, given its caption and the
// contribution of its parent (empty for a top-level node).
std::string AncestorBase(std::string_view parentBase, std::string_view caption);

// The URL the program computes for a leaf node with this caption under a parent
// whose contribution is parentBase.
std::string LeafUrl(std::string_view parentBase, std::string_view caption);

// The shortest caption that resolves to url under parentBase: relative when that is
// exact and cannot be mistaken for an absolute URL, an e-mail address or another
// scheme, else the URL itself.
std::string PageCaption(std::string_view parentBase, std::string_view url);

} // namespace vantora::webcharter
