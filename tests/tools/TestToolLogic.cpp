// The five tools without a window: answer intake, report bodies line by
// line with their styles, the Start checks and request encodings, filing.
#include "AnswerIntake.h"
#include "Endpoints.h"
#include "ProjectData.h"
#include "RecordingSink.h"
#include "ResultChecks.h"
#include "ToolReports.h"
#include "ToolRequests.h"
#include "ToolRun.h"

#include <QtTest>

using namespace vantora;
using namespace vantora::test;

namespace {

const QString Date = QStringLiteral("08/12/2026 14:30:05");
const QString Server = QStringLiteral("127.0.0.1:47800");

// The frame around a body: heading and empty line, then the ending.
QStringList Framed(const QString& heading, const QStringList& body) {
    return QStringList{"U Arial 14|" + heading + Date, "U Arial 14|"} + body +
           QStringList{" Arial 10|", "I Arial 10|End of Report", " Arial 10|"};
}

QStringList Truncated(const QString& heading, const QStringList& body) {
    return QStringList{"U Arial 14|" + heading + Date, "U Arial 14|"} + body +
           QStringList{"B Arial 10|...WARNING! Premature end of file, Report truncated.",
                       "I Arial 10|End of Report", " Arial 10|"};
}

} // namespace

class TestToolLogic : public QObject {
    Q_OBJECT
  private slots:
    void intake_data();
    void intake();
    void wordweighPercentage_data();
    void wordweighPercentage();
    void reportBodies_data();
    void reportBodies();
    void reportsAccumulateUnlessCleared();
    void notOpenedMessage();
    void uncheckedResults_data();
    void uncheckedResults();
    void rankscoutChecksInOrder_data();
    void rankscoutChecksInOrder();
    void enginepostChecksInOrder_data();
    void enginepostChecksInOrder();
    void typedValuesAreEncoded_data();
    void typedValuesAreEncoded();
    void fileAnswerFollowsLeave_data();
    void fileAnswerFollowsLeave();
    void dateAdded_data();
    void dateAdded();
};

void TestToolLogic::intake_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("body");
    const int invalid = int(IntakeOutcome::Invalid);
    const int notOpened = int(IntakeOutcome::NotOpened);
    const int stored = int(IntakeOutcome::Stored);
    QTest::newRow("wordweigh stored")
        << 1 << "WORDWEIGH-v1.1<br>http://h/a<br>PERCENTAGE: 57<br>" << stored << "http://h/a"
        << "http://h/a<br>PERCENTAGE: 57<br>";
    QTest::newRow("wordweigh lower-case marker")
        << 1 << "wordweigh-v1.1<br>http://h/<br>" << invalid << ""
        << "";
    QTest::newRow("wordweigh not opened")
        << 1 << "WORDWEIGH-v1.1<br>ERROR-OPENING-URL<br>reason<br>" << notOpened << ""
        << "";
    QTest::newRow("stuffwatch stored")
        << 2 << "STUFFWATCH-v1.1 http://h/<br>x<br>NO-SPAM<br>" << stored << "http://h/"
        << "http://h/<br>x<br>NO-SPAM<br>";
    // "ERROR" anywhere is a page not opened, even after a valid marker, and
    // before the marker test.
    QTest::newRow("stuffwatch error after marker")
        << 2 << "STUFFWATCH-v1.1 http://h/<br>x<br>ERROR<br>" << notOpened << ""
        << "";
    QTest::newRow("stuffwatch error without marker") << 2 << "garbage ERROR" << notOpened << ""
                                                     << "";
    QTest::newRow("stuffwatch wrong marker") << 2 << "garbage" << invalid << ""
                                             << "";
    QTest::newRow("rankscout stored")
        << 3 << "RANKSCOUT<br><ROOT>http://h/<br><KEYWORDS>web<br>" << stored << "http://h/"
        << "<ROOT>http://h/<br><KEYWORDS>web<br>";
    QTest::newRow("rankscout not opened")
        << 3 << "RANKSCOUT<br>Unspecified Host or Keywords<br>" << notOpened << ""
        << "";
    QTest::newRow("rankscout not opened needs the marker")
        << 3 << "Unspecified Host or Keywords" << invalid << ""
        << "";
    QTest::newRow("enginepost stored")
        << 4 << "ENGINEPOST-v1.1<br>http://h/<br>x<br>ok<br>y<br>" << stored << "http://h/"
        << "http://h/<br>x<br>ok<br>y<br>";
    QTest::newRow("enginepost not opened")
        << 4 << "ENGINEPOST-v1.1<br>ERROR-INVALID-URL<br>" << notOpened << ""
        << "";
    QTest::newRow("backwatch stored")
        << 5 << "BACKWATCH-v1.1<br>http://h/<br>x<br>END<br>" << stored << "http://h/"
        << "http://h/<br>x<br>END<br>";
    QTest::newRow("backwatch web page") << 5 << "<html>BACKWATCH-v1.1" << invalid << ""
                                        << "";
    QTest::newRow("empty answer") << 5 << "" << invalid << ""
                                  << "";
}

