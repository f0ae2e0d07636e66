// The five tool pages over a host double: Start, answers in, the old-report
// lists beside their archives, Clear, Delete, Show from the site map and the
// controls of the input panels.
#include "Endpoints.h"
#include "EngineBoxes.h"
#include "FoldPanel.h"
#include "RecordingSink.h"
#include "ReportView.h"
#include "ToolHostDouble.h"
#include "ToolPages.h"
#include "ToolReports.h"
#include "ToolRun.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <memory>

using namespace vantora;
using namespace vantora::test;

namespace {

const QStringList ThreePages{"http://site/a.html", "http://site/b.html", "http://site/c.html"};

QByteArray WordweighAnswer(const QString& page, int percent) {
    return QStringLiteral("WORDWEIGH-v1.1<br>%1<br>x<br>PERCENTAGE: %2<br>")
        .arg(page)
        .arg(percent)
        .toUtf8();
}

QByteArray StuffwatchAnswer(const QString& page) {
    return ("STUFFWATCH-v1.1 " + page + "<br>x<br>NO-SPAM<br>").toUtf8();
}

// A host with the five pages made and their answer steps wired as the main
// window wires them.
struct Rig {
    ToolHostDouble host;
    std::array<std::unique_ptr<OnlineToolPage>, 5> pages;
    Rig() {
        for (const ToolInfo& tool : AllTools()) {
            auto& page = pages[size_t(TabIndex(tool.Kind))];
            page.reset(CreateToolPage(tool.Kind, host));
            const int tag = Tag(tool.Kind);
            OnlineToolPage* raw = page.get();
            host.Net.SetAnswerStep(
                tag, [this, raw, tag] { raw->TakeAnswer(host.Net.PendingAnswers(tag).value(0)); });
        }
        host.Pages = ThreePages;
    }
    template <class Page = OnlineToolPage> Page& page(ToolKind kind) {
        return *static_cast<Page*>(pages[size_t(TabIndex(kind))].get());
    }
    // The combo box's items, which must mirror the archive.
    static QStringList Items(OnlineToolPage& page) {
        QStringList items;
        for (int i = 0; i < page.OldReportList()->count(); ++i)
            items << page.OldReportList()->itemText(i);
        return items;
    }
    QStringList ArchiveItems(ToolKind kind) {
        QStringList items;
        const ToolArchive& archive = host.Data.Archive(kind);
        for (int i = 0; i < archive.Count(); ++i)
            items << OldReportText(archive, i);
        return items;
    }
};

} // namespace

class TestToolPages : public QObject {
    Q_OBJECT
  private slots:
    void startQueuesOnePerPageAndSecondToolWaits();
    void startStopsSilentlyWithoutConnectionOrPages();
    void rankscoutChecksFocusTheBoxAtFault();
    void enginepostChecksFocusTheBoxAtFault_data();
    void enginepostChecksFocusTheBoxAtFault();
    void enginepostManyPagesQuestion_data();
    void enginepostManyPagesQuestion();
    void badAnswersStoreNothing_data();
    void badAnswersStoreNothing();
    void resultIsFiledUnderTheRequestedPage_data();
    void resultIsFiledUnderTheRequestedPage();
    void viewShowsWhatTheRecordingHolds_data();
    void viewShowsWhatTheRecordingHolds();
    void leaveDecidesWhetherAResultIsReplaced_data();
    void leaveDecidesWhetherAResultIsReplaced();
    void deleteKeepsArchiveAndListPaired_data();
    void deleteKeepsArchiveAndListPaired();
    void clearAsksAndLeavesTheArchive_data();
    void clearAsksAndLeavesTheArchive();
    void showFromSiteMapWithoutResult_data();
    void showFromSiteMapWithoutResult();
    void stopMidRunThenStartAgain();
    void hugeAnswerIsShown();
    void allSearchEnginesDisablesTheOthers();
    void scrollHintOnlyWhileNarrow();
    void foldButtonsFoldAndUnfold();
    void boxesRefuseCharacters_data();
    void boxesRefuseCharacters();
    void enginepostScreenOrder();
};

