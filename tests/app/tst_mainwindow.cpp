// The main window built with test doubles and driven through its actions.
#include "Main.h"
#include "ProjectFile.h"
#include "WindowFixture.h"

#include "BulletinPage.h"
#include "DialSession.h"
#include "New.h"
#include "OnlineToolPage.h"
#include "SiteMapController.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "programopt.h"
#include "startdlg.h"

#include <QCheckBox>
#include <QLineEdit>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace vantora;
using namespace vantora::test;

namespace {

using Fixture = WindowFixture<>;

// A project file holding a little of everything.
ProjectData SampleProject() {
    ProjectData p;
    p.RootHost = QStringLiteral("www.example.org");
    p.RootPath = QStringLiteral("/shop/");
    p.BackwatchBulletins = QStringLiteral("Y");
    p.SiteMapLines = {
        QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://www.example.org/shop/"),
        QStringLiteral("<PAGE>http://www.example.org/shop/"), QStringLiteral("<END>")};
    p.WordweighArchive.Append(QStringLiteral("http://www.example.org/shop/"),
                              QStringLiteral("08/12/2026 10:00:00"), QStringLiteral("body"),
                              QStringLiteral("75"));
    p.StuffwatchArchive.Append(QStringLiteral("http://www.example.org/shop/a.html"),
                               QStringLiteral("07/12/2026 09:00:00"),
                               QStringLiteral("NO-SPAM<br>"));
    p.BulletinMessages.Append(QStringLiteral("Hello<br>there"), QStringLiteral("Support"),
                              QStringLiteral("http://www.example.org/shop/"), QStringLiteral("0"));
    return p;
}

QString WriteSample(const QTemporaryDir& dir, const QString& name = QStringLiteral("sample.zpr")) {
    const QString path = dir.filePath(name);
    const ProjectFileResult result = WriteProjectFile(path, SampleProject());
    if (!result.IsOk())
        qFatal("cannot write sample");
    return path;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void menuItems_data();
    void menuItems();
    void firstStartWritesDefaults();
    void storedSettingsAreReadBack();
    void localAddressSetsConnectionText_data();
    void localAddressSetsConnectionText();
    void commandLineOpensProject_data();
    void commandLineOpensProject();
    void saveUnchangedIsByteIdentical();
    void savePrompt_data();
    void savePrompt();
    void cancelledSaveDialogAbandonsClose();
    void saveAsCancelledKeepsName();
    void openFillsListsAndBulletinItems();
    void openRejectsHostileFiles_data();
    void openRejectsHostileFiles();
    void openEntersRecentListFirst();
    void recentEntryOfMissingFileDoesNothing();
    void exitWithModifiedProjectAndNo();
    void failedWriteKeepsProjectModified();
    void animationCyclesAndStops();
    void newProjectThroughSettingsDialog();
    void exitOffersHangUp_data();
    void exitOffersHangUp();
    void stopButtonDropsQueue();
    void panelSizesSurviveARun_data();
    void panelSizesSurviveARun();
    void closeWhileTreeBuildsLeavesNoTree();
    void relativeCommandLinePathIsMadeFull();
    void exitKeepsTipChoiceOfProgramOptions();
    void failedSaveAtExitKeepsWindowOpen();
    void closeClearsTheProxy();
};

void TestMainWindow::menuItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("new") << "actNew"
                         << "&New..."
                         << "Ctrl+N"
                         << "Creates a new project" << true;
    QTest::newRow("open") << "actOpen"
                          << "&Open..."
                          << "Ctrl+O"
                          << "Open an existing project from disk" << true;
    QTest::newRow("save") << "actSave"
                          << "&Save"
                          << "Ctrl+S"
                          << "Save the current project to disk" << false;
    QTest::newRow("saveas") << "actSaveAs"
                            << "Save &As..."
                            << "Ctrl+A"
                            << "Save the current project with a new filename" << false;
    QTest::newRow("close") << "actClose"
                           << "&Close"
                           << ""
                           << "" << false;
    QTest::newRow("printer") << "actPrinterSetup"
                             << "Printer Set&up..."
                             << ""
                             << "" << true;
    QTest::newRow("print") << "actPrint"
                           << "&Print Report"
                           << "Ctrl+P"
                           << "" << false;
    QTest::newRow("options") << "actProgramOptions"
                             << "Program &Options..."
                             << ""
                             << "" << true;
    QTest::newRow("exit") << "actExit"
                          << "E&xit"
                          << "Alt+F4"
                          << "" << true;
    QTest::newRow("cut") << "actCut"
                         << "Cu&t"
                         << "Ctrl+X"
                         << "" << false;
    QTest::newRow("copy") << "actCopy"
                          << "&Copy"
                          << "Ctrl+C"
                          << "" << true;
    QTest::newRow("paste") << "actPaste"
                           << "&Paste"
                           << "Ctrl+V"
                           << "" << false;
    QTest::newRow("delete") << "actDelete"
                            << "Delete"
                            << "Ctrl+Del"
                            << "" << false;
    QTest::newRow("hangup") << "actHangUp"
                            << "Hang-up connection"
                            << ""
                            << "" << false;
    QTest::newRow("bulletinboard") << "actUpdateBulletinBoard"
                                   << "Update &Bulletin Board"
                                   << ""
                                   << "" << false;
    QTest::newRow("contents") << "actContents"
                              << "&Contents"
                              << "F1"
                              << "" << true;
    QTest::newRow("tbStop") << "tbStop"
                            << "Stop"
                            << ""
                            << "Stop Internet Data Transfer" << true;
    QTest::newRow("tbSave") << "tbSave"
                            << "Save"
                            << ""
                            << "Save" << false;
    QTest::newRow("tbBold") << "tbBold"
                            << "Bold"
                            << ""
                            << "Bold" << false;
}

