// The bulletin board's operations over a recording view and a fake host,
// and its page: the list's pictures, a click opening a message, Delete and
// the pop-up's stop entries.
#include "BulletinBoard.h"
#include "BulletinPage.h"
#include "Fakes.h"
#include "NetFakes.h"
#include "ReportView.h"
#include "Transport.h"
#include "Watch.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace vantora;
using namespace vantora::test;

namespace {

struct RecordedLine {
    QString Text;
    ReportFormat Format;
};

class RecordingSink : public ReportSink {
  public:
    QList<RecordedLine> Lines;
    int Clears = 0;
    ReportFormat Current;
    void ClearReport() override {
        ++Clears;
        Lines.clear();
    }
    void SetFormat(const ReportFormat& format) override { Current = format; }
    void AppendLine(const QString& text) override { Lines.append({text, Current}); }
    QStringList Texts() const {
        QStringList texts;
        for (const RecordedLine& line : Lines)
            texts << line.Text;
        return texts;
    }
};

// TransportHost has pure members; a silent one for the tests.
class QuietTransportHost : public TransportHost {
  public:
    void SetStatus(const QString&) override {}
    void SetBusy(bool) override {}
    void SetProjectModified() override {}
};

void AddMessages(ProjectData& project) {
    project.RootHost = QStringLiteral("www.example.org");
    project.RootPath = QStringLiteral("/shop/");
    project.BulletinMessages.Append(QStringLiteral("Hello<br>there"), QStringLiteral("Support"),
                                    QStringLiteral("http://www.example.org/shop/"),
                                    QStringLiteral("0"));
    project.BulletinMessages.Append(QStringLiteral("Seen before"), QStringLiteral("Sales"),
                                    QStringLiteral("http://www.example.org/shop/b.html"),
                                    QStringLiteral("1"));
    project.BulletinMessages.Append(QStringLiteral("Third"), QStringLiteral("Ranks"),
                                    QStringLiteral("http://www.example.org/c.html"),
                                    QStringLiteral("0"));
}

const QString EraseQuestion =
    QStringLiteral("Are you sure you want to Erase the selected Message from the Bulletin Board?");
const QString NotConnected =
    QStringLiteral("You must be connected to the Internet to complete this operation, please "
                   "retry when you are connected.");

} // namespace

// A host over test doubles; the transport sends through a fake HTTP client.
class TestHost : public BulletinHost {
  public:
    TestHost() : NetRef(Http, Quiet) {}
    ProjectData Data;
    FakeDialogs Boxes;
    FakeHttpClient Http;
    QuietTransportHost Quiet;
    vantora::Transport NetRef;
    QString Server = QStringLiteral("127.0.0.1:47800");
    QString User;
    bool Connected = true;
    bool Modified = false;
    int ConnectChecks = 0;

    ProjectData& Project() override { return Data; }
    Dialogs& MessageBoxes() override { return Boxes; }
    vantora::Transport& Net() override { return NetRef; }
    QString ServerAddress() const override { return Server; }
    QString UserId() const override { return User; }
    bool CheckConnect() override {
        ++ConnectChecks;
        return Connected;
    }
    void SetProjectModified() override { Modified = true; }
};

class TestBulletinBoard : public QObject {
    Q_OBJECT
  private slots:
    void openingCutsTheMessageAtBreaks_data();
    void openingCutsTheMessageAtBreaks();
    void openingAReadMessageStillMarksTheProject();
    void openingWithoutSelectionDoesNothing();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void stopEntriesFollowTheFlags_data();
    void stopEntriesFollowTheFlags();
    void stopRequests_data();
    void stopRequests();
    void stopWaitsBehindARequestInFlight();
    void stopWithoutConnectionQueuesNothing();

    void pageListsMessagesWithReadPictures();
    void clickOpensAndMarksTheRow();
    void deleteKeyWithoutSelectionAsksThenKeepsAll();
    void popupEnablesStopEntriesFromTheFlags();
    void listColumnFollowsThePanelWidth();
    void periodicCheckRunsWhenDueAndIdle();
};