void TestToolPages::startQueuesOnePerPageAndSecondToolWaits() {
    Rig rig;
    rig.page<WordweighPage>(ToolKind::Wordweigh).KeyWords()->setText(" web  design ");
    rig.page(ToolKind::Wordweigh).Start();
    QCOMPARE(rig.host.Http.Requested.size(), 1); // the first is sent, two wait
    QCOMPARE(rig.host.Net.RequestQueue.size(), 3);
    rig.page(ToolKind::Stuffwatch).Start();
    QCOMPARE(rig.host.Http.Requested.size(), 1); // the second tool waits behind the first
    QCOMPARE(rig.host.Net.RequestQueue.size(), 6);
    QVERIFY(rig.host.Net.RequestQueue[3].startsWith(
        "2http://127.0.0.1:47800/cgi-bin/zeph/text_output/spam-pt.cgi?url=http%3A%2F%2Fsite%2Fa"));
    for (int i = 0; i < 3; ++i)
        rig.host.Http.Answer(WordweighAnswer(ThreePages[i], 10 + i));
    for (int i = 0; i < 3; ++i)
        rig.host.Http.Answer(StuffwatchAnswer(ThreePages[i]));
    QVERIFY(rig.host.Net.TransportIdle);
    QCOMPARE(rig.host.Http.Requested.size(), 6); // each sent once
    QCOMPARE(rig.host.Http.Requested[0],
             "http://127.0.0.1:47800/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http%3A%2F%2F"
             "site%2Fa.html&keywords=web%20%20design");
    QCOMPARE(rig.host.Data.WordweighArchive.Pages(), ThreePages);
    QCOMPARE(rig.host.Data.WordweighArchive.Percentages(), (QStringList{"10", "11", "12"}));
    QCOMPARE(rig.host.Data.StuffwatchArchive.Pages(), ThreePages);
    for (const ToolKind kind : {ToolKind::Wordweigh, ToolKind::Stuffwatch}) {
        OnlineToolPage& page = rig.page(kind);
        QCOMPARE(Rig::Items(page), rig.ArchiveItems(kind));
        QCOMPARE(page.OldReportList()->currentIndex(), 2);
        QCOMPARE(page.Report()->toPlainText().count("End of Report"), 3);
    }
    QVERIFY(
        rig.page(ToolKind::Stuffwatch).Report()->toPlainText().contains("Page contains no Spam."));
    QCOMPARE(rig.host.Busy, 0); // every busy cursor was restored
}

void TestToolPages::startStopsSilentlyWithoutConnectionOrPages() {
    Rig rig;
    rig.host.Connected = false;
    for (auto& page : rig.pages)
        page->Start();
    QCOMPARE(rig.host.ConnectChecks, 5);
    rig.host.Connected = true;
    rig.host.Pages.clear();
    rig.page(ToolKind::Wordweigh).Start();
    rig.page(ToolKind::Backwatch).Start();
    QVERIFY(rig.host.Boxes.Asked.isEmpty());
    QVERIFY(rig.host.Net.RequestQueue.isEmpty());
    QVERIFY(rig.host.Http.Requested.isEmpty());
}

void TestToolPages::rankscoutChecksFocusTheBoxAtFault() {
    Rig rig;
    auto& page = rig.page<RankscoutPage>(ToolKind::Rankscout);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    page.Detail()->setFocus();
    page.KeyPhrase()->setText("   ");
    page.Start();
    QCOMPARE(
        rig.host.Boxes.Texts(),
        QStringList{"You must enter a Key Phrase to test your pages with, operation aborted."});
    QCOMPARE(rig.host.Boxes.Asked[0].Kind, MsgKind::Warning);
    QVERIFY(page.KeyPhrase()->hasFocus());
    page.KeyPhrase()->setText("web");
    page.Start();
    QCOMPARE(rig.host.Boxes.Texts().value(1),
             "You must select at least one Search Engine to test, operation aborted.");
    QVERIFY(rig.host.Net.RequestQueue.isEmpty());
    page.Engines()->Boxes()[1]->setChecked(true); // Hotbot
    page.Detail()->setChecked(true);
    page.Start();
    QCOMPARE(rig.host.Net.RequestQueue.size(), 3);
    QVERIFY(rig.host.Net.RequestQueue[0].endsWith("&Search_Text=web&hotbot=1&Detail=1"));
}

