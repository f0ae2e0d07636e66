#pragma once
// The site map tree as a flat store: nodes are kept in line order, which is
// the depth-first order of the unsorted tree, each with its parent. The
// children of every node (and the top level) are held in one array so that a
// view can address them by row; sorting reorders only that array. The
// captions lie end to end in one text, a start for each node: a million
// nodes take a third of the memory strings of their own would.
#include "SiteMapFormat.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace vantora {

class SiteTree {
  public:
    static constexpr int MaxDepth = 255;

    int Count() const { return int(Kinds.size()); }
    bool IsEmpty() const { return Kinds.empty(); }
    void Clear();

    // Valid while the tree is neither changed nor destroyed (sorting leaves
    // it valid).
    QStringView Caption(int node) const {
        const size_t start = Starts[size_t(node)];
        return QStringView(Text.data() + start, qsizetype(Starts[size_t(node) + 1] - start));
    }
    NodeKind Kind(int node) const { return Kinds[size_t(node)]; }
    int Parent(int node) const { return Parents[size_t(node)]; } // -1 at the top level

    // Children in display order; parent -1 is the top level.
    int ChildCount(int parent) const;
    int Child(int parent, int row) const;
    int Row(int node) const { return Rows[size_t(node)]; }

    // Appends a node as the last child of parent (-1: top level). Finish()
    // must run before the child accessors are used.
    int Append(QStringView caption, NodeKind kind, int parent);
    void Finish();
    // Room for nodes holding captions of chars characters in all, so that a
    // large tree is built without copies of its arrays.
    void Reserve(size_t nodes, size_t chars);

    // Sorts every level by caption (locale-aware, case-insensitive) or, with
    // sorted false, restores line order.
    void Sort(bool sorted);

    // All nodes in the depth-first order of the view (line order unless sorted).
    std::vector<int> DisplayOrder() const;

    // The full URL of a node: an absolute caption (one holding "http://") is
    // taken as it is; a relative one is appended to the folder parts of its
    // ancestors up to the nearest absolute one. A top-level node without an
    // absolute caption stands for itself. target is the node asked for; its
    // own caption is used whole, an ancestor's only up to its last "/".
    QString FullUrl(int node, int target) const;

    // Calls each(node, url) with FullUrl(node, node) for the nodes in display
    // order that need(node) asks for, building each URL from its parent's
    // rather than walking up from every node: the same in time proportion
    // to the URLs' length however deep the tree.
    void ForEachFullUrl(const std::function<bool(int node)>& need,
                        const std::function<void(int node, const QString& url)>& each) const;

    // Whether a node counts as a page for the tools, and its URL if so.
    bool PageUrl(int node, QString& url) const;
    // Whether a node counts as a page, with its URL as FullUrl gives it.
    bool IsPage(int node) const;
    bool PageUrl(int node, const QString& fullUrl, QString& url) const;

  private:
    std::vector<char16_t> Text;
    std::vector<size_t> Starts{0}; // Caption(n) is Text[Starts[n]] .. Text[Starts[n + 1]]
    std::vector<NodeKind> Kinds;
    std::vector<int> Parents;
    std::vector<int> Rows;
    // ChildStart[p + 1] .. ChildStart[p + 2] index ChildList for parent p.
    std::vector<int> ChildStart;
    std::vector<int> ChildList;
};

enum class BuildOutcome {
    Empty,           // no lines: nothing to build
    UnspecifiedHost, // M1; the lines are to be emptied
    BadHeader,       // M2; the lines are to be emptied
    InvalidData,     // M2; the nodes before the bad line stay
    Complete
};

struct BuildResult {
    BuildOutcome Outcome = BuildOutcome::Empty;
    QString RootUrl;  // set unless the header failed
    int BadLine = -1; // the line index at fault for InvalidData
};

// Checks the marker line, the "<ROOT>" line and the failure text; Complete
// when they are sound, with the root URL filled in.
BuildResult CheckSiteMapHeader(const QStringList& lines);

// Parses lines into tree. progress is called for every line index that is a
// multiple of 20 before that line is handled (it may be empty).
BuildResult ParseSiteMap(const QStringList& lines, SiteTree& tree,
                         const std::function<void(int lineIndex)>& progress = {});

} // namespace vantora
