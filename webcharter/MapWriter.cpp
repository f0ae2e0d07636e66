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

void Crawl::WriteNotChecked(CrawlResult& result) const {
    // The map lists a link that was not checked like one that answered; this
    // file tells them apart for the program, which shows them beside the
    // broken ones. Only the link a redirect chain ends in carries the answer.
    MapFileWriter file;
    std::string error;
    if (!file.Open(Options.NotCheckedFile, error)) {
        result.LeftOut.push_back("the list of links not checked: " + error);
        return;
    }
    size_t lines = 0, more = 0;
    std::unordered_set<std::string> written;
    for (const Target& target : Targets) {
        if (target.Status != State::Unchecked || target.Url().empty())
            continue;
        if (lines >= Options.MaxNotCheckedLines) {
            ++more;
            continue;
        }
        if (written.insert(target.Written()).second) {
            file.Line(std::to_string(target.HttpStatus) + "\t" + target.Written());
            ++lines;
        }
    }
    if (more)
        file.Line("+\t" + std::to_string(more));
    if (!file.Close(error))
        result.LeftOut.push_back("the list of links not checked: " + error);
}

void Crawl::WriteMap(CrawlResult& result, const LineSink& emit) const {
    // The map is handed out line by line, never held whole: a map of a million
    // pages is some hundred megabytes of text.
    struct Lines {
        const LineSink& Emit;
        void push_back(const std::string& line) { Emit(line); }
    } lines{emit};
    lines.push_back("<ROOT>http://" + EscapeUrlText(Options.SearchUrl));
    if (Pages.Empty()) {
        const Target& root = Targets.empty() ? Target{} : Targets[0];
        const int last = Targets.empty() ? -1 : Final(0);
        if (Targets.empty() ||
            (!root.Responded && (root.Status == State::Broken || root.Status == State::Pending ||
                                 root.Status == State::Skipped))) {
            lines.push_back("Unspecified Host");
        } else if (RootFallbackStatus) {
            // neither the root as given nor without its final "/" is a page
            lines.push_back("<ERROR>" + root.Written() + " " + std::to_string(RootFallbackStatus));
        } else if (last >= 0 && Targets[last].Status == State::HttpError) {
            lines.push_back("<ERROR>" + Targets[last].Written() + " " +
                            std::to_string(Targets[last].HttpStatus));
        } else if (last < 0 || Targets[last].Status == State::Broken ||
                   Targets[last].Status == State::Pending) {
            lines.push_back("<BROKEN>" + root.Written());
        } else {
            lines.push_back("<PAGE>" + Targets[last].Written());
        }
        lines.push_back("<END>");
        return;
    }
    // Each page's children, in the order they were added: pages are added after
    // their parent, so one pass over them in order lists every page's children.
    const size_t pageCount = Pages.Size();
    std::vector<uint32_t> childBegin(pageCount + 1, 0), children(pageCount);
    // the pages' parents, read from their file in pieces
    auto eachParent = [&](auto&& visit) {
        std::vector<PageNode> piece;
        for (size_t begin = 0; begin < pageCount; begin += piece.size()) {
            Pages.Read(begin, static_cast<uint32_t>(std::min<size_t>(pageCount - begin, 1 << 14)),
                       piece);
            for (size_t i = 0; i < piece.size(); ++i)
                visit(begin + i, piece[i].Parent);
        }
    };
    eachParent([&](size_t, int parent) {
        if (parent >= 0)
            ++childBegin[parent + 1];
    });
    for (size_t i = 1; i < childBegin.size(); ++i)
        childBegin[i] += childBegin[i - 1];
    {
        std::vector<uint32_t> next(childBegin.begin(), childBegin.end() - 1);
        eachParent([&](size_t page, int parent) {
            if (parent >= 0)
                children[next[parent]++] = static_cast<uint32_t>(page);
        });
    }
    auto childCount = [&](int page) { return childBegin[page + 1] - childBegin[page]; };
    // Depth-first over the page tree, iteratively; each page's children are its
    // pages, then its external links, e-mail addresses, broken links and errors.
    // A page's stored words (its URL and references) are read once, when it opens,
    // and kept on its frame until its findings are written.
    struct Frame {
        int Page;
        size_t NextChild;
        std::string Base;
        std::vector<uint32_t> Words;
    };
    auto refsOf = [&](const std::vector<uint32_t>& words, auto&& visit) {
        for (size_t i = SpillArray::TextWords(words[0]); i < words.size(); ++i)
            if (!visit(UnpackRef(words[i])))
                return;
    };
    std::vector<Frame> stack;
    auto open = [&](int page, const std::string& parentBase) {
        const PageNode node = Pages.At(static_cast<uint64_t>(page));
        std::vector<uint32_t> words;
        RefStore.Read(node.StoreBegin, static_cast<uint32_t>(node.StoreWords), words);
        const Target& target = Targets[node.TargetIndex];
        const std::string url =
            words[0] ? Target::WrittenAs(SpillArray::TextAt(words.data()), target.AsIs)
                     : target.Written();
        const std::string caption = PageCaption(parentBase, url);
        lines.push_back("<PAGE>" + caption);
        ++result.Pages;
        stack.push_back({page, 0, AncestorBase(parentBase, caption), std::move(words)});
        bool hasFindings = false;
        refsOf(stack.back().Words, [&](const Ref& ref) {
            if (ref.Kind == RefKind::Mail) {
                hasFindings = true;
                return false;
            }
            const int last = Final(ref.Index);
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken || state == State::HttpError ||
                (ref.Kind == RefKind::Link && Targets[last].External)) {
                hasFindings = true;
                return false;
            }
            return true;
        });
        if (childCount(page) > 0 || hasFindings)
            lines.push_back("<PUSH>");
        else
            stack.back().NextChild = static_cast<size_t>(-1); // nothing nested
    };
    auto findings = [&](const std::vector<uint32_t>& words) {
        std::vector<std::string> external, mail, broken, errors;
        std::unordered_set<std::string> written;
        refsOf(words, [&](const Ref& ref) {
            std::string line;
            if (ref.Kind == RefKind::Mail) {
                line = "<MAILTO>" + Mails[ref.Index];
                if (written.insert(line).second)
                    mail.push_back(line);
                return true;
            }
            const int last = Final(ref.Index);
            const Target& named = Targets[ref.Index];
            const State state = last < 0 ? State::Broken : Targets[last].Status;
            if (state == State::Broken) {
                line = "<BROKEN>" + named.Written();
                if (written.insert(line).second)
                    broken.push_back(line);
            } else if (state == State::HttpError) {
                if (ref.Kind == RefKind::Image)
                    line = "<BROKEN>" + named.Written();
                else
                    line = "<ERROR>" + named.Written() + " " +
                           std::to_string(Targets[last].HttpStatus);
                if (written.insert(line).second) {
                    (ref.Kind == RefKind::Image ? broken : errors).push_back(line);
                    if (ref.Kind != RefKind::Image && Targets[last].HttpStatus >= 500)
                        ++result.ServerErrors;
                }
            } else if (ref.Kind == RefKind::Link && Targets[last].External) {
                // a page of the site that moved off-site is listed where it ends
                line = "<LINK>" + Targets[last].Written();
                if (written.insert(line).second)
                    external.push_back(line);
            }
            return true;
        });
        result.External += external.size();
        result.Mail += mail.size();
        result.Broken += broken.size();
        result.Errors += errors.size();
        for (auto* group : {&external, &mail, &broken, &errors})
            for (const std::string& line : *group)
                lines.push_back(line);
    };
    open(0, "");
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.NextChild == static_cast<size_t>(-1)) {
            stack.pop_back();
            continue;
        }
        if (frame.NextChild < childCount(frame.Page)) {
            const int child =
                static_cast<int>(children[childBegin[frame.Page] + frame.NextChild++]);
            const std::string base = frame.Base;
            open(child, base);
            continue;
        }
        findings(frame.Words);
        lines.push_back("<POP>");
        stack.pop_back();
    }
    lines.push_back("<END>");
}