void TestMainWindow::menuItems() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, shortcut);
    QFETCH(QString, hint);
    QFETCH(bool, enabled);
    Fixture f;
    MainWindow& w = f.Start();
    QAction* action = w.FindAction(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut().toString(), shortcut);
    if (!hint.isEmpty())
        QCOMPARE(action->statusTip(), hint);
    QCOMPARE(action->isEnabled(), enabled);
    QVERIFY(!w.EditMenu->menuAction()->isEnabled());
    QVERIFY(!w.ToolsMenu->menuAction()->isEnabled());
    QVERIFY(w.ProjectView->isHidden());
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora"));
    QCOMPARE(w.ProjectStatus(), QStringLiteral("No Project open."));
    QCOMPARE(w.ToolPages->count(), 9);
    QCOMPARE(w.ToolPages->tabText(7), QStringLiteral("Bulletin Board"));
    QCOMPARE(w.ToolPages->tabText(8), QStringLiteral("Site Health"));
    QCOMPARE(w.FontSizeList->count(), 12);
}

void TestMainWindow::firstStartWritesDefaults() {
    Fixture f;
    MainWindow& w = f.Start();
    const QMap<QString, QVariant> expected = {{"File0", QString()},
                                              {"File1", QString()},
                                              {"File2", QString()},
                                              {"File3", QString()},
                                              {"Dial", 1},
                                              {"ReportGen", 1},
                                              {"CheckMsg", 5},
                                              {"Clear", 0},
                                              {"Leave", 1},
                                              {"HorzPos", 279},
                                              {"VertPos", 153},
                                              {"Tip", 2},
                                              {"ServerAddress", "127.0.0.1:47800"}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(f.settings.Values.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(f.settings.Values.value(it.key()).toString(), it.value().toString());
    }
    QVERIFY(w.Options.Dial && w.Options.ReportGen && w.Options.Leave && !w.Options.Clear);
    QCOMPARE(w.Options.CheckMsg, 5);
    QCOMPARE(w.BBPage->PeriodicMinutes(), 5); // the periodic check runs as stored
    QVERIFY(!w.RecentSeparator->isVisible());
    for (QAction* recent : w.RecentFileActions)
        QVERIFY(!recent->isVisible());
    QVERIFY(w.TipWindow->isVisible());
    QCOMPARE(f.registrar.Registered, QStringList{"/opt/vantora/bin/vantora"});
    QCOMPARE(w.ProgramDir, QStringLiteral("/opt/vantora/bin/"));
    QCOMPARE(w.ServerAddress, QStringLiteral("127.0.0.1:47800"));
    QVERIFY(w.isEnabled());
}

void TestMainWindow::storedSettingsAreReadBack() {
    Fixture f;
    f.settings.Values = {{"File0", "/p/a.zpr"},
                         {"File1", "/p/b.zpr"},
                         {"Dial", 0},
                         {"ReportGen", 7},
                         {"CheckMsg", 0},
                         {"Clear", 1},
                         {"Leave", 0},
                         {"Tip", 0},
                         {"ServerAddress", "10.0.0.5:8080"}};
    MainWindow& w = f.Start();
    QVERIFY(!w.Options.Dial);
    QVERIFY(w.Options.ReportGen); // any value but 0 is true
    QVERIFY(w.Options.Clear && !w.Options.Leave);
    QCOMPARE(w.Options.TipOfTheDayMode, 0);
    QVERIFY(!w.TipWindow->isVisible());
    QCOMPARE(w.ServerAddress, QStringLiteral("10.0.0.5:8080"));
    QVERIFY(w.RecentFileActions[0]->isVisible());
    QCOMPARE(w.RecentFileActions[0]->text(), QStringLiteral("&1 /p/a.zpr"));
    QCOMPARE(w.RecentFileActions[1]->text(), QStringLiteral("&2 /p/b.zpr"));
    QVERIFY(!w.RecentFileActions[2]->isVisible());
}

void TestMainWindow::localAddressSetsConnectionText_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");
    QTest::newRow("lan") << "192.168.1.20"
                         << "Connected.";
    QTest::newRow("loopback") << "127.0.0.1"
                              << "Not Connected.";
    QTest::newRow("none") << "0.0.0.0"
                          << "Not Connected.";
}