void TestBulletinBoard::openingCutsTheMessageAtBreaks_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("two words") << "Hello<br>there" << QStringList{"Hello", "there"};
    QTest::newRow("no break, whole")
        << "Just one line, with <b> and <br/>" << QStringList{"Just one line, with <b> and <br/>"};
    QTest::newRow("ends in a break") << "word<br>" << QStringList{"word", ""};
    QTest::newRow("empty line inside") << "a<br><br>b" << QStringList{"a", "", "b"};
    QTest::newRow("starts with a break") << "<br>x" << QStringList{"", "x"};
    QTest::newRow("empty message") << "" << QStringList{""};
}

void TestBulletinBoard::openingCutsTheMessageAtBreaks() {
    QFETCH(QString, body);
    QFETCH(QStringList, lines);
    TestHost host;
    AddMessages(host.Data);
    BulletinList& messages = host.Data.BulletinMessages;
    QStringList bodies = messages.Bodies();
    bodies[2] = body;
    QVERIFY(
        messages.SetColumns(bodies, messages.Senders(), messages.Pages(), messages.ReadStates()));
    RecordingSink view;
    view.AppendLine(QStringLiteral("an older message"));

    QVERIFY(OpenMessage(host, 2, view));
    QCOMPARE(view.Texts(), lines);
    QVERIFY(view.Clears >= 1);
    for (const RecordedLine& line : view.Lines) {
        QCOMPARE(line.Format.FontName, QStringLiteral("Arial"));
        QVERIFY(!line.Format.Bold && !line.Format.Underline);
    }
    QCOMPARE(host.Data.BulletinMessages.ReadStates().at(2), QStringLiteral("1"));
    QCOMPARE(host.Data.BulletinMessages.ReadStates().at(0), QStringLiteral("0"));
    QVERIFY(host.Modified);
}

void TestBulletinBoard::openingAReadMessageStillMarksTheProject() {
    TestHost host;
    AddMessages(host.Data);
    RecordingSink view;
    QVERIFY(OpenMessage(host, 1, view));
    QCOMPARE(view.Texts(), QStringList{"Seen before"});
    QCOMPARE(host.Data.BulletinMessages.ReadStates().at(1), QStringLiteral("1"));
    QVERIFY(host.Modified);
}

void TestBulletinBoard::openingWithoutSelectionDoesNothing() {
    TestHost host;
    AddMessages(host.Data);
    RecordingSink view;
    view.AppendLine(QStringLiteral("kept"));
    for (int index : {-1, 3}) {
        QVERIFY(!OpenMessage(host, index, view));
        QCOMPARE(view.Texts(), QStringList{"kept"});
    }
    QVERIFY(!host.Modified);
    QCOMPARE(host.Data.BulletinMessages.ReadStates(), QStringList({"0", "1", "0"}));
}

void TestBulletinBoard::deleteAsksFirst_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("sendersLeft");
    QTest::newRow("no selection, Yes")
        << -1 << int(MsgAnswer::Yes) << QStringList{"Support", "Sales", "Ranks"};
    QTest::newRow("no selection, No")
        << -1 << int(MsgAnswer::No) << QStringList{"Support", "Sales", "Ranks"};
    QTest::newRow("middle, No") << 1 << int(MsgAnswer::No)
                                << QStringList{"Support", "Sales", "Ranks"};
    QTest::newRow("middle, Yes") << 1 << int(MsgAnswer::Yes) << QStringList{"Support", "Ranks"};
    QTest::newRow("last, Yes") << 2 << int(MsgAnswer::Yes) << QStringList{"Support", "Sales"};
}

