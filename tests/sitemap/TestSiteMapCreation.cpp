// Update Site Map against a scripted launcher and against a small stand-in
// applet started as a real detached process.
#include "FakeSiteMapHost.h"
#include "ProcessLauncher.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

#include <sys/time.h>

using namespace vantora;
using namespace vantora::test;

namespace {

// Writes Output into the working folder's sitemap.tmp when started.
class FakeLauncher : public ProcessLauncher {
  public:
    QByteArray Output;
    QByteArray Log;        // written to the error file set before the start
    QByteArray NotChecked; // the applet's list of links not checked
    QString ErrorFile;
    bool Fail = false;
    bool Running = true;
    QStringList Calls;
    QStringList WorkingDirs;
    QList<qint64> Ended;
    qint64 Start(const QString& program, const QStringList& arguments,
                 const QString& workingDir) override {
        Calls << program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
        WorkingDirs << workingDir;
        if (Fail)
            return 0;
        if (!Output.isNull()) {
            QFile f(QDir(workingDir).filePath(QStringLiteral("sitemap.tmp")));
            f.open(QIODevice::WriteOnly);
            f.write(Output);
        }
        if (!NotChecked.isNull()) {
            QFile f(QDir(workingDir).filePath(QStringLiteral("notchecked.txt")));
            f.open(QIODevice::WriteOnly);
            f.write(NotChecked);
        }
        if (!ErrorFile.isEmpty()) {
            QFile f(ErrorFile);
            f.open(QIODevice::WriteOnly);
            f.write(Log);
        }
        return 42;
    }
    void SetErrorFile(const QString& path) override { ErrorFile = path; }
    void End(qint64 id) override { Ended << id; }
    bool IsRunning(qint64) override { return Running; }
};

const QByteArray GoodMap = "<ROOT>http://site.test/\r\n<PAGE>http://site.test/\r\n<PUSH>\r\n"
                           "<PAGE>a.html\r\n<POP>\r\n<END>\r\n";

struct Fixture {
    QTemporaryDir Dir;
    FakeSiteMapHost Host;
    SiteMapController Tree{Host};
    FakeLauncher Launcher;
    SiteMapCreator Creator{Host, Tree, Launcher, Dir.path(), Dir.path()};
    Fixture() {
        Host.Data.RootHost = QStringLiteral("site.test");
        Host.Data.RootPath = QStringLiteral("/");
        Host.Data.SiteMapLines =
            QStringList{"WEBCHARTER", "<ROOT>http://old.test/", "<PAGE>http://old.test/"};
        Creator.StartPauseMs = 20;
        Creator.PollIntervalMs = 100;
    }
    QString File(const char* name) const { return Dir.filePath(QLatin1String(name)); }
};

} // namespace