void TestMainWindow::localAddressSetsConnectionText() {
    QFETCH(QString, address);
    QFETCH(QString, text);
    Fixture f;
    f.address.Address = address;
    QCOMPARE(f.Start().StatusText(), text);
}

void TestMainWindow::commandLineOpensProject_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::newRow("lower") << "site.zpr" << true;
    QTest::newRow("upper") << "SITE.ZPR" << true;
    QTest::newRow("mixed") << "Site.Zpr" << true;
    QTest::newRow("other") << "site.txt" << false;
}

void TestMainWindow::commandLineOpensProject() {
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    const QString path = WriteSample(dir, name);
    Fixture f;
    MainWindow& w = f.Start({QStringLiteral(" ") + path + QStringLiteral(" ")});
    QCOMPARE(w.ProjectIsOpen(), opens);
    if (opens) {
        QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora - ") + path);
        QCOMPARE(w.ProjectStatus(), QStringLiteral("Project Open, http://www.example.org/shop/"));
        QVERIFY(!w.TipWindow->isVisible());
        QVERIFY(!w.ProjectModified);
    } else {
        QVERIFY(w.TipWindow->isVisible());
    }
}

void TestMainWindow::saveUnchangedIsByteIdentical() {
    QTemporaryDir dir;
    const QString path = WriteSample(dir);
    const QByteArray before = ReadAll(path);
    Fixture f;
    MainWindow& w = f.Start({path});
    QVERIFY(w.ProjectIsOpen());
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadAll(path), before);
    QVERIFY(f.dialogs.FileDialogsShown.isEmpty());
}

void TestMainWindow::savePrompt_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveName");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<bool>("saved");
    for (const char* command : {"actNew", "actOpen", "actClose"}) {
        const QByteArray c(command);
        QTest::newRow(c + " yes") << command << int(MsgAnswer::Yes) << "saved.zpr" << true << true;
        QTest::newRow(c + " yes, dialog cancelled")
            << command << int(MsgAnswer::Yes) << "" << false << false;
        QTest::newRow(c + " no") << command << int(MsgAnswer::No) << "" << true << false;
        QTest::newRow(c + " cancel") << command << int(MsgAnswer::Cancel) << "" << false << false;
    }
}