void TestToolLogic::intake() {
    QFETCH(int, kind);
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    QFETCH(QString, page);
    QFETCH(QString, body);
    const Intake in = ReadAnswer(ToolKind(kind), answer);
    QCOMPARE(int(in.Outcome), outcome);
    QCOMPARE(in.Page, page);
    QCOMPARE(in.Body, body);
}

void TestToolLogic::wordweighPercentage_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("percentage");
    QTest::newRow("hundred") << "u<br>PERCENTAGE: 100<br>"
                             << "100";
    QTest::newRow("two digits") << "u<br>PERCENTAGE: 57<br>"
                                << "57";
    // One digit is read alone, not with the character after it.
    QTest::newRow("one digit") << "u<br>PERCENTAGE: 5<br>"
                               << "5";
    QTest::newRow("digit and percent sign") << "u<br>PERCENTAGE: 7%<br>"
                                            << "7";
    QTest::newRow("first occurrence") << "PERCENTAGE: 12 PERCENTAGE: 34"
                                      << "12";
    QTest::newRow("none") << "u<br>no score<br>"
                          << "";
    QTest::newRow("no digits") << "PERCENTAGE: n/a"
                               << "";
}

void TestToolLogic::wordweighPercentage() {
    QFETCH(QString, body);
    QFETCH(QString, percentage);
    QCOMPARE(WordweighPercentage(body), percentage);
}