class TestSiteMapCreation : public QObject {
    Q_OBJECT
  private slots:
    void outputComplete_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("complete");
        QTest::newRow("end") << QStringList{"<ROOT>x", "<END>"} << true;
        QTest::newRow("end with blank") << QStringList{"<ROOT>x", "<END> "} << false;
        QTest::newRow("end lower case") << QStringList{"<ROOT>x", "<end>"} << false;
        QTest::newRow("still writing") << QStringList{"<ROOT>x", "<PAGE>y"} << false;
        QTest::newRow("unspecified host") << QStringList{"Unspecified Host"} << true;
        QTest::newRow("nothing") << QStringList{} << false;
    }
    void outputComplete() {
        QFETCH(QStringList, lines);
        QFETCH(bool, complete);
        QCOMPARE(SiteMapOutputComplete(lines), complete);
    }

    void loadsTheMap_data() {
        QTest::addColumn<QString>("render"); // the project's "Render JavaScript"
        QTest::addColumn<QString>("option"); // what the applet is given for it
        QTest::newRow("not set") << ""
                                 << "";
        QTest::newRow("off") << "off"
                             << "";
        QTest::newRow("auto") << "auto"
                              << " --render=auto";
        QTest::newRow("on") << "on"
                            << " --render=on";
        QTest::newRow("another version's value") << "smart"
                                                 << "";
    }
    void loadsTheMap() {
        QFETCH(QString, render);
        QFETCH(QString, option);
        Fixture f;
        f.Host.Data.RenderMode = render;
        f.Launcher.Output = GoodMap;
        QSignalSpy info(&f.Creator, &SiteMapCreator::ShowInfoWindow);
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Launcher.Calls,
                 QStringList{QDir(f.Dir.path()).filePath("sm") +
                             " Search_URL=site.test/ --not-checked=" +
                             f.Launcher.WorkingDirs.value(0) + "/notchecked.txt" + option});
        QCOMPARE(f.Host.Data.SiteMapLines.first(), QStringLiteral("WEBCHARTER"));
        QCOMPARE(f.Host.Data.SiteMapLines.size(), 7);
        QCOMPARE(f.Tree.NodeCount(), 2);
        QCOMPARE(f.Host.Status, MsgMapComplete);
        QCOMPARE(f.Host.StatusHistory.first(), MsgMapCreating);
        QCOMPARE(f.Host.BusyHistory, (QList<bool>{true, false}));
        QCOMPARE(f.Host.Modified, 1);
        QCOMPARE(info.count(), 1);
        QVERIFY(!QFile::exists(f.File("sitemap.tmp")));
        QVERIFY(!QFile::exists(f.File("sitemap.map")));
        QVERIFY(f.Host.Boxes.Asked.isEmpty());
    }

    // A journal of a stopped crawl beside the project: continue it, start
    // over without it, or do nothing; without one nothing is asked. The
    // applet always keeps a journal, so that a crawl stopped now can be
    // continued next time.
    void stoppedCrawlIsOffered_data() {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("journalKept");
        QTest::newRow("no journal") << false << int(MsgAnswer::Yes) << true << false;
        QTest::newRow("Yes continues") << true << int(MsgAnswer::Yes) << true << true;
        QTest::newRow("No starts over") << true << int(MsgAnswer::No) << true << false;
        QTest::newRow("Cancel does nothing") << true << int(MsgAnswer::Cancel) << false << true;
    }
    void stoppedCrawlIsOffered() {
        QFETCH(bool, journal);
        QFETCH(int, answer);
        QFETCH(bool, started);
        QFETCH(bool, journalKept);
        Fixture f;
        f.Host.Journal = f.File("site.zpr.resume");
        if (journal) {
            QFile file(f.Host.Journal);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("answers") == 7);
        }
        f.Host.Boxes.Answers.enqueue(MsgAnswer(answer));
        f.Launcher.Output = GoodMap;
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Host.Boxes.Asked.size(), journal ? 1 : 0);
        if (journal) {
            QCOMPARE(f.Host.Boxes.Asked.first().Text, MsgContinueCrawl);
            QCOMPARE(f.Host.Boxes.Asked.first().Buttons, MsgButtons::YesNoCancel);
        }
        QCOMPARE(QFile::exists(f.Host.Journal), journalKept);
        if (!started) {
            QVERIFY(f.Launcher.Calls.isEmpty());
            QCOMPARE(f.Host.Data.SiteMapLines.size(), 3);
            return;
        }
        QCOMPARE(f.Launcher.Calls, QStringList{QDir(f.Dir.path()).filePath("sm") +
                                               " Search_URL=site.test/ --resume=" + f.Host.Journal +
                                               " --not-checked=" + f.Launcher.WorkingDirs.value(0) +
                                               "/notchecked.txt"});
        QCOMPARE(f.Tree.NodeCount(), 2);
    }

    void appletReport_data() {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QStringList>("leftOut");
        QTest::newRow("progress, the last one counts")
            << QList<QByteArray>{"sm: 3 pages done, 9 queued, 0 broken\n",
                                 "sm: robots.txt of h: 2 rule(s)\nsm: 8 pages done, 4 queued, 1 "
                                 "broken\n"}
            << "8 pages done, 4 queued, 1 broken" << QStringList{};
        QTest::newRow("lines split between reads")
            << QList<QByteArray>{"sm: 5 pages do", "ne, 0 queued, 0 broken\nsm: left out: 12 pa",
                                 "ge(s) beyond the page limit of 5\r\nsm: left out: half"}
            << "5 pages done, 0 queued, 0 broken"
            << QStringList{"12 page(s) beyond the page limit of 5"};
        QTest::newRow("other output ignored")
            << QList<QByteArray>{"left out: x\nwarning: 1 pages done, 2\n"} << QString()
            << QStringList{};
    }
    void appletReport() {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QString, progress);
        QFETCH(QStringList, leftOut);
        AppletReport report;
        for (const QByteArray& more : reads)
            report.Read(more);
        QCOMPARE(report.Progress, progress);
        QCOMPARE(report.LeftOut, leftOut);
    }

    void mapLeavingThingsOutSaysWhat_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QByteArray>("notChecked"); // the applet's list
        QTest::addColumn<bool>("box");
        QTest::addColumn<QString>("text"); // of the information box
        QTest::newRow("whole site") << QByteArray("sm: 2 pages done, 0 queued, 0 broken\n")
                                    << QByteArray() << false << QString();
        QTest::newRow("limit and robots.txt")
            << QByteArray("sm: 2 pages done, 0 queued, 0 broken\n"
                          "sm: left out: 7 page(s) beyond the page limit of 2\n"
                          "sm: left out: 3 URL(s) excluded by the site's robots.txt\n")
            << QByteArray() << true
            << QString("The site map does not hold the whole site. Left out:\r\r- 7 page(s) "
                       "beyond the page limit of 2\r- 3 URL(s) excluded by the site's robots.txt");
        QTest::newRow("links not checked, apart")
            << QByteArray("sm: 2 pages done, 0 queued, 0 broken\n"
                          "sm: left out: 1 link(s) not checked: answered 403 (refused)\n")
            << QByteArray("403\thttp://cdn.test/x\r\n0\thttp://site.test/later\r\n") << true
            << QString("The site map does not hold the whole site. Left out:\r\r- 1 link(s) not "
                       "checked: answered 403 (refused)\r\rLinks not checked (a login, a refusal "
                       "or a rate limit; they are "
                       "not broken links):\r\r- http://cdn.test/x (answered 403)\r- "
                       "http://site.test/later (not asked)");
    }
    void mapLeavingThingsOutSaysWhat() {
        QFETCH(QByteArray, log);
        QFETCH(QByteArray, notChecked);
        QFETCH(bool, box);
        QFETCH(QString, text);
        Fixture f;
        f.Launcher.Output = GoodMap;
        f.Launcher.Log = log;
        f.Launcher.NotChecked = notChecked;
        QSignalSpy progress(&f.Creator, &SiteMapCreator::AppletProgress);
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Tree.NodeCount(), 2);
        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.first().first().toString(), "2 pages done, 0 queued, 0 broken");
        QVERIFY(
            f.Host.StatusHistory.contains(MsgMapCreating + "  2 pages done, 0 queued, 0 broken"));
        QCOMPARE(f.Host.Status, MsgMapComplete);
        if (!box) {
            QVERIFY(f.Host.Boxes.Asked.isEmpty());
            return;
        }
        QCOMPARE(f.Host.Boxes.Asked.size(), 1);
        QCOMPARE(f.Host.Boxes.Asked.first().Kind, MsgKind::Information);
        QCOMPARE(f.Host.Boxes.Asked.first().Text, text);
    }

    // The applet's list of links not checked, as the information box shows it.
    void notCheckedMessage_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("items"); // the text after the heading, "" for no text
        QTest::newRow("none") << QByteArray() << 20 << QString();
        QTest::newRow("not lines of the list")
            << QByteArray("junk\r\n\thttp://x/\r\nabc\thttp://y/\r\n403\t\r\n") << 20 << QString();
        QTest::newRow("answers and links never asked")
            << QByteArray("401\thttp://a.test/\r\n429\thttp://b.test/\r\n0\thttp://c.test/") << 20
            << QString("\r- http://a.test/ (answered 401)\r- http://b.test/ (answered 429)\r- "
                       "http://c.test/ (not asked)");
        QTest::newRow("more than shown, and those the applet did not list")
            << QByteArray("403\thttp://a.test/1\n403\thttp://a.test/2\n403\thttp://a.test/3\n"
                          "+\t5\n")
            << 2
            << QString("\r- http://a.test/1 (answered 403)\r- http://a.test/2 (answered "
                       "403)\r- and 6 more");
    }
    void notCheckedMessage() {
        QFETCH(QByteArray, list);
        QFETCH(int, shown);
        QFETCH(QString, items);
        const QString text = NotCheckedMessage(list, shown);
        if (items.isEmpty()) {
            QCOMPARE(text, QString());
            return;
        }
        QCOMPARE(text.mid(text.indexOf(QStringLiteral(":\r")) + 2), items);
    }

    // A site the applet could not examine leaves the previous map, its tree
    // and the project untouched, and says so.
    void unspecifiedHostKeepsTheMap() {
        Fixture f;
        f.Tree.BuildSiteTree();
        const int nodes = f.Tree.NodeCount();
        QVERIFY(nodes > 0);
        const QStringList old = f.Host.Data.SiteMapLines;
        f.Launcher.Output = "<ROOT>http://site.test/\r\nUnspecified Host\r\n";
        f.Creator.ShowMapperInfo = false;
        QSignalSpy info(&f.Creator, &SiteMapCreator::ShowInfoWindow);
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Host.Boxes.Texts(), QStringList{MsgUnspecifiedHost});
        QCOMPARE(f.Host.Data.SiteMapLines, old);
        QCOMPARE(f.Tree.NodeCount(), nodes);
        QCOMPARE(f.Host.Modified, 0);
        QCOMPARE(f.Host.Status, MsgMapNotUpdated);
        QCOMPARE(f.Host.BusyHistory.last(), false);
        QCOMPARE(info.count(), 0);
    }

    // A large map is read off the window's thread with its progress in the
    // status bar; Stop ends the read, and a map beyond the limits is refused
    // with the limit named; either way the old map stays.
    void largeMap_data() {
        QTest::addColumn<int>("pages");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<qint64>("maxLines");
        QTest::addColumn<bool>("stopWhileRead");
        QTest::addColumn<QString>("message"); // empty: no message box
        const MapLimits standard;
        QTest::newRow("a million pages")
            << 1000000 << standard.MaxBytes << standard.MaxLines << false << QString();
        QTest::newRow("stopped while read")
            << 1000000 << standard.MaxBytes << standard.MaxLines << true << QString();
        QTest::newRow("beyond the bytes") << 100000 << qint64(1) << standard.MaxLines << false
                                          << "is 3 MB; the program opens files of this kind of "
                                             "up to 1 MB.";
        QTest::newRow("beyond the lines")
            << 100000 << standard.MaxBytes << qint64(5000) << false
            << "has more than 5,000 lines; the program holds site maps of up to 5,000 lines.";
    }
    void largeMap() {
        QFETCH(int, pages);
        QFETCH(qint64, maxBytes);
        QFETCH(qint64, maxLines);
        QFETCH(bool, stopWhileRead);
        QFETCH(QString, message);
        Fixture f;
        f.Creator.ShowMapperInfo = false;
        f.Creator.Limits.MaxBytes = maxBytes << 20;
        f.Creator.Limits.MaxLines = maxLines;
        QByteArray map = "<ROOT>http://site.test/\r\n<PAGE>http://site.test/\r\n<PUSH>\r\n";
        for (int i = 0; i < pages; ++i)
            map += "<PAGE>page" + QByteArray::number(i) + ".html\r\n";
        map += "<POP>\r\n<END>\r\n";
        f.Launcher.Output = map;
        const QStringList old = f.Host.Data.SiteMapLines;
        bool readShown = false;
        f.Host.OnStatus = [&](const QString& text) {
            if (text.startsWith(QStringLiteral("Reading the SiteMap ("))) {
                readShown = true;
                f.Host.Stop = f.Host.Stop || stopWhileRead;
            }
        };
        f.Creator.UpdateSiteMap();
        if (message.isEmpty() && !stopWhileRead) {
            QVERIFY(readShown);
            QCOMPARE(f.Host.Status, MsgMapComplete);
            QCOMPARE(f.Tree.NodeCount(), pages + 1);
            QVERIFY(f.Host.Boxes.Asked.isEmpty());
            return;
        }
        QCOMPARE(f.Host.Data.SiteMapLines, old);
        QCOMPARE(f.Host.Modified, 0);
        QCOMPARE(f.Launcher.Ended, QList<qint64>{42});
        if (stopWhileRead) {
            QVERIFY(readShown);
            QCOMPARE(f.Host.Status, MsgMapStopped);
            QVERIFY(f.Host.Boxes.Asked.isEmpty());
        } else {
            QCOMPARE(f.Host.Status, MsgMapError);
            QCOMPARE(f.Host.Boxes.Asked.size(), 1);
            QVERIFY2(f.Host.Boxes.Asked.first().Text.contains(message),
                     qPrintable(f.Host.Boxes.Asked.first().Text));
            QVERIFY(f.Host.Boxes.Asked.first().Text.endsWith(MsgMapNotUpdated));
        }
    }

    void startFailureKeepsTheOldMap() {
        Fixture f;
        f.Launcher.Fail = true;
        const QStringList old = f.Host.Data.SiteMapLines;
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Host.Status, MsgMapError);
        QCOMPARE(f.Host.Boxes.Asked.size(), 1);
        QCOMPARE(f.Host.Boxes.Asked.first().Kind, MsgKind::Warning);
        QCOMPARE(f.Host.Boxes.Asked.first().Text,
                 "Warning! The SiteMap could not be created.\rThis was due to an error while "
                 "attempting to execute the SiteMap applet '" +
                     QDir(f.Dir.path()).filePath("sm") + "'");
        QCOMPARE(f.Host.Data.SiteMapLines, old);
        QCOMPARE(f.Host.Modified, 0);
    }

    void nothingWithoutConnection() {
        Fixture f;
        f.Host.Connected = false;
        f.Creator.UpdateSiteMap();
        QVERIFY(f.Launcher.Calls.isEmpty());
        QVERIFY(f.Host.StatusHistory.isEmpty());
    }

    void stopEndsTheApplet() {
        Fixture f;
        f.Launcher.Output = "<ROOT>http://site.test/\r\n<PAGE>http://site.test/\r\n";
        const QStringList old = f.Host.Data.SiteMapLines;
        QTimer::singleShot(250, [&] { f.Host.Stop = true; });
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Launcher.Ended, QList<qint64>{42});
        QCOMPARE(f.Host.Data.SiteMapLines, old);
        QCOMPARE(f.Host.Status, MsgMapStopped);
        QCOMPARE(f.Host.BusyHistory.last(), false);
        // The applet was ended; its run folder goes with the run.
        QVERIFY(!QFileInfo::exists(f.Launcher.WorkingDirs.value(0)));
    }

    // Each run works in a folder of its own below the map folder, so two
    // programs mapping at once cannot read each other's output.
    void runsHaveFoldersOfTheirOwn() {
        Fixture f;
        f.Launcher.Output = GoodMap;
        // Another program's map in the shared folder, under the old names.
        QFile other(f.File("sitemap.tmp"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("<ROOT>http://other.test/\r\n<PAGE>http://other.test/\r\n<END>\r\n");
        other.close();
        f.Creator.UpdateSiteMap();
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Launcher.WorkingDirs.size(), 2);
        QVERIFY(f.Launcher.WorkingDirs[0] != f.Launcher.WorkingDirs[1]);
        for (const QString& dir : f.Launcher.WorkingDirs) {
            QCOMPARE(QFileInfo(dir).absolutePath(), QFileInfo(f.Dir.path()).absoluteFilePath());
            QVERIFY(!QFileInfo::exists(dir));
        }
        QCOMPARE(f.Host.Data.SiteMapLines.value(1), QStringLiteral("<ROOT>http://site.test/"));
        QVERIFY(QFile::exists(f.File("sitemap.tmp"))); // the other program's file is its own
    }

    // Folders of runs that ended without removing them (a killed program)
    // are removed at the next run; a folder another running program holds,
    // or one just made, is left alone.
    void abandonedRunFoldersAreRemoved_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lock"); // none, free (its holder ended), held
        QTest::addColumn<bool>("old");     // made over a minute ago
        QTest::addColumn<bool>("removed");
        QTest::newRow("lock left by an ended run") << "map-Ab12Cd"
                                                   << "free" << false << true;
        QTest::newRow("lock held by a running one") << "map-Ab12Cd"
                                                    << "held" << true << false;
        QTest::newRow("old folder without a lock") << "map-Ab12Cd"
                                                   << "none" << true << true;
        QTest::newRow("new folder without a lock") << "map-Ab12Cd"
                                                   << "none" << false << false;
        QTest::newRow("not a run folder's name") << "maps-Ab12Cd"
                                                 << "free" << true << false;
        QTest::newRow("name too short") << "map-Ab12"
                                        << "none" << true << false;
    }

    void abandonedRunFoldersAreRemoved() {
        QFETCH(QString, name);
        QFETCH(QString, lock);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        QTemporaryDir top;
        const QString run = QDir(top.path()).filePath(name);
        QVERIFY(QDir().mkpath(run + "/nested"));
        QFile leftover(run + "/sitemap.tmp");
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("<ROOT>http://site.test/\r\n");
        leftover.close();
        std::unique_ptr<RunFolderLock> holder;
        if (lock != QLatin1String("none")) {
            holder = std::make_unique<RunFolderLock>(run);
            QVERIFY(holder->IsHeld());
            if (lock == QLatin1String("free"))
                holder.reset();
        }
        if (old) {
            const timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
            QVERIFY(::utimes(QFile::encodeName(run).constData(), times) == 0);
        }
        QCOMPARE(RemoveAbandonedRunFolders(top.path()), removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(run), !removed);
    }

    void mapForAnotherRootIsRefused() {
        Fixture f;
        f.Launcher.Output = "<ROOT>http://other.test/\r\n<PAGE>http://other.test/\r\n<END>\r\n";
        const QStringList old = f.Host.Data.SiteMapLines;
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Host.Boxes.Texts(), QStringList{MsgInvalidData});
        QCOMPARE(f.Host.Data.SiteMapLines, old);
        QCOMPARE(f.Host.Modified, 0);
        QCOMPARE(f.Host.Status, MsgMapError);
        QCOMPARE(f.Host.BusyHistory.last(), false);
    }

    void mapIsForRoot_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("same");
        QTest::newRow("same") << "<ROOT>http://site.test/docs/" << true;
        QTest::newRow("host in capitals") << "<ROOT>http://SITE.test/docs/" << true;
        QTest::newRow("escaped blank") << "<ROOT>http://site.test/docs/a%20b" << false;
        QTest::newRow("other host") << "<ROOT>http://other.test/docs/" << false;
        QTest::newRow("other path") << "<ROOT>http://site.test/" << false;
        QTest::newRow("path in capitals") << "<ROOT>http://site.test/DOCS/" << false;
        QTest::newRow("no root line") << "<PAGE>http://other.test/" << true;
        QTest::newRow("failure marker") << "Unspecified Host" << true;
    }
    void mapIsForRoot() {
        QFETCH(QString, first);
        QFETCH(bool, same);
        QCOMPARE(MapIsForRoot({first, "<END>"}, "http://site.test/docs/"), same);
        QVERIFY(MapIsForRoot({"<ROOT>http://site.test/a%20b"}, "http://site.test/a b"));
    }

    void appletEndingUnfinishedIsReported() {
        Fixture f;
        f.Launcher.Output = "<ROOT>http://site.test/\r\n<PAGE>http://site.test/\r\n";
        f.Launcher.Running = false;
        const QStringList old = f.Host.Data.SiteMapLines;
        f.Creator.UpdateSiteMap();
        QCOMPARE(f.Host.Status, MsgMapError);
        QCOMPARE(f.Host.Boxes.Asked.size(), 1);
        QCOMPARE(f.Host.Data.SiteMapLines, old);
    }

    void projectChangedWhileMapping() {
        Fixture f;
        f.Launcher.Output = GoodMap;
        connect(&f.Creator, &SiteMapCreator::ShowInfoWindow, this, [&] { f.Host.Data.Clear(); });
        f.Creator.UpdateSiteMap();
        QVERIFY(f.Host.Data.SiteMapLines.isEmpty());
        QCOMPARE(f.Host.Modified, 0);
        QCOMPARE(f.Host.Status, MsgMapStopped);
    }

    // A real detached process: a stand-in applet that writes its map in two
    // steps, the second after a pause.
    void standInApplet() {
        Fixture f;
        QFile script(f.File("sm"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\n"
            "url=\"${1#Search_URL=}\"\n"
            "printf '<ROOT>http://%s\\r\\n<PAGE>http://%s\\r\\n' \"$url\" \"$url\" > sitemap.tmp\n"
            "sleep 0.3\n"
            "printf '<PUSH>\\r\\n<PAGE>b.html\\r\\n<POP>\\r\\n<END>\\r\\n' >> sitemap.tmp\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        DetachedProcessLauncher launcher;
        SiteMapCreator creator(f.Host, f.Tree, launcher, f.Dir.path(), f.Dir.path());
        creator.StartPauseMs = 20;
        creator.PollIntervalMs = 100;
        creator.UpdateSiteMap();
        QCOMPARE(f.Host.Data.SiteMapLines,
                 (QStringList{"WEBCHARTER", "<ROOT>http://site.test/", "<PAGE>http://site.test/",
                              "<PUSH>", "<PAGE>b.html", "<POP>", "<END>"}));
        QCOMPARE(f.Tree.Tree().FullUrl(1, 1), QStringLiteral("http://site.test/b.html"));
        QCOMPARE(f.Tree.Label(), QStringLiteral("http://site.test/"));
    }

    void realLauncherRefusesMissingProgram() {
        DetachedProcessLauncher launcher;
        QTemporaryDir dir;
        QCOMPARE(launcher.Start(dir.filePath("sm"), {}, dir.path()), 0);
        QVERIFY(!launcher.IsRunning(1));
    }

    // Work that outlasts the application's quit (the window closed while a
    // crawl is kept) is waited for without spinning. Last: the quit stays.
    void quittingWhileWorkRunsDoesNotSpin() {
        QCoreApplication::exit(0);
        int ticks = 0;
        QVERIFY(RunWhileHandlingMessages(
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }, [&] { ++ticks; },
            100));
        QVERIFY2(ticks <= 8, qPrintable(QString::number(ticks)));
    }
};

QTEST_MAIN(TestSiteMapCreation)
#include "TestSiteMapCreation.moc"