void TestMainWindow::savePrompt() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, saveName);
    QFETCH(bool, goesOn);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    Fixture f;
    MainWindow& w = f.Start();
    // A new, never-saved, modified project.
    w.ApplyNewProjectState();
    w.Project.RootHost = QStringLiteral("example.org");
    w.Project.RootPath = QStringLiteral("/");
    QVERIFY(w.ProjectModified);
    f.dialogs.Clear();
    f.dialogs.Answers.enqueue(MsgAnswer(answer));
    f.dialogs.FileNames.enqueue(saveName.isEmpty() ? QString() : dir.filePath(saveName));
    f.dialogs.FileNames.enqueue(QString()); // the Open dialog, if it comes, is cancelled
    f.Trigger(qPrintable(command));
    QCOMPARE(f.dialogs.Asked.first().Text,
             QStringLiteral(
                 "The current Project is not saved, do you want to save it before continuing?"));
    QCOMPARE(f.dialogs.Asked.first().Buttons, MsgButtons::YesNoCancel);
    QCOMPARE(QFile::exists(dir.filePath("saved.zpr")), saved);
    // Going on resets the project (Open's dialog is then cancelled; New's
    // settings dialog is not confirmed): no project is left open.
    QCOMPARE(w.ProjectIsOpen(), !goesOn);
    if (!goesOn)
        QVERIFY(w.ProjectModified);
}

void TestMainWindow::cancelledSaveDialogAbandonsClose() {
    Fixture f;
    MainWindow& w = f.Start();
    w.ApplyNewProjectState();
    f.dialogs.Answers.enqueue(MsgAnswer::Yes);
    f.dialogs.FileNames.enqueue(QString());
    f.Trigger("actClose");
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora"));
    QVERIFY(w.ProjectModified);
}

void TestMainWindow::saveAsCancelledKeepsName() {
    QTemporaryDir dir;
    const QString path = WriteSample(dir);
    Fixture f;
    MainWindow& w = f.Start({path});
    f.dialogs.FileNames.enqueue(QString());
    f.Trigger("actSaveAs");
    QCOMPARE(w.ProjectFileName, path);
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora - ") + path);
    // And a confirmed Save As writes the new file and names it, and takes the
    // project's crawl history along.
    const QString history =
        QFileInfo(path).path() + "/" + QFileInfo(path).completeBaseName() + ".crawls.sqlite";
    {
        QFile file(history);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the crawl history");
    }
    const QString other = dir.filePath("other.zpr");
    f.dialogs.FileNames.enqueue(other);
    f.Trigger("actSaveAs");
    QCOMPARE(w.ProjectFileName, other);
    QCOMPARE(ReadAll(other), ReadAll(path));
    QCOMPARE(ReadAll(dir.filePath("other.crawls.sqlite")), QByteArray("the crawl history"));
    QCOMPARE(w.RecentFiles.value(0), other);
    QCOMPARE(w.RecentFiles.value(1), path);
}

void TestMainWindow::openFillsListsAndBulletinItems() {
    QTemporaryDir dir;
    const QString path = WriteSample(dir);
    Fixture f;
    MainWindow& w = f.Start();
    f.dialogs.FileNames.enqueue(path);
    f.Trigger("actOpen");
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(f.dialogs.FileDialogsShown.value(0).Title, QStringLiteral("Open Project"));
    QCOMPARE(w.OnlinePages[0]->OldReportList()->count(), 1);
    QCOMPARE(w.OnlinePages[0]->OldReportList()->itemText(0),
             QStringLiteral("http://www.example.org/shop/, added 08/12/2026 10:00:00"));
    QCOMPARE(w.OnlinePages[1]->OldReportList()->itemText(0),
             QStringLiteral("http://www.example.org/shop/a.html, added 07/12/2026 09:00:00"));
    QCOMPARE(w.BBList->topLevelItemCount(), 1);
    QVERIFY(w.FindAction("actStopBackwatchBulletins")->isEnabled());
    QVERIFY(!w.FindAction("actStopRankscoutBulletins")->isEnabled());
    QVERIFY(w.EditMenu->menuAction()->isEnabled());
    QVERIFY(w.FindAction("actSave")->isEnabled());
    QVERIFY(!w.FindAction("tbCut")->isEnabled());
    // Close gives no prompt on a clean project and returns to no project.
    f.dialogs.Clear();
    f.Trigger("actClose");
    QVERIFY(f.dialogs.Asked.isEmpty());
    QVERIFY(!w.ProjectIsOpen());
    QCOMPARE(w.OnlinePages[0]->OldReportList()->count(), 0);
    QVERIFY(!w.FindAction("actStopBackwatchBulletins")->isEnabled());
}

