// libFuzzer entry: any bytes, read as a map file, must either build a tree
// whose structure is sound or be refused, without crashing or hanging.
#include "SiteTree.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

using namespace vantora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList lines =
        SplitMapFile(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    // Half of the inputs get a sound header so the entry parsing is reached.
    if (size > 0 && (data[0] & 1))
        lines = QStringList{SiteMapMarker, QStringLiteral("<ROOT>http://f/")} + lines;
    SiteTree tree;
    const BuildResult result = ParseSiteMap(lines, tree);
    const int n = tree.Count();
    if (result.Outcome != BuildOutcome::Complete && result.Outcome != BuildOutcome::InvalidData &&
        n != 0)
        std::abort();
    for (int i = 0; i < n; ++i) {
        const int p = tree.Parent(i);
        if (p >= i || p < -1 || tree.Child(p, tree.Row(i)) != i)
            std::abort();
        (void)tree.FullUrl(i, i);
    }
    tree.Sort(true);
    if (int(tree.DisplayOrder().size()) != n)
        std::abort();
    return 0;
}
