// The rank checker, the submitter and the link-back checker against stand-in
// search and submission services on 127.0.0.1, their answers read with the
// client's rules; the configuration file; and the link index across server
// restarts, fed by --index-site and shared by two processes.

#include "AuditReport.h"
#include "ClientRules.h"
#include "FetchPage.h"
#include "IndexSite.h"
#include "LinkIndex.h"
#include "ResultChecks.h"
#include "ServerConfig.h"
#include "Service.h"
#include "StandIns.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <sstream>

using namespace clientrules;
using namespace vantora;

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

std::string Ask(const ServiceConfig& config, const std::string& path, const std::string& query) {
    return HandleRequest("/cgi-bin/zeph/text_output/" + path, query, config).Body;
}

std::shared_ptr<const OffPageConfig> Parsed(const std::string& toml) {
    const ConfigLoad load = ParseServerConfig(toml, "test.toml");
    if (!load.Ok)
        qWarning("%s", load.Error.c_str());
    return load.Ok ? std::make_shared<OffPageConfig>(load.Config) : nullptr;
}

std::string LinkPage(const std::string& title, const std::string& body) {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

} // namespace

class OffPageTest : public QObject {
    Q_OBJECT

    SearchStandIn Search;
    SubmitStandIn Submit;
    PageSite Target;  // the user's site
    PageSite Linking; // another site, some of whose pages link back
    PageSite Partner; // a third site, known only to the link index
    QTemporaryDir Temp;

    std::string SearchTables() {
        const std::string s = Search.Url("");
        return "[search.searx]\nurl = \"" + s +
               "/search?q={query}&format=json&pageno={page}\"\n"
               "[search.brave]\nurl = \"" +
               s +
               "/res/v1/web/search?q={query}&count={count}&offset={page0}\"\n"
               "results = \"/web/results\"\nper_page = 5\nheader = \"X-Subscription-Token: " +
               SearchStandIn::Token +
               "\"\n"
               "[search.keyless]\nurl = \"" +
               s +
               "/res/v1/web/search?q={query}&count={count}&offset={page0}\"\n"
               "results = \"/web/results\"\n"
               "[search.slow]\nurl = \"" +
               s +
               "/slow?group=one&q={query}\"\ntimeout = 1\n"
               "[search.pair1]\nurl = \"" +
               s +
               "/slow?group=pair&q={query}\"\ntimeout = 1\n"
               "[search.pair2]\nurl = \"" +
               s +
               "/slow?group=pair&other={query}\"\ntimeout = 1\n"
               "[search.drip]\nurl = \"" +
               s +
               "/drip?q={query}&pageno={page}\"\ntimeout = 1\n"
               "[search.garbage]\nurl = \"" +
               s +
               "/garbage?q={query}\"\n"
               "[search.huge]\nurl = \"" +
               s +
               "/huge?q={query}\"\n"
               "[search.loop]\nurl = \"" +
               s + "/loop?q={query}\"\n" + "[search.forbidden]\nurl = \"" + s +
               "/forbidden?q={query}&format=json\"\n";
    }

  private slots:
    void initTestCase() {
        QVERIFY(Temp.isValid());
        Target.Put("/garden.html", LinkPage("Garden tools", "<p>Spades and forks.</p>"));
        Target.Put("/lonely.html", LinkPage("Nobody links here", "<p>Alone.</p>"));
    }