void TestToolLogic::reportBodies_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("percentage");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("complete");

    const QString ww = QStringLiteral("Wordweigh - Report, created ");
    const QString advice = "http://h/a<br>x<br>PERCENTAGE: 57<br>PROBLEM: one<br>fix one<br>"
                           "why one<br>hidden<br>PROBLEM: two<br>fix two<br>why two<br>hidden<br>";
    const QStringList adviceLines{"I Arial 10|Analysed URL: http://h/a",
                                  "B Arial 10|Percent effectiveness: 57",
                                  " Arial 10|",
                                  " Arial 10|PROBLEM: one",
                                  " Arial 10|fix one",
                                  " Arial 10|why one",
                                  " Arial 10|",
                                  " Arial 10|PROBLEM: two",
                                  " Arial 10|fix two",
                                  " Arial 10|why two"};
    QTest::newRow("wordweigh advice") << 1 << advice << "57" << Framed(ww, adviceLines) << true;
    QString withoutFinalBreak = advice;
    withoutFinalBreak.chop(4);
    QTest::newRow("wordweigh advice without final break")
        << 1 << withoutFinalBreak << "57" << Framed(ww, adviceLines) << true;
    QTest::newRow("wordweigh no advice")
        << 1 << "http://h/<br>x<br>PERCENTAGE: 100<br>"
        << "100"
        << Framed(ww,
                  {"I Arial 10|Analysed URL: http://h/", "B Arial 10|Percent effectiveness: 100",
                   " Arial 10|", " Arial 10|No more additional advice."})
        << true;
    QTest::newRow("wordweigh short advice")
        << 1 << "http://h/<br>x<br>PERCENTAGE: 5<br>PROBLEM: one<br>fix<br>"
        << "5"
        << Truncated(ww,
                     {"I Arial 10|Analysed URL: http://h/", "B Arial 10|Percent effectiveness: 5",
                      " Arial 10|", " Arial 10|PROBLEM: one", " Arial 10|fix"})
        << false;

    const QString sw = QStringLiteral("Stuffwatch - Report, created ");
    QTest::newRow("stuffwatch no spam") << 2 << "http://h/<br>x<br>NO-SPAM<br>"
                                        << ""
                                        << Framed(sw, {"I Arial 10|Stuffwatched URL: http://h/",
                                                       "B Arial 10|Page contains no Spam."})
                                        << true;
    QTest::newRow("stuffwatch findings")
        << 2 << "http://h/<br>x<br>Hidden text<br>12 words<br>white on white<br>h<br>"
        << ""
        << Framed(sw, {"I Arial 10|Stuffwatched URL: http://h/", " Arial 10|",
                       " Arial 10|Hidden text", " Arial 10|12 words", " Arial 10|white on white"})
        << true;
    QTest::newRow("stuffwatch short findings")
        << 2 << "http://h/<br>x<br>Hidden text<br>12 words"
        << ""
        << Truncated(sw, {"I Arial 10|Stuffwatched URL: http://h/", " Arial 10|",
                          " Arial 10|Hidden text", " Arial 10|12 words"})
        << false;
    QTest::newRow("stuffwatch only url")
        << 2 << "http://h/"
        << "" << Truncated(sw, {"I Arial 10|Stuffwatched URL: http://h/"}) << false;

    const QString rs = QStringLiteral("Rankscout - Report, created ");
    const QStringList rsHead{"I Arial 10|Analysed URL: http://h/",
                             "I Arial 10|Key Phrase: web design"};
    QTest::newRow("rankscout blocks")
        << 3
        << "<ROOT>http://h/<br><KEYWORDS>web design<br><ENGINE>ALTAVISTA<br><URL1>http://top/<br>"
           "<MATCH>12<br><ENGINE>LYCOS<br><MATCH>1234<br>"
        << ""
        << Framed(rs, rsHead + QStringList{" Arial 10|", "B Arial 10|Search Engine: ALTAVISTA",
                                           " Arial 10| http://top/", "B Arial 10|",
                                           "B Arial 10|Match Position: 12", " Arial 10|",
                                           "B Arial 10|Search Engine: LYCOS", "B Arial 10|",
                                           "B Arial 10|Match Position: 123"})
        << true;
    QTest::newRow("rankscout block without match")
        << 3 << "<ROOT>http://h/<br><KEYWORDS>web design<br><ENGINE>HOTBOT<br><URL1>http://top/<br>"
        << ""
        << Truncated(rs, rsHead + QStringList{" Arial 10|", "B Arial 10|Search Engine: HOTBOT",
                                              " Arial 10| http://top/"})
        << false;

    const QString ep = QStringLiteral("Enginepost - Report, created ");
    QTest::newRow("enginepost bullets")
        << 4 << "http://h/<br>x<br>AltaVista: submitted<br>a<br>Lycos: refused<br>b<br>"
        << ""
        << Framed(ep, {"I Arial 10|Submitted URL: http://h/", "I Arial 10|",
                       QStringLiteral(" Arial 10|\u2022 AltaVista: submitted"),
                       QStringLiteral(" Arial 10|\u2022 Lycos: refused")})
        << true;
    QTest::newRow("enginepost short")
        << 4 << "http://h/<br>"
        << "" << Truncated(ep, {"I Arial 10|Submitted URL: http://h/", "I Arial 10|"}) << false;

    const QString bw = QStringLiteral("Backwatch - Report, created ");
    const QString bwHead = "B Arial 10|The following URLs contain a link back to http://h/";
    QTest::newRow("backwatch none")
        << 5 << "http://h/<br>x<br>END<br>"
        << "" << Framed(bw, {bwHead, "B Arial 10|", " Arial 10|(none)"}) << true;
    QTest::newRow("backwatch pages")
        << 5
        << "http://h/<br>x<br>http://a/<br>1<br>2<br>3<br>4<br>5<br>http://b/"
           "<br>1<br>2<br>3<br>4<br>5<br>"
        << ""
        << Framed(bw, {bwHead, "B Arial 10|", QStringLiteral(" Arial 10|\u2022 http://a/"),
                       QStringLiteral(" Arial 10|\u2022 http://b/")})
        << true;
    // An older server only noted that it had no search service.
    QTest::newRow("backwatch none, noted unchecked")
        << 5
        << "http://h/<br>.<br>END<br>Note: no search service is configured for link-backs "
           "on this server; this server keeps no link index.<br>"
        << ""
        << Framed(bw, {bwHead, "B Arial 10|", " Arial 10|(none)",
                       QStringLiteral(" Arial 10|\u2022 Not checked, so pages that link back may "
                                      "have been missed: no search service is configured for "
                                      "link-backs on this server.")})
        << true;
    QTest::newRow("backwatch short group")
        << 5 << "http://h/<br>x<br>http://a/<br>t<br>"
        << "" << Framed(bw, {bwHead, "B Arial 10|", QStringLiteral(" Arial 10|\u2022 http://a/")})
        << true;
}

