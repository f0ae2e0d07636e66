// Builds site map trees of 10,000, 100,000, 200,000 and 1,200,000 lines (a site
// of a million pages) in the site map panel (offscreen unless a display is
// given) and times a selection change of 1,000 nodes in the largest, and the
// program's peak memory; then Select All with its "Selected N/M" label and
// the lookups that select nodes by URL (the site-health page's "show in the
// site map") of 1,000 and of all pages, beside the plain way of finding each
// URL by walking every node; then "Full Expand", Select All and a repaint of
// the million-page map. Last a tree of a million nodes 255 levels deep:
// expanding all ("*", "Full Expand", beside Qt's own expandRecursively),
// Select All, repaints with everything selected, Shift+End over every row,
// the selected pages' URLs built for a tool, with the peak memory before and
// after. Prints the figures; never fails on a time.
#include "Dialogs.h"
#include "ProcessLauncher.h"
#include "ProjectData.h"
#include "ProjectFile.h"
#include "SiteMapController.h"
#include "SiteMapHost.h"
#include "SiteMapPanel.h"
#include "SiteMapSelect.h"
#include "SiteTree.h"
#include "SiteUrlIndex.h"

#include "Environment.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>
#include <cstdio>

using namespace vantora;

namespace {

class QuietDialogs : public Dialogs {
  public:
    MsgAnswer Message(MsgKind, const QString&, MsgButtons) override { return MsgAnswer::Ok; }
    QString OpenFileName(const FileDialogOptions&) override { return {}; }
    QString SaveFileName(const FileDialogOptions&) override { return {}; }
    void GeneralError(const QString&) override {}
};

class BenchHost : public SiteMapHost {
  public:
    QuietDialogs Boxes;
    ProjectData Data;
    QString Status;
    Dialogs& MessageBoxes() override { return Boxes; }
    ProjectData& Project() override { return Data; }
    void SetProjectModified() override {}
    QString StatusText() const override { return Status; }
    void SetStatusText(const QString& text) override { Status = text; }
    void SetBusyAnimation(bool) override {}
    bool StopRequested() const override { return false; }
    void SetStopRequested(bool) override {}
    bool CheckConnect() override { return true; }
};

class NoLauncher : public ProcessLauncher {
  public:
    qint64 Start(const QString&, const QStringList&, const QString&) override { return 0; }
    void End(qint64) override {}
    bool IsRunning(qint64) override { return false; }
};

class NoShell : public ShellLauncher {
  public:
    QString CommandTemplate(const QString&) override { return {}; }
    bool StartDetached(const QString&) override { return false; }
};

// A site of folders: each folder page holds 40 pages, some with links,
// mails, broken links and errors below them.
QStringList MakeMap(int lineCount) {
    QStringList lines{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://bench.test/"),
                      QStringLiteral("<PAGE>http://bench.test/"), QStringLiteral("<PUSH>")};
    int folder = 0;
    while (lines.size() < lineCount - 3) {
        lines << QStringLiteral("<PAGE>dir%1/").arg(folder) << QStringLiteral("<PUSH>");
        for (int p = 0; p < 40 && lines.size() < lineCount - 5; ++p) {
            lines << QStringLiteral("<PAGE>dir%1/page%2.html").arg(folder).arg(p);
            if (p % 10 == 0) {
                lines << QStringLiteral("<PUSH>")
                      << QStringLiteral("<LINK>http://other.test/%1").arg(p)
                      << QStringLiteral("<MAILTO>mailto:a%1@bench.test").arg(p)
                      << QStringLiteral("<BROKEN>http://bench.test/gone%1").arg(p)
                      << QStringLiteral("<ERROR>http://bench.test/e%1 500").arg(p)
                      << QStringLiteral("<POP>");
            }
        }
        lines << QStringLiteral("<POP>");
        ++folder;
    }
    lines << QStringLiteral("<POP>") << QStringLiteral("<END>");
    return lines;
}

void PrintPeakMemory(const char* when) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM"))
                std::printf("peak memory %s: %s\n", when, line.mid(6).trimmed().constData());
}

// The URL index the controller builds after each replacement, built again
// to time it: the part on the caller's thread and the whole.
void TimeUrlIndex(SiteMapController& c) {
    SiteUrlIndex index;
    QElapsedTimer timer;
    timer.start();
    index.Rebuild(c.Tree());
    const double startMs = double(timer.nsecsElapsed()) / 1e6;
    index.Find(c.Tree(), {}, 600000);
    std::printf("URL index of %d nodes: built in %.1f ms (%.1f ms of it on the caller's "
                "thread), %.1f MB\n",
                c.NodeCount(), double(timer.nsecsElapsed()) / 1e6, startMs,
                double(index.MemoryBytes()) / (1 << 20));
}