void TestBulletinBoard::deleteAsksFirst() {
    QFETCH(int, selected);
    QFETCH(int, answer);
    QFETCH(QStringList, sendersLeft);
    TestHost host;
    AddMessages(host.Data);
    host.Boxes.Answers.enqueue(MsgAnswer(answer));
    RecordingSink view;
    view.AppendLine(QStringLiteral("shown"));

    const bool removed = DeleteMessage(host, selected, view);

    QCOMPARE(host.Boxes.Asked.size(), 1);
    QCOMPARE(host.Boxes.Asked[0].Text, EraseQuestion);
    QCOMPARE(host.Boxes.Asked[0].Kind, MsgKind::Confirm);
    QCOMPARE(host.Boxes.Asked[0].Buttons, MsgButtons::YesNo);
    const BulletinList& messages = host.Data.BulletinMessages;
    QCOMPARE(messages.Senders(), sendersLeft);
    QVERIFY(messages.IsConsistent());
    QCOMPARE(removed, sendersLeft.size() == 2);
    // The removed message's view is emptied; a refused delete leaves it.
    QCOMPARE(view.Texts().isEmpty(), removed);
    QCOMPARE(host.Modified, removed);
    if (removed && selected == 1)
        QCOMPARE(messages.Bodies(), QStringList({"Hello<br>there", "Third"}));
}

void TestBulletinBoard::stopEntriesFollowTheFlags_data() {
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Y") << "Y" << true;
    QTest::newRow("N") << "N" << false;
    QTest::newRow("lower case y") << "y" << false;
    QTest::newRow("Y with a blank") << "Y " << false;
    QTest::newRow("Yes") << "Yes" << false;
    QTest::newRow("empty") << "" << false;
}

void TestBulletinBoard::stopEntriesFollowTheFlags() {
    QFETCH(QString, flag);
    QFETCH(bool, enabled);
    QCOMPARE(StopEntryEnabled(flag), enabled);
}

void TestBulletinBoard::stopRequests_data() {
    QTest::addColumn<int>("tool");
    QTest::addColumn<QString>("userId");
    QTest::addColumn<QString>("entry");
    QTest::newRow("backwatch, no user id")
        << int(BulletinTool::Backwatch) << ""
        << "8http://127.0.0.1:47800/cgi-bin/zeph/register/unreguser.cgi?uid=&project=http%3A%2F%2F"
           "www.example.org";
    QTest::newRow("rankscout, no user id")
        << int(BulletinTool::Rankscout) << ""
        << "7http://127.0.0.1:47800/cgi-bin/zeph/register/kpreguser.cgi?action=del&uid=&project="
           "http%3A%2F%2Fwww.example.org";
    QTest::newRow("backwatch, user id") << int(BulletinTool::Backwatch) << "u42"
                                        << "8http://127.0.0.1:47800/cgi-bin/zeph/register/"
                                           "unreguser.cgi?uid=u42&project=http%3A%2F%2F"
                                           "www.example.org";
}

void TestBulletinBoard::stopRequests() {
    QFETCH(int, tool);
    QFETCH(QString, userId);
    QFETCH(QString, entry);
    TestHost host;
    AddMessages(host.Data);
    host.Data.ProxyServer = QStringLiteral("proxy.local");
    host.Data.ProxyPort = 3128;
    host.User = userId;

    QVERIFY(StopBulletins(host, BulletinTool(tool)));

    QCOMPARE(host.ConnectChecks, 1);
    QCOMPARE(host.NetRef.RequestQueue, QStringList{entry});
    // The idle transport was started: the request went out through the proxy.
    QCOMPARE(host.Http.Requested, QStringList{entry.mid(1)});
    QVERIFY(host.Http.ProxyOn);
    QCOMPARE(host.Http.ProxyHost, QStringLiteral("proxy.local"));
    QVERIFY(!host.NetRef.TransportIdle);
    QVERIFY(host.Boxes.Asked.isEmpty());
    // The flags do not change, so the entries stay as they were.
    QCOMPARE(host.Data.BackwatchBulletins, QStringLiteral("N"));
}