void TestToolLogic::reportBodies() {
    QFETCH(int, kind);
    QFETCH(QString, body);
    QFETCH(QString, percentage);
    QFETCH(QStringList, lines);
    QFETCH(bool, complete);
    ToolArchive archive{ToolKind(kind)};
    archive.Append(QStringLiteral("http://h/"), Date, body, percentage);
    // The page column, not the body's item 0, heads Wordweigh's, Enginepost's
    // and Backwatch's reports; they are equal for answers as filed.
    const Intake in =
        ReadAnswer(ToolKind(kind), QString(Tool(ToolKind(kind)).Marker) +
                                       QString(Tool(ToolKind(kind)).Skipped, ' ') + body);
    if (in.Outcome == IntakeOutcome::Stored) {
        archive.Clear();
        archive.Append(in.Page, Date, in.Body, percentage);
    }
    RecordingSink sink;
    QCOMPARE(WriteStoredReport(archive, 0, sink, true), complete);
    QCOMPARE(sink.Clears, 1);
    QCOMPARE(sink.Styled(), lines);
    QCOMPARE(archive.Count(), 1); // a truncated report leaves its entry stored
}

void TestToolLogic::reportsAccumulateUnlessCleared() {
    ToolArchive archive{ToolKind::Backwatch};
    archive.Append("http://h/", Date, "http://h/<br>x<br>END<br>");
    RecordingSink sink;
    WriteStoredReport(archive, 0, sink, false);
    WriteStoredReport(archive, 0, sink, false);
    QCOMPARE(sink.Clears, 0);
    QCOMPARE(sink.Texts().count("Backwatch - Report, created " + Date), 2);
    QCOMPARE(sink.Texts().count("End of Report"), 2);
    WriteStoredReport(archive, 0, sink, true);
    QCOMPARE(sink.Texts().count("End of Report"), 1);
    QVERIFY(!WriteStoredReport(archive, 1, sink, true)); // no such entry: nothing written
    QCOMPARE(sink.Clears, 1);
}

void TestToolLogic::notOpenedMessage() {
    RecordingSink sink;
    WriteNotOpened(ToolKind::Stuffwatch, sink);
    const QStringList expected{
        " Arial 10|One of the selected URLs could not be opened by the Stuffwatch, either the "
        "SiteMap is out of date and needs updating, or the Web Page URL could not be accessed.",
        " Arial 10|(No report has been generated for this URL.)", " Arial 10|"};
    QCOMPARE(sink.Styled(), expected);
    // The server's reason follows the first line.
    const Intake in = ReadAnswer(ToolKind::Wordweigh,
                                 "WORDWEIGH-v1.1<br>ERROR-OPENING-URL<br>The page could not be "
                                 "analysed: the connection timed out.<br>");
    QCOMPARE(in.Reason, QString("The page could not be analysed: the connection timed out."));
    QCOMPARE(NotOpenedLines(ToolKind::Wordweigh, in.Reason).value(1),
             "The server's answer: " + in.Reason);
    QCOMPARE(ReadAnswer(ToolKind::Stuffwatch, "STUFFWATCH-v1.1 ERROR-OPENING-URL why<br>").Reason,
             QString("why"));
    QCOMPARE(ReadAnswer(ToolKind::Rankscout,
                        "RANKSCOUT<br>Unspecified Host or Keywords: no key phrase.<br>")
                 .Reason,
             QString("no key phrase."));
    QVERIFY(NotOpenedLines(ToolKind::Backwatch)
                .value(0)
                .startsWith("One of the selected URLs could not be opened by Backwatch,"));
}