void TestToolPages::enginepostChecksFocusTheBoxAtFault_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("keywords");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<QString>("message");
    QTest::newRow("title") << " "
                           << "d"
                           << "k"
                           << "a@bc"
                           << "EnginepostTitle"
                           << "You must enter a Title for your Web Page as some search engines "
                              "require it, operation aborted.";
    QTest::newRow("description") << "t"
                                 << ""
                                 << "k"
                                 << "a@bc"
                                 << "EnginepostDescription"
                                 << "You must enter a Description of your Web Page as some search "
                                    "engines require it, operation aborted.";
    QTest::newRow("key words") << "t"
                               << "d"
                               << ""
                               << "a@bc"
                               << "EnginepostKeyWords"
                               << "You must enter some Key Words for your Web Page as some search "
                                  "engines require it, operation aborted.";
    QTest::newRow("email") << "t"
                           << "d"
                           << "k"
                           << "@abc"
                           << "EnginepostEmail"
                           << "You must enter a valid Email address as some search engines "
                              "require it, operation aborted.";
}

void TestToolPages::enginepostChecksFocusTheBoxAtFault() {
    QFETCH(QString, title);
    QFETCH(QString, description);
    QFETCH(QString, keywords);
    QFETCH(QString, email);
    QFETCH(QString, focused);
    QFETCH(QString, message);
    Rig rig;
    auto& page = rig.page<EnginepostPage>(ToolKind::Enginepost);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    page.Title()->setText(title);
    page.Description()->setText(description);
    page.KeyWords()->setText(keywords);
    page.Email()->setText(email);
    page.Start();
    QCOMPARE(rig.host.Boxes.Texts(),
             QStringList{"You must select at least one Search Engine to submit to, operation "
                         "aborted."});
    page.Engines()->Boxes()[0]->setChecked(true);
    page.Start();
    QCOMPARE(rig.host.Boxes.Texts().value(1), message);
    QCOMPARE(QApplication::focusWidget()->objectName(), focused);
    QVERIFY(rig.host.Net.RequestQueue.isEmpty());
}

void TestToolPages::enginepostManyPagesQuestion_data() {
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("queued");
    QTest::newRow("two pages, No") << 2 << int(MsgAnswer::No) << 1 << 0;
    QTest::newRow("two pages, Yes") << 2 << int(MsgAnswer::Yes) << 1 << 2;
    QTest::newRow("one page, not asked") << 1 << int(MsgAnswer::No) << 0 << 1;
}

void TestToolPages::enginepostManyPagesQuestion() {
    QFETCH(int, pages);
    QFETCH(int, answer);
    QFETCH(int, asked);
    QFETCH(int, queued);
    Rig rig;
    rig.host.Pages = ThreePages.mid(0, pages);
    auto& page = rig.page<EnginepostPage>(ToolKind::Enginepost);
    page.Engines()->All()->setChecked(true);
    page.Title()->setText("My  Site");
    page.Description()->setText("A shop");
    page.KeyWords()->setText("shop");
    page.Email()->setText("me@h.org");
    rig.host.Boxes.Answers.enqueue(MsgAnswer(answer));
    page.Start();
    QCOMPARE(rig.host.Boxes.Asked.size(), asked);
    if (asked) {
        QCOMPARE(rig.host.Boxes.Asked[0].Kind, MsgKind::Warning);
        QCOMPARE(rig.host.Boxes.Asked[0].Buttons, MsgButtons::YesNo);
        QVERIFY(rig.host.Boxes.Asked[0].Text.startsWith("Are you sure you want to Submit more"));
    }
    QCOMPARE(rig.host.Net.RequestQueue.size(), queued);
    if (queued)
        QVERIFY(rig.host.Net.RequestQueue[0].contains("&title=My%20%20Site&desc=A%20shop"));
}

