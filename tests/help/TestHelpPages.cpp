// The help pages as a user meets them: every page the program opens exists,
// each renders in a real browser (headless Chromium) with every link and
// picture leading to something that exists, and the crawler sm maps the help
// folder served on 127.0.0.1 without a broken link.
#include "HelpLinks.h"
#include "SiteMapCheck.h"

#include <httplib.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <chrono>
#include <thread>

using namespace vantora;

namespace {

constexpr int SkipExitCode = 77;
bool BrowserMissing = false;

QString HelpDir() {
    return qEnvironmentVariable("VANTORA_BIN_DIR") + QStringLiteral("/Help");
}

// Every page the program can open: the tour, the contents and one per tool page.
QStringList ProgramPages() {
    QStringList pages{QStringLiteral("tour.htm"), QStringLiteral("index.htm")};
    for (int i = 0; !HelpPageOfToolPage(i).isEmpty(); ++i)
        pages << HelpPageOfToolPage(i);
    return pages;
}

QString Chromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

// The document as the browser built it, after parsing and styling.
QString DumpDom(const QString& browser, const QString& url, QString& problem) {
    QTemporaryDir profile;
    QProcess process;
    process.start(browser,
                  {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync", "--no-first-run",
                   "--user-data-dir=" + profile.path(), "--dump-dom", url});
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        problem = QStringLiteral("the browser did not finish");
        return QString();
    }
    if (process.exitCode() != 0)
        problem = QStringLiteral("the browser ended with %1: %2")
                      .arg(process.exitCode())
                      .arg(QString::fromUtf8(process.readAllStandardError().right(400)));
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList Attributes(const QString& dom, const QString& name) {
    QStringList values;
    const QRegularExpression pattern(QStringLiteral("\\s%1=\"([^\"]*)\"").arg(name));
    for (auto it = pattern.globalMatch(dom); it.hasNext();)
        values << it.next().captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return values;
}

// A local target (relative link, with an optional #fragment) checked against
// the folder: the file exists and, for a fragment, holds that id.
QString CheckLocalTarget(const QString& fromFile, const QString& link) {
    const QUrl url = QUrl(QUrl::fromLocalFile(fromFile)).resolved(QUrl(link));
    if (!url.isLocalFile())
        return QStringLiteral("leaves the help folder: ") + link;
    const QString target = url.toLocalFile();
    if (!QFileInfo(target).isFile())
        return QStringLiteral("no such file: ") + link;
    if (!QFileInfo(target).canonicalFilePath().startsWith(QDir(HelpDir()).canonicalPath()))
        return QStringLiteral("outside the help folder: ") + link;
    if (target.endsWith(QStringLiteral(".png")) && QImage(target).isNull())
        return QStringLiteral("not a readable picture: ") + link;
    if (url.hasFragment()) {
        QFile file(target);
        file.open(QIODevice::ReadOnly);
        if (!QString::fromUtf8(file.readAll())
                 .contains(QStringLiteral("id=\"%1\"").arg(url.fragment())))
            return QStringLiteral("no anchor for: ") + link;
    }
    return QString();
}

} // namespace

class TestHelpPages : public QObject {
    Q_OBJECT
  private slots:
    void everyPageTheProgramOpensExists();
    void pagesOpenInABrowserWithoutBrokenLinks_data();
    void pagesOpenInABrowserWithoutBrokenLinks();
    void smMapsTheHelpFolderWithoutBrokenLinks();
};

void TestHelpPages::everyPageTheProgramOpensExists() {
    const QStringList pages = ProgramPages();
    QCOMPARE(pages.size(), 10);
    for (const QString& page : pages) {
        const QString path = HelpDir() + QLatin1Char('/') + page;
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        // The URL the program hands to the browser names this very file.
        QCOMPARE(
            QUrl(HelpPageUrl(QFileInfo(HelpDir()).path() + QLatin1Char('/'), page)).toLocalFile(),
            path);
    }
}