// A tree of a million nodes 255 levels deep: building, expanding all,
// selecting, scrolling, saving.
// With shot given, a picture of the panel is saved there, all selected and
// scrolled half way down.
void DeepTree(BenchHost& host, SiteMapPanel& panel, const QString& shot = {}) {
    SiteMapController& c = panel.Controller();
    // A tree of a million nodes 255 levels deep: chains of folders, each
    // folder one page inside the one before, 254 below the root.
    constexpr int Depth = 254;
    const int chains = 1000000 / Depth;
    QStringList lines{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://deep.test/"),
                      QStringLiteral("<PAGE>http://deep.test/"), QStringLiteral("<PUSH>")};
    for (int chain = 0; chain < chains; ++chain) {
        for (int level = 0; level < Depth; ++level)
            lines << QStringLiteral("<PAGE>c%1l%2/").arg(chain).arg(level)
                  << QStringLiteral("<PUSH>");
        for (int level = 0; level < Depth; ++level)
            lines << QStringLiteral("<POP>");
    }
    lines << QStringLiteral("<POP>") << QStringLiteral("<END>");
    host.Data.SiteMapLines = lines;
    QElapsedTimer timer;
    timer.start();
    panel.BuildSiteTree();
    QApplication::processEvents();
    std::printf("deep tree (%d levels): %d nodes built and shown in %.1f ms\n", Depth + 1,
                c.NodeCount(), double(timer.nsecsElapsed()) / 1e6);
    QTreeView* view = panel.Tree();
    timer.restart();
    // The peer: Qt's own way of expanding a node and all below it, which
    // the key "*" took before; the view lays its rows out when the events
    // are next handled.
    view->expandRecursively(view->model()->index(0, 0));
    const double expandMs = double(timer.nsecsElapsed()) / 1e6;
    QApplication::processEvents();
    std::printf("deep tree: peer, expandRecursively() on the root %.1f ms (%.1f ms marking the "
                "nodes expanded, %.1f ms laying out the rows)\n",
                double(timer.nsecsElapsed()) / 1e6, expandMs,
                double(timer.nsecsElapsed()) / 1e6 - expandMs);
    view->collapseAll();
    QApplication::processEvents();
    view->setCurrentIndex(view->model()->index(0, 0));
    c.Selection()->clearSelection();
    timer.restart();
    QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, QStringLiteral("*"));
    QApplication::sendEvent(view, &star);
    QApplication::processEvents();
    std::printf("deep tree: all expanded (\"*\" on the root) in %.1f ms\n",
                double(timer.nsecsElapsed()) / 1e6);
    timer.restart();
    panel.PopupMenu()->findChild<QAction*>(QStringLiteral("FullCollapseAction"))->trigger();
    QApplication::processEvents();
    std::printf("deep tree: \"Full Collapse\" in %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);
    QApplication::processEvents();
    timer.restart();
    // "Full Expand" of the pop-up menu.
    panel.PopupMenu()->findChild<QAction*>(QStringLiteral("FullExpandAction"))->trigger();
    QApplication::processEvents();
    std::printf("deep tree: \"Full Expand\" in %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);
    timer.restart();
    view->selectAll();
    QApplication::processEvents();
    const double allMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    view->viewport()->repaint();
    std::printf("deep tree: Select All in %.1f ms (label \"%s\"); a repaint %.1f ms\n", allMs,
                qPrintable(c.Label()), double(timer.nsecsElapsed()) / 1e6);
    timer.restart();
    view->scrollToBottom();
    view->viewport()->repaint();
    std::printf("deep tree: scrolled to the bottom and repainted in %.1f ms\n",
                double(timer.nsecsElapsed()) / 1e6);
    timer.restart();
    for (int step = 0; step < 20; ++step) {
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() * step / 20);
        view->viewport()->repaint();
    }
    std::printf("deep tree: 20 repaints over the whole height, all selected, %.1f ms each\n",
                double(timer.nsecsElapsed()) / 1e6 / 20);
    if (!shot.isEmpty()) {
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() / 2);
        QApplication::processEvents();
        std::printf("deep tree: picture %s\n", panel.grab().save(shot) ? "saved" : "NOT SAVED");
    }
    {
        // A click on the first row, then Shift+End: every row from there down.
        view->scrollToTop();
        QApplication::processEvents();
        const QModelIndex top = view->model()->index(0, 0);
        const QPoint at = view->visualRect(top).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view->viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
        QApplication::sendEvent(view->viewport(), &release);
        QApplication::processEvents();
        timer.restart();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ShiftModifier);
        QApplication::sendEvent(view, &end);
        QApplication::processEvents();
        std::printf("deep tree: a click on the first row, then Shift+End, in %.1f ms (label "
                    "\"%s\")\n",
                    double(timer.nsecsElapsed()) / 1e6, qPrintable(c.Label()));
    }
    PrintPeakMemory("before a tool asks for the selected pages");
    timer.restart();
    const qsizetype pages = c.SelectedPages().size();
    std::printf("deep tree: the %lld selected pages' URLs built (a tool starting) in %.1f ms\n",
                (long long)pages, double(timer.nsecsElapsed()) / 1e6);
    PrintPeakMemory("with those URLs built");
    c.Selection()->clearSelection();
    QApplication::processEvents();
    TimeUrlIndex(c);
    QStringList some;
    for (int chain = 0; chain < chains; chain += 100)
        some << c.Tree().FullUrl(chain * Depth + Depth, chain * Depth + Depth);
    timer.restart();
    const int found = SelectNodesByUrl(c, some);
    QApplication::processEvents();
    const double selectMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    const size_t walked = FindNodesByUrl(c.Tree(), some).size();
    std::printf("deep tree: select by URL, %lld URLs at the deepest level: %d nodes in "
                "%.1f ms; peer, the walk of every node's URL: %zu nodes in %.1f ms\n",
                (long long)some.size(), found, selectMs, walked,
                double(timer.nsecsElapsed()) / 1e6);
    timer.restart();
    view->viewport()->repaint();
    std::printf("deep tree: a repaint %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);
    const QString saved = QDir::temp().filePath(QStringLiteral("bench-deep-tree.zpr"));
    timer.restart();
    const bool wrote = WriteProjectFile(saved, host.Data).IsOk();
    const double saveMs = double(timer.nsecsElapsed()) / 1e6;
    ProjectData back;
    timer.restart();
    const bool read = ReadProjectFile(saved, back).IsOk() && back.SiteMapLines == lines;
    std::printf("deep tree: project saved in %.1f ms (%s), read back in %.1f ms (%s), "
                "%lld MB\n",
                saveMs, wrote ? "ok" : "FAILED", double(timer.nsecsElapsed()) / 1e6,
                read ? "same lines" : "DIFFERENT", (long long)(QFileInfo(saved).size() >> 20));
    QFile::remove(saved);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // "--deep [FILE]": only the deep tree (and its picture saved in FILE).
    const bool deepOnly = argc > 1 && QByteArray(argv[1]) == "--deep";
    BenchHost host;
    NoLauncher launcher;
    NoShell shell;
    SiteMapPanel panel(host, launcher, shell, QStringLiteral("/nonexistent"),
                       QStringLiteral("/tmp"));
    panel.resize(300, 700);
    panel.show();
    QApplication::processEvents();

    // With a file name as argument: a picture of a 3,000-line map, fully expanded.
    if (argc > 1 && !deepOnly) {
        host.Data.SiteMapLines = MakeMap(3000);
        panel.BuildSiteTree();
        panel.Tree()->expandAll();
        QApplication::processEvents();
        return panel.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    }

    SiteMapController& c = panel.Controller();
    if (deepOnly) {
        DeepTree(host, panel, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
        PrintPeakMemory("at the end");
        return 0;
    }
    std::printf("%-28s %10s %10s %12s\n", "site map", "lines", "nodes", "build ms");
    for (int size : {10000, 100000, 200000, 1200000}) {
        host.Data.SiteMapLines = MakeMap(size);
        QElapsedTimer timer;
        timer.start();
        panel.BuildSiteTree();
        panel.Tree()->expand(panel.Tree()->model()->index(0, 0));
        QApplication::processEvents(); // the first paint of the new tree
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        std::printf("%-28s %10lld %10d %12.1f\n", "build, shown",
                    (long long)host.Data.SiteMapLines.size(), panel.Controller().NodeCount(), ms);
    }

    // 1,000 nodes spread over the tree, each its own selection range.
    QItemSelection selection;
    const int step = c.NodeCount() / 1000;
    for (int i = 0; i < 1000; ++i) {
        const QModelIndex index = c.Model()->IndexOf(i * step);
        selection.select(index, index);
    }
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        c.Selection()->select(selection, QItemSelectionModel::ClearAndSelect);
        QApplication::processEvents();
        const double selectMs = double(timer.nsecsElapsed()) / 1e6;
        const long long pages = c.SelectedPages().size();
        const QString label = c.Label();
        timer.restart();
        c.Selection()->clearSelection();
        QApplication::processEvents();
        const double clearMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("select 1000 of %d nodes: %.1f ms (%lld pages, label \"%s\"); clear: %.1f ms\n",
                    c.NodeCount(), selectMs, pages, qPrintable(label), clearMs);
    }
    {
        QElapsedTimer timer;
        timer.start();
        panel.Tree()->selectAll();
        QApplication::processEvents();
        const double allMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        const QString label = c.Label();
        const double labelMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("Select All of %d nodes: %.1f ms; label \"%s\": %.1f ms\n", c.NodeCount(),
                    allMs, qPrintable(label), labelMs);
        c.Selection()->clearSelection();
        QApplication::processEvents();
    }
    {
        // The pages' URLs, every thousandth and then all.
        QStringList all;
        for (int node = 0; node < c.NodeCount(); ++node)
            if (QString url; c.Tree().PageUrl(node, url))
                all << url;
        QStringList some;
        for (qsizetype i = 0; i < all.size(); i += 1000)
            some << all[i];
        // Each after the one before, so the last replaces a selection of all
        // pages; the root's folders are expanded, so the view has many rows.
        panel.Tree()->expandToDepth(1);
        QApplication::processEvents();
        TimeUrlIndex(c);
        for (const QStringList* urls : {&some, &all, &some, &all}) {
            QElapsedTimer timer;
            timer.start();
            const int found = SelectNodesByUrl(c, *urls);
            QApplication::processEvents();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            timer.restart();
            const size_t nodes =
                c.UrlIndex().Find(c.Tree(), *urls).value_or(std::vector<int>{}).size();
            const double findMs = double(timer.nsecsElapsed()) / 1e6;
            timer.restart();
            const size_t walked = FindNodesByUrl(c.Tree(), *urls).size();
            const double walkMs = double(timer.nsecsElapsed()) / 1e6;
            timer.restart();
            panel.Tree()->viewport()->repaint();
            const double paintMs = double(timer.nsecsElapsed()) / 1e6;
            std::printf("select by URL, %lld URLs: %d nodes in %.1f ms, of which finding %zu "
                        "nodes by the index %.1f ms (label \"%s\"); a repaint %.1f ms\n",
                        (long long)urls->size(), found, ms, nodes, findMs, qPrintable(c.Label()),
                        paintMs);
            std::printf("peer, the walk of every node's URL: %zu nodes in %.1f ms\n", walked,
                        walkMs);
        }
        // The plain way, one walk of the nodes for each URL, on 20 URLs.
        QElapsedTimer timer;
        timer.start();
        int plain = 0;
        for (int i = 0; i < 20; ++i)
            for (int node = 0; node < c.NodeCount(); ++node)
                if (c.Tree().FullUrl(node, node) == some[i]) {
                    ++plain;
                    break;
                }
        const double plainMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("peer, one walk of all nodes per URL: 20 URLs (%d found) in %.1f ms, "
                    "so %.0f ms for 1000\n",
                    plain, plainMs, plainMs * 50);
        c.Selection()->clearSelection();
    }
    {
        // The million-page map fully expanded, all selected, repainted.
        panel.Tree()->collapseAll();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        panel.PopupMenu()->findChild<QAction*>(QStringLiteral("FullExpandAction"))->trigger();
        QApplication::processEvents();
        const double expandMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        panel.Tree()->selectAll();
        QApplication::processEvents();
        const double allMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        panel.Tree()->scrollToBottom();
        panel.Tree()->viewport()->repaint();
        std::printf("%d nodes: \"Full Expand\" %.1f ms; Select All %.1f ms (label \"%s\"); "
                    "scrolled to the bottom and repainted %.1f ms\n",
                    c.NodeCount(), expandMs, allMs, qPrintable(c.Label()),
                    double(timer.nsecsElapsed()) / 1e6);
        c.Selection()->clearSelection();
        panel.Tree()->collapseAll();
        QApplication::processEvents();
    }
    PrintPeakMemory("before the deep tree");
    DeepTree(host, panel);
    PrintPeakMemory("at the end");
    return 0;
}
