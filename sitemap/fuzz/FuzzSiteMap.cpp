// libFuzzer entry: any bytes, read as a map file, must either build a tree
// whose structure is sound or be refused, without crashing or hanging; read
// from a file in small pieces they must give the lines of the whole split.
#include "SiteTree.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <cstdint>
#include <cstdlib>

using namespace vantora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QStringList lines = SplitMapFile(bytes);
    {
        static QTemporaryFile file;
        if (!file.isOpen() && !file.open())
            std::abort();
        if (!file.resize(0) || !file.seek(0) || file.write(bytes) != bytes.size() || !file.flush())
            std::abort();
        const MapReadResult read = ReadMapFile(file.fileName(), MapLimits(), {}, 1 + size % 7);
        if (read.Status != MapReadStatus::Ok || read.Lines != lines)
            std::abort();
    }
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
