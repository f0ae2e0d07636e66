// Request URLs of every request kind: what the server decodes from them.
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
    void exactForms();
    void queueEntry();
    void terseSplit_data();
    void terseSplit();
};

namespace {

// A request's query as the server reads it: "name=value" pairs split at
// "&", a "+" a blank, every %XX escape decoded as UTF-8.
QStringList Decoded(const QString& url) {
    QStringList pairs;
    const qsizetype query = url.indexOf(QLatin1Char('?'));
    for (const QString& pair : url.mid(query + 1).split(QLatin1Char('&'))) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        QByteArray value = pair.mid(eq + 1).toLatin1();
        value.replace('+', ' ');
        pairs << pair.left(eq) + QLatin1Char('=') + QUrl::fromPercentEncoding(value);
    }
    return pairs;
}

} // namespace

void TestEndpoints::urls_data() {
    const QString s = QStringLiteral("127.0.0.1:47800");
    const QString page = QStringLiteral("http://www.example.org/a b/index.html?x=1&y=%41#top");
    const QString base = QStringLiteral("http://127.0.0.1:47800/cgi-bin/zeph/");
    QTest::addColumn<QString>("built");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("values"); // each parameter decoded, in order
    QTest::newRow("wordweigh, reserved characters typed")
        << WordweighUrl(s, page, "  salt & pepper C++ ") << "text_output/wordweigh-pt.cgi"
        << QStringList{"url=" + page, "keywords=salt & pepper C++"};
    QTest::newRow("wordweigh empty")
        << WordweighUrl(s, "http://h/", "   ") << "text_output/wordweigh-pt.cgi"
        << QStringList{"url=http://h/", "keywords="};
    QTest::newRow("stuffwatch") << StuffwatchUrl(s, page) << "text_output/spam-pt.cgi"
                                << QStringList{"url=" + page};
    QTest::newRow("rankscout, plus and percent")
        << RankscoutUrl(s, "http://h/p.html", " 100% cheap  C++ ", {"altavista", "yahoo"}, true)
        << "text_output/rankscout-pt.cgi"
        << QStringList{"Search_URL=http://h/p.html", "Search_Text=100% cheap  C++", "altavista=1",
                       "yahoo=1", "Detail=1"};
    QTest::newRow("enginepost, ampersands and non-ASCII")
        << EnginepostUrl(s, "http://h/ü", {"altavista", "whatuseek"}, " Tom & Jerry ",
                         "Best=site?#", " a b", " me+x@h.org")
        << "text_output/submit-pt.cgi"
        << QStringList{"url=http://h/ü",   "altavista=on", "whatuseek=on",     "title=Tom & Jerry",
                       "desc=Best=site?#", "keywords=a b", "email= me+x@h.org"};
    QTest::newRow("backwatch") << BackwatchUrl(s, page) << "text_output/backwatch-pt.cgi"
                               << QStringList{"url=" + page};
    QTest::newRow("stop rankscout bulletins")
        << StopRankscoutBulletinsUrl(s, "4 2", "www.example.org") << "register/kpreguser.cgi"
        << QStringList{"action=del", "uid=4 2", "project=http://www.example.org"};
    QTest::newRow("stop backwatch bulletins")
        << StopBackwatchBulletinsUrl(s, "42", "www.example.org") << "register/unreguser.cgi"
        << QStringList{"uid=42", "project=http://www.example.org"};
}

void TestEndpoints::urls() {
    QFETCH(QString, built);
    QFETCH(QString, script);
    QFETCH(QStringList, values);
    const QString prefix = "http://127.0.0.1:47800/cgi-bin/zeph/" + script + "?";
    QVERIFY2(built.startsWith(prefix), qPrintable(built));
    // Only unreserved characters, escapes, the separators and "+" for a
    // blank remain in the query.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._~%&=+-]*$"));
    QVERIFY2(plain.match(built.mid(prefix.size())).hasMatch(), qPrintable(built));
    QCOMPARE(Decoded(built), values);
    // The page a request was for reads back whole.
    const QString first = values.first();
    if (first.startsWith("url=") || first.startsWith("Search_URL="))
        QCOMPARE(RequestedPage(built), first.mid(first.indexOf('=') + 1));
    else
        QCOMPARE(RequestedPage(built), QString());
}

void TestEndpoints::exactForms() {
    const QString s = QStringLiteral("h:1");
    QCOMPARE(WordweighUrl(s, "http://a/b c", "salt & pepper C++"),
             "http://h:1/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http%3A%2F%2Fa%2Fb%20c"
             "&keywords=salt%20%26%20pepper%20C%2B%2B");
    QCOMPARE(RankscoutUrl(s, "http://a/", "a  b", {}, false),
             "http://h:1/cgi-bin/zeph/text_output/rankscout-pt.cgi?Search_URL=http%3A%2F%2Fa%2F"
             "&Search_Text=a++b&Detail=0");
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
