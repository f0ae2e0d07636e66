// The real platform pieces that can run on a test machine: message boxes
// answered by key presses, the settings file, the file type registration.
#include "RealPlatform.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vantora;

Q_DECLARE_METATYPE(vantora::InterfaceAddresses)

namespace {

// Presses a key on the message box that is about to open.
void PressOnNextBox(Qt::Key key, QString* caption, QString* defaultText) {
    QTimer::singleShot(0, [=] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                *caption = box->windowTitle();
                *defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
                QTest::keyClick(box, key);
                return;
            }
        }
    });
}

} // namespace

class TestRealPlatform : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void messageKeys_data();
    void messageKeys();
    void fileFilter();
    void settingsRoundTrip();
    void registrationWritesMimeAndDesktopEntry();
    void applicationHasNoDisplayName();
    void primaryLocalAddress_data();
    void primaryLocalAddress();
};

void TestRealPlatform::messageKeys_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("caption");
    QTest::newRow("escape on yes/no/cancel")
        << int(MsgKind::Warning) << int(MsgButtons::YesNoCancel) << int(Qt::Key_Escape)
        << int(MsgAnswer::Cancel) << "Warning";
    QTest::newRow("escape on yes/no") << int(MsgKind::Confirm) << int(MsgButtons::YesNo)
                                      << int(Qt::Key_Escape) << int(MsgAnswer::No) << "Confirm";
    QTest::newRow("enter on yes/no") << int(MsgKind::Warning) << int(MsgButtons::YesNo)
                                     << int(Qt::Key_Return) << int(MsgAnswer::Yes) << "Warning";
    QTest::newRow("escape on ok") << int(MsgKind::Information) << int(MsgButtons::Ok)
                                  << int(Qt::Key_Escape) << int(MsgAnswer::Ok) << "Information";
    QTest::newRow("enter on error") << int(MsgKind::Error) << int(MsgButtons::Ok)
                                    << int(Qt::Key_Return) << int(MsgAnswer::Ok) << "Error";
}

void TestRealPlatform::messageKeys() {
    QFETCH(int, kind);
    QFETCH(int, buttons);
    QFETCH(int, key);
    QFETCH(int, answer);
    QFETCH(QString, caption);
    WidgetDialogs dialogs;
    QString seenCaption, seenDefault;
    PressOnNextBox(Qt::Key(key), &seenCaption, &seenDefault);
    const MsgAnswer got =
        dialogs.Message(MsgKind(kind), QStringLiteral("line one\rline two"), MsgButtons(buttons));
    QCOMPARE(int(got), answer);
    QCOMPARE(seenCaption, caption);
    QVERIFY(seenDefault.contains(buttons == int(MsgButtons::Ok) ? QStringLiteral("OK")
                                                                : QStringLiteral("Yes")));
}

void TestRealPlatform::fileFilter() {
    QCOMPARE(QtFileFilter(QStringLiteral("ZEPH Project files (*.zpr)|*.zpr")),
             QStringLiteral("ZEPH Project files (*.zpr)"));
    QCOMPARE(QtFileFilter(QStringLiteral("Rich Text (*.rtf)|*.rtf|All files (*)|*")),
             QStringLiteral("Rich Text (*.rtf);;All files (*)"));
    QCOMPARE(FilterSuffix(QStringLiteral("PDF documents (*.pdf)")), QStringLiteral("pdf"));
    QCOMPARE(FilterSuffix(QStringLiteral("Rich Text files (*.rtf)")), QStringLiteral("rtf"));
    QCOMPARE(FilterSuffix(QStringLiteral("All files (*)")), QString());
    QCOMPARE(FilterSuffix(QStringLiteral("Pictures (*.png *.jpg)")), QString());
}