void TestBulletinBoard::stopWaitsBehindARequestInFlight() {
    TestHost host;
    AddMessages(host.Data);
    host.NetRef.RequestQueue << QStringLiteral("1http://127.0.0.1:47800/first");
    host.NetRef.TransportIdle = false;
    QVERIFY(StopBulletins(host, BulletinTool::Rankscout));
    QCOMPARE(host.NetRef.RequestQueue.size(), 2);
    QVERIFY(host.NetRef.RequestQueue.at(1).startsWith(QStringLiteral("7http://")));
    QVERIFY(host.Http.Requested.isEmpty());
}

void TestBulletinBoard::stopWithoutConnectionQueuesNothing() {
    TestHost host;
    AddMessages(host.Data);
    host.Connected = false;
    QVERIFY(!StopBulletins(host, BulletinTool::Backwatch));
    QCOMPARE(host.Boxes.Texts(), QStringList{NotConnected});
    QCOMPARE(host.Boxes.Asked[0].Kind, MsgKind::Information);
    QVERIFY(host.NetRef.RequestQueue.isEmpty());
    QVERIFY(host.Http.Requested.isEmpty());
    QVERIFY(host.NetRef.TransportIdle);
}

// ---------------------------------------------------------------- the page

namespace {

bool SameIcon(const QIcon& a, const QIcon& b) {
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

void Select(BulletinPage& page, int row) {
    page.BBList->clearSelection();
    if (row >= 0)
        page.BBList->topLevelItem(row)->setSelected(true);
}

} // namespace

void TestBulletinBoard::pageListsMessagesWithReadPictures() {
    TestHost host;
    AddMessages(host.Data);
    BulletinPage page(host);
    QVERIFY(!page.isEnabled());
    page.SetProjectOpen(true);
    QVERIFY(page.isEnabled() && page.BBList->isEnabled() && page.PrintButton->isEnabled());
    QVERIFY(page.UpdateButton->isEnabled());
    QVERIFY(!SameIcon(BulletinPage::FlagIcon(0), BulletinPage::FlagIcon(1)));

    page.FillBulletinList();
    QCOMPARE(page.BBList->topLevelItemCount(), 3);
    QCOMPARE(page.BBList->topLevelItem(1)->text(0), QStringLiteral("Sales"));
    QCOMPARE(page.BBList->topLevelItem(1)->text(1),
             QStringLiteral("http://www.example.org/shop/b.html"));
    QVERIFY(SameIcon(page.BBList->topLevelItem(0)->icon(0), BulletinPage::FlagIcon(0)));
    QVERIFY(SameIcon(page.BBList->topLevelItem(1)->icon(0), BulletinPage::FlagIcon(1)));

    page.FillBulletinList();
    QCOMPARE(page.BBList->topLevelItemCount(), 3);
    page.ClearBoard();
    QCOMPARE(page.BBList->topLevelItemCount(), 0);
}

void TestBulletinBoard::clickOpensAndMarksTheRow() {
    TestHost host;
    AddMessages(host.Data);
    BulletinPage page(host);
    page.SetProjectOpen(true);
    page.resize(500, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.FillBulletinList();

    QTreeWidgetItem* row = page.BBList->topLevelItem(0);
    const QPoint at = page.BBList->visualItemRect(row).center();
    QTest::mouseClick(page.BBList->viewport(), Qt::LeftButton, {}, at);

    QCOMPARE(page.MessageView->toPlainText(), QStringLiteral("Hello\nthere"));
    QVERIFY(SameIcon(row->icon(0), BulletinPage::FlagIcon(1)));
    QCOMPARE(host.Data.BulletinMessages.ReadStates().at(0), QStringLiteral("1"));
    QVERIFY(host.Modified);
    QVERIFY(page.MessageView->isReadOnly());
    QCOMPARE(page.MessageView->lineWrapMode(), QTextEdit::NoWrap);
}

void TestBulletinBoard::deleteKeyWithoutSelectionAsksThenKeepsAll() {
    TestHost host;
    AddMessages(host.Data);
    BulletinPage page(host);
    page.SetProjectOpen(true);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.FillBulletinList();
    Select(page, -1);
    page.BBList->setFocus();
    QTest::keyClick(page.BBList, Qt::Key_Delete);
    QCOMPARE(host.Boxes.Texts(), QStringList{EraseQuestion});
    QCOMPARE(page.BBList->topLevelItemCount(), 3);

    Select(page, 0);
    page.DeleteAction->trigger();
    QCOMPARE(host.Boxes.Asked.size(), 2);
    QCOMPARE(page.BBList->topLevelItemCount(), 2);
    QCOMPARE(page.BBList->topLevelItem(0)->text(0), QStringLiteral("Sales"));
    QCOMPARE(host.Data.BulletinMessages.Count(), 2);
}

void TestBulletinBoard::popupEnablesStopEntriesFromTheFlags() {
    TestHost host;
    AddMessages(host.Data);
    host.Data.BackwatchBulletins = QStringLiteral("N");
    host.Data.RankscoutBulletins = QStringLiteral("Y");
    BulletinPage page(host);
    page.SetProjectOpen(true);
    QCOMPARE(page.Popup->defaultAction(), page.SelectAction);
    QMetaObject::invokeMethod(page.Popup, "aboutToShow");
    QVERIFY(!page.StopBackwatchAction->isEnabled());
    QVERIFY(page.StopRankscoutAction->isEnabled());

    host.Data.BackwatchBulletins = QStringLiteral("Y");
    host.Data.RankscoutBulletins = QStringLiteral("y");
    QMetaObject::invokeMethod(page.Popup, "aboutToShow");
    QVERIFY(page.StopBackwatchAction->isEnabled());
    QVERIFY(!page.StopRankscoutAction->isEnabled());

    page.StopBackwatchAction->trigger();
    QCOMPARE(host.NetRef.RequestQueue.size(), 1);
    QVERIFY(host.NetRef.RequestQueue.at(0).startsWith(QStringLiteral("8http://")));
}

void TestBulletinBoard::listColumnFollowsThePanelWidth() {
    TestHost host;
    BulletinPage page(host);
    page.resize(600, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.BBList->columnWidth(0), 128);
    QCOMPARE(page.BBList->columnWidth(1), page.BBList->width() - 157);
    page.resize(800, 400);
    QTRY_COMPARE(page.BBList->columnWidth(1), page.BBList->width() - 157);
}

void TestBulletinBoard::periodicCheckRunsWhenDueAndIdle() {
    TestHost host;
    const QString page = QStringLiteral("http://www.example.org/a.html");
    QVERIFY(SetWatched(host.Data, ToolKind::Backwatch, page, true));
    BulletinPage board(host);
    board.MinuteMs = 20;
    board.SetPeriodicCheck(1);
    QTest::qWait(120);
    QVERIFY(host.Http.Requested.isEmpty()); // no project open: nothing checked

    board.SetProjectOpen(true);
    QTRY_COMPARE(host.Http.Requested.size(), 1);
    QVERIFY(host.Http.Requested[0].contains(QStringLiteral("backwatch-pt.cgi?url=")));
    // While that check is in flight, due rounds wait instead of piling up.
    QTest::qWait(150);
    QCOMPARE(host.Http.Requested.size(), 1);
    QCOMPARE(host.NetRef.RequestQueue.size(), 1); // the one in flight
    host.Http.Answer(QByteArray());
    QTRY_COMPARE(host.Http.Requested.size(), 2);
    QVERIFY(host.Boxes.Asked.isEmpty()); // quiet: no message boxes, no dialling

    board.SetPeriodicCheck(0);
    host.Http.Answer(QByteArray());
    QTRY_VERIFY(host.NetRef.TransportIdle);
    QTest::qWait(150);
    QCOMPARE(host.Http.Requested.size(), 2);
    QCOMPARE(board.PeriodicMinutes(), 0);
}

QTEST_MAIN(TestBulletinBoard)
#include "TestBulletinBoard.moc"
