#include "Links.h"

#include <gumbo.h>

#include <memory>

namespace vantora {

namespace {

const char* Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute ? attribute->value : nullptr;
}

struct OutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

} // namespace

DocumentLinks ExtractLinks(std::string_view html) {
    DocumentLinks result;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here and cost memory
    std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, html.data(), html.size()));
    if (!output || !output->root)
        return result;
    bool haveBase = false;
    // Walk iteratively: deeply nested documents must not exhaust the stack.
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement& element = node->v.element;
        const char* value = nullptr;
        LinkKind kind = LinkKind::Link;
        switch (element.tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            value = Attribute(element, "href");
            break;
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            value = Attribute(element, "src");
            break;
        case GUMBO_TAG_IMG:
            value = Attribute(element, "src");
            kind = LinkKind::Image;
            break;
        case GUMBO_TAG_BASE:
            if (!haveBase) {
                if (const char* href = Attribute(element, "href")) {
                    result.BaseHref = href;
                    haveBase = true;
                }
            }
            break;
        default:
            break;
        }
        if (value)
            result.Links.push_back({kind, value});
        const GumboVector& children = element.children;
        for (unsigned i = children.length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
    }
    return result;
}

} // namespace vantora