void TestMainWindow::openRejectsHostileFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("general");
    const QByteArray zeros = QByteArray("0\r").repeated(21);
    QTest::newRow("wrong case marker")
        << QByteArray("ZephProject\rh\r/\r\r0\rN\rN\r") + zeros << NotProjectFileMessage() << false;
    QTest::newRow("binary junk") << QByteArray("\x7f"
                                               "ELF\x02\x01\x01\0\0\0",
                                               10)
                                 << NotProjectFileMessage() << false;
    QTest::newRow("empty") << QByteArray() << NotProjectFileMessage() << false;
    QTest::newRow("huge count") << QByteArray("ZEPHProject\rh\r/\r\r0\rN\rN\r2147483647\rx\r")
                                << NotProjectFileMessage() << false;
    QTest::newRow("CR LF") << QByteArray("ZEPHProject\r\nh\r\n/\r\n\r\n0\r\nN\r\nN\r\n")
                           << QStringLiteral("'?0' is not a valid integer value") << true;
    QTest::newRow("bad port") << QByteArray("ZEPHProject\rh\r/\r\rport\rN\rN\r") + zeros
                              << QStringLiteral("'port' is not a valid integer value") << true;
}

void TestMainWindow::openRejectsHostileFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(bool, general);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.zpr");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    Fixture f;
    MainWindow& w = f.Start({path});
    QVERIFY(!w.ProjectIsOpen());
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora"));
    if (general) {
        QCOMPARE(f.dialogs.GeneralErrors, QStringList{message});
    } else {
        QCOMPARE(f.dialogs.Asked.size(), 1);
        QCOMPARE(f.dialogs.Asked.first().Kind, MsgKind::Error);
        QCOMPARE(f.dialogs.Asked.first().Text, message);
    }
    QVERIFY(w.Project.SiteMapLines.isEmpty());
}

void TestMainWindow::openEntersRecentListFirst() {
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.zpr");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("zephproject\r");
    file.close();
    Fixture f;
    f.settings.Values = {
        {"File0", "/a.zpr"}, {"File1", "/b.zpr"}, {"File2", bad}, {"File3", "/d.zpr"}};
    MainWindow& w = f.Start({bad});
    QVERIFY(!w.ProjectIsOpen());
    QCOMPARE(w.RecentFiles, (QStringList{bad, "/a.zpr", "/b.zpr", "/d.zpr"}));
    QCOMPARE(f.settings.Values.value("File0").toString(), bad);
    QCOMPARE(f.settings.Values.value("File3").toString(), QStringLiteral("/d.zpr"));
}

void TestMainWindow::recentEntryOfMissingFileDoesNothing() {
    QTemporaryDir dir;
    const QString path = WriteSample(dir);
    Fixture f;
    f.settings.Values = {{"File0", path}, {"File1", dir.filePath("gone.zpr")}};
    MainWindow& w = f.Start({path});
    w.ProjectModified = true;
    f.dialogs.Clear();
    w.RecentFileActions[1]->trigger();
    QVERIFY(f.dialogs.Asked.isEmpty());
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.ProjectFileName, path);
    // An existing entry opens at once, without the save prompt.
    w.RecentFileActions[0]->trigger();
    QVERIFY(f.dialogs.Asked.isEmpty());
    QVERIFY(!w.ProjectModified);
}

void TestMainWindow::exitWithModifiedProjectAndNo() {
    QTemporaryDir dir;
    const QString path = WriteSample(dir);
    const QByteArray before = ReadAll(path);
    Fixture f;
    MainWindow& w = f.Start({path});
    w.Project.SiteMapLines.append(QStringLiteral("<PAGE>changed"));
    w.ProjectModified = true;
    w.MainSplitter->setSizes({300, 500});
    f.settings.Values.remove("HorzPos");
    f.dialogs.Clear();
    f.dialogs.Answers.enqueue(MsgAnswer::No);
    w.close();
    QCOMPARE(
        f.dialogs.Texts(),
        QStringList{"The current Project is not saved, do you want to save it before exiting?"});
    QCOMPARE(f.dialogs.Asked.first().Buttons, MsgButtons::YesNo);
    QCOMPARE(ReadAll(path), before);
    QVERIFY(f.settings.Values.contains("HorzPos"));
    QVERIFY(f.settings.Values.contains("VertPos"));
    QVERIFY(f.settings.Values.contains("Tip"));
}

