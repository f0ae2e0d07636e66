#pragma once
// What the analyses need to know about one HTML page, read once with gumbo:
// the head's title and meta data, headings, paragraphs, images, links, the
// visible text and the main content's text, inline scripts, and the blocks that CSS or markup hides
// or paints in the colour of their background. Built without rendering: inline styles, <style>
// rules with simple selectors, <font color> and <body> colours.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

struct PageHeading {
    int Level = 1;
    std::string Text;
    bool InMain = false; // inside the main content
};

struct PageImage {
    bool HasAlt = false;
    std::string Alt;
    bool InMain = false;
};

struct PageLink {
    std::string Href;
    std::string Text;
    std::string AriaLabel;
    bool NoFollow = false;
    bool HasImage = false;
    bool Hidden = false; // inside a hidden block
    bool InMain = false;
};

// Where the main content was found: the page's <main> (or role="main"), its
// only <article>, or the body without navigation, banners, footers, side
// bars and menus.
enum class MainSource { Main, Article, Body };

// An element hidden by CSS or placed off screen, outermost only.
struct PageHiddenBlock {
    std::string Reason; // such as "display:none"
    std::string Path;   // such as "div#promo"
    std::string Text;   // its text, collapsed
    std::size_t Words = 0;
    bool HasLink = false;
};

// Text whose colour matches its background.
struct PageSameColour {
    std::string Colour; // "#ffffff"
    std::string Path;
    std::string Text;
};

struct PageModel {
    bool HasTitle = false;
    std::string Title;
    bool HasDescription = false;
    std::string Description;
    bool HasMetaKeywords = false;
    std::string MetaKeywords;
    std::string MetaRobots;
    bool HasRefresh = false;
    std::string RefreshContent;
    std::vector<std::string> Canonicals;
    std::vector<PageHeading> Headings;
    std::vector<std::string> Paragraphs;     // text of each non-empty <p>
    std::vector<std::string> MainParagraphs; // the same, in the main content
    std::vector<PageImage> Images;
    std::vector<PageLink> Links;
    // The text a visitor sees: body text without script, style and hidden
    // blocks, one line feed between blocks.
    std::string VisibleText;
    std::vector<std::string> BlockTexts; // the same, block by block
    // The visible text of the main content only, and its blocks; code
    // (<pre>, <code>, <kbd>, <samp>, <var>, <tt>) is left out of it.
    std::string MainText;
    std::vector<std::string> MainBlockTexts;
    MainSource MainFrom = MainSource::Body;
    std::string Lang; // the lang attribute of <html> (or Content-Language), as written
    std::vector<std::string> Scripts; // inline script bodies
    std::vector<PageHiddenBlock> HiddenBlocks;
    std::vector<PageSameColour> SameColour;
    std::size_t ElementCount = 0;
    bool HasBase = false;
    std::string BaseHref; // the first <base href>, as written
    // The page cost more to read than one page may (elements, style rules
    // applied, nested texts): what was read is incomplete and must not be
    // analysed as the page. TooComplexWhy says why, as "it has more than
    // 250000 elements".
    bool TooComplex = false;
    std::string TooComplexWhy;
};

struct ParseLimits {
    // Start tags and their attributes read at most; a page with more is too
    // complex. The tree of one element costs the parser about half a
    // kilobyte, so these bound the memory one page takes; a page of 4 MB of
    // ordinary markup has less than half of them.
    std::size_t MaxElements = 80000;
    std::size_t MaxAttributes = 200000;
    // Processor time of the reading thread; past it the page is too complex.
    // The other bounds come first for every page built to be costly; this
    // one catches what they miss. 0: no limit.
    long MaxCpuMs = 1500;
};

// Parses HTML bytes in the encoding a browser would read them in (see
// SniffHtmlEncoding: byte order mark, the charset of contentType, a <meta>
// declaration, else UTF-8 or Windows-1252).
PageModel ParsePage(std::string_view html, std::string_view contentType = {},
                    const ParseLimits& limits = {});

// Colour parsing used by the same-colour rule: "#fff", "#ffffff",
// "rgb(1,2,3)", and the common names. False when not understood.
bool ParseCssColour(std::string_view text, unsigned& rgb);
// WCAG contrast ratio of two colours (1 = identical, 21 = black on white).
double ContrastRatio(unsigned a, unsigned b);

} // namespace vantora