void TestRealPlatform::settingsRoundTrip() {
    QtSettingsStore store;
    QVERIFY(store.OpenKey(true));
    QVERIFY(store.SetValue(QStringLiteral("Dial"), 1));
    QVERIFY(store.SetValue(QStringLiteral("File0"), QStringLiteral("/home/u/a b.zpr")));
    store.CloseKey();
    QtSettingsStore again;
    QVERIFY(again.OpenKey(false));
    QCOMPARE(again.Value(QStringLiteral("Dial")).toInt(), 1);
    QCOMPARE(again.Value(QStringLiteral("File0")).toString(), QStringLiteral("/home/u/a b.zpr"));
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvane Ltd."),
                  QStringLiteral("ZEPH"));
    QVERIFY(raw.fileName().contains(QStringLiteral("Korvane Ltd.")));
    raw.clear();
}

void TestRealPlatform::registrationWritesMimeAndDesktopEntry() {
    QTemporaryDir data;
    XdgFileTypeRegistrar registrar(data.path());
    registrar.Register(QStringLiteral("/opt/my tools/vantora"));
    QFile mime(data.filePath(QStringLiteral("mime/packages/ZEPH_Project.xml")));
    QVERIFY(mime.open(QIODevice::ReadOnly));
    const QByteArray mimeText = mime.readAll();
    QVERIFY(mimeText.contains("pattern=\"*.zpr\""));
    QVERIFY(mimeText.contains("application/x-zeph-project"));
    QFile desktop(data.filePath(QStringLiteral("applications/vantora.desktop")));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QByteArray entry = desktop.readAll();
    QVERIFY(entry.contains("Exec=\"/opt/my tools/vantora\" %f\n"));
    QVERIFY(entry.contains("MimeType=application/x-zeph-project;"));
    // A folder that cannot be written is silent.
    XdgFileTypeRegistrar nowhere(QStringLiteral("/proc/no-such-place"));
    nowhere.Register(QStringLiteral("/x"));
}

// A display name would be appended to every window caption by the desktop.
void TestRealPlatform::applicationHasNoDisplayName() {
    SetApplicationIdentity();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vantora"));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Korvane Ltd."));
    // Without a display name of its own, the display name follows the name.
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    SetApplicationIdentity();
}

void TestRealPlatform::primaryLocalAddress_data() {
    QTest::addColumn<QList<InterfaceAddresses>>("interfaces");
    QTest::addColumn<QString>("address");
    auto iface = [](std::initializer_list<const char*> ips, bool up = true, bool loop = false) {
        InterfaceAddresses i;
        i.Up = up;
        i.Running = up;
        i.Loopback = loop;
        for (const char* ip : ips)
            i.Addresses << QHostAddress(QString::fromLatin1(ip));
        return i;
    };
    const InterfaceAddresses lo = iface({"127.0.0.1", "::1"}, true, true);
    QTest::newRow("ipv4") << QList{lo, iface({"fe80::1", "192.168.1.20"})} << "192.168.1.20";
    QTest::newRow("ipv6 only") << QList{lo, iface({"fe80::1", "2001:db8::5"})} << "2001:db8::5";
    QTest::newRow("unique local ipv6") << QList{iface({"fd00::7"})} << "fd00::7";
    QTest::newRow("ipv4 wins over earlier ipv6")
        << QList{iface({"2001:db8::5"}), iface({"10.0.0.2"})} << "10.0.0.2";
    QTest::newRow("link-local only") << QList{lo, iface({"fe80::1"})} << "0.0.0.0";
    QTest::newRow("interface down")
        << QList{iface({"2001:db8::5", "10.0.0.2"}, false)} << "0.0.0.0";
    QTest::newRow("loopback only") << QList{lo} << "0.0.0.0";
}

void TestRealPlatform::primaryLocalAddress() {
    QFETCH(QList<InterfaceAddresses>, interfaces);
    QFETCH(QString, address);
    QCOMPARE(PrimaryLocalAddress(interfaces), address);
}

QTEST_MAIN(TestRealPlatform)
#include "tst_realplatform.moc"