void TestMainWindow::failedWriteKeepsProjectModified() {
    QTemporaryDir dir;
    Fixture f;
    MainWindow& w = f.Start();
    w.ApplyNewProjectState();
    const QString path = dir.filePath("missing-folder/x.zpr");
    f.dialogs.FileNames.enqueue(path);
    f.Trigger("actSave");
    QCOMPARE(f.dialogs.GeneralErrors.size(), 1);
    QVERIFY(f.dialogs.GeneralErrors.first().contains(QStringLiteral("Cannot create file")));
    QVERIFY(w.ProjectModified);
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora - ") + path);
    QCOMPARE(w.RecentFiles.value(0), path);
}

void TestMainWindow::animationCyclesAndStops() {
    Fixture f;
    MainWindow& w = f.Start();
    w.SetAnimation(true);
    QVERIFY(w.AnimationRunning());
    QTRY_VERIFY_WITH_TIMEOUT(w.AnimationFrame() >= 2, 3000);
    w.SetAnimation(false);
    QVERIFY(!w.AnimationRunning());
    QCOMPARE(w.AnimationFrame(), 0);
}

void TestMainWindow::newProjectThroughSettingsDialog() {
    Fixture f;
    MainWindow& w = f.Start();
    int shown = 0;
    w.RunModal = [&](QDialog* dialog) {
        auto* settings = qobject_cast<ProjectSettingsDialog*>(dialog);
        if (!settings)
            return int(QDialog::Rejected);
        ++shown;
        dialog->show();
        settings->UrlEdit()->setText(QStringLiteral("WWW.Example.org/docs"));
        settings->ProxyBox()->click();
        settings->ProxyServerEdit()->setText(QStringLiteral("proxy.lan"));
        settings->ProxyPortEdit()->setText(QStringLiteral("3128"));
        settings->OkButton()->click();
        return dialog->result();
    };
    f.dialogs.Answers.enqueue(MsgAnswer::No); // no site map now
    f.Trigger("tbNew");
    QCOMPARE(shown, 1);
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.Project.RootHost, QStringLiteral("WWW.Example.org"));
    QCOMPARE(w.Project.RootPath, QStringLiteral("/docs/"));
    QCOMPARE(w.Project.ProxyServer, QStringLiteral("proxy.lan"));
    QCOMPARE(w.Project.ProxyPort, 3128);
    QCOMPARE(w.Project.RankscoutBulletins, QStringLiteral("N"));
    QVERIFY(w.ProjectModified);
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora"));
    QCOMPARE(w.ProjectStatus(), QStringLiteral("Project Open, http://WWW.Example.org/docs/"));
    QCOMPARE(f.dialogs.Texts().last(),
             QStringLiteral("Do you want to create the Site Map for this new Project now?"));
    QVERIFY(!w.FindAction("actStopBackwatchBulletins")->isEnabled());
    QCOMPARE(w.SelectionLabel->text(), QStringLiteral("(No selection)"));

    // Cancelling the dialog of a New leaves no project open.
    w.RunModal = [](QDialog*) { return int(QDialog::Rejected); };
    f.dialogs.Answers.enqueue(MsgAnswer::No); // do not save
    f.Trigger("actNew");
    QVERIFY(!w.ProjectIsOpen());
    QVERIFY(w.Project.RootHost.isEmpty());
}

void TestMainWindow::exitOffersHangUp_data() {
    QTest::addColumn<bool>("dialled");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("hungUp");
    QTest::newRow("not dialled") << false << int(MsgAnswer::Yes) << false;
    QTest::newRow("dialled, yes") << true << int(MsgAnswer::Yes) << true;
    QTest::newRow("dialled, no") << true << int(MsgAnswer::No) << false;
}

void TestMainWindow::exitOffersHangUp() {
    QFETCH(bool, dialled);
    QFETCH(int, answer);
    QFETCH(bool, hungUp);
    Fixture f;
    MainWindow& w = f.Start();
    w.Dial->DialledByUs = dialled;
    f.dialUp.Connected = dialled;
    f.dialogs.Clear();
    f.dialogs.Answers.enqueue(MsgAnswer(answer));
    w.close();
    const QString question = QStringLiteral("You are still Dialed-up to the Internet, do you want "
                                            "Hangup the connection before exiting?");
    QCOMPARE(f.dialogs.Texts().contains(question), dialled);
    QCOMPARE(f.dialUp.Calls.contains(QStringLiteral("HangUp")), hungUp);
    QVERIFY(f.settings.Values.contains("HorzPos"));
}