void TestToolPages::badAnswersStoreNothing_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("errorBox");
    QTest::addColumn<QString>("shown"); // a line the report view shows, without a box
    const QString notOpened = QStringLiteral("(No report has been generated for this URL.)");
    const QString incomplete = QStringLiteral("The answer of Wordweigh for http://site/a.html was "
                                              "incomplete, so it has not been stored.");
    QTest::newRow("wordweigh wrong format")
        << 1 << QByteArray("Internal error, sorry") << true << "";
    QTest::newRow("wordweigh truncated marker") << 1 << QByteArray("WORDWEI") << true << "";
    QTest::newRow("wordweigh not opened")
        << 1 << QByteArray("WORDWEIGH-v1.1<br>ERROR-OPENING-URL<br>") << false << notOpened;
    QTest::newRow("wordweigh without percentage")
        << 1 << QByteArray("WORDWEIGH-v1.1<br>http://site/a.html<br>KEYWORDS: x<br>") << false
        << incomplete;
    QTest::newRow("wordweigh advice cut short")
        << 1
        << QByteArray("WORDWEIGH-v1.1<br>http://site/a.html<br>KEYWORDS: x<br>PERCENTAGE: 40<br>"
                      "PROBLEM: one<br>")
        << false << incomplete;
    QTest::newRow("stuffwatch error anywhere")
        << 2 << QByteArray("STUFFWATCH-v1.1 http://site/a.html<br>ERROR<br>") << false << notOpened;
    QTest::newRow("rankscout not opened")
        << 3 << QByteArray("RANKSCOUT<br>Unspecified Host or Keywords<br>") << false << notOpened;
    QTest::newRow("enginepost not opened")
        << 4 << QByteArray("ENGINEPOST-v1.1<br>ERROR-INVALID-URL<br>") << false << notOpened;
    QTest::newRow("backwatch lower-case")
        << 5 << QByteArray("backwatch-v1.1<br>x<br>") << true << "";
}

void TestToolPages::badAnswersStoreNothing() {
    QFETCH(int, kind);
    QFETCH(QByteArray, answer);
    QFETCH(bool, errorBox);
    QFETCH(QString, shown);
    Rig rig;
    const ToolKind tool = ToolKind(kind);
    rig.host.Data.Archive(tool).Append("http://site/old.html", "d", "http://site/old.html<br>");
    rig.page(tool).RebuildOldReports();
    rig.host.Net.Append(kind, "http://127.0.0.1:47800/x?url=http%3A%2F%2Fsite%2Fa.html");
    rig.host.Net.StartNextRequest(QString(), 0);
    rig.host.Http.Answer(answer);
    QCOMPARE(rig.host.Data.Archive(tool).Count(), 1);
    QCOMPARE(Rig::Items(rig.page(tool)), rig.ArchiveItems(tool));
    if (errorBox) {
        QCOMPARE(rig.host.Boxes.Texts(),
                 QStringList{"An error occurred while retrieving data from the Server, the data "
                             "received was invalid.\rPlease contact Korvane Ltd. about this "
                             "problem."});
        QCOMPARE(rig.host.Boxes.Asked[0].Kind, MsgKind::Error);
        QVERIFY(rig.page(tool).Report()->toPlainText().isEmpty());
    } else {
        QVERIFY(rig.host.Boxes.Asked.isEmpty());
        QVERIFY2(rig.page(tool).Report()->toPlainText().split('\n').contains(shown),
                 qPrintable(rig.page(tool).Report()->toPlainText()));
    }
}

// The server may echo a page's URL changed (its marker words in another
// case); the result is filed under the URL that was asked for, so Show
// from the site map finds it and starts no new run.
void TestToolPages::resultIsFiledUnderTheRequestedPage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("answer");
    const QString echo = QStringLiteral("http://site/Error-codes.html");
    QTest::newRow("wordweigh") << 1 << "WORDWEIGH-v1.1<br>" + echo + "<br>x<br>PERCENTAGE: 50<br>";
    QTest::newRow("stuffwatch") << 2 << "STUFFWATCH-v1.1 " + echo + "<br>x<br>NO-SPAM<br>";
    QTest::newRow("rankscout") << 3
                               << "RANKSCOUT<br><ROOT>" + echo +
                                      "<br><KEYWORDS>k<br><ENGINE>LYCOS<br><MATCH>3<br>";
    QTest::newRow("enginepost") << 4 << "ENGINEPOST-v1.1<br>" + echo + "<br>1 of 1<br>ok<br>x<br>";
    QTest::newRow("backwatch") << 5 << "BACKWATCH-v1.1<br>" + echo + "<br>x<br>END<br>";
}

