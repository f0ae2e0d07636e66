#pragma once
// The site map's nodes by the key of their full URLs, so that the nodes of
// a list of URLs are found without building the full URL of every node.
// The index holds a 64-bit hash of each node's key: a lookup hashes each
// wanted URL's key, and a node whose hash agrees is taken only when its key
// is the same text, so a collision of hashes never selects a wrong node.
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vantora {

class SiteTree;

// The key by which URLs are compared: the normal form (scheme and host in
// lower case, default port and fragment dropped) of the URL with white
// space around it dropped and "http://" put before it when it has no
// scheme. A URL already in normal form is taken as it is, without parsing.
// The key is written to buffer; the view returned points into it.
std::string_view UrlKey(QStringView url, std::string& buffer);

class SiteUrlIndex {
  public:
    // Trees of at least this many nodes are indexed on a thread of their
    // own; smaller ones at once.
    static constexpr int BackgroundNodes = 10000;

    SiteUrlIndex();
    ~SiteUrlIndex(); // ends a build in progress
    SiteUrlIndex(const SiteUrlIndex&) = delete;
    SiteUrlIndex& operator=(const SiteUrlIndex&) = delete;

    // Drops the index of the tree before and indexes tree: a large tree on
    // another thread, which reads it until the build ends or Drop is called.
    // The tree must stay as it is until then: it is replaced or emptied only
    // after Drop, sorted only after WaitForBuild.
    void Rebuild(const SiteTree& tree);
    // Ends a build in progress and forgets the index; a build ended so, or of
    // a tree since dropped, never answers.
    void Drop();
    // Waits until a build in progress is done.
    void WaitForBuild();

    // The nodes of tree (the tree last given to Rebuild) whose full URLs
    // have the key of one of urls, each once, in view order. A build in
    // progress is waited for up to waitMs (about what the build of a
    // million plain nodes takes; a tree of long URLs takes longer, and its
    // lookups meanwhile are better served by the walk); nothing when the
    // index is not ready by then (or was built for a tree of another size).
    std::optional<std::vector<int>> Find(const SiteTree& tree, const QStringList& urls,
                                         int waitMs = 250) const;

    // Whether the index of the tree last given is built.
    bool IsReady() const;
    // The bytes the index holds.
    std::size_t MemoryBytes() const;

  private:
    struct Table;
    struct Shared;
    static std::shared_ptr<const Table> Build(const SiteTree& tree,
                                              const std::atomic<bool>& cancel);

    std::shared_ptr<Shared> State;
    std::thread Builder;
};

} // namespace vantora