void TestMainWindow::stopButtonDropsQueue() {
    Fixture f;
    MainWindow& w = f.Start();
    QVERIFY(!w.Net->StopRequested);
    f.Trigger("tbStop");
    QVERIFY(w.Net->StopRequested); // also while idle
    w.Net->Append(1, QStringLiteral("http://127.0.0.1:1/a"));
    w.Net->Append(1, QStringLiteral("http://127.0.0.1:1/b"));
    w.Net->StartNextRequest(QString(), 0);
    QVERIFY(!w.Net->TransportIdle);
    QCOMPARE(f.http.Requested, QStringList{"http://127.0.0.1:1/a"});
    f.http.CurrentListener()->OnDocOutput(DocState::Begin, 0, QByteArray());
    QVERIFY(w.AnimationRunning());
    f.Trigger("tbStop");
    QVERIFY(w.Net->RequestQueue.isEmpty());
    QVERIFY(w.Net->TransportIdle);
    QVERIFY(!w.AnimationRunning());
}

void TestMainWindow::panelSizesSurviveARun_data() {
    QTest::addColumn<bool>("openProject");
    QTest::addColumn<bool>("showBulletins");
    QTest::addColumn<QVariant>("horz");
    QTest::addColumn<QVariant>("vert");
    QTest::newRow("no project, stored") << false << false << QVariant(300) << QVariant(200);
    QTest::newRow("no project, defaults") << false << false << QVariant() << QVariant();
    QTest::newRow("project, list never shown") << true << false << QVariant(300) << QVariant(200);
    QTest::newRow("project, list shown") << true << true << QVariant(300) << QVariant(200);
    QTest::newRow("project, list shown, defaults") << true << true << QVariant() << QVariant();
}

// What a run reads is what it stores, however much of the window was shown,
// and the bulletin list opens at its stored height whatever the window size.
void TestMainWindow::panelSizesSurviveARun() {
    QFETCH(bool, openProject);
    QFETCH(bool, showBulletins);
    QFETCH(QVariant, horz);
    QFETCH(QVariant, vert);
    QTemporaryDir dir;
    Fixture f;
    if (horz.isValid())
        f.settings.Values.insert("HorzPos", horz);
    if (vert.isValid())
        f.settings.Values.insert("VertPos", vert);
    const int wantHorz = horz.isValid() ? horz.toInt() : 279;
    const int wantVert = vert.isValid() ? vert.toInt() : 153;
    MainWindow& w = f.Start(openProject ? QStringList{WriteSample(dir)} : QStringList{});
    w.resize(1280, 960);
    if (showBulletins) {
        w.ToolPages->setCurrentIndex(BulletinBoardTab);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.BBList->height() > 0 && w.BBSplitter->isVisible());
        QCOMPARE(w.BBSplitter->sizes().value(0), wantVert);
        QVERIFY(w.BBSplitter->sizes().value(1) > wantVert);
        QCOMPARE(w.MainSplitter->sizes().value(0), wantHorz);
    }
    w.close();
    QCOMPARE(f.settings.Values.value("HorzPos").toInt(), wantHorz);
    QCOMPARE(f.settings.Values.value("VertPos").toInt(), wantVert);
}

void TestMainWindow::closeWhileTreeBuildsLeavesNoTree() {
    ProjectData big = SampleProject();
    big.SiteMapLines = {QStringLiteral("WEBCHARTER"),
                        QStringLiteral("<ROOT>http://www.example.org/shop/")};
    for (int i = 0; i < 400; ++i)
        big.SiteMapLines << QStringLiteral("<PAGE>http://www.example.org/shop/%1.html").arg(i);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.zpr");
    QVERIFY(WriteProjectFile(path, big).IsOk());
    Fixture f;
    MainWindow& w = f.Start({path});
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.SiteMap->Controller().NodeCount(), 400);
    // The Close arrives while the rebuild lets window messages run.
    bool closed = false;
    QTimer::singleShot(0, &w, [&] {
        QVERIFY(w.SiteMap->IsBusy());
        f.Trigger("actClose");
        closed = true;
    });
    w.SiteMap->BuildSiteTree();
    QVERIFY(closed);
    QVERIFY(!w.ProjectIsOpen());
    QCOMPARE(w.SiteMap->Controller().NodeCount(), 0);
    QCOMPARE(w.SiteMap->Tree()->model()->rowCount(), 0);
    QCOMPARE(w.SelectionLabel->text(), QString());
    QVERIFY(w.Project.SiteMapLines.isEmpty());
    QVERIFY(!w.SiteMap->IsBusy());
    QVERIFY(w.FindAction("actOpen")->isEnabled());
}