void TestHelpPages::pagesOpenInABrowserWithoutBrokenLinks_data() {
    QTest::addColumn<QString>("page");
    for (const QString& page : QDir(HelpDir()).entryList({"*.htm"}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(page)) << page;
}

void TestHelpPages::pagesOpenInABrowserWithoutBrokenLinks() {
    QFETCH(QString, page);
    const QString browser = Chromium();
    if (browser.isEmpty()) {
        BrowserMissing = true;
        QSKIP("Chromium is not installed (Debian package chromium): the help pages were NOT "
              "opened in a browser");
    }
    const QString file = HelpDir() + QLatin1Char('/') + page;
    QString problem;
    const QString dom = DumpDom(browser, QUrl::fromLocalFile(file).toString(), problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // The browser parsed the page whole: its heading, main part and footer.
    QVERIFY2(dom.contains(QStringLiteral("<h1>")) && dom.contains(QStringLiteral("</main>")) &&
                 dom.contains(QStringLiteral("</footer>")),
             qPrintable(dom.left(300)));
    QVERIFY(dom.contains(QStringLiteral("<title>")));

    QStringList broken;
    int links = 0;
    for (const QString& name : {QStringLiteral("href"), QStringLiteral("src")}) {
        for (const QString& link : Attributes(dom, name)) {
            ++links;
            if (link.startsWith(QStringLiteral("#"))) {
                if (!dom.contains(QStringLiteral("id=\"%1\"").arg(link.mid(1))))
                    broken << link;
                continue;
            }
            const QString why = CheckLocalTarget(file, link);
            if (!why.isEmpty())
                broken << why;
        }
    }
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral("; "))));
    // Every page reaches every other through its navigation.
    for (const QString& other : ProgramPages())
        QVERIFY2(Attributes(dom, QStringLiteral("href")).contains(other), qPrintable(other));
    QVERIFY(links > 10);
}

void TestHelpPages::smMapsTheHelpFolderWithoutBrokenLinks() {
    httplib::Server server;
    QVERIFY(server.set_mount_point("/", HelpDir().toStdString()));
    const int port = server.bind_to_any_port("127.0.0.1");
    QVERIFY(port > 0);
    std::thread thread([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 200 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    QTemporaryDir folder;
    QProcess sm;
    sm.setWorkingDirectory(folder.path());
    sm.start(
        qEnvironmentVariable("VANTORA_BIN_DIR") + QStringLiteral("/sm"),
        {QStringLiteral("Search_URL=127.0.0.1:%1/index.htm").arg(port), QStringLiteral("--quiet")});
    const bool finished = sm.waitForFinished(120000);
    if (!finished)
        sm.kill();
    server.stop();
    thread.join();
    QVERIFY2(finished, "sm did not finish");

    const ReadMap map = ReadSiteMap(folder.filePath(QStringLiteral("sitemap.tmp")));
    QVERIFY2(map.Problem.isEmpty(), qPrintable(map.Problem));
    QStringList pages, faults;
    for (int i = 0; i < map.Nodes.size(); ++i) {
        const MapNode& node = map.Nodes[i];
        if (node.Tag == QLatin1String("PAGE"))
            pages << SiteTreeGetFullURL(map.Nodes, i, i);
        else if (node.Tag == QLatin1String("BROKEN") || node.Tag == QLatin1String("ERROR"))
            faults << node.Tag + QLatin1Char(' ') + node.Caption;
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    for (const QString& page : ProgramPages()) {
        bool found = false;
        for (const QString& url : pages)
            found = found || url.endsWith(QLatin1Char('/') + page);
        QVERIFY2(found, qPrintable(page + QStringLiteral(" not in ") + pages.join(' ')));
    }
}

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    TestHelpPages test;
    const int failures = QTest::qExec(&test, argc, argv);
    if (failures == 0 && BrowserMissing) {
        qWarning("Chromium is absent: the browser half of this test did not run.");
        return SkipExitCode;
    }
    return failures;
}

#include "TestHelpPages.moc"