    // The rule that decides whether a found URL is the page.
    void pageIdentity_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("scheme") << "http://example.com/a"
                                << "https://example.com/a" << true;
        QTest::newRow("www") << "http://www.example.com/a"
                             << "http://example.com/a" << true;
        QTest::newRow("trailing slash") << "http://example.com/a/"
                                        << "http://example.com/a" << true;
        QTest::newRow("root") << "https://www.Example.com"
                              << "http://example.com/" << true;
        QTest::newRow("fragment") << "http://example.com/a#top"
                                  << "http://example.com/a" << true;
        QTest::newRow("other path") << "http://example.com/a"
                                    << "http://example.com/b" << false;
        QTest::newRow("other host") << "http://example.org/a"
                                    << "http://example.com/a" << false;
        QTest::newRow("sub host") << "http://shop.example.com/a"
                                  << "http://example.com/a" << false;
        QTest::newRow("other query") << "http://example.com/a?p=2"
                                     << "http://example.com/a?p=3" << false;
        QTest::newRow("other port") << "http://example.com:8080/a"
                                    << "http://example.com/a" << false;
    }
    void pageIdentity() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QVERIFY(!PageKey(a.toStdString()).empty());
        QCOMPARE(PageKey(a.toStdString()) == PageKey(b.toStdString()), same);
    }

    void configFile_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message"); // in the error, or in a warning when ok
        const QString search = "[search.a]\nurl = \"http://s.example/?q={query}\"\n";
        QTest::newRow("syntax") << search + "per_page = = 3\n" << false << "line 3";
        QTest::newRow("unknown backend") << search + "[rankscout]\nALTAVISTA = \"nope\"\n"
                                         << false << "line 4";
        QTest::newRow("number as text") << search + "per_page = \"ten\"\n" << false << "line 3";
        QTest::newRow("bad pointer") << search + "results = \"results\"\n" << false << "line 3";
        QTest::newRow("no query slot") << "[search.a]\nurl = \"http://s.example/\"\n"
                                       << false << "line 2";
        QTest::newRow("header without colon") << search + "header = \"X-Token\"\n"
                                              << false << "line 3";
        QTest::newRow("short key") << "[submit.i]\nkind = \"indexnow\"\nendpoint = "
                                      "\"http://i.example/indexnow\"\nkey = \"short\"\n"
                                   << false << "line 4";
        QTest::newRow("submit kind") << "[submit.i]\nkind = \"ping\"\n" << false << "line 2";
        QTest::newRow("backwatch backend") << "[backwatch]\nsearch = \"missing\"\n"
                                           << false << "line 2";
        QTest::newRow("unknown key warns") << search + "colour = \"blue\"\n"
                                           << true << "line 3: unknown key \"search.a.colour\"";
        QTest::newRow("unknown engine warns") << search + "[rankscout]\nGOOGLE = \"a\"\n"
                                              << true << "rankscout.GOOGLE";
        QTest::newRow("engine names ignore case") << search + "[rankscout]\naltavista = \"a\"\n"
                                                  << true << "";
    }
    void configFile() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        const ConfigLoad load = ParseServerConfig(text.toStdString(), "test.toml");
        QCOMPARE(load.Ok, ok);
        if (!ok) {
            QVERIFY2(Q(load.Error).contains(message), load.Error.c_str());
            return;
        }
        QString warnings;
        for (const auto& w : load.Warnings)
            warnings += Q(w) + "\n";
        if (message.isEmpty())
            QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
        else
            QVERIFY2(warnings.contains(message), qPrintable(warnings));
    }

    // The example installed with the server must itself be a valid file.
    void exampleFileReads() {
        const ConfigLoad load = LoadServerConfig(VANTORA_EXAMPLE_CONFIG);
        QVERIFY2(load.Ok, load.Error.c_str());
        QVERIFY2(load.Warnings.empty(), load.Warnings.empty() ? "" : load.Warnings[0].c_str());
        QCOMPARE(load.Config.RankEngines.at("HOTBOT"), std::string("brave"));
        QCOMPARE(load.Config.Searches.at("brave").ResultsPointer, std::string("/web/results"));
        QCOMPARE(load.Config.SubmitEngines.at("AltaVista"), std::string("indexnow"));
        QCOMPARE(load.Config.BackwatchSearch, std::string("searx"));
    }

    void rankscoutPositions() {
        // The site is named, so that it can also be written with www. (a www. before a
        // numeric address makes no URL).
        const std::string named = "http://localhost:" + std::to_string(Target.Port);
        const std::string page = named + "/garden.html";
        std::vector<std::string> searx;
        for (int i = 1; i <= 25; ++i)
            searx.push_back("http://other" + std::to_string(i) + ".example/");
        // Position 13, on the second page, written with www. and a slash.
        searx[12] = "https://www.localhost:" + std::to_string(Target.Port) + "/garden.html/";
        Search.SetResults("garden tools", searx);
        std::vector<std::string> brave(searx.begin(), searx.begin() + 12);
        brave[3] = page; // position 4
        Search.SetResults("garden tools brave", brave);

        ServiceConfig config;
        config.OffPage =
            Parsed(SearchTables() + "[rankscout]\ndepth = 20\nALTAVISTA = \"searx\"\nHOTBOT = "
                                    "\"brave\"\nEXCITE = \"slow\"\nINFOSEEK = \"garbage\"\n"
                                    "WEBCRAWLER = \"huge\"\nNORTHERNLIGHT = \"loop\"\nYAHOO = "
                                    "\"keyless\"\n");
        QVERIFY(config.OffPage);
        const std::string engines = "&altavista=1&hotbot=1&lycos=1&excite=1&infoseek=1&"
                                    "webcrawler=1&northernlight=1&yahoo=1&linkstar=1";
        const std::string answer =
            Ask(config, "rankscout-pt.cgi",
                "Search_URL=" + page + "&Search_Text=garden+tools" + engines + "&Detail=1");
        const Rankscout r = ReadRankscout(Q(answer));
        QVERIFY2(r.MarkerOk && !r.NotOpened, answer.c_str());
        QCOMPARE(r.Url, Q(page));
        QCOMPARE(r.Phrase, QString("garden tools"));
        QCOMPARE(r.Blocks.size(), 9);

        struct Expect {
            const char* Engine;
            const char* Position;
            const char* Note;
        };
        const Expect expected[] = {
            {"ALTAVISTA", "13", ""},
            {"HOTBOT", "13", ""}, // five a page: read on the third
            {"LYCOS", "0", "no search service is configured for LYCOS"},
            {"EXCITE", "0", "did not answer within 1 second"},
            {"INFOSEEK", "0", "not JSON"},
            {"WEBCRAWLER", "0", "more than 2 MB"},
            {"NORTHERNLIGHT", "0", "too many redirects"},
            {"YAHOO", "0", "answered with status 401"},
            {"LINKSTAR", "0", "no search service is configured"},
        };
        for (int i = 0; i < 9; ++i) {
            const RankBlock& block = r.Blocks[i];
            QCOMPARE(block.Engine, QString(expected[i].Engine));
            QVERIFY(block.HasMatch);
            QCOMPARE(block.Position, QString(expected[i].Position));
            const QString details = block.Details.join("\n");
            QVERIFY2(details.contains(expected[i].Note), qPrintable(block.Engine + ": " + details));
            // The audit reads the same number.
            QCOMPARE(AuditRank(r.Body, "<ENGINE>" + block.Engine), QString(expected[i].Position));
        }
        // With detail the top ten of a working engine are listed in order.
        const QStringList top = r.Blocks[0].Details;
        QCOMPARE(top.size(), 10);
        QCOMPARE(top[0], QString("1. http://other1.example/"));
        QVERIFY(top[9].startsWith("10. "));

        // The brave-style service, asked its own phrase, finds position 4.
        const Rankscout b = ReadRankscout(
            Q(Ask(config, "rankscout-pt.cgi",
                  "Search_URL=" + page + "&Search_Text=garden+tools+brave&hotbot=1&Detail=0")));
        QCOMPARE(b.Blocks.size(), 1);
        QCOMPARE(b.Blocks[0].Position, QString("4"));
        QVERIFY(b.Blocks[0].Details.isEmpty());
    }

    // Two slow services are waited on at the same time, not one after the other.
    void rankscoutAsksEnginesTogether() {
        ServiceConfig config;
        config.OffPage =
            Parsed(SearchTables() + "[rankscout]\nEXCITE = \"pair1\"\nINFOSEEK = \"pair2\"\n");
        QVERIFY(config.OffPage);
        const Rankscout r =
            ReadRankscout(Q(Ask(config, "rankscout-pt.cgi",
                                "Search_URL=" + Target.Url("/garden.html") +
                                    "&Search_Text=anything&excite=1&infoseek=1&Detail=0")));
        QCOMPARE(r.Blocks.size(), 2);
        QCOMPARE(Search.MaxConcurrentSlow("pair"), 2);
    }

    // A service that answers every page slowly is cut off by the search's
    // budget, and says so, instead of holding the answer page after page.
    void rankscoutSlowPagingIsCut() {
        ServiceConfig config;
        config.OffPage = Parsed(SearchTables() + "[rankscout]\ndepth = 200\nLYCOS = \"drip\"\n");
        const Rankscout r = ReadRankscout(Q(Ask(config, "rankscout-pt.cgi",
                                                "Search_URL=" + Target.Url("/garden.html") +
                                                    "&Search_Text=drip&lycos=1&Detail=0")));
        QCOMPARE(r.Blocks.size(), 1);
        QCOMPARE(r.Blocks[0].Position, QString("0"));
        QVERIFY2(r.Blocks[0].Details.join(" ").contains("took more than 3 seconds"),
                 qPrintable(r.Blocks[0].Details.join(" ")));
    }

    // Outside calls obey the server's private-address rule.
    void rankscoutPrivateAddressRefused() {
        Search.SetResults("private", {Target.Url("/garden.html")});
        ServiceConfig config;
        config.Fetch.AllowPrivateAddresses = false;
        config.OffPage = Parsed(SearchTables() + "[rankscout]\nALTAVISTA = \"searx\"\n");
        const Rankscout r = ReadRankscout(Q(Ask(config, "rankscout-pt.cgi",
                                                "Search_URL=" + Target.Url("/garden.html") +
                                                    "&Search_Text=private&altavista=1&Detail=1")));
        QCOMPARE(r.Blocks.size(), 1);
        QCOMPARE(r.Blocks[0].Position, QString("0"));
        QVERIFY(r.Blocks[0].Details.join(" ").contains("private or local"));
    }

    // A service's key never leaves its host, and a POST is never sent twice;
    // a name with a refused and an allowed address reaches the allowed one.
    void outsideCallsKeepTheirKeys_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("post");
        QTest::addColumn<int>("status");      // FetchStatus
        QTest::addColumn<QString>("arrived"); // "" none, else the key that arrived ("-" none)
        QTest::newRow("redirect on the same host keeps the key")
            << "here.test"
            << "here.test" << false << int(FetchStatus::Ok) << "k";
        QTest::newRow("redirect to another host drops it")
            << "here.test"
            << "elsewhere.test" << false << int(FetchStatus::Ok) << "-";
        QTest::newRow("redirected POST is not sent again")
            << "here.test"
            << "here.test" << true << int(FetchStatus::HttpError) << "";
        QTest::newRow("refused address, then an allowed one")
            << "twofold.test"
            << "twofold.test" << false << int(FetchStatus::Ok) << "k";
    }
    void outsideCallsKeepTheirKeys() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, post);
        QFETCH(int, status);
        QFETCH(QString, arrived);
        RedirectStandIn service;
        const std::string port = std::to_string(service.Port);
        FetchOptions options;
        options.Headers = {"X-Key: k"};
        options.Resolve = {"here.test:" + port + ":127.0.0.1",
                           "elsewhere.test:" + port + ":127.0.0.1",
                           "twofold.test:" + port + ":127.0.0.2,127.0.0.1"};
        // 127.0.0.2 stands for a private address, 127.0.0.1 for a public one.
        options.AllowPrivateAddresses = false;
        options.NonPublic = [](std::string_view a) { return a != "127.0.0.1"; };
        if (post)
            options.PostBody = "{}";
        const std::string landing = "http://" + to.toStdString() + ":" + port + "/seen";
        const FetchResult r =
            FetchPage("http://" + from.toStdString() + ":" + port + "/hop?to=" + landing, options);
        QCOMPARE(int(r.Status), status);
        const auto arrivals = service.Arrivals();
        if (arrived.isEmpty()) {
            QCOMPARE(int(arrivals.size()), 0);
            QVERIFY2(Q(r.Error).contains("not sent again"), r.Error.c_str());
            return;
        }
        QCOMPARE(int(arrivals.size()), 1);
        QCOMPARE(Q(arrivals[0].Method), QString("GET"));
        QCOMPARE(Q(arrivals[0].Key.empty() ? "-" : arrivals[0].Key), arrived);
    }

    void rankscoutNotOpened_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("notOpened");
        const QString page = Q(Target.Url("/garden.html"));
        QTest::newRow("no phrase")
            << "Search_URL=" + page + "&Search_Text=&altavista=1&Detail=0" << true;
        QTest::newRow("no page") << "Search_URL=&Search_Text=spades&altavista=1&Detail=0" << true;
        QTest::newRow("not http") << "Search_URL=ftp://x.example/&Search_Text=spades&altavista=1"
                                  << true;
        QTest::newRow("phrase too long")
            << "Search_URL=" + page + "&Search_Text=" + QString("word+").repeated(200) +
                   "&altavista=1&Detail=0"
            << true;
        QTest::newRow("no engine") << "Search_URL=" + page + "&Search_Text=spades&Detail=0" << true;
        QTest::newRow("phrase of the not-opened words")
            << "Search_URL=" + page +
                   "&Search_Text=Unspecified+Host+or+Keywords&altavista=1&Detail=0"
            << false;
        QTest::newRow("markup in the phrase")
            << "Search_URL=" + page + "&Search_Text=%3Cbr%3E%3CMATCH%3E7&altavista=1&Detail=0"
            << false;
    }
    void rankscoutNotOpened() {
        QFETCH(QString, query);
        QFETCH(bool, notOpened);
        ServiceConfig config;
        const std::string answer = Ask(config, "rankscout-pt.cgi", query.toStdString());
        const Rankscout r = ReadRankscout(Q(answer));
        QVERIFY(r.MarkerOk);
        QCOMPARE(r.NotOpened, notOpened);
        QVERIFY(answer.size() >= 4 && answer.compare(answer.size() - 4, 4, "<br>") == 0);
        if (!notOpened) {
            // Whatever the phrase holds, the one engine block reads as not configured.
            QCOMPARE(r.Blocks.size(), 1);
            QCOMPARE(r.Blocks[0].Position, QString("0"));
        }
    }

    void enginepost() {
        const std::string page = Target.Url("/garden.html");
        const std::string in = Submit.Url("/indexnow/");
        const std::string key = "abcdef0123456789";
        auto indexnow = [&](const char* name, const char* code) {
            return std::string("[submit.") + name + "]\nkind = \"indexnow\"\nendpoint = \"" + in +
                   code + "\"\nkey = \"" + key + "\"\n";
        };
        ServiceConfig config;
        config.OffPage = Parsed(
            indexnow("ok", "200") + indexnow("pending", "202") + indexnow("badkey", "403") +
            indexnow("offhost", "422") + indexnow("busy", "429") + indexnow("malformed", "400") +
            "[submit.form]\nkind = \"get\"\nurl = \"" + Submit.Url("/add") +
            "?u={url}&t={title}&d={desc}&k={keywords}&e={email}\"\n"
            "[enginepost]\nAltaVista = \"ok\"\nHotBot = \"pending\"\nLycos = \"badkey\"\n"
            "Excite = \"offhost\"\nInfoseek = \"busy\"\nPlanetSearch = \"malformed\"\n"
            "Xerus = \"ok\"\nZap = \"ok\"\nWhat-u-Seek = \"form\"\n");
        QVERIFY(config.OffPage);
        const std::string answer = Ask(
            config, "submit-pt.cgi",
            "url=" + page +
                "&altavista=on&hotbot=on&lycos=on&excite=on&infoseek=on&webcrawler=on&"
                "planetsearch=on&xerus=on&zap=on&whatuseek=on&title=Garden%20tools&desc=Spades%20"
                "and%20forks&keywords=garden%20tools&email=me@example.com");
        const Listing l = ReadEnginepost(Q(answer));
        QVERIFY2(l.MarkerOk && !l.NotOpened, answer.c_str());
        QCOMPARE(l.Url, Q(page));
        QCOMPARE(l.Lines.size(), 10);

        const QStringList succeeded = {"AltaVista", "HotBot", "Xerus", "Zap", "What-u-Seek"};
        for (const QString& engine : succeeded) {
            const QString line = "Successfully submitted " + Q(page) + " to " + engine;
            QVERIFY2(l.Body.contains(line), qPrintable(engine));
        }
        struct Failed {
            const char* Engine;
            const char* Says;
        };
        const Failed failed[] = {{"Lycos", "/abcdef0123456789.txt"},
                                 {"Excite", "(422)"},
                                 {"Infoseek", "(429"},
                                 {"Webcrawler", "no submission service is configured"},
                                 {"PlanetSearch", "(400)"}};
        for (const Failed& f : failed) {
            const auto it = std::find_if(l.Lines.begin(), l.Lines.end(), [&](const QString& line) {
                return line.contains(QString(" ") + f.Engine + ":");
            });
            QVERIFY2(it != l.Lines.end(), f.Engine);
            QVERIFY(!it->startsWith("Successfully"));
            QVERIFY2(it->contains(f.Says), qPrintable(*it));
            QVERIFY(!l.Body.contains(QString(" to ") + f.Engine + " "));
        }

        // One submission per service: Xerus, Zap and AltaVista share "ok".
        int toOk = 0;
        std::string formQuery;
        for (const auto& request : Submit.Requests()) {
            if (request.Path == "/indexnow/200") {
                ++toOk;
                const auto body = nlohmann::json::parse(request.Body);
                QCOMPARE(body["key"].get<std::string>(), key);
                QCOMPARE(body["urlList"][0].get<std::string>(), page);
                QCOMPARE(body["host"].get<std::string>(), std::string("127.0.0.1"));
            }
            if (request.Path == "/add") {
                const auto t = request.Params.find("t");
                const auto e = request.Params.find("e");
                QVERIFY(t != request.Params.end() && e != request.Params.end());
                QCOMPARE(t->second, std::string("Garden tools"));
                QCOMPARE(e->second, std::string("me@example.com"));
            }
        }
        QCOMPARE(toOk, 1);
    }

    // A batch of addresses to the configured IndexNow service: one post a
    // host, and the answer says plainly what happened.
    void indexnowBatch_data() {
        QTest::addColumn<QString>("service"); // the status the stand-in answers; "" none, "down"
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");      // the answer's start
        QTest::addColumn<QStringList>("posts"); // "host:addresses" of each post made
        const QString three = "http://a.example/1\n\nhttps://b.example/2\r\nhttp://a.example/3\n";
        QTest::newRow("accepted, two hosts")
            << "200" << three << 200 << "accepted 3: the submission service"
            << QStringList{"a.example:2", "b.example:1"};
        QTest::newRow("key pending")
            << "202" << three << 200 << "accepted 3:" << QStringList{"a.example:2", "b.example:1"};
        QTest::newRow("key refused")
            << "403" << three << 200 << "refused 403: the submission service"
            << QStringList{"a.example:2"};
        QTest::newRow("too many") << "429" << three << 200
                                  << "refused 429:" << QStringList{"a.example:2"};
        QTest::newRow("unreachable")
            << "down" << three << 200 << "failed: the submission" << QStringList{};
        QTest::newRow("not configured")
            << "" << three << 200 << "not-configured: " << QStringList{};
        QTest::newRow("not an address")
            << "200"
            << "http://a.example/\nmailto:x@y" << 400 << "The addresses could not be read: line 2"
            << QStringList{};
        QTest::newRow("nothing") << "200"
                                 << "\n \n"
                                 << 400 << "The addresses could not be read: no addresses"
                                 << QStringList{};
        QString many;
        for (int i = 0; i <= 10000; ++i)
            many += QString("http://a.example/%1\n").arg(i);
        QTest::newRow("over 10,000")
            << "200" << many << 400 << "The addresses could not be read: more than 10000"
            << QStringList{};
    }
    void indexnowBatch() {
        QFETCH(QString, service);
        QFETCH(QString, body);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QStringList, posts);
        const std::string key = "abcdef0123456789";
        std::string toml =
            "[submit.form]\nkind = \"get\"\nurl = \"" + Submit.Url("/add") + "?u={url}\"\n";
        if (!service.isEmpty())
            toml += "[submit.now]\nkind = \"indexnow\"\nendpoint = \"" +
                    (service == "down" ? std::string("http://127.0.0.1:1/indexnow")
                                       : Submit.Url("/indexnow/" + service.toStdString())) +
                    "\"\nkey = \"" + key + "\"\ntimeout = 2\n";
        ServiceConfig config;
        config.OffPage = Parsed(toml);
        QVERIFY(config.OffPage);
        const std::size_t before = Submit.Requests().size();
        const ServiceAnswer answer = HandleIndexNowBatch(body.toStdString(), config);
        QCOMPARE(answer.Status, status);
        QVERIFY2(Q(answer.Body).startsWith(says), answer.Body.c_str());
        QVERIFY(!Q(answer.Body).contains('\n'));
        QStringList made;
        const auto requests = Submit.Requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            const auto json = nlohmann::json::parse(requests[i].Body);
            QCOMPARE(json["key"].get<std::string>(), key);
            const std::string host = json["host"].get<std::string>();
            for (const auto& url : json["urlList"])
                QVERIFY(Q(url.get<std::string>()).contains("://" + Q(host) + "/"));
            made << Q(host) + ":" + QString::number(json["urlList"].size());
        }
        QCOMPARE(made, posts);
        if (service == "403")
            QVERIFY2(Q(answer.Body).contains("/" + Q(key) + ".txt"), answer.Body.c_str());
    }

    void enginepostInvalidUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("not http") << "ftp://files.example/garden.html";
        QTest::newRow("missing page") << Q(Target.Url("/no-such-page.html"));
        QTest::newRow("empty") << "";
    }
    void enginepostInvalidUrl() {
        QFETCH(QString, url);
        ServiceConfig config;
        for (const char* path : {"submit-pt.cgi", "backwatch-pt.cgi"}) {
            const std::string query = "url=" + url.toStdString() + "&altavista=on&title=T";
            const std::string answer = Ask(config, path, query);
            const Listing l = std::string(path) == "submit-pt.cgi" ? ReadEnginepost(Q(answer))
                                                                   : ReadBackwatch(Q(answer));
            QVERIFY2(l.MarkerOk && l.NotOpened, answer.c_str());
        }
    }

    void backwatch() {
        const std::string named = "http://localhost:" + std::to_string(Target.Port);
        const std::string page = named + "/garden.html";
        const std::string target = "http://www.localhost:" + std::to_string(Target.Port);
        Linking.Put("/blog",
                    LinkPage("A gardening blog", "<p>See <a href=\"" + target +
                                                     "/garden.html/\">the best spades</a>.</p>"));
        Linking.Put("/sponsored",
                    LinkPage("Sponsored", "<a rel=\"nofollow sponsored\" href=\"" + page +
                                              "\">tools</a> and <a href=\"/blog\">blog</a>"));
        Linking.Put("/mention", LinkPage("Mentions", "<p>Someone wrote " + page + "</p>"));
        Linking.Put("/relative",
                    LinkPage("Relative", "<base href=\"" + named + "/shop/" +
                                             "\"><a href=\"../garden.html\">relative</a>"));
        Partner.Put("/", LinkPage("Partner home", "<a href=\"/partners\">partners</a>"
                                                  "<a href=\"/private/list\">private</a>"));
        // The walk obeys robots.txt: the private page's link stays unknown.
        Partner.Put("/robots.txt", "User-agent: *\nDisallow: /private\n");
        Partner.Put("/private/list", LinkPage("Private", "<a href=\"" + page + "\">x</a>"));
        Partner.Put("/partners",
                    LinkPage("Partners", "<a href=\"" + page + "\"><img alt=\"\" src=\"x\"></a>"));

        const std::string indexFile = Temp.filePath("backwatch.sqlite").toStdString();
        std::ostringstream log;
        IndexSiteOptions site;
        site.StartUrl = Partner.Url("/");
        const IndexSiteResult fed = IndexSite(site, LinkIndex(indexFile), log);
        QVERIFY2(fed.Ok, fed.Error.c_str());
        QCOMPARE(fed.Pages, std::size_t(2));

        ServiceConfig config;
        config.OffPage = Parsed(SearchTables() + "[backwatch]\nsearch = \"searx\"\nindex = \"" +
                                indexFile + "\"\n");
        QVERIFY(config.OffPage);
        const std::string mention =
            "\"localhost:" + std::to_string(Target.Port) + "/garden.html\" -site:localhost";
        Search.SetResults(mention,
                          {Linking.Url("/blog"), Linking.Url("/sponsored"), Linking.Url("/mention"),
                           Linking.Url("/gone"), Linking.Url("/fifty"), Linking.Url("/relative"),
                           named + "/other.html", page});
        const std::string answer = Ask(config, "backwatch-pt.cgi", "url=" + page);
        const Listing l = ReadBackwatch(Q(answer));
        QVERIFY2(l.MarkerOk && !l.NotOpened, answer.c_str());
        QCOMPARE(l.Url, Q(page));
        QCOMPARE(l.Items.value(1), QString("."));
        QCOMPARE(l.Lines, QStringList({Q(Linking.Url("/blog")), Q(Linking.Url("/sponsored")),
                                       Q(Linking.Url("/relative")), Q(Partner.Url("/partners"))}));
        QVERIFY(AuditHasLinkBacks(l.Body));
        // The six items of each link-back: URL, title, anchor, follow, when, where from.
        const QStringList blog = l.Items.mid(2, 6);
        QCOMPARE(blog.mid(0, 4), QStringList({Q(Linking.Url("/blog")), "A gardening blog",
                                              "the best spades", "follow"}));
        QVERIFY(QDateTime::fromString(blog[4], Qt::ISODate).isValid());
        QCOMPARE(blog[5], QString("search searx"));
        QCOMPARE(l.Items.mid(8, 4).value(3), QString("nofollow"));
        const QStringList partner = l.Items.mid(20, 6);
        QCOMPARE(partner[2], QString("(image)"));
        QCOMPARE(partner[5], QString("link index"));
        // Candidates that could not be fetched are owned up to, after the groups.
        QVERIFY2(l.Items.last().contains("could not be fetched"), answer.c_str());
        QVERIFY(answer.size() >= 4 && answer.compare(answer.size() - 4, 4, "<br>") == 0);

        // The candidates' own links went into the index.
        QVERIFY(!LinkIndex(indexFile).PagesLinkingTo(page, 10).empty());
        QCOMPARE(LinkIndex(indexFile).PagesLinkingTo(page, 10).size(), std::size_t(4));
    }

    // Finding nothing is a clean result only when something was asked: with
    // no search service, or one that fails, the answer says so in a listed
    // item and the stored result reads as not checked.
    void backwatchNone_data() {
        QTest::addColumn<QString>("tables");
        QTest::addColumn<QString>("unchecked"); // empty: a clean result
        const QString index = "index = \"" + Temp.filePath("empty.sqlite") + "\"\n";
        QTest::newRow("search finds nothing") << "[backwatch]\nsearch = \"searx\"\n" + index << "";
        QTest::newRow("nothing configured") << ""
                                            << "no search service is configured";
        QTest::newRow("index only") << "[backwatch]\n" + index << "no search service is configured";
        QTest::newRow("search refused")
            << "[backwatch]\nsearch = \"keyless\"\n" + index << "the search found no candidates";
        QTest::newRow("search answers garbage")
            << "[backwatch]\nsearch = \"garbage\"\nindex = \"\"\n"
            << "the search found no candidates";
    }
    void backwatchNone() {
        QFETCH(QString, tables);
        QFETCH(QString, unchecked);
        ServiceConfig config;
        if (!tables.isEmpty())
            config.OffPage = Parsed(SearchTables() + tables.toStdString());
        const std::string answer =
            Ask(config, "backwatch-pt.cgi", "url=" + Target.Url("/lonely.html"));
        const Listing l = ReadBackwatch(Q(answer));
        QVERIFY2(l.MarkerOk && !l.NotOpened, answer.c_str());
        QCOMPARE(l.Lines.value(0), QString("(none)"));
        QVERIFY(!AuditHasLinkBacks(l.Body));
        const QString reason = UncheckedReason(ToolKind::Backwatch, l.Body);
        if (unchecked.isEmpty()) {
            QCOMPARE(l.Lines, QStringList({"(none)"}));
            QVERIFY2(reason.isEmpty(), qPrintable(reason));
        } else {
            QCOMPARE(l.Lines.size(), 2);
            QVERIFY2(l.Lines[1].startsWith("Not checked"), answer.c_str());
            QVERIFY2(reason.contains(unchecked), answer.c_str());
        }
    }

    // The Search Services page's Test: one call through the server, the
    // status and first result, or the failure in words.
    void serviceTest_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("says");
        const QString site = "&url=" + Q(Target.Url("/"));
        QTest::newRow("working") << "service=search.searx&query=trial+words" << true
                                 << "status 200); its first result for \"trial words\":<br>"
                                    "http://first.example/";
        QTest::newRow("no results")
            << "service=search.searx&query=nothing" << true << "with no results";
        QTest::newRow("403") << "service=search.forbidden&query=a" << false
                             << "answered with status 403";
        QTest::newRow("timeout") << "service=search.slow&query=a" << false
                                 << "did not answer within 1 second";
        QTest::newRow("garbage") << "service=search.garbage&query=a" << false
                                 << "something that is not JSON";
        QTest::newRow("5 MB") << "service=search.huge&query=a" << false << "more than 2 MB";
        QTest::newRow("unknown service")
            << "service=search.nope&query=a" << false << "has no service \"search.nope\"";
        QTest::newRow("key file published")
            << "service=submit.ok" + site << true << "The key file is published (status 200)";
        QTest::newRow("key file elsewhere")
            << "service=submit.located" + site << false << "does not hold the key";
        QTest::newRow("key file missing") << "service=submit.no" + Q("&url=" + Linking.Url("/"))
                                          << false << "The key file is not published";
        QTest::newRow("GET service reached, nothing submitted")
            << "service=submit.form" + site << true
            << "answered (status 404). Nothing was submitted";
        QTest::newRow("GET service unreachable")
            << "service=submit.gone" + site << false << "could not be reached";
        QTest::newRow("list") << "service=list" << false << "";
    }
    void serviceTest() {
        QFETCH(QString, query);
        QFETCH(bool, ok);
        QFETCH(QString, says);
        Search.SetResults("trial words", {"http://first.example/", "http://second.example/"});
        Target.Put("/abcdef0123456789.txt", "abcdef0123456789\n");
        Target.Put("/other.txt", "something else");
        ServiceConfig config;
        config.OffPage =
            Parsed(SearchTables() + "[submit.ok]\nkind = \"indexnow\"\nendpoint = \"" +
                   Submit.Url("/indexnow/202") +
                   "\"\nkey = \"abcdef0123456789\"\n[submit.no]\nkind = "
                   "\"indexnow\"\nendpoint = \"" +
                   Submit.Url("/indexnow/202") +
                   "\"\nkey = \"abcdef0123456789\"\n[submit.located]\nkind = "
                   "\"indexnow\"\nendpoint = \"" +
                   Submit.Url("/indexnow/202") +
                   "\"\nkey = \"abcdef0123456789\"\nkey_location = \"" + Target.Url("/other.txt") +
                   "\"\n[submit.form]\nkind = \"get\"\nurl = \"" + Submit.Url("/add?u={url}") +
                   "\"\n[submit.gone]\nkind = \"get\"\nurl = "
                   "\"http://127.0.0.1:1/add?u={url}\"\n");
        QVERIFY(config.OffPage);
        const std::size_t submittedBefore = Submit.Requests().size();
        const QString answer = Q(Ask(config, "servicetest-pt.cgi", query.toStdString()));
        QCOMPARE(Submit.Requests().size(), submittedBefore); // a test never submits
        if (query == "service=list") {
            QVERIFY2(answer.startsWith("SERVICETEST<br>LIST<br>") &&
                         answer.contains("<br>search.searx<br>") &&
                         answer.contains("<br>submit.ok<br>"),
                     qPrintable(answer));
            return;
        }
        QVERIFY2(answer.startsWith(ok ? "SERVICETEST<br>OK<br>" : "SERVICETEST<br>FAILED<br>"),
                 qPrintable(answer));
        QVERIFY2(answer.contains(says), qPrintable(answer));
        QVERIFY(answer.endsWith("<br>"));
        QCOMPARE(answer.count("<br>"), 4);
    }

    // Answers stored as the client stores them (the body after the marker and
    // four characters, the page URL from the body) read by the site audit.
    void auditReadsStoredAnswers() {
        const std::string ranked = Target.Url("/ranked.html");
        const std::string lonely = Target.Url("/lonely.html");
        Target.Put("/ranked.html", LinkPage("Ranked", "<p>Ranked.</p>"));
        Linking.Put("/fan", LinkPage("Fan", "<a href=\"" + ranked + "\">ranked</a>"));
        Search.SetResults("audit phrase",
                          {"http://a.example/", "http://b.example/", ranked, "http://c.example/"});
        Search.SetResults("\"127.0.0.1:" + std::to_string(Target.Port) +
                              "/ranked.html\" -site:127.0.0.1",
                          {Linking.Url("/fan")});
        ServiceConfig config;
        config.OffPage = Parsed(
            SearchTables() +
            "[rankscout]\nALTAVISTA = \"searx\"\n[submit.ok]\nkind = "
            "\"indexnow\"\nendpoint = \"" +
            Submit.Url("/indexnow/202") +
            "\"\nkey = \"abcdef0123456789\"\n[submit.no]\nkind = \"indexnow\"\nendpoint = \"" +
            Submit.Url("/indexnow/403") +
            "\"\nkey = \"abcdef0123456789\"\n[enginepost]\nAltaVista = \"ok\"\nLycos = \"no\"\n"
            "[backwatch]\nsearch = \"searx\"\nindex = \"\"\n");
        QVERIFY(config.OffPage);

        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QDateTime now(QDate(2026, 12, 8), QTime(13, 30, 5));
        const QString stamp = us.toString(now.date(), QLocale::ShortFormat) + " " +
                              us.toString(now.time(), QLocale::LongFormat);
        ProjectData project;
        auto store = [&](ToolArchive& archive, const char* marker, const std::string& answer) {
            const QString text = Q(answer);
            QVERIFY2(text.startsWith(marker), answer.c_str());
            const QString body = text.mid(int(std::strlen(marker)) + 4);
            const int root = body.startsWith("<ROOT>") ? 6 : 0;
            archive.Append(body.mid(root, body.indexOf("<br>") - root), stamp, body);
        };
        store(project.RankscoutArchive, "RANKSCOUT",
              Ask(config, "rankscout-pt.cgi",
                  "Search_URL=" + ranked +
                      "&Search_Text=audit+phrase&altavista=1&hotbot=1&Detail=1"));
        store(
            project.EnginepostArchive, "ENGINEPOST-v1.1",
            Ask(config, "submit-pt.cgi",
                "url=" + ranked + "&altavista=on&lycos=on&title=T&desc=D&keywords=K&email=a@b.c"));
        store(project.BackwatchArchive, "BACKWATCH-v1.1",
              Ask(config, "backwatch-pt.cgi", "url=" + ranked));
        store(project.BackwatchArchive, "BACKWATCH-v1.1",
              Ask(config, "backwatch-pt.cgi", "url=" + lonely));
        // A server with no services checks nothing: neither result counts.
        const std::string unchecked = Target.Url("/unchecked.html");
        Target.Put("/unchecked.html", LinkPage("Unchecked", "<p>Not asked.</p>"));
        store(project.BackwatchArchive, "BACKWATCH-v1.1",
              Ask(ServiceConfig(), "backwatch-pt.cgi", "url=" + unchecked));
        store(project.RankscoutArchive, "RANKSCOUT",
              Ask(ServiceConfig(), "rankscout-pt.cgi",
                  "Search_URL=" + unchecked + "&Search_Text=audit+phrase&altavista=1&Detail=0"));

        AuditOptions options;
        options.Ranking = options.PrevSub = options.Remote = true;
        options.Rank = "5";
        options.SearchEngine = AllSearchEngines;
        struct Sink : ReportSink {
            QStringList Lines;
            void ClearReport() override { Lines.clear(); }
            void SetFormat(const ReportFormat&) override {}
            void AppendLine(const QString& text) override { Lines << text; }
        } sink;
        WriteAuditReport(project, options, now, us, sink);
        const QString report = sink.Lines.join("\n");
        QVERIFY2(!report.contains("Report truncated"), qPrintable(report));
        QVERIFY2(report.contains(Q(ranked) + ", ranked 3, last checked " + stamp),
                 qPrintable(report));
        QVERIFY2(report.contains(Q(ranked) + ", submitted " + stamp + " to AltaVista"),
                 qPrintable(report));
        QVERIFY2(!report.contains(" to Lycos"), qPrintable(report));
        QVERIFY2(report.contains(Q(ranked) + ", last checked " + stamp), qPrintable(report));
        QVERIFY2(!report.contains(Q(lonely)), qPrintable(report));
        QVERIFY2(!report.contains(Q(unchecked)), qPrintable(report));
        // The ranked page's HOTBOT engine is not mapped: one position left out
        // with the unchecked page's, and the unchecked link-back result.
        QVERIFY2(report.contains("2 positions could not be checked and are left out."),
                 qPrintable(report));
        QVERIFY2(report.contains("1 result could not be checked and is left out."),
                 qPrintable(report));
        QVERIFY2(report.contains("from 2 pages contain reciprocal links"), qPrintable(report));
    }

    // The real server: a bad file stops it naming the line; --index-site fills
    // the index; the index outlives a restart; two processes share one file.
    // Any client feeds the index: one page under many query strings is one
    // source, each site and the whole have a share, old rows expire.
    void linkIndexStaysBounded() {
        const std::string file = Temp.filePath("bounded.sqlite").toStdString();
        LinkIndexLimits limits;
        limits.MaxPerSite = 30;
        limits.MaxTotal = 50;
        const LinkIndex index(file, limits);
        auto links = [](int from) {
            std::vector<SeenLink> out;
            for (int i = from; i < from + 10; ++i)
                out.push_back({"http://t" + std::to_string(i) + ".example/", "t", false});
            return out;
        };
        auto count = [&](const char* where) {
            sqlite3* db = nullptr;
            sqlite3_open(file.c_str(), &db);
            sqlite3_stmt* q = nullptr;
            sqlite3_prepare_v2(db, (std::string("SELECT COUNT(*) FROM links ") + where).c_str(), -1,
                               &q, nullptr);
            const long long n = sqlite3_step(q) == SQLITE_ROW ? sqlite3_column_int64(q, 0) : -1;
            sqlite3_finalize(q);
            sqlite3_close(db);
            return n;
        };
        QVERIFY(index.RecordPage("http://a.example/p?utm_source=x&b=2&a=1", links(0)));
        QVERIFY(index.RecordPage("http://a.example/p?a=1&fbclid=z&b=2#top", links(0)));
        QCOMPARE(count(""), 10ll);
        QCOMPARE(count("WHERE source = 'http://a.example/p?a=1&b=2'"), 10ll);
        for (int page = 0; page < 6; ++page)
            QVERIFY(index.RecordPage("http://a.example/q?n=" + std::to_string(page),
                                     links(100 + page * 10)));
        QCOMPARE(count("WHERE source_site = 'a.example'"), 30ll);
        for (int page = 0; page < 4; ++page)
            QVERIFY(index.RecordPage("http://b" + std::to_string(page) + ".example/",
                                     links(200 + page * 10)));
        QCOMPARE(count(""), 50ll);
        // The newest pages stay.
        QVERIFY(!index.PagesLinkingTo("http://t239.example/", 5).empty());
        QCOMPARE(index.Size().Links, 50ll);

        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db,
                     "UPDATE links SET seen = '2001-01-01T00:00:00Z' WHERE source_site = "
                     "'b0.example'",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QVERIFY(index.RecordPage("http://c.example/", {}));
        QCOMPARE(count("WHERE source_site = 'b0.example'"), 0ll);
    }

    void linkIndexAcrossProcesses() {
        const QString program = qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server";
        const QString indexFile = Temp.filePath("shared.sqlite");
        const QString configFile = Temp.filePath("server.toml");
        auto write = [](const QString& path, const std::string& text) {
            std::ofstream(path.toStdString()) << text;
        };
        auto run = [&](const QStringList& args, QString* err = nullptr) {
            QProcess p;
            p.start(program, args);
            p.waitForFinished(60000);
            if (err)
                *err = QString::fromUtf8(p.readAllStandardError());
            return p.exitCode();
        };

        write(configFile, "[search.a]\nurl = \"http://x.example/?q={query}\"\n\n[rankscout]\n"
                          "HOTBOT = \"b\"\n");
        QString err;
        QCOMPARE(run({"--config", configFile, "--listen", "127.0.0.1:0"}, &err), 2);
        QVERIFY2(err.contains("line 5"), qPrintable(err));
        {
            // Under a web server the same file fails the request, not silently.
            QProcess cgi;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("GATEWAY_INTERFACE", "CGI/1.1");
            env.insert("REQUEST_METHOD", "GET");
            env.insert("SCRIPT_NAME", "/cgi-bin/zeph/text_output/backwatch-pt.cgi");
            env.insert("QUERY_STRING", "url=http://example.com/");
            env.insert("VANTORA_CONFIG", configFile);
            cgi.setProcessEnvironment(env);
            cgi.start(program, {});
            QVERIFY(cgi.waitForFinished(30000));
            QVERIFY(QString::fromUtf8(cgi.readAllStandardOutput()).startsWith("Status: 500"));
            QVERIFY(QString::fromUtf8(cgi.readAllStandardError()).contains("line 5"));
        }

        write(configFile, SearchTables() + "[backwatch]\nsearch = \"searx\"\nindex = \"" +
                              indexFile.toStdString() + "\"\n");

        // Two sites of 40 pages, each page linking out to its own target page,
        // indexed by two processes at once into one file.
        PageSite siteA, siteB;
        for (PageSite* s : {&siteA, &siteB}) {
            const std::string out = (s == &siteA ? Target.Url("/a.html") : Target.Url("/b.html"));
            for (int i = 0; i < 40; ++i)
                s->Put(i == 0 ? "/" : "/p" + std::to_string(i),
                       LinkPage("Page", "<a href=\"" + out + "\">target</a><a href=\"/p" +
                                            std::to_string(i + 1) + "\">next</a>"));
        }
        QProcess first, second;
        first.start(program, {"--config", configFile, "--index-site", Q(siteA.Url("/"))});
        second.start(program, {"--config", configFile, "--index-site", Q(siteB.Url("/"))});
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QString::fromUtf8(first.readAllStandardOutput()).contains("40 pages read"));
        const LinkIndex index(indexFile.toStdString());
        QCOMPARE(index.PagesLinkingTo(Target.Url("/a.html"), 100).size(), std::size_t(40));
        QCOMPARE(index.PagesLinkingTo(Target.Url("/b.html"), 100).size(), std::size_t(40));
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(indexFile.toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        QCOMPARE(sqlite3_step(check), SQLITE_ROW);
        QCOMPARE(QString(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))),
                 QString("ok"));
        sqlite3_finalize(check);
        sqlite3_close(db);

        // A page fetched for another analysis is indexed; a new server finds it.
        Linking.Put("/review", LinkPage("Review", "<a href=\"" + Target.Url("/garden.html") +
                                                      "\">garden tools</a>"));
        auto serve = [&](QProcess& server) {
            server.start(program, {"--config", configFile, "--listen", "127.0.0.1:0"});
            if (!server.waitForReadyRead(10000))
                return 0;
            const QString line = QString::fromUtf8(server.readLine());
            return line.section(':', -1).section(' ', 0, 0).trimmed().toInt();
        };
        auto get = [](int port, const std::string& target) {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(60);
            const auto res = client.Get(target.c_str());
            return res ? res->body : std::string();
        };
        {
            QProcess server;
            const int port = serve(server);
            QVERIFY(port > 0);
            const std::string stuffwatch =
                get(port, "/cgi-bin/zeph/text_output/spam-pt.cgi?url=" + Linking.Url("/review"));
            QVERIFY2(stuffwatch.rfind("STUFFWATCH-v1.1", 0) == 0, stuffwatch.c_str());
            server.terminate();
            QVERIFY(server.waitForFinished(10000));
        }
        QProcess server;
        const int port = serve(server);
        QVERIFY(port > 0);
        const std::string answer = get(port, "/cgi-bin/zeph/text_output/backwatch-pt.cgi?url=" +
                                                 Target.Url("/garden.html"));
        const Listing l = ReadBackwatch(Q(answer));
        QVERIFY2(l.Lines.contains(Q(Linking.Url("/review"))), answer.c_str());
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(OffPageTest)
#include "OffPageTest.moc"
