// The nmcli dial-up layer against a stand-in nmcli script.
#include "NmcliDialUp.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vantora;

namespace {

// Answers like nmcli for a phonebook of a mobile profile "Dial: work" (gsm),
// a wireless profile and the loopback profile; "up" fails for "Home".
const char* Script = R"(#!/bin/sh
echo "$*" >> "$LOG"
case "$*" in
  "-t -f NAME,TYPE connection show") printf 'Dial\\: work:gsm\nHome:802-11-wireless\nlo:loopback\n' ;;
  *"-g connection.type connection show id Dial: work") echo gsm ;;
  *"-g connection.type connection show id Home") echo 802-11-wireless ;;
  *"-g gsm.username connection show id Dial: work") echo 'user\:1' ;;
  *"-g gsm.password connection show id Dial: work") echo pw ;;
  *"-g connection.id connection show id Nowhere") echo "Error: no such connection" >&2; exit 10 ;;
  *"-g connection.id connection show id "*) echo ok ;;
  *"connection up id Home") echo "Error: Connection activation failed: no carrier" >&2; exit 4 ;;
  "connection edit id "*) sed 's/^/stdin: /' >> "$LOG" ;;
  *) ;;
esac
exit 0
)";

class Events : public DialUpListener {
  public:
    QStringList Seen;
    void OnConnected() override { Seen << "connected"; }
    void OnNotConnected(int code, const QString& text) override {
        Seen << QStringLiteral("not connected %1 %2").arg(code).arg(text);
    }
    void OnDialError(int code, const QString& text) override {
        Seen << QStringLiteral("error %1 %2").arg(code).arg(text);
    }
};

} // namespace

class TestNmcliDialUp : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void entriesAndCredentials();
    void dialAndHangUp();
    void missingNmcliIsEmptyPhonebook();

  private:
    QTemporaryDir Dir;
    NmcliDialUp Layer;
    Events Seen;
    QStringList Logged() const {
        QFile f(Dir.filePath("log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

void TestNmcliDialUp::init() {
    QFile::remove(Dir.filePath("log"));
    QFile script(Dir.filePath("nmcli"));
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write(Script);
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("LOG", Dir.filePath("log").toLocal8Bit());
    Layer.Program = Dir.filePath("nmcli");
    Layer.SetListener(&Seen);
    Seen.Seen.clear();
}

void TestNmcliDialUp::entriesAndCredentials() {
    QCOMPARE(Layer.GetEntries(), 0);
    QCOMPARE(Layer.Entries, QStringList({"Dial: work", "Home"}));
    Layer.Entry = "Dial: work";
    QString name = "untouched";
    QCOMPARE(Layer.GetUserName(name), 0);
    QCOMPARE(name, QStringLiteral("user:1"));
    QCOMPARE(Layer.GetPassword(), QStringLiteral("pw"));
    // The password travels on standard input, never in the arguments.
    QCOMPARE(Layer.SetPassword("new pw"), 0);
    const QStringList log = Logged();
    QVERIFY(log.contains("connection edit id Dial: work"));
    QVERIFY(log.contains("stdin: set gsm.password new pw"));
    QVERIFY(log.contains("stdin: save persistent"));
    for (const QString& line : log)
        QVERIFY2(line.startsWith("stdin: ") || !line.contains("new pw"), qPrintable(line));
    // A line break would end the editor command early.
    QVERIFY(Layer.SetPassword("a\nquit") != 0);
    QCOMPARE(Logged().size(), log.size() + 1); // only the type was read
    // A wireless profile carries no dial-up credentials: nothing is written.
    Layer.Entry = "Home";
    QCOMPARE(Layer.GetPassword(), QString());
    Layer.SetUserName("bob");
    for (const QString& line : Logged())
        QVERIFY2(!line.contains("modify id Home"), qPrintable(line));
}

void TestNmcliDialUp::dialAndHangUp() {
    Layer.Entry = "Dial: work";
    Layer.Dial();
    QCOMPARE(Seen.Seen, QStringList{"connected"});
    Layer.HangUp();
    QCOMPARE(Logged().last(), QStringLiteral("connection down id Dial: work"));

    Layer.Entry = "Home";
    Layer.Dial();
    QCOMPARE(Seen.Seen.last(),
             QStringLiteral("not connected 4 Error: Connection activation failed: no carrier"));
    // A failed dial leaves nothing to hang up.
    const int before = Logged().size();
    Layer.HangUp();
    QCOMPARE(Logged().size(), before);

    Layer.Entry = "Nowhere";
    Layer.Dial();
    QCOMPARE(Seen.Seen.last(), QStringLiteral("error 10 GetEntryDialParams failed"));
    QVERIFY(!Logged().last().contains("up"));
}

void TestNmcliDialUp::missingNmcliIsEmptyPhonebook() {
    Layer.Program = Dir.filePath("no-such-nmcli");
    Layer.Entries = QStringList{"stale"};
    QCOMPARE(Layer.GetEntries(), 0);
    QVERIFY(Layer.Entries.isEmpty());
}

QTEST_GUILESS_MAIN(TestNmcliDialUp)
#include "tst_NmcliDialUp.moc"