void TestMainWindow::relativeCommandLinePathIsMadeFull() {
    QTemporaryDir dir;
    WriteSample(dir, QStringLiteral("rel.zpr"));
    const QString full = QFileInfo(dir.filePath("rel.zpr")).absoluteFilePath();
    const QString kept = QDir::currentPath();
    QDir::setCurrent(dir.path());
    Fixture f;
    MainWindow& w = f.Start({QStringLiteral("rel.zpr")});
    QDir::setCurrent(kept);
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.windowTitle(), QStringLiteral("The Vantora - ") + full);
    QCOMPARE(w.RecentFiles.value(0), full);
    // The entry still opens the file from another folder.
    f.Trigger("actClose");
    w.RecentFileActions[0]->trigger();
    QVERIFY(w.ProjectIsOpen());
    QCOMPARE(w.ProjectFileName, full);
}

void TestMainWindow::exitKeepsTipChoiceOfProgramOptions() {
    Fixture f;
    MainWindow& w = f.Start(); // first start: the tip window is open
    QVERIFY(w.TipWindow->isVisible());
    w.RunModal = [](QDialog* dialog) {
        auto* options = qobject_cast<ProgramOptionsDialog*>(dialog);
        if (!options)
            return int(QDialog::Rejected);
        options->TipBox->setChecked(false);
        options->OkButton->click();
        return int(QDialog::Accepted);
    };
    f.Trigger("actProgramOptions");
    QCOMPARE(f.settings.Values.value("Tip").toInt(), 0);
    QVERIFY(w.TipWindow->isVisible());
    w.close();
    QCOMPARE(f.settings.Values.value("Tip").toInt(), 0);
}

void TestMainWindow::failedSaveAtExitKeepsWindowOpen() {
    QTemporaryDir dir;
    Fixture f;
    MainWindow& w = f.Start();
    w.ApplyNewProjectState();
    w.Project.RootHost = QStringLiteral("www.example.org");
    w.ProjectFileName = dir.filePath("missing-folder/x.zpr");
    f.settings.Values.remove("HorzPos");
    f.dialogs.Clear();
    f.dialogs.Answers.enqueue(MsgAnswer::Yes);
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(f.dialogs.GeneralErrors.size(), 1);
    QVERIFY(w.ProjectModified);
    QVERIFY(!f.settings.Values.contains("HorzPos"));
    QCOMPARE(w.Project.RootHost, QStringLiteral("www.example.org"));

    // Saved elsewhere, the exit goes on.
    w.ProjectFileName = dir.filePath("x.zpr");
    f.dialogs.Answers.enqueue(MsgAnswer::Yes);
    QVERIFY(w.close());
    QVERIFY(QFileInfo::exists(dir.filePath("x.zpr")));
    QVERIFY(f.settings.Values.contains("HorzPos"));
}

// The proxy a project's requests used goes with the project.
void TestMainWindow::closeClearsTheProxy() {
    QTemporaryDir dir;
    ProjectData withProxy = SampleProject();
    withProxy.ProxyServer = QStringLiteral("proxy.lan");
    withProxy.ProxyPort = 3128;
    const QString path = dir.filePath("proxy.zpr");
    QVERIFY(WriteProjectFile(path, withProxy).IsOk());
    Fixture f;
    MainWindow& w = f.Start({path});
    w.Net->Append(1, QStringLiteral("http://127.0.0.1:1/a"));
    w.Net->StartNextRequest(w.Project.ProxyServer, w.Project.ProxyPort);
    QVERIFY(f.http.ProxyOn);
    QCOMPARE(f.http.ProxyHost, QStringLiteral("proxy.lan"));
    f.Trigger("actClose");
    QVERIFY(!f.http.ProxyOn);
    QVERIFY(f.http.ProxyHost.isEmpty());
    QCOMPARE(f.http.ProxyPort, 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
