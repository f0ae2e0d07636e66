// BuildSiteTree through the controller: messages, emptied lines, status
// texts, held-off rebuilds; the selection label, SelectedPages and Sort View.
#include "FakeSiteMapHost.h"
#include "Site.h"
#include "SiteMapController.h"
#include "SiteMapSelect.h"
#include "SiteTree.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <numeric>
#include <set>

using namespace vantora;
using namespace vantora::test;

namespace {
QStringList Map(const QStringList& entries) {
    return QStringList{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://site.test/")} +
           entries;
}

// A tree of 50 nodes: a root page with 44 pages, a mail, a broken link, a
// server error, an https link and an http link under it.
QStringList FiftyNodes() {
    QStringList e{"<PAGE>http://site.test/", "<PUSH>"};
    for (int i = 1; i <= 44; ++i)
        e << QStringLiteral("<PAGE>p%1.html").arg(i);
    e << "<MAILTO>mailto:me@site.test"
      << "<BROKEN>http://site.test/gone.html"
      << "<ERROR>http://site.test/bad.cgi 500"
      << "<LINK>https://secure.test/"
      << "<LINK>http://other.test/"
      << "<POP>"
      << "<END>";
    return Map(e);
}
} // namespace

class TestSiteMapController : public QObject {
    Q_OBJECT
    void Select(SiteMapController& c, const QList<int>& nodes) {
        QItemSelection selection;
        for (int n : nodes) {
            const QModelIndex i = c.Model()->IndexOf(n);
            selection.select(i, i);
        }
        c.Selection()->select(selection, QItemSelectionModel::ClearAndSelect);
    }

  private slots:
    // Selecting by URL passes most nodes over by their last path segment; it
    // must select exactly the nodes a comparison of every full URL selects.
    void selectByUrl_data() {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<int>("count");
        QTest::newRow("a page") << QStringList{"http://site.test/a.html"} << 1;
        QTest::newRow("without the scheme, host in capitals")
            << QStringList{"SITE.test/a.html"} << 1;
        QTest::newRow("the root") << QStringList{"http://site.test"} << 1;
        QTest::newRow("an escape") << QStringList{"http://site.test/%7Euser.html"} << -1;
        QTest::newRow("a fragment dropped") << QStringList{"http://site.test/c.html"} << -1;
        QTest::newRow("a folder and a page in it")
            << QStringList{"http://site.test/dir/", "http://site.test/dir/b.html"} << -1;
        QTest::newRow("a query") << QStringList{"http://site.test/q.php?id=2"} << 1;
        QTest::newRow("dot segments") << QStringList{"http://site.test/dir/../a.html"} << -1;
        QTest::newRow("a broken link, the same page twice")
            << QStringList{"http://site.test/gone.html", "http://site.test/gone.html#x"} << -1;
        QTest::newRow("none") << QStringList{"http://site.test/nothing.html"} << 0;
    }
    void selectByUrl() {
        QFETCH(QStringList, urls);
        QFETCH(int, count); // -1: whatever the plain comparison finds, at least one
        FakeSiteMapHost host;
        host.Data.SiteMapLines = Map(
            {"<PAGE>http://site.test/", "<PUSH>", "<PAGE>a.html", "<PAGE>%7Euser.html",
             "<PAGE>c.html#top", "<PAGE>q.php?id=2", "<PAGE>dir/", "<PUSH>", "<PAGE>dir/b.html",
             "<BROKEN>http://Site.test/gone.html", "<POP>", "<BROKEN>http://site.test/gone.html",
             "<LINK>http://other.test/a.html", "<POP>", "<END>"});
        SiteMapController c(host);
        c.BuildSiteTree();
        auto key = [](const QString& url) {
            const std::string text =
                url.contains("://") ? url.toStdString() : "http://" + url.toStdString();
            return health::NormalUrl(text);
        };
        std::set<std::string> wanted;
        for (const QString& url : urls)
            wanted.insert(key(url));
        QList<int> plain;
        for (int node = 0; node < c.NodeCount(); ++node)
            if (wanted.count(key(c.Tree().FullUrl(node, node))))
                plain << node;
        // Every node selected before: the lookup replaces that selection.
        std::vector<int> all(size_t(c.NodeCount()));
        std::iota(all.begin(), all.end(), 0);
        c.SelectOnly(all);
        QCOMPARE(c.SelectedCount(), c.NodeCount());
        QModelIndex first;
        QCOMPARE(SelectNodesByUrl(c, urls, &first), int(plain.size()));
        QCOMPARE(c.SelectedCount(), int(plain.size()));
        QCOMPARE(c.Label(), c.SelectedPages().isEmpty() ? QStringLiteral("(No valid selection)")
                                                        : QStringLiteral("Selected %1/%2")
                                                              .arg(c.SelectedPages().size())
                                                              .arg(c.NodeCount()));
        if (count >= 0)
            QCOMPARE(int(plain.size()), count);
        else
            QVERIFY(!plain.isEmpty());
        QList<int> selected;
        for (const QModelIndex& index : c.Selection()->selectedIndexes())
            selected << int(index.internalId());
        std::sort(selected.begin(), selected.end());
        QCOMPARE(selected, plain);
        QCOMPARE(first.isValid(), !plain.isEmpty());
    }