void TestToolPages::resultIsFiledUnderTheRequestedPage() {
    QFETCH(int, kind);
    QFETCH(QString, answer);
    const QString page = QStringLiteral("http://site/ERROR-codes.html");
    Rig rig;
    const ToolKind tool = ToolKind(kind);
    rig.host.Opts.ReportGen = true;
    rig.host.Pages = {page};
    OnlineToolPage& toolPage = rig.page(tool);
    rig.host.Net.Append(kind, QStringLiteral("http://127.0.0.1:47800/x.cgi?") +
                                  (kind == 3 ? "Search_URL=" : "url=") + PageParameter(page));
    rig.host.Net.StartNextRequest(QString(), 0);
    rig.host.Http.Answer(answer.toUtf8());
    QCOMPARE(rig.host.Data.Archive(tool).Pages(), QStringList{page});
    const qsizetype sent = rig.host.Http.Requested.size();
    toolPage.ShowFromSiteMap(page);
    QCOMPARE(rig.host.Http.Requested.size(), sent); // found: no new run
    QCOMPARE(toolPage.OldReportList()->currentIndex(), 0);
}

void TestToolPages::leaveDecidesWhetherAResultIsReplaced_data() {
    QTest::addColumn<bool>("leave");
    QTest::addColumn<QStringList>("pages");
    QTest::newRow("leave off: the entry moves to the end")
        << false << QStringList{"http://site/b.html", "http://site/a.html"};
    QTest::newRow("leave on: both kept")
        << true << QStringList{"http://site/a.html", "http://site/b.html", "http://site/a.html"};
}

void TestToolPages::leaveDecidesWhetherAResultIsReplaced() {
    QFETCH(bool, leave);
    QFETCH(QStringList, pages);
    Rig rig;
    rig.host.Opts.Leave = leave;
    rig.host.Opts.Clear = true;
    rig.host.Pages = {"http://site/a.html", "http://site/b.html"};
    OnlineToolPage& page = rig.page(ToolKind::Stuffwatch);
    page.Start();
    rig.host.Http.Answer(StuffwatchAnswer("http://site/a.html"));
    rig.host.Http.Answer(StuffwatchAnswer("http://site/b.html"));
    rig.host.Time = rig.host.Time.addSecs(60);
    rig.host.Pages = {"http://site/a.html"};
    page.Start();
    rig.host.Http.Answer(StuffwatchAnswer("http://site/a.html"));
    QCOMPARE(rig.host.Data.StuffwatchArchive.Pages(), pages);
    QCOMPARE(Rig::Items(page), rig.ArchiveItems(ToolKind::Stuffwatch));
    QCOMPARE(page.OldReportList()->currentIndex(), pages.size() - 1);
    // Show from the site map finds the newest result of the page.
    page.Report()->clear();
    page.ShowFromSiteMap("http://site/a.html");
    QCOMPARE(rig.host.ShownPage, TabIndex(ToolKind::Stuffwatch));
    QCOMPARE(page.OldReportList()->currentIndex(), pages.size() - 1);
    const QString newest = rig.host.Data.StuffwatchArchive.Dates().last();
    QVERIFY(page.Report()->toPlainText().startsWith("Stuffwatch - Report, created " + newest));
}

void TestToolPages::deleteKeepsArchiveAndListPaired_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("left");
    for (const ToolInfo& tool : AllTools()) {
        QTest::addRow("%s middle", tool.Caption.data())
            << int(tool.Kind) << 1 << QStringList{"http://site/a.html", "http://site/c.html"};
        QTest::addRow("%s nothing selected", tool.Caption.data())
            << int(tool.Kind) << -1 << ThreePages;
    }
}

