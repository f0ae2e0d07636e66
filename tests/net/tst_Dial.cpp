// The connection check, the dial dialog and the Tools items, over a fake
// dial-up layer.
#include "DialSession.h"
#include "Dialupthing.h"
#include "Fakes.h"
#include "NetFakes.h"
#include "NmcliDialUp.h"

#include <QTemporaryDir>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace vantora;
using namespace vantora::test;

namespace {

const QString Question = QStringLiteral(
    "You are not currently connected to the Internet,\rdo you want to dial the Internet now?");
const QString Failed = QStringLiteral("Failed to connect to the Internet, operation aborted.");

enum class Action { None, Close, Escape, TitleBar, Dial };

class Host : public DialHost {
  public:
    QStringList Statuses;
    QList<QPair<bool, bool>> Items;
    std::function<void()> Show;
    int WaitCursor = 0;
    void SetStatus(const QString& text) override { Statuses << text; }
    void SetDialItemsEnabled(bool dial, bool hangUp) override { Items.append({dial, hangUp}); }
    void ShowDialDialog() override { Show(); }
    void SetWaitCursor(bool on) override { WaitCursor += on ? 1 : -1; }
};

struct Rig {
    FakeDialUp Layer;
    FakeDialogs Boxes;
    FakeLocalAddress Address;
    Host Window;
    DialSession Session{Layer, Boxes, Window};
    Dialupthing Dialog{Session, Boxes};
    Action Next = Action::None;

    Rig() {
        Layer.PhoneBook = QStringList{"Modem", "Office"};
        Layer.UserNames["Modem"] = "alice";
        Layer.Passwords["Modem"] = "secret";
        Layer.UserNames["Office"] = "bob";
        Window.Show = [this] {
            const Action action = Next;
            QTimer::singleShot(0, &Dialog, [this, action] { Perform(action); });
            // A dialog left open by a broken test still ends.
            QTimer::singleShot(5000, &Dialog, [this] { Dialog.reject(); });
            Dialog.exec();
        };
    }
    void Perform(Action action) {
        switch (action) {
        case Action::None:
            break;
        case Action::Close:
            QTest::mouseClick(Dialog.CloseButton, Qt::LeftButton);
            break;
        case Action::Escape:
            QTest::keyClick(&Dialog, Qt::Key_Escape);
            break;
        case Action::TitleBar:
            Dialog.close();
            break;
        case Action::Dial:
            QTest::mouseClick(Dialog.DialButton, Qt::LeftButton);
            break;
        }
    }
};

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(FakeDialUp::Outcome)

class TestDial : public QObject {
    Q_OBJECT
  private slots:
    void checkConnect_data();
    void checkConnect();
    void cancelledDialIsConsumed();
    void menuDialAndHangUpSwapItems();
    void exitOffersHangUp();
    void dialogFillsAndStoresCredentials();
    void dialogWithEmptyPhonebook();
    void dialogOverFailingNmcli();
};

void TestDial::checkConnect_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("dialOption");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<Action>("action");
    QTest::addColumn<FakeDialUp::Outcome>("outcome");
    QTest::addColumn<bool>("emptyBook");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("messages");

    using O = FakeDialUp::Outcome;
    const QString paramsError =
        QStringLiteral("A Dialup Networking error has occured,\r623:GetEntryDialParams failed");
    QTest::newRow("loopback, Dial off") << "127.0.0.1" << false << true << Action::None
                                        << O::Connect << false << true << QStringList();
    QTest::newRow("no address, Dial off") << "0.0.0.0" << false << true << Action::None
                                          << O::Connect << false << true << QStringList();
    QTest::newRow("real address, Dial on") << "192.168.1.20" << true << true << Action::None
                                           << O::Connect << false << true << QStringList();
    QTest::newRow("No") << "127.0.0.1" << true << false << Action::None << O::Connect << false
                        << false << QStringList{Question};
    QTest::newRow("Close") << "0.0.0.0" << true << true << Action::Close << O::Connect << false
                           << false << QStringList{Question, Failed};
    QTest::newRow("Escape") << "0.0.0.0" << true << true << Action::Escape << O::Connect << false
                            << false << QStringList{Question, Failed};
    QTest::newRow("title bar") << "0.0.0.0" << true << true << Action::TitleBar << O::Connect
                               << false << false << QStringList{Question, Failed};
    QTest::newRow("empty phonebook") << "127.0.0.1" << true << true << Action::None << O::Connect
                                     << true << false << QStringList{Question, Failed};
    QTest::newRow("dial succeeds") << "127.0.0.1" << true << true << Action::Dial << O::Connect
                                   << false << true << QStringList{Question};
    QTest::newRow("dial fails") << "127.0.0.1" << true << true << Action::Dial << O::Fail << false
                                << false << QStringList{Question, Failed};
    QTest::newRow("entry unreadable")
        << "127.0.0.1" << true << true << Action::Dial << O::ParamsUnreadable << false << false
        << QStringList{Question, paramsError, Failed};
}