    void headerFailures_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message");
        QTest::newRow("unspecified host")
            << Map({"<PAGE>Unspecified Host"}) << QString(MsgUnspecifiedHost);
        QTest::newRow("no marker")
            << QStringList{"<ROOT>http://a/", "<PAGE>x"} << QString(MsgInvalidData);
        QTest::newRow("no root") << QStringList{"WEBCHARTER", "<PAGE>x"} << QString(MsgInvalidData);
    }
    void headerFailures() {
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        FakeSiteMapHost host;
        host.Data.SiteMapLines = lines;
        SiteMapController c(host);
        c.BuildSiteTree();
        QCOMPARE(host.Boxes.Texts(), QStringList{message});
        QCOMPARE(host.Boxes.Asked.first().Kind, MsgKind::Error);
        QVERIFY(host.Data.SiteMapLines.isEmpty());
        QCOMPARE(c.NodeCount(), 0);
    }

    void unknownTagKeepsLinesAndNodes() {
        FakeSiteMapHost host;
        QStringList entries{"<PAGE>http://site.test/", "<PUSH>"};
        for (int i = 0; i < 30; ++i)
            entries << QStringLiteral("<PAGE>p%1.html").arg(i);
        entries << "<page>lower.html"
                << "<PAGE>after.html";
        host.Data.SiteMapLines = Map(entries);
        const QStringList before = host.Data.SiteMapLines;
        SiteMapController c(host);
        c.BuildSiteTree();
        QCOMPARE(host.Boxes.Texts(), QStringList{MsgInvalidData});
        QCOMPARE(host.Data.SiteMapLines, before);
        QCOMPARE(c.NodeCount(), 31);
        QCOMPARE(c.Model()->rowCount(c.Model()->IndexOf(0)), 30);
        QCOMPARE(host.Status, QStringLiteral("Connected."));
        QCOMPARE(host.StatusHistory.first(),
                 QStringLiteral("Calculating Site Map Tree View (57.1% complete)..."));
        QCOMPARE(c.Label(), QStringLiteral("http://site.test/"));
        QVERIFY(!c.IsBuilding());
    }

    // A rebuild asked for during the progress step of a build is not started
    // inside it but carried out afterwards from the lines as they are then.
    void rebuildDuringBuildIsHeldOff() {
        FakeSiteMapHost host;
        QStringList entries;
        for (int i = 0; i < 60; ++i)
            entries << QStringLiteral("<PAGE>http://site.test/p%1.html").arg(i);
        host.Data.SiteMapLines = Map(entries);
        SiteMapController c(host);
        int depth = 0, maxDepth = 0, asks = 0;
        connect(&c, &SiteMapController::BuildingChanged, this, [&](bool on) {
            depth += on ? 1 : -1;
            maxDepth = qMax(maxDepth, depth);
        });
        host.OnStatus = [&](const QString& text) {
            if (text.startsWith(QLatin1String("Calculating")) && asks++ == 0) {
                host.Data.SiteMapLines = Map({"<PAGE>http://other.test/"});
                c.BuildSiteTree();
                QVERIFY(c.NodeCount() == 0);
            }
        };
        c.BuildSiteTree();
        QCOMPARE(maxDepth, 1);
        QCOMPARE(c.NodeCount(), 1);
        QCOMPARE(c.Tree().Caption(0).toString(), QStringLiteral("http://other.test/"));
    }

