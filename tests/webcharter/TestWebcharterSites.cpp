// Runs the real sm against a real nginx on 127.0.0.1: redirects with the bodies a
// server writes, http to https on one port, a certificate authority the test makes
// and cookie walls.

#include "NginxSite.h"
#include "SiteMapCheck.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int ExitCode = -1;
    QString Errors;
    ReadMap Map;
};

Run RunSm(const QStringList& arguments) {
    Run run;
    QTemporaryDir folder;
    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.start(qEnvironmentVariable("VANTORA_BIN_DIR") + "/sm",
                  arguments + QStringList{"--quiet", "--timeout=5", "--verify-links"});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.Errors = "sm did not finish";
        return run;
    }
    run.ExitCode = process.exitCode();
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    run.Map = ReadSiteMap(folder.filePath("sitemap.tmp"));
    return run;
}

QStringList PageUrls(const ReadMap& map) {
    QStringList pages;
    for (int i = 0; i < map.Nodes.size(); ++i)
        if (map.Nodes[i].Tag == "PAGE")
            pages << SiteTreeGetFullURL(map.Nodes, i, i);
    pages.sort();
    return pages;
}

QStringList Findings(const ReadMap& map) {
    QStringList lines;
    for (const MapNode& node : map.Nodes)
        if (node.Tag != "PAGE")
            lines << "<" + node.Tag + ">" + node.Caption;
    lines.sort();
    return lines;
}

// Folder pages of the site every row serves, under whatever redirects lead there.
const std::map<std::string, std::string> Files = {
    {"/en/index.html", "<a href=a.html>a</a> <a href=/loop>loop</a>"},
    {"/en/a.html", "<p>a page</p>"},
    {"/docs/index.html", "<a href=/>home</a> <a href=/shop/>shop</a> <a href=a.html>a</a>"},
    {"/docs/a.html", "<p>a page</p>"},
    {"/shop/index.html", "<p>shop</p>"},
    {"/index.html", "<meta http-equiv=refresh content='0; url=/en/'><p>moved</p>"},
};

// Sends "/" to "/en/" as nginx writes a redirect: with an HTML body.
const char* const RootMoves = "location = / { return 301 /en/; }\n";
// Plain http on the https port is sent to https on the same port.
const char* const ToHttps = "error_page 497 =301 https://$http_host$request_uri;\n";
// A wall that sets the cookie and sends the browser back to the same URL.
const char* const CookieWall =
    "location /en/ { if ($cookie_consent != yes) {\n"
    "  add_header Set-Cookie \"consent=yes; Path=/\"; return 302 $request_uri; } }\n";
// A wall that sends the browser to a consent page, which sets the cookie and
// sends it back.
const char* const ConsentPage =
    "location = /consent { add_header Set-Cookie \"consent=yes; Path=/\"; return 302 /en/; }\n"
    "location /en/ { if ($cookie_consent != yes) { return 302 /consent; } }\n";

} // namespace

class TestWebcharterSites : public QObject {
    Q_OBJECT
  private slots:
    void realServer_data();
    void realServer();
};

void TestWebcharterSites::realServer_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("trustAuthority"); // sm is given the test's authority
    QTest::addColumn<QStringList>("pages");   // paths under http://127.0.0.1:PORT
    QTest::addColumn<QStringList>("findings");
    QTest::addColumn<int>("exitCode");
    const QStringList pages{"/en/", "/en/a.html"};
    QTest::newRow("root redirect with a body") << "/" << QString(RootMoves) << false << false
                                               << pages << QStringList{"<ERROR>$O/loop 404"} << 0;
    QTest::newRow("http to https on one port, https back to http is a loop")
        << "/"
        << QString(ToHttps) + RootMoves + "location = /loop { return 301 http://$http_host/loop; }"
        << true << true << pages << QStringList{"<BROKEN>$O/loop"} << 0;
    QTest::newRow("an authority the system does not know is refused")
        << "/" << QString(ToHttps) + RootMoves << true << false << QStringList{}
        << QStringList{"<BROKEN>$O/"} << 3;
    QTest::newRow("cookie wall on the same URL, over https")
        << "/" << QString(ToHttps) + RootMoves + CookieWall << true << true << pages
        << QStringList{"<ERROR>$O/loop 404"} << 0;
    QTest::newRow("consent page") << "/" << QString(RootMoves) + ConsentPage << false << false
                                  << pages << QStringList{"<ERROR>$O/loop 404"} << 0;
    QTest::newRow("a root that refreshes to another page")
        << "/" << QString() << false << false << QStringList{"/", "/en/", "/en/a.html"}
        << QStringList{"<ERROR>$O/loop 404"} << 0;
    // nginx sends "/docs" to "/docs/": the folder is the site, not the host
    QTest::newRow("a folder named without its final slash")
        << "/docs" << QString() << false << false << QStringList{"/docs/", "/docs/a.html"}
        << QStringList{"<LINK>$O/", "<LINK>$O/shop/"} << 0;
}

void TestWebcharterSites::realServer() {
    QFETCH(QString, root);
    QFETCH(QString, server);
    QFETCH(bool, tls);
    QFETCH(bool, trustAuthority);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, findings);
    QFETCH(int, exitCode);
    const NginxSite site(server.toStdString() + "root $ROOT;\n", Files, tls);
    QVERIFY2(site.Running, "nginx did not start");
    QStringList arguments{"Search_URL=127.0.0.1:" + QString::number(site.Port) + root};
    if (trustAuthority)
        arguments << "--ca-file=" + site.CaFile();
    const Run run = RunSm(arguments);
    QVERIFY2(run.Map.Problem.isEmpty(), qPrintable(run.Map.Problem + "\n" + run.Errors));
    QCOMPARE(run.ExitCode, exitCode);
    // Pages are listed under "http://" whatever the scheme that served them.
    QStringList expected;
    for (const QString& page : pages)
        expected << site.Origin() + page;
    QCOMPARE(PageUrls(run.Map), expected);
    expected.clear();
    for (const QString& line : findings)
        expected << QString(line).replace("$O", site.Origin());
    QCOMPARE(Findings(run.Map), expected);
}

QTEST_GUILESS_MAIN(TestWebcharterSites)
#include "TestWebcharterSites.moc"
