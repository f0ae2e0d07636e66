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

QTEST_MAIN(TestRealPlatform)
#include "tst_realplatform.moc"