void TestDial::checkConnect() {
    QFETCH(QString, address);
    QFETCH(bool, dialOption);
    QFETCH(bool, answerYes);
    QFETCH(Action, action);
    QFETCH(FakeDialUp::Outcome, outcome);
    QFETCH(bool, emptyBook);
    QFETCH(bool, result);
    QFETCH(QStringList, messages);

    Rig rig;
    rig.Address.Address = address;
    rig.Layer.DialOutcome = outcome;
    if (emptyBook)
        rig.Layer.PhoneBook.clear();
    rig.Boxes.Answers.enqueue(answerYes ? MsgAnswer::Yes : MsgAnswer::No);
    rig.Next = action;
    QCOMPARE(rig.Session.CheckConnect(rig.Address, dialOption), result);
    QCOMPARE(rig.Boxes.Texts(), messages);
    QVERIFY(!rig.Session.DialCancelled);
    QCOMPARE(rig.Session.DialledByUs, result && !messages.isEmpty());
    const bool dialled = rig.Layer.Calls.contains(QStringLiteral("Dial:Modem"));
    QCOMPARE(dialled, action == Action::Dial);
    QCOMPARE(rig.Window.WaitCursor, 0);
    if (action == Action::Dial) {
        QCOMPARE(rig.Window.Statuses.first(), QStringLiteral("Dialing..."));
        QCOMPARE(rig.Window.Statuses.last(),
                 result ? QStringLiteral("Connected.") : QStringLiteral("Not Connected."));
        // After a dial the Hang-up item follows the outcome; after a failure
        // "Dial the internet..." stays available for another try.
        QCOMPARE(rig.Session.HangUpItemEnabled, result);
        QCOMPARE(rig.Session.DialItemEnabled, !result);
    }
}

void TestDial::cancelledDialIsConsumed() {
    Rig rig;
    rig.Address.Address = "127.0.0.1";
    rig.Next = Action::Close;
    QVERIFY(!rig.Session.CheckConnect(rig.Address, true));
    rig.Boxes.Clear();
    rig.Boxes.Answers.enqueue(MsgAnswer::No);
    QVERIFY(!rig.Session.CheckConnect(rig.Address, true));
    QCOMPARE(rig.Boxes.Texts(), QStringList{Question});
}

void TestDial::menuDialAndHangUpSwapItems() {
    Rig rig;
    QVERIFY(rig.Session.DialItemEnabled);
    QVERIFY(!rig.Session.HangUpItemEnabled);
    rig.Next = Action::Dial;
    rig.Session.DialMenuCommand();
    QVERIFY(rig.Session.DialledByUs);
    QCOMPARE(rig.Window.Items.last(), qMakePair(false, true));

    rig.Boxes.Answers.enqueue(MsgAnswer::No);
    rig.Session.HangUpMenuCommand();
    QVERIFY(rig.Session.DialledByUs);
    QVERIFY(!rig.Layer.Calls.contains(QStringLiteral("HangUp")));

    rig.Boxes.Answers.enqueue(MsgAnswer::Yes);
    rig.Session.HangUpMenuCommand();
    QVERIFY(!rig.Session.DialledByUs);
    QCOMPARE(rig.Window.Items.last(), qMakePair(true, false));
    QCOMPARE(rig.Layer.Calls.last(), QStringLiteral("HangUp"));
    QCOMPARE(rig.Boxes.Asked.last().Text, QStringLiteral("Hang-Up previously dialed connection?"));
    QCOMPARE(rig.Boxes.Asked.last().Kind, MsgKind::Confirm);
}

void TestDial::exitOffersHangUp() {
    Rig rig;
    rig.Session.OfferHangUpAtExit();
    QVERIFY(rig.Boxes.Asked.isEmpty());
    rig.Next = Action::Dial;
    rig.Session.DialMenuCommand();
    rig.Boxes.Answers.enqueue(MsgAnswer::Yes);
    rig.Session.OfferHangUpAtExit();
    QCOMPARE(rig.Boxes.Asked.size(), 1);
    QCOMPARE(rig.Boxes.Asked[0].Kind, MsgKind::Warning);
    QCOMPARE(rig.Boxes.Asked[0].Text,
             QStringLiteral("You are still Dialed-up to the Internet, do you want Hangup the "
                            "connection before exiting?"));
    QCOMPARE(rig.Layer.Calls.last(), QStringLiteral("HangUp"));
    QVERIFY(!rig.Session.DialledByUs);
}