// Stored results the server could not check: a reason in words; results it
// did check (findings and clean ones alike): none.
void TestToolLogic::uncheckedResults_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wordweigh scored") << 1 << "u<br>KEYWORDS: a<br>PERCENTAGE: 40<br>"
                                      << "";
    QTest::newRow("wordweigh too complex")
        << 1
        << "u<br>KEYWORDS: a<br>PERCENTAGE: 0<br>PROBLEM: The page is too complex to "
           "analyse<br>It nests 900 elements deep.<br>Simplify.<br>LIMIT<br>"
        << "It nests 900 elements deep";
    QTest::newRow("stuffwatch clean") << 2 << "u<br>VERDICT: clean<br>NO-SPAM<br>"
                                      << "";
    QTest::newRow("stuffwatch too complex")
        << 2 << "u<br>VERDICT: not checked, the page is too complex to analyse<br>a<br>b<br>c<br>"
        << "the page is too complex to analyse";
    QTest::newRow("stuffwatch cut, nothing found")
        << 2
        << "u<br>VERDICT: incomplete, only the first 10 bytes checked, 0 points<br>Only the "
           "first 10 bytes of the page were checked<br>b<br>c<br>CUT<br>"
        << "Only the first 10 bytes of the page were checked, and nothing was found in them";
    QTest::newRow("stuffwatch cut, finding")
        << 2
        << "u<br>VERDICT: incomplete<br>a<br>b<br>c<br>CUT<br>Hidden text<br>w<br>y<br>HIDDEN<br>"
        << "";
    const QString engine = "<ROOT>u<br><KEYWORDS>k<br><ENGINE>LYCOS<br>";
    QTest::newRow("rankscout unranked")
        << 3 << engine + "<NOTE>Not among the first 10<br><MATCH>0<br>"
        << "";
    QTest::newRow("rankscout unchecked")
        << 3 << engine + "<NOTE>Not checked: no search service is configured.<br><MATCH>0<br>"
        << "no search service is configured";
    QTest::newRow("rankscout one engine checked")
        << 3 << engine + "<NOTE>Not checked: x.<br><MATCH>0<br><ENGINE>YAHOO<br><MATCH>4<br>"
        << "";
    QTest::newRow("enginepost nothing submitted")
        << 4 << "u<br>0 of 1<br>Not submitted to Lycos: none.<br>NOT-CONFIGURED<br>"
        << "";
    QTest::newRow("backwatch clean") << 5 << "u<br>.<br>END<br>"
                                     << "";
    QTest::newRow("backwatch said")
        << 5
        << "u<br>.<br>END<br>-<br>-<br>-<br>-<br>-<br>Not checked, so pages that link back may "
           "have been missed: the search failed.<br>-<br>-<br>-<br>-<br>-<br>"
        << "the search failed";
    QTest::newRow("backwatch found despite failures")
        << 5
        << "u<br>.<br>http://a/<br>t<br>l<br>follow<br>w<br>s<br>Note: no search service is "
           "configured for link-backs.<br>"
        << "";
}

void TestToolLogic::uncheckedResults() {
    QFETCH(int, kind);
    QFETCH(QString, body);
    QFETCH(QString, reason);
    QCOMPARE(UncheckedReason(ToolKind(kind), body), reason);
}

void TestToolLogic::rankscoutChecksInOrder_data() {
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QList<bool>>("engines");
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("focus");
    QTest::addColumn<QString>("query");
    const QList<bool> none(9, false);
    QList<bool> lycos = none;
    lycos[2] = true;
    QTest::newRow("empty phrase before engines")
        << "   " << none << false << int(InputField::KeyPhrase) << "";
    QTest::newRow("no engine") << "web" << none << false << int(InputField::Engines) << "";
    QTest::newRow("one engine") << "  web  design " << lycos << false << int(InputField::None)
                                << "Search_Text=web++design&lycos=1&Detail=1";
    QTest::newRow("all engines whatever the boxes")
        << "web" << lycos << true << int(InputField::None)
        << "Search_Text=web&altavista=1&hotbot=1&lycos=1&excite=1&infoseek=1&webcrawler=1"
           "&northernlight=1&yahoo=1&linkstar=1&Detail=1";
}