    // A project closed (or its root changed) during a build: the tree stays
    // empty with the label it was cleared to, and no message is shown.
    void clearDuringBuildDropsTheBuild() {
        FakeSiteMapHost host;
        QStringList entries;
        for (int i = 0; i < 60; ++i)
            entries << QStringLiteral("<PAGE>http://site.test/p%1.html").arg(i);
        entries << "<bad>";
        host.Data.SiteMapLines = Map(entries);
        SiteMapController c(host);
        host.OnStatus = [&](const QString& text) {
            if (text.startsWith(QLatin1String("Calculating")) && c.IsBuilding()) {
                host.Data.SiteMapLines.clear();
                c.ClearTree(QString());
            }
        };
        c.BuildSiteTree();
        QVERIFY(!c.IsBuilding());
        QCOMPARE(c.NodeCount(), 0);
        QCOMPARE(c.Model()->rowCount(), 0);
        QCOMPARE(c.Label(), QString());
        QVERIFY(host.Boxes.Asked.isEmpty());
        QCOMPARE(host.Status, QStringLiteral("Connected."));
        // The next build is whole again.
        host.Data.SiteMapLines = Map({"<PAGE>http://site.test/"});
        c.BuildSiteTree();
        QCOMPARE(c.NodeCount(), 1);
    }

    // The audit reads the window's tree only while it holds the nodes of the
    // project's present lines: any change to the lines, or a build running,
    // and it builds its own.
    void treeOfProjectLinesOnlyWhileInStep() {
        const struct {
            const char* Name;
            std::function<void(FakeSiteMapHost&, SiteMapController&)> Change;
            bool Given;
        } cases[] = {
            {"as built", [](FakeSiteMapHost&, SiteMapController&) {}, true},
            {"sorted", [](FakeSiteMapHost&, SiteMapController& c) { c.SetSorted(true); }, true},
            {"a line changed in place",
             [](FakeSiteMapHost& h, SiteMapController&) {
                 h.Data.SiteMapLines[3] = QStringLiteral("<PAGE>changed.html");
             },
             false},
            {"a line added",
             [](FakeSiteMapHost& h, SiteMapController&) {
                 h.Data.SiteMapLines << QStringLiteral("<END>");
             },
             false},
            {"replaced by equal lines",
             [](FakeSiteMapHost& h, SiteMapController&) { h.Data.SiteMapLines = FiftyNodes(); },
             false},
            {"emptied", [](FakeSiteMapHost& h, SiteMapController&) { h.Data.SiteMapLines.clear(); },
             false},
            {"tree cleared", [](FakeSiteMapHost&, SiteMapController& c) { c.ClearTree({}); },
             false},
            {"lines let go before a crawl replaces them",
             [](FakeSiteMapHost&, SiteMapController& c) { c.ReleaseLines(); }, false},
        };
        for (const auto& item : cases) {
            FakeSiteMapHost host;
            host.Data.SiteMapLines = FiftyNodes();
            SiteMapController c(host);
            c.BuildSiteTree();
            item.Change(host, c);
            QVERIFY2((c.TreeOfProjectLines() == &c.Tree()) == item.Given, item.Name);
        }
        // Not while a build runs.
        FakeSiteMapHost host;
        host.Data.SiteMapLines = FiftyNodes();
        SiteMapController c(host);
        c.BuildSiteTree();
        bool asked = false;
        host.OnStatus = [&](const QString& text) {
            if (text.startsWith(QLatin1String("Calculating")) && !asked) {
                asked = true;
                QVERIFY(!c.TreeOfProjectLines());
            }
        };
        QStringList entries;
        for (int i = 0; i < 60; ++i)
            entries << QStringLiteral("<PAGE>http://site.test/p%1.html").arg(i);
        host.Data.SiteMapLines = Map(entries);
        c.BuildSiteTree();
        QVERIFY(asked);
        QCOMPARE(c.TreeOfProjectLines(), &c.Tree());
    }