void TestToolPages::deleteKeepsArchiveAndListPaired() {
    QFETCH(int, kind);
    QFETCH(int, selected);
    QFETCH(QStringList, left);
    Rig rig;
    const ToolKind tool = ToolKind(kind);
    for (const QString& p : ThreePages)
        rig.host.Data.Archive(tool).Append(p, "d", p + "<br>",
                                           tool == ToolKind::Wordweigh ? "5" : "");
    OnlineToolPage& page = rig.page(tool);
    page.RebuildOldReports();
    QCOMPARE(page.OldReportList()->currentIndex(), -1); // nothing chosen after opening
    page.OldReportList()->setCurrentIndex(selected);
    page.Report()->setPlainText("kept");
    page.DeleteSelected();
    QCOMPARE(rig.host.Data.Archive(tool).Pages(), left);
    QVERIFY(rig.host.Data.Archive(tool).IsConsistent());
    QCOMPARE(Rig::Items(page), rig.ArchiveItems(tool));
    QCOMPARE(page.Report()->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(rig.host.Modified, selected >= 0 ? 1 : 0);
}

void TestToolPages::clearAsksAndLeavesTheArchive_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("yes") << int(MsgAnswer::Yes) << true;
    QTest::newRow("no") << int(MsgAnswer::No) << false;
}

void TestToolPages::clearAsksAndLeavesTheArchive() {
    QFETCH(int, answer);
    QFETCH(bool, cleared);
    Rig rig;
    OnlineToolPage& page = rig.page(ToolKind::Backwatch);
    rig.host.Pages = {"http://site/a.html"};
    page.Start();
    rig.host.Http.Answer("BACKWATCH-v1.1<br>http://site/a.html<br>x<br>END<br>");
    rig.host.Boxes.Answers.enqueue(MsgAnswer(answer));
    page.ClearButton()->click();
    QCOMPARE(rig.host.Boxes.Asked.value(0).Kind, MsgKind::Confirm);
    QVERIFY(rig.host.Boxes.Asked.value(0).Text.startsWith(
        "Are you sure you want to clear the Report view, any edited changes will be lost!\r"));
    QCOMPARE(page.Report()->toPlainText().isEmpty(), cleared);
    QCOMPARE(rig.host.Data.BackwatchArchive.Count(), 1);
}

void TestToolPages::showFromSiteMapWithoutResult_data() {
    QTest::addColumn<bool>("reportGen");
    QTest::newRow("ReportGen off") << false;
    QTest::newRow("ReportGen on") << true;
}

void TestToolPages::showFromSiteMapWithoutResult() {
    QFETCH(bool, reportGen);
    Rig rig;
    rig.host.Opts.ReportGen = reportGen;
    rig.host.Pages = {"http://site/a.html"};
    auto& rank = rig.page<RankscoutPage>(ToolKind::Rankscout);
    rank.KeyPhrase()->setText("web");
    rank.ShowFromSiteMap("http://site/a.html");
    QCOMPARE(rig.host.ShownPage, TabIndex(ToolKind::Rankscout));
    QVERIFY(rank.Engines()->All()->isChecked());
    for (QCheckBox* box : rank.Engines()->Boxes())
        QVERIFY(!box->isEnabled());
    QCOMPARE(rig.host.Net.RequestQueue.size(), reportGen ? 1 : 0);

    auto& post = rig.page<EnginepostPage>(ToolKind::Enginepost);
    post.ShowFromSiteMap("http://site/a.html");
    QStringList checked;
    for (QCheckBox* box : post.Engines()->Boxes())
        if (box->isChecked())
            checked << box->text();
    QCOMPARE(checked, (QStringList{"Lycos", "HotBot", "AltaVista", "Excite", "Infoseek"}));
    QVERIFY(!post.Engines()->All()->isChecked());
    // With ReportGen on, Enginepost's own checks stop the run (no title yet).
    QCOMPARE(rig.host.Boxes.Asked.size(), reportGen ? 1 : 0);
    QVERIFY(post.Report()->toPlainText().isEmpty());
}