void TestToolLogic::rankscoutChecksInOrder() {
    QFETCH(QString, phrase);
    QFETCH(QList<bool>, engines);
    QFETCH(bool, all);
    QFETCH(int, focus);
    QFETCH(QString, query);
    const CheckedRequests r = RankscoutRequests(Server, {"http://h/a", "http://h/b"},
                                                RankscoutInput{phrase, engines, all, true});
    QCOMPARE(int(r.Focus), focus);
    if (focus != int(InputField::None)) {
        QVERIFY(r.Failed());
        QVERIFY(r.Message.endsWith(", operation aborted."));
        QVERIFY(r.Urls.isEmpty());
        return;
    }
    QCOMPARE(r.Urls.size(), 2);
    QCOMPARE(r.Urls[1],
             "http://" + Server +
                 "/cgi-bin/zeph/text_output/rankscout-pt.cgi?Search_URL=http%3A%2F%2Fh%2Fb&" +
                 query);
}

void TestToolLogic::enginepostChecksInOrder_data() {
    QTest::addColumn<bool>("engine");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("keywords");
    QTest::addColumn<QString>("email");
    QTest::addColumn<int>("focus");
    QTest::newRow("engine first") << false << ""
                                  << ""
                                  << ""
                                  << "" << int(InputField::Engines);
    QTest::newRow("blank title") << true << "   "
                                 << ""
                                 << ""
                                 << "" << int(InputField::Title);
    QTest::newRow("description") << true << "T"
                                 << ""
                                 << ""
                                 << "" << int(InputField::Description);
    QTest::newRow("key words") << true << "T"
                               << "D"
                               << " "
                               << "" << int(InputField::KeyWords);
    QTest::newRow("email at first") << true << "T"
                                    << "D"
                                    << "K"
                                    << "@a.bc" << int(InputField::Email);
    QTest::newRow("email of 3") << true << "T"
                                << "D"
                                << "K"
                                << "a@b" << int(InputField::Email);
    QTest::newRow("email without at") << true << "T"
                                      << "D"
                                      << "K"
                                      << "abcd" << int(InputField::Email);
    QTest::newRow("email of 4") << true << "T"
                                << "D"
                                << "K"
                                << "a@bc" << int(InputField::None);
}

void TestToolLogic::enginepostChecksInOrder() {
    QFETCH(bool, engine);
    QFETCH(QString, title);
    QFETCH(QString, description);
    QFETCH(QString, keywords);
    QFETCH(QString, email);
    QFETCH(int, focus);
    EnginepostInput input;
    input.Engines = QList<bool>(16, false);
    input.Engines[14] = engine; // What-u-Seek
    input.Title = title;
    input.Description = description;
    input.KeyWords = keywords;
    input.Email = email;
    const CheckedRequests r = EnginepostRequests(Server, {"http://h/"}, input);
    QCOMPARE(int(r.Focus), focus);
    QCOMPARE(r.Failed(), focus != int(InputField::None));
    if (!r.Failed())
        QCOMPARE(r.Urls.value(0),
                 "http://" + Server +
                     "/cgi-bin/zeph/text_output/submit-pt.cgi?url=http%3A%2F%2Fh%2F"
                     "&whatuseek=on&title=T&desc=D&keywords=K&email=a%40bc");
}