MapFileWriter::~MapFileWriter() {
    if (File) {
        std::fclose(File);
        std::remove(Temporary.c_str());
    }
}

bool MapFileWriter::Open(const std::string& path, std::string& error) {
    Path = path;
    Temporary = path + ".part";
    File = std::fopen(Temporary.c_str(), "wb");
    if (!File) {
        error = "Cannot create file " + Temporary;
        return false;
    }
    return true;
}

void MapFileWriter::Line(const std::string& line) {
    if (!File || Failed)
        return;
    Failed = std::fwrite(line.data(), 1, line.size(), File) != line.size() ||
             std::fwrite("\r\n", 1, 2, File) != 2;
}

bool MapFileWriter::Close(std::string& error) {
    if (!File)
        return false;
    const bool closed = std::fclose(File) == 0;
    File = nullptr;
    if (Failed || !closed) {
        std::remove(Temporary.c_str());
        error = "Cannot write file " + Temporary;
        return false;
    }
    if (std::rename(Temporary.c_str(), Path.c_str()) != 0) {
        std::remove(Temporary.c_str());
        error = "Cannot create file " + Path;
        return false;
    }
    return true;
}

bool WriteSiteMapFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error) {
    MapFileWriter file;
    if (!file.Open(path, error))
        return false;
    for (const std::string& line : lines)
        file.Line(line);
    return file.Close(error);
}

} // namespace vantora::webcharter