void TestDial::dialogFillsAndStoresCredentials() {
    Rig rig;
    rig.Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.Dialog));
    QCOMPARE(rig.Dialog.DialList->count(), 2);
    QCOMPARE(rig.Dialog.DialList->currentText(), QStringLiteral("Modem"));
    QCOMPARE(rig.Dialog.UsernameEdit->text(), QStringLiteral("alice"));
    QCOMPARE(rig.Dialog.PasswordEdit->text(), QStringLiteral("secret"));
    QCOMPARE(rig.Dialog.PasswordEdit->echoMode(), QLineEdit::Password);
    QCOMPARE(rig.Dialog.UsernameEdit->maxLength(), 255);
    QVERIFY(rig.Dialog.DialButton->isEnabled());

    rig.Dialog.DialList->setCurrentIndex(1);
    emit rig.Dialog.DialList->activated(1);
    QCOMPARE(rig.Layer.Entry, QStringLiteral("Office"));
    QCOMPARE(rig.Dialog.UsernameEdit->text(), QStringLiteral("bob"));
    QCOMPARE(rig.Dialog.PasswordEdit->text(), QString());

    // Typing a password and pressing Dial stores it before dialling.
    rig.Dialog.PasswordEdit->setText("pw2");
    rig.Layer.DialOutcome = FakeDialUp::Outcome::Fail;
    QTest::mouseClick(rig.Dialog.DialButton, Qt::LeftButton);
    QCOMPARE(rig.Layer.Passwords.value("Office"), QStringLiteral("pw2"));
    QVERIFY(rig.Layer.Calls.indexOf("SetPassword:Office=pw2") <
            rig.Layer.Calls.indexOf("Dial:Office"));
    QCOMPARE(rig.Dialog.result(), int(QDialog::Accepted));
    QVERIFY(rig.Session.DialCancelled);

    // A failing layer shows its message instead of breaking the dialog.
    rig.Layer.ThrowOnRead = true;
    emit rig.Dialog.DialList->activated(0);
    QCOMPARE(rig.Boxes.Texts().last(),
             QStringLiteral("An error occurred while trying to retrieve the Phonebook entry, "
                            "operation aborted."));
}

void TestDial::dialogWithEmptyPhonebook() {
    Rig rig;
    rig.Layer.PhoneBook.clear();
    rig.Dialog.show();
    QCOMPARE(rig.Dialog.DialList->count(), 0);
    QVERIFY(!rig.Dialog.DialButton->isEnabled());
    QVERIFY(!rig.Dialog.UsernameEdit->isEnabled());
    QVERIFY(!rig.Dialog.PasswordEdit->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Dialog.isVisible(), 2000);
    QCOMPARE(rig.Dialog.result(), int(QDialog::Rejected));
    QVERIFY(rig.Boxes.Asked.isEmpty());

    // An enumeration that fails with a code is said, not passed over.
    Rig failing;
    failing.Layer.EntriesError = 603;
    failing.Dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!failing.Dialog.isVisible(), 2000);
    QCOMPARE(failing.Dialog.result(), int(QDialog::Rejected));
    QCOMPARE(failing.Boxes.Texts(),
             QStringList{"An error occurred while trying to get the Phonebook entries, "
                         "operation aborted."});
}

// The dialog over the real nmcli layer, with a stand-in nmcli that lists one
// mobile profile and fails at whatever the test names.
void TestDial::dialogOverFailingNmcli() {
    QTemporaryDir dir;
    auto writeNmcli = [&](const QByteArray& failing) {
        QFile script(dir.filePath("nmcli"));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\ncase \"$*\" in\n  " + failing +
                     ") echo 'Error: failed' >&2; exit 8 ;;\n"
                     "  '-t -f NAME,TYPE connection show') echo 'Modem:gsm' ;;\n"
                     "  *connection.type*) echo gsm ;;\n"
                     "  *gsm.username*) echo alice ;;\n"
                     "  *) cat > /dev/null ;;\n"
                     "esac\nexit 0\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    NmcliDialUp layer;
    layer.Program = dir.filePath("nmcli");
    FakeDialogs boxes;
    Host window;
    DialSession session(layer, boxes, window);
    Dialupthing dialog(session, boxes);

    writeNmcli("'-t -f NAME,TYPE connection show'"); // NetworkManager not running
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 5000);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(boxes.Texts(),
             QStringList{"An error occurred while trying to get the Phonebook entries, "
                         "operation aborted."});

    writeNmcli("*'connection modify'*|*'connection edit'*");
    boxes.Clear();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.DialList->currentText(), QStringLiteral("Modem"));
    QCOMPARE(dialog.UsernameEdit->text(), QStringLiteral("alice"));
    QVERIFY(boxes.Asked.isEmpty());
    dialog.UsernameEdit->setText("bob");
    dialog.PasswordEdit->setText("pw");
    QTest::mouseClick(dialog.DialButton, Qt::LeftButton);
    QCOMPARE(boxes.Texts(),
             (QStringList{"An error occurred while trying to set the Username, operation aborted.",
                          "An error occurred while trying to set the Password, operation "
                          "aborted."}));
}

QTEST_MAIN(TestDial)
#include "tst_Dial.moc"
