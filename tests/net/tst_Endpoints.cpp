// Request URLs of every request kind, with their trimming and blank encoding.
#include "Endpoints.h"
#include "NmcliDialUp.h"
#include "ToolKind.h"

#include <QtTest>

using namespace vantora;

class TestEndpoints : public QObject {
    Q_OBJECT
  private slots:
    void urls_data();
    void urls();
    void queueEntry();
    void terseSplit_data();
    void terseSplit();
};

void TestEndpoints::urls_data() {
    const QString s = QStringLiteral("127.0.0.1:47800");
    const QString page = QStringLiteral("http://www.example.org/a b/index.html?x=1");
    // The page's own "?", "&", "#" and "%" are escaped so its query stays inside the parameter.
    const QString sent = QStringLiteral("http://www.example.org/a b/index.html%3Fx=1");
    const QString base = QStringLiteral("http://127.0.0.1:47800/cgi-bin/zeph/");
    QTest::addColumn<QString>("built");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wordweigh blanks")
        << WordweighUrl(s, page, "  web  site design ")
        << base + "text_output/wordweigh-pt.cgi?url=" + sent + "&keywords=web%20%20site%20design";
    QTest::newRow("wordweigh empty")
        << WordweighUrl(s, "http://h/", "   ")
        << base + "text_output/wordweigh-pt.cgi?url=http://h/&keywords=";
    QTest::newRow("stuffwatch") << StuffwatchUrl(s, page)
                                << base + "text_output/spam-pt.cgi?url=" + sent;
    QTest::newRow("rankscout") << RankscoutUrl(s, "http://h/p.html", " cheap  flights ",
                                               {"altavista", "yahoo"}, true)
                               << base + "text_output/rankscout-pt.cgi?Search_URL=http://h/p.html"
                                         "&Search_Text=cheap++flights&altavista=1&yahoo=1&Detail=1";
    QTest::newRow("rankscout no engines")
        << RankscoutUrl(s, "http://h/", "one", {}, false)
        << base + "text_output/rankscout-pt.cgi?Search_URL=http://h/&Search_Text=one&Detail=0";
    QTest::newRow("enginepost")
        << EnginepostUrl(s, "http://h/", {"altavista", "whatuseek"}, " My  Site ", "Best site ",
                         " a b", " me@h.org")
        << base + "text_output/submit-pt.cgi?url=http://h/&altavista=on&whatuseek=on"
                  "&title=My%20%20Site&desc=Best%20site&keywords=a%20b&email= me@h.org";
    QTest::newRow("backwatch") << BackwatchUrl(s, page)
                               << base + "text_output/backwatch-pt.cgi?url=" + sent;
    QTest::newRow("stop rankscout bulletins")
        << StopRankscoutBulletinsUrl(s, "42", "www.example.org")
        << base + "register/kpreguser.cgi?action=del&uid=42&project=http://www.example.org";
    QTest::newRow("stop backwatch bulletins")
        << StopBackwatchBulletinsUrl(s, "42", "www.example.org")
        << base + "register/unreguser.cgi?uid=42&project=http://www.example.org";
    QTest::newRow("page with query, fragment and escapes")
        << StuffwatchUrl(s, "http://h/a%20b.php?q=1&r=2#top")
        << base + "text_output/spam-pt.cgi?url=http://h/a%2520b.php%3Fq=1%26r=2%23top";
    QTest::newRow("other server") << StuffwatchUrl("analysis.example.net", "http://h/")
                                  << "http://analysis.example.net/cgi-bin/zeph/text_output/"
                                     "spam-pt.cgi?url=http://h/";
}

void TestEndpoints::urls() {
    QFETCH(QString, built);
    QFETCH(QString, expected);
    QCOMPARE(built, expected);
}

void TestEndpoints::queueEntry() {
    QCOMPARE(QueueEntry(Tag(ToolKind::Rankscout), "http://s/x"), QStringLiteral("3http://s/x"));
    QCOMPARE(QueueEntry(StopBackwatchBulletinsTag, "http://s/y"), QStringLiteral("8http://s/y"));
}

void TestEndpoints::terseSplit_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("plain") << "Home:802-11-wireless" << QStringList{"Home", "802-11-wireless"};
    QTest::newRow("escaped colon") << "Dial\\: work:gsm" << QStringList{"Dial: work", "gsm"};
    QTest::newRow("escaped backslash") << "a\\\\b:pppoe" << QStringList{"a\\b", "pppoe"};
    QTest::newRow("empty value") << "x:" << QStringList{"x", ""};
}

void TestEndpoints::terseSplit() {
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(NmcliDialUp::SplitTerse(line), fields);
}

QTEST_GUILESS_MAIN(TestEndpoints)
#include "tst_Endpoints.moc"