void TestToolPages::stopMidRunThenStartAgain() {
    Rig rig;
    OnlineToolPage& page = rig.page(ToolKind::Stuffwatch);
    page.Start();
    rig.host.Http.Answer(StuffwatchAnswer(ThreePages[0]));
    rig.host.Net.Stop();
    QVERIFY(rig.host.Net.TransportIdle);
    QVERIFY(rig.host.Net.RequestQueue.isEmpty());
    QCOMPARE(rig.host.Data.StuffwatchArchive.Count(), 1);
    QCOMPARE(rig.host.Http.Requested.size(), 2);
    page.Start();
    QCOMPARE(rig.host.Http.Requested.size(), 3); // a new run starts at once
    QCOMPARE(rig.host.Net.RequestQueue.size(), 3);
}

void TestToolPages::hugeAnswerIsShown() {
    Rig rig;
    rig.host.Pages = {"http://site/a.html"};
    OnlineToolPage& page = rig.page(ToolKind::Backwatch);
    page.Start();
    QByteArray answer = "BACKWATCH-v1.1<br>http://site/a.html<br>x<br>";
    const QByteArray group = "http://linking.example/page.html<br>1<br>2<br>3<br>4<br>5<br>";
    while (answer.size() < 2 * 1024 * 1024)
        answer += group;
    rig.host.Http.Answer(answer);
    QCOMPARE(rig.host.Data.BackwatchArchive.Count(), 1);
    const QString text = page.Report()->toPlainText();
    QVERIFY(text.trimmed().endsWith(QStringLiteral("End of Report")));
    QVERIFY(text.count(QStringLiteral("linking.example")) > 30000);
}

void TestToolPages::allSearchEnginesDisablesTheOthers() {
    Rig rig;
    for (const ToolKind kind : {ToolKind::Rankscout, ToolKind::Enginepost}) {
        EngineBoxes* engines = kind == ToolKind::Rankscout
                                   ? rig.page<RankscoutPage>(kind).Engines()
                                   : rig.page<EnginepostPage>(kind).Engines();
        QCOMPARE(engines->Boxes().size(), kind == ToolKind::Rankscout ? 9 : 16);
        QVERIFY(!engines->AnyChecked());
        engines->All()->click();
        for (QCheckBox* box : engines->Boxes())
            QVERIFY(!box->isEnabled());
        engines->All()->click();
        for (QCheckBox* box : engines->Boxes())
            QVERIFY(box->isEnabled());
    }
}

void TestToolPages::scrollHintOnlyWhileNarrow() {
    Rig rig;
    auto& page = rig.page<EnginepostPage>(ToolKind::Enginepost);
    page.resize(400, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QTRY_VERIFY(page.Engines()->ScrollHint()->isVisible());
    page.resize(3000, 600);
    QTRY_VERIFY(!page.Engines()->ScrollHint()->isVisible());
}

void TestToolPages::foldButtonsFoldAndUnfold() {
    Rig rig;
    auto& page = rig.page<WordweighPage>(ToolKind::Wordweigh);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    FoldPanel* panel = page.Panel();
    QCOMPARE(panel->Toggle()->text(),
             QStringLiteral("-  Key Words... (separated with spaces)      "));
    QVERIFY(page.KeyWords()->isVisible());
    panel->Toggle()->click();
    QCOMPARE(panel->Toggle()->text(),
             QStringLiteral("+  Key Words... (separated with spaces)      "));
    QVERIFY(!page.KeyWords()->isVisible());
    panel->Toggle()->click();
    QVERIFY(page.KeyWords()->isVisible());
    QVERIFY(panel->Box()->hasFocus());
}

void TestToolPages::boxesRefuseCharacters_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("key words") << 1 << "WordweighKeyWords"
                               << "a?b%c&d# e+"
                               << "abcd# e+";
    QTest::newRow("key phrase") << 3 << "RankscoutKeyPhrase"
                                << "a?b%c&d# e+"
                                << "abcd# e";
    QTest::newRow("title") << 4 << "EnginepostTitle"
                           << "a?b%c&d# e+"
                           << "abcd# e+";
    QTest::newRow("email") << 4 << "EnginepostEmail"
                           << "me @x?.org"
                           << "me@x.org";
}

