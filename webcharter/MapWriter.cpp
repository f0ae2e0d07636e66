#include "CrawlState.h"

#include "Captions.h"

#include <cstdio>
#include <unordered_set>

namespace vantora::webcharter {

int Crawl::Final(int target) const {
    for (int hops = 0; target >= 0 && hops < 64; ++hops) {
        if (Targets[target].Status != State::Alias)
            return target;
        target = Targets[target].AliasOf;
    }
    return -1; // a loop of aliases: a redirect loop
}

std::vector<std::string> Crawl::WriteMap(CrawlResult& result) const {
    std::vector<std::string> lines;
    lines.push_back("<ROOT>http://" + EscapeUrlText(Options.SearchUrl));
    if (Pages.empty()) {
        const Target& root = Targets.empty() ? Target{} : Targets[0];
        const int last = Targets.empty() ? -1 : Final(0);
        if (Targets.empty() ||
            (!root.Responded && (root.Status == State::Broken || root.Status == State::Pending ||
                                 root.Status == State::Skipped))) {
            lines.push_back("Unspecified Host");
        } else if (RootFallbackStatus) {
            // neither the root as given nor without its final "/" is a page
            lines.push_back("<ERROR>" + root.Written + " " + std::to_string(RootFallbackStatus));
        } else if (last >= 0 && Targets[last].Status == State::HttpError) {
            lines.push_back("<ERROR>" + Targets[last].Written + " " +
                            std::to_string(Targets[last].HttpStatus));
        } else if (last < 0 || Targets[last].Status == State::Broken ||
                   Targets[last].Status == State::Pending) {
            lines.push_back("<BROKEN>" + root.Written);
        } else {
            lines.push_back("<PAGE>" + Targets[last].Written);
        }
        lines.push_back("<END>");
        return lines;
    }
    // Depth-first over the page tree, iteratively; each page's children are its
    // pages, then its external links, e-mail addresses, broken links and errors.
    struct Frame {
        int Page;
        size_t NextChild;
        std::string Base;
    };
    std::vector<Frame> stack;
    auto open = [&](int page, const std::string& parentBase) {
        const std::string& url = Targets[Pages[page].TargetIndex].Written;
        const std::string caption = PageCaption(parentBase, url);
        lines.push_back("<PAGE>" + caption);
        ++result.Pages;
        stack.push_back({page, 0, AncestorBase(parentBase, caption)});
        const PageNode& node = Pages[page];
        bool hasFindings = false;
        for (const Ref& ref : node.Refs) {
            if (ref.Kind == RefKind::Mail) {
                hasFindings = true;
                break;
            }
            const int last = Final(ref.Index);
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken || state == State::HttpError ||
                (ref.Kind == RefKind::Link && Targets[last].External)) {
                hasFindings = true;
                break;
            }
        }
        if (!node.Children.empty() || hasFindings)
            lines.push_back("<PUSH>");
        else
            stack.back().NextChild = static_cast<size_t>(-1); // nothing nested
    };
    auto findings = [&](const PageNode& node) {
        std::vector<std::string> external, mail, broken, errors;
        std::unordered_set<std::string> written;
        for (const Ref& ref : node.Refs) {
            std::string line;
            if (ref.Kind == RefKind::Mail) {
                line = "<MAILTO>" + Mails[ref.Index];
                if (written.insert(line).second)
                    mail.push_back(line);
                continue;
            }
            const int last = Final(ref.Index);
            const Target& named = Targets[ref.Index];
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken) {
                line = "<BROKEN>" + named.Written;
                if (written.insert(line).second)
                    broken.push_back(line);
            } else if (state == State::HttpError) {
                if (ref.Kind == RefKind::Image)
                    line = "<BROKEN>" + named.Written;
                else
                    line =
                        "<ERROR>" + named.Written + " " + std::to_string(Targets[last].HttpStatus);
                if (written.insert(line).second) {
                    (ref.Kind == RefKind::Image ? broken : errors).push_back(line);
                    if (ref.Kind != RefKind::Image && Targets[last].HttpStatus >= 500)
                        ++result.ServerErrors;
                }
            } else if (ref.Kind == RefKind::Link && Targets[last].External) {
                // a page of the site that moved off-site is listed where it ends
                line = "<LINK>" + Targets[last].Written;
                if (written.insert(line).second)
                    external.push_back(line);
            }
        }
        result.External += external.size();
        result.Mail += mail.size();
        result.Broken += broken.size();
        result.Errors += errors.size();
        for (auto* group : {&external, &mail, &broken, &errors})
            lines.insert(lines.end(), group->begin(), group->end());
    };
    open(0, "");
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const PageNode& node = Pages[frame.Page];
        if (frame.NextChild == static_cast<size_t>(-1)) {
            stack.pop_back();
            continue;
        }
        if (frame.NextChild < node.Children.size()) {
            const int child = node.Children[frame.NextChild++];
            const std::string base = frame.Base;
            open(child, base);
            continue;
        }
        findings(node);
        lines.push_back("<POP>");
        stack.pop_back();
    }
    lines.push_back("<END>");
    return lines;
}

bool WriteSiteMapFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error) {
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "Cannot create file " + temporary;
        return false;
    }
    bool ok = true;
    for (const std::string& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size() &&
             std::fwrite("\r\n", 1, 2, file) == 2;
    }
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        std::remove(temporary.c_str());
        error = "Cannot write file " + temporary;
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "Cannot create file " + path;
        return false;
    }
    return true;
}

} // namespace vantora::webcharter
