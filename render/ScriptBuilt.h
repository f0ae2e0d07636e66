#pragma once
// Whether a page as the server sent it looks built by scripts in the browser:
// it has a script, and its body holds next to no text of its own (an empty
// root element for a client-side application, say).

#include <cstddef>
#include <string_view>

namespace vantora::render {

// Fewer words than this in the body (outside scripts, styles, templates and
// noscript) make a page with a script look script-built.
inline constexpr std::size_t ScriptBuiltWords = 30;

// One linear pass over the HTML, without building a tree, so that asking costs
// little beside reading the page.
bool LooksScriptBuilt(std::string_view html);

} // namespace vantora::render