    // A caption of megabytes is shown cut; the tree and the full URL keep it.
    void longCaptionIsShownCut() {
        FakeSiteMapHost host;
        const QString tail = QString(10 << 20, u'a');
        host.Data.SiteMapLines = Map({"<PAGE>http://site.test/", "<PUSH>", "<PAGE>" + tail});
        SiteMapController c(host);
        c.BuildSiteTree();
        const QModelIndex child = c.Model()->index(0, 0, c.Model()->index(0, 0));
        const QString shown = child.data(Qt::DisplayRole).toString();
        QCOMPARE(shown.size(), SiteTreeModel::MaxShownCaption + 1);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QCOMPARE(child.data(Qt::ToolTipRole).toString(), shown);
        QCOMPARE(c.Tree().Caption(1).size(), tail.size());
        QCOMPARE(c.SiteTreeGetFullURL(1, 1), "http://site.test/" + tail);
        QCOMPARE(c.Model()->index(0, 0).data().toString(), QStringLiteral("http://site.test/"));
    }

    // Hosts of international names read in Unicode; the stored URL keeps
    // its xn-- form.
    void internationalHostsShownInUnicode_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("an outside link") << "<LINK>http://xn--fa-hia.example/seite"
                                         << QString::fromUtf8("http://fa\u00df.example/seite");
        QTest::newRow("a broken link")
            << "<BROKEN>http://xn--e1afmkfd.example/"
            << QString::fromUtf8("http://\u043f\u0440\u0438\u043c\u0435\u0440.example/");
        QTest::newRow("not a valid international name") << "<LINK>http://xn--zz.example/"
                                                        << "http://xn--zz.example/";
        QTest::newRow("an ordinary host") << "<LINK>http://plain.example/"
                                          << "http://plain.example/";
    }
    void internationalHostsShownInUnicode() {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        FakeSiteMapHost host;
        host.Data.SiteMapLines = Map({"<PAGE>http://site.test/", "<PUSH>", line});
        SiteMapController c(host);
        c.BuildSiteTree();
        const QModelIndex child = c.Model()->index(0, 0, c.Model()->index(0, 0));
        QVERIFY2(child.data(Qt::DisplayRole).toString().endsWith(shown),
                 qPrintable(child.data(Qt::DisplayRole).toString()));
        QCOMPARE(c.Tree().Caption(1).toString(), line.mid(line.indexOf('>') + 1));
    }

    void browserUrl_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("url");
        QTest::newRow("top") << 0 << "http://site.test/";
        QTest::newRow("folder") << 1 << "http://site.test/about/";
        QTest::newRow("below a relative folder") << 2 << "http://site.test/about/team.html";
        QTest::newRow("mail") << 3 << "mailto:me@site.test";
        QTest::newRow("other scheme") << 4 << "https://secure.test/x";
        QTest::newRow("absolute link") << 5 << "http://other.test/y";
        QTest::newRow("no such node") << 9 << "";
    }
    void browserUrl() {
        QFETCH(int, node);
        QFETCH(QString, url);
        FakeSiteMapHost host;
        host.Data.SiteMapLines =
            Map({"<PAGE>http://site.test/", "<PUSH>", "<PAGE>about/", "<PUSH>", "<PAGE>team.html",
                 "<MAILTO>mailto:me@site.test", "<POP>", "<LINK>https://secure.test/x",
                 "<LINK>http://other.test/y", "<POP>"});
        SiteMapController c(host);
        c.BuildSiteTree();
        QCOMPARE(c.NodeCount(), 6);
        QCOMPARE(c.BrowserUrl(node), url);
    }

    void selection_data() {
        QTest::addColumn<QList<int>>("nodes");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("label");
        QTest::newRow("three pages and a broken link")
            << QList<int>{46, 3, 0, 1}
            << QStringList{"http://site.test/", "http://site.test/p1.html",
                           "http://site.test/p3.html"}
            << "Selected 3/50";
        QTest::newRow("mail, broken, error only")
            << QList<int>{45, 46, 47} << QStringList{} << "(No valid selection)";
        QTest::newRow("https skipped, http link kept")
            << QList<int>{48, 49} << QStringList{"http://other.test/"} << "Selected 1/50";
    }
    void selection() {
        QFETCH(QList<int>, nodes);
        QFETCH(QStringList, pages);
        QFETCH(QString, label);
        FakeSiteMapHost host;
        host.Data.SiteMapLines = FiftyNodes();
        SiteMapController c(host);
        c.BuildSiteTree();
        QCOMPARE(c.NodeCount(), 50);
        QSignalSpy start(&c, &SiteMapController::StartButtonsEnabled);
        Select(c, nodes);
        QCOMPARE(c.SelectedPages(), pages);
        QCOMPARE(c.Label(), label);
        QCOMPARE(start.last().first().toBool(), !c.SelectedPages().isEmpty());
        QCOMPARE(c.SingleSelectedNode(), -1);
        // A rebuild drops the selection and with it the pages for the tools.
        c.BuildSiteTree();
        QVERIFY(c.SelectedPages().isEmpty());
        QCOMPARE(start.last().first().toBool(), false);
    }

    // A selection too large to mirror whole in Qt's ranges: the counts, the
    // label and the pages come from the flags; Qt's queries answer right for
    // the rows on screen and the current one; a Deselect and the base
    // class's clearSelection() reach every node.
    void largeSelection() {
        FakeSiteMapHost host;
        QStringList e{"<PAGE>http://site.test/", "<PUSH>"};
        for (int folder = 0; folder < 3; ++folder) {
            e << QStringLiteral("<PAGE>d%1/").arg(folder) << "<PUSH>";
            for (int i = 0; i < 1000; ++i)
                e << QStringLiteral("<PAGE>d%1/p%2.html").arg(folder).arg(i);
            e << "<MAILTO>mailto:me@site.test"
              << "<POP>";
        }
        e << "<POP>";
        host.Data.SiteMapLines = Map(e);
        SiteMapController c(host);
        c.BuildSiteTree();
        const int count = c.NodeCount();
        QCOMPARE(count, 1 + 3 * 1002);
        QVERIFY(count > SiteSelectionModel::MirrorWhole);
        QSignalSpy changed(c.Selection(), &QItemSelectionModel::selectionChanged);
        std::vector<int> all(static_cast<size_t>(count));
        std::iota(all.begin(), all.end(), 0);
        const int current = 2500;
        c.SelectOnly(all, c.Model()->IndexOf(current));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(c.SelectedCount(), count);
        QCOMPARE(c.Label(), QStringLiteral("Selected %1/%2").arg(count - 3).arg(count));
        QStringList pages;
        for (const int node : c.Tree().DisplayOrder())
            if (QString url; c.Tree().PageUrl(node, url))
                pages << url;
        QCOMPARE(c.SelectedPages(), pages);

        SiteSelectionModel* s = c.Selection();
        s->SetShownNodes({10, 11, 12});
        for (const int node : {10, 11, 12, current})
            QVERIFY(s->isSelected(c.Model()->IndexOf(node)));
        s->select(c.Model()->IndexOf(11), QItemSelectionModel::Deselect);
        QVERIFY(!s->isSelected(c.Model()->IndexOf(11)));
        QVERIFY(!s->IsNodeSelected(11));
        QCOMPARE(c.Label(), QStringLiteral("Selected %1/%2").arg(count - 4).arg(count));
        s->clearSelection();
        QCOMPARE(c.SelectedCount(), 0);
        QVERIFY(!s->hasSelection());
        QCOMPARE(c.Label(), QStringLiteral("(No valid selection)"));
        QVERIFY(c.SelectedPages().isEmpty());
    }

    void sortViewOffRestoresLineOrder() {
        FakeSiteMapHost host;
        host.Data.SiteMapLines = Map({"<PAGE>http://s/", "<PUSH>", "<PAGE>zz.html", "<PAGE>aa.html",
                                      "<PAGE>mm.html", "<POP>"});
        SiteMapController c(host);
        c.BuildSiteTree();
        QAbstractItemModel* m = c.Model();
        const QModelIndex root = m->index(0, 0);
        Select(c, {1});
        c.SetSorted(true);
        QCOMPARE(m->index(0, 0, root).data().toString(), QStringLiteral("aa.html"));
        QCOMPARE(m->index(2, 0, root).data().toString(), QStringLiteral("zz.html"));
        // The selection follows the node through the sort.
        QCOMPARE(c.SingleSelectedNode(), 1);
        QVERIFY(c.Selection()->isSelected(m->index(2, 0, root)));
        c.SetSorted(false);
        QVERIFY(!c.IsSorted());
        QCOMPARE(m->index(0, 0, m->index(0, 0)).data().toString(), QStringLiteral("zz.html"));
        QCOMPARE(m->index(1, 0, m->index(0, 0)).data().toString(), QStringLiteral("aa.html"));
        QCOMPARE(m->data(m->index(0, 0), SiteTreeModel::KindRole).toInt(), 0);
    }
};

QTEST_MAIN(TestSiteMapController)
#include "TestSiteMapController.moc"