void TestToolPages::boxesRefuseCharacters() {
    QFETCH(int, kind);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    Rig rig;
    auto* edit = rig.page(ToolKind(kind)).findChild<QLineEdit*>(box);
    QVERIFY(edit);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), kept);
    if (kind != 4) {
        edit->setText(QString(600, QLatin1Char('x')));
        QCOMPARE(edit->text().size(), 512);
    }
}

void TestToolPages::enginepostScreenOrder() {
    Rig rig;
    QStringList captions;
    for (QCheckBox* box : rig.page<EnginepostPage>(ToolKind::Enginepost).Engines()->Boxes())
        captions << box->text();
    QCOMPARE(captions,
             (QStringList{"Lycos", "HotBot", "AltaVista", "Excite", "Webcrawler", "Infoseek",
                          "PlanetSearch", "NetFind", "ScrubTheWeb", "SiteFinder", "Moshix2",
                          "QuestFinder", "Xerus", "Zap", "What-u-Seek", "Megallan"}));
    // The request keeps the table's order whatever the screen order.
    rig.host.Pages = {"http://site/a.html"};
    auto& page = rig.page<EnginepostPage>(ToolKind::Enginepost);
    page.Engines()->Boxes()[0]->setChecked(true); // Lycos
    page.Engines()->Boxes()[2]->setChecked(true); // AltaVista
    page.Title()->setText("t");
    page.Description()->setText("d");
    page.KeyWords()->setText("k");
    page.Email()->setText("a@bc");
    page.Start();
    QVERIFY(rig.host.Net.RequestQueue.value(0).contains(
        "url=http%3A%2F%2Fsite%2Fa.html&altavista=on&lycos=on&title="));
}

// The real report view, read back paragraph by paragraph in the recording
// sink's "style|text" form.
static QStringList ViewStyled(const QTextDocument& document) {
    QStringList out;
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        const QTextCharFormat f =
            block.begin().atEnd() ? block.charFormat() : block.begin().fragment().charFormat();
        QString style;
        if (f.fontWeight() == QFont::Bold)
            style += 'B';
        if (f.fontItalic())
            style += 'I';
        if (f.fontUnderline())
            style += 'U';
        out << style + ' ' + f.fontFamilies().toStringList().value(0) + ' ' +
                   QString::number(int(f.fontPointSize())) + '|' + block.text();
    }
    return out;
}

void TestToolPages::viewShowsWhatTheRecordingHolds_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("body");
    QTest::newRow("wordweigh tips only")
        << 1 << "http://h/<br>KEYWORDS: k<br>PERCENTAGE: 80<br>TIP: a<br>why<br>fix<br>code<br>";
    QTest::newRow("stuffwatch with paragraph separators")
        << 2 << QStringLiteral("http://h/<br>x<br>Hidden\u2029text<br>12\u2028words<br>w<br>h<br>");
    QTest::newRow("rankscout") << 3
                               << "<ROOT>http://h/<br><KEYWORDS>k<br><ENGINE>LYCOS<br><URL1>u<br>"
                                  "<MATCH>3<br>";
    QTest::newRow("backwatch truncated") << 5 << "http://h/";
}

void TestToolPages::viewShowsWhatTheRecordingHolds() {
    QFETCH(int, kind);
    QFETCH(QString, body);
    ToolArchive archive{ToolKind(kind)};
    archive.Append("http://h/", "d", body, kind == 1 ? "80" : "");
    RecordingSink recording;
    ReportView view;
    view.AppendLine("old report"); // cleared first
    const bool whole = WriteStoredReport(archive, 0, recording, true);
    QCOMPARE(WriteStoredReport(archive, 0, view, true), whole);
    QStringList expected = recording.Styled();
    // The view keeps each line one paragraph.
    for (QString& line : expected)
        line.replace(QChar(0x2028), ' ').replace(QChar(0x2029), ' ');
    QCOMPARE(ViewStyled(*view.document()), expected);
    if (kind == 1)
        QVERIFY(!recording.Texts().contains("No more additional advice."));
}

QTEST_MAIN(TestToolPages)
#include "TestToolPages.moc"