void TestToolLogic::typedValuesAreEncoded_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    const QString base = "http://" + Server + "/cgi-bin/zeph/text_output/";
    QTest::newRow("wordweigh blanks")
        << WordweighRequests(Server, {"http://h/"}, "  web  site ").Urls.value(0)
        << base + "wordweigh-pt.cgi?url=http%3A%2F%2Fh%2F&keywords=web%20%20site";
    QTest::newRow("wordweigh hash")
        << WordweighRequests(Server, {"http://h/"}, "C# programming").Urls.value(0)
        << base + "wordweigh-pt.cgi?url=http%3A%2F%2Fh%2F&keywords=C%23%20programming";
    QTest::newRow("wordweigh tab trimmed")
        << WordweighRequests(Server, {"http://h/"}, "\tweb\n").Urls.value(0)
        << base + "wordweigh-pt.cgi?url=http%3A%2F%2Fh%2F&keywords=web";
    QTest::newRow("wordweigh empty") << WordweighRequests(Server, {"http://h/"}, " ").Urls.value(0)
                                     << base + "wordweigh-pt.cgi?url=http%3A%2F%2Fh%2F&keywords=";
    QTest::newRow("rankscout hash")
        << RankscoutRequests(Server, {"http://h/"},
                             RankscoutInput{"C# tips", QList<bool>(9, true), false, false})
               .Urls.value(0)
        << base + "rankscout-pt.cgi?Search_URL=http%3A%2F%2Fh%2F&Search_Text=C%23+tips&altavista=1&"
                  "hotbot=1"
                  "&lycos=1&excite=1&infoseek=1&webcrawler=1&northernlight=1&yahoo=1&linkstar=1"
                  "&Detail=0";
    EnginepostInput post;
    post.AllEngines = true;
    post.Title = " My  #1 Site ";
    post.Description = "Best";
    post.KeyWords = "a b";
    post.Email = "me#x@h.org";
    QString engines;
    for (const EngineInfo& e : EnginepostEngines())
        engines += "&" + QString(e.Parameter) + "=on";
    QTest::newRow("enginepost hash keeps later parameters")
        << EnginepostRequests(Server, {"http://h/"}, post).Urls.value(0)
        << base + "submit-pt.cgi?url=http%3A%2F%2Fh%2F" + engines +
               "&title=My%20%20%231%20Site&desc=Best&keywords=a%20b&email=me%23x%40h.org";
}

void TestToolLogic::typedValuesAreEncoded() {
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(url, expected);
}

void TestToolLogic::fileAnswerFollowsLeave_data() {
    QTest::addColumn<bool>("leave");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<int>("removed");
    QTest::newRow("leave off replaces the first match, new entry at the end")
        << false << QStringList{"http://h/b", "http://h/a", "http://h/a"}
        << QStringList{"d2", "d3", "new"} << 0;
    QTest::newRow("leave on keeps both")
        << true << QStringList{"http://h/a", "http://h/b", "http://h/a", "http://h/a"}
        << QStringList{"d1", "d2", "d3", "new"} << -1;
}

void TestToolLogic::fileAnswerFollowsLeave() {
    QFETCH(bool, leave);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, dates);
    QFETCH(int, removed);
    ToolArchive archive{ToolKind::Wordweigh};
    archive.Append("http://h/a", "d1", "b1", "1");
    archive.Append("http://h/b", "d2", "b2", "2");
    archive.Append("http://h/a", "d3", "b3", "3");
    Intake in;
    in.Outcome = IntakeOutcome::Stored;
    in.Page = "http://h/a";
    in.Body = "body";
    in.Percentage = "9";
    const Filed filed = FileAnswer(archive, in, "new", leave);
    QCOMPARE(filed.Removed, removed);
    QCOMPARE(filed.Index, archive.Count() - 1);
    QCOMPARE(archive.Pages(), pages);
    QCOMPARE(archive.Dates(), dates);
    QCOMPARE(archive.Percentages().last(), QStringLiteral("9"));
    QVERIFY(archive.IsConsistent());
    QCOMPARE(OldReportText(archive, filed.Index), QStringLiteral("http://h/a, added new"));
}

void TestToolLogic::dateAdded_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    const QDateTime afternoon(QDate(2026, 12, 8), QTime(14, 30, 5));
    QTest::newRow("en_GB") << "en_GB" << afternoon << "08/12/2026 14:30:05";
    QTest::newRow("de_DE") << "de_DE" << afternoon << "08.12.26 14:30:05";
    QTest::newRow("midnight") << "en_GB" << QDateTime(QDate(2026, 12, 8), QTime(0, 0))
                              << "08/12/2026";
}

void TestToolLogic::dateAdded() {
    QFETCH(QString, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(DateAdded(when, QLocale(locale)), text);
}

QTEST_GUILESS_MAIN(TestToolLogic)
#include "TestToolLogic.moc"
