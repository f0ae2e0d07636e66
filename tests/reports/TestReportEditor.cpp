// Edit mode and the edit, format, print and save commands, driven through the
// main window's menus, tool bar and pop-up menu.
#include "BulletinPage.h"
#include "DocumentSink.h"
#include "Main.h"
#include "ProjectFile.h"
#include "ReportEditor.h"
#include "ReportPrinters.h"
#include "ReportView.h"
#include "RtfCheck.h"
#include "RtfWriter.h"
#include "WindowFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextList>
#include <QToolBar>
#include <QTreeWidget>

using namespace vantora;
using namespace vantora::test;

namespace {

// A machine with or without printers whose print dialog prints to a PDF file.
class FakePrinters : public ReportPrinters {
  public:
    bool Installed = true;
    bool Accept = true;
    bool SetupShows = true;
    QString OutputFile;
    int PrintDialogs = 0;
    int SetupDialogs = 0;
    QString DocName;

    bool HasPrinter() override { return Installed; }
    bool RunPrintDialog(QPrinter& printer, QWidget*) override {
        ++PrintDialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(OutputFile);
        return Accept;
    }
    bool RunSetupDialog(QPrinter&, QWidget*) override {
        ++SetupDialogs;
        return SetupShows;
    }
};

const char* const EditOnlyActions[] = {"tbCut",    "tbPaste",   "tbBold",         "tbUnderline",
                                       "tbItalic", "tbCenter",  "tbRightJustify", "tbBullets",
                                       "actCut",   "actPaste",  "actDelete",      "popCut",
                                       "popPaste", "popDelete", "tbLeftJustify"};

struct Fixture : WindowFixture<> {
    FakePrinters printers;
    QTemporaryDir dir;

    MainWindow& StartWithProject() {
        platform.printers = &printers;
        settings.Values[QStringLiteral("Tip")] = 0;
        MainWindow& w = Start();
        w.ApplyNewProjectState(QStringLiteral("http://www.example.org/"));
        w.ProjectModified = false;
        for (int page = 0; page < TabCount; ++page)
            WriteReport(page, QStringLiteral("Report of page %1").arg(page));
        return w;
    }
    // A small report in a view: a heading, a body line, a closing line.
    void WriteReport(int page, const QString& heading) {
        ReportView* view = window->ReportViews[page];
        view->ClearReport();
        ReportFormat format;
        format.Bold = true;
        view->SetFormat(format);
        view->AppendLine(heading);
        format.Bold = false;
        view->SetFormat(format);
        view->AppendLine(QStringLiteral("Body line"));
        format.Italic = true;
        view->SetFormat(format);
        view->AppendLine(QStringLiteral("End of Report"));
    }
    // Clicks a page's push button by name; false when there is none.
    bool ClickButton(const QString& name) {
        auto* button = window->findChild<QPushButton*>(name);
        if (!button)
            return false;
        if (!button->isEnabled())
            qFatal("%s is disabled", qPrintable(name));
        button->click();
        return true;
    }
    void Show(int page) { window->ToolPages->setCurrentIndex(page); }
    ReportView* View(int page) { return window->ReportViews[page]; }
    bool Checked(const char* name) {
        return window->FindAction(QString::fromLatin1(name))->isChecked();
    }
    bool Enabled(const char* name) {
        return window->FindAction(QString::fromLatin1(name))->isEnabled();
    }
    // Every view's text and formats, to see that nothing changed.
    QStringList Snapshot() {
        QStringList all;
        for (ReportView* view : window->ReportViews)
            all << view->toHtml();
        return all;
    }
    void PlaceCaret(int page, const QString& blockText) {
        ReportView* view = View(page);
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
            if (block.text() == blockText) {
                QTextCursor cursor(block);
                cursor.movePosition(QTextCursor::NextCharacter);
                view->setTextCursor(cursor);
                return;
            }
        QFAIL(qPrintable(blockText));
    }
};

// Changes an edit-mode entry point's checked state the way a user, a
// program or a screen reader does.
void Flip(Fixture& f, const QString& entry, const QString& how) {
    QAction* action = f.window->FindAction(entry);
    QVERIFY2(action, qPrintable(entry));
    if (how == QLatin1String("trigger")) {
        action->trigger();
    } else if (how == QLatin1String("toggle")) {
        action->toggle();
    } else if (how == QLatin1String("set checked")) {
        action->setChecked(!action->isChecked());
    } else {
        QWidget* button = f.window->MainToolBar->widgetForAction(action);
        QVERIFY2(button, qPrintable(entry));
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
        QVERIFY(face && face->actionInterface());
        const bool was = action->isChecked();
        face->actionInterface()->doAction(how == QLatin1String("screen reader toggle")
                                              ? QAccessibleActionInterface::toggleAction()
                                              : QAccessibleActionInterface::pressAction());
        // A press is an animated click that lands a moment later.
        QTRY_VERIFY(action->isChecked() != was);
    }
}

bool AllToolViewsReadOnly(MainWindow& w) {
    for (int page = 0; page < TabCount; ++page)
        if (!w.ReportViews[page]->isReadOnly())
            return false;
    return true;
}

} // namespace

class TestReportEditor : public QObject {
    Q_OBJECT
  private slots:
    void longReportIsWrittenWhole_data();
    void longReportIsWrittenWhole();
    void editModeEntryPoints_data();
    void editModeEntryPoints();
    void bulletinRefusesEditMode_data();
    void bulletinRefusesEditMode();
    void editModeFollowsTheCheckedState_data();
    void editModeFollowsTheCheckedState();
    void leavingOnTheBulletinPageIsNotRefused_data();
    void leavingOnTheBulletinPageIsNotRefused();
    void editModeEndsForEveryView_data();
    void editModeEndsForEveryView();
    void commandsActOnTheShownView_data();
    void commandsActOnTheShownView();
    void bulletinViewIsNeverChanged_data();
    void bulletinViewIsNeverChanged();
    void copyAndCutUseTheClipboard();
    void toolBarFollowsTheSelection_data();
    void toolBarFollowsTheSelection();
    void fontListsApplyOnlyChosenItems();
    void bulletsAndAlignment();
    void wordWrapPerView();
    void fontListIsSorted();
    void saveWritesTheShownView_data();
    void saveWritesTheShownView();
    void saveCancelledOrFailed();
    void noPrinterAtEveryEntryPoint_data();
    void noPrinterAtEveryEntryPoint();
    void printWritesOneJob_data();
    void printWritesOneJob();
    void printFailures();
    void toolBarCommandsFromTheKeyboard();
};

void TestReportEditor::editModeEntryPoints_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("menu") << "actEditReport";
    QTest::newRow("pop-up") << "popEditReport";
    QTest::newRow("tool bar") << "tbEditMode";
}

void TestReportEditor::editModeEntryPoints() {
    QFETCH(QString, entry);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    QVERIFY(!w.Reports->EditMode());
    for (const char* name : EditOnlyActions)
        QVERIFY2(!f.Enabled(name), name);
    QVERIFY(!w.FontNameList->isEnabled() && !w.FontSizeList->isEnabled());
    QVERIFY(f.Enabled("tbEditMode") && f.Enabled("tbPrint") && f.Enabled("tbCopy"));

    f.Trigger(entry.toLatin1().constData());
    QVERIFY(w.Reports->EditMode());
    for (const char* name : {"actEditReport", "popEditReport", "tbEditMode"})
        QVERIFY2(f.Checked(name), name);
    for (const char* name : EditOnlyActions)
        QVERIFY2(f.Enabled(name), name);
    QVERIFY(w.FontNameList->isEnabled() && w.FontSizeList->isEnabled());
    for (int page = 0; page < BulletinBoardTab; ++page)
        QVERIFY(!w.ReportViews[page]->isReadOnly());
    QVERIFY(w.ReportViews[BulletinBoardTab]->isReadOnly());

    f.Trigger(entry.toLatin1().constData());
    QVERIFY(!w.Reports->EditMode());
    for (const char* name : {"actEditReport", "popEditReport", "tbEditMode"})
        QVERIFY2(!f.Checked(name), name);
    for (const char* name : EditOnlyActions)
        QVERIFY2(!f.Enabled(name), name);
    QVERIFY(AllToolViewsReadOnly(w));
    QVERIFY(f.dialogs.Asked.isEmpty());
}

void TestReportEditor::bulletinRefusesEditMode_data() {
    editModeEntryPoints_data();
}

void TestReportEditor::bulletinRefusesEditMode() {
    QFETCH(QString, entry);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(BulletinBoardTab);
    f.Trigger(entry.toLatin1().constData());
    QCOMPARE(f.dialogs.Texts(), QStringList{"You can not edit Bulletin Board Messages."});
    QCOMPARE(f.dialogs.Asked[0].Kind, MsgKind::Information);
    QCOMPARE(f.dialogs.Asked[0].Buttons, MsgButtons::Ok);
    QVERIFY(!w.Reports->EditMode());
    for (const char* name : {"actEditReport", "popEditReport", "tbEditMode"})
        QVERIFY2(!f.Checked(name), name);
    for (const char* name : EditOnlyActions)
        QVERIFY2(!f.Enabled(name), name);
    QVERIFY(AllToolViewsReadOnly(w));
}

void TestReportEditor::editModeFollowsTheCheckedState_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("how");
    QTest::newRow("tool bar, screen reader toggle") << "tbEditMode"
                                                    << "screen reader toggle";
    QTest::newRow("tool bar, screen reader press") << "tbEditMode"
                                                   << "screen reader press";
    QTest::newRow("menu, toggled") << "actEditReport"
                                   << "toggle";
    QTest::newRow("pop-up, checked set") << "popEditReport"
                                         << "set checked";
}

void TestReportEditor::editModeFollowsTheCheckedState() {
    QFETCH(QString, entry);
    QFETCH(QString, how);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    for (const bool on : {true, false}) {
        Flip(f, entry, how);
        QCOMPARE(w.Reports->EditMode(), on);
        for (const char* name : {"actEditReport", "popEditReport", "tbEditMode"})
            QVERIFY2(f.Checked(name) == on, name);
        QCOMPARE(w.MainToolBar->widgetForAction(w.FindAction("tbEditMode"))
                     ->property("checked")
                     .toBool(),
                 on);
        QCOMPARE(f.View(WordweighTab)->isReadOnly(), !on);
        QCOMPARE(f.Enabled("tbBold"), on);
    }
    QVERIFY(f.dialogs.Asked.isEmpty());
}

void TestReportEditor::leavingOnTheBulletinPageIsNotRefused_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "actEditReport"
                          << "trigger";
    QTest::newRow("pop-up") << "popEditReport"
                            << "trigger";
    QTest::newRow("tool bar") << "tbEditMode"
                              << "trigger";
    QTest::newRow("tool bar, screen reader toggle") << "tbEditMode"
                                                    << "screen reader toggle";
}

// Edit mode is on while the Bulletin Board page shows (the page was chosen
// from the tab strip, the focus stayed outside it). Turning edit mode off
// is granted without the refusal, also when the focus reaches the page
// together with the press (the window becoming active again).
void TestReportEditor::leavingOnTheBulletinPageIsNotRefused() {
    QFETCH(QString, entry);
    QFETCH(QString, how);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.Trigger("actEditReport");
    w.UpdateSiteMapButton->setFocus();
    f.Show(BulletinBoardTab);
    QVERIFY(w.Reports->EditMode());
    QObject::connect(w.FindAction(entry), &QAction::toggled, &w,
                     [&w] { w.BBList->setFocus(Qt::ActiveWindowFocusReason); });
    Flip(f, entry, how);
    QVERIFY2(f.dialogs.Asked.isEmpty(), qPrintable(f.dialogs.Texts().join('|')));
    QVERIFY(!w.Reports->EditMode());
    for (const char* name : {"actEditReport", "popEditReport", "tbEditMode"})
        QVERIFY2(!f.Checked(name), name);
    QVERIFY(AllToolViewsReadOnly(w));
}

void TestReportEditor::editModeEndsForEveryView_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("toggled off on another page") << "toggle";
    QTest::newRow("project closed") << "close";
    QTest::newRow("project opened") << "open";
    QTest::newRow("new project") << "new";
}

void TestReportEditor::editModeEndsForEveryView() {
    QFETCH(QString, how);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(RankscoutTab);
    f.Trigger("actEditReport");
    QVERIFY(!f.View(WordweighTab)->isReadOnly());
    if (how == QLatin1String("toggle")) {
        f.Show(SitecensusTab);
        f.Trigger("tbEditMode");
    } else if (how == QLatin1String("close")) {
        w.CloseProject();
    } else if (how == QLatin1String("open")) {
        ProjectData project;
        project.RootHost = QStringLiteral("www.example.org");
        project.RootPath = QStringLiteral("/");
        const QString path = f.dir.filePath(QStringLiteral("p.zpr"));
        QVERIFY(WriteProjectFile(path, project).IsOk());
        w.OpenProject(path);
        QVERIFY(w.ProjectIsOpen());
    } else {
        w.ApplyNewProjectState(QStringLiteral("http://www.example.org/"));
    }
    QVERIFY(!w.Reports->EditMode());
    QVERIFY(AllToolViewsReadOnly(w));
    QVERIFY(!f.Checked("tbEditMode") && !f.Checked("actEditReport") && !f.Checked("popEditReport"));
    QVERIFY(!f.Enabled("tbBold") && !w.FontSizeList->isEnabled());
}

void TestReportEditor::commandsActOnTheShownView_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shownAfter"); // plain text of the shown view after the command
    QTest::newRow("delete") << "actDelete"
                            << "";
    QTest::newRow("cut") << "tbCut"
                         << "";
    QTest::newRow("bold") << "tbBold"
                          << "same";
    QTest::newRow("right justify") << "tbRightJustify"
                                   << "same";
}

void TestReportEditor::commandsActOnTheShownView() {
    QFETCH(QString, command);
    QFETCH(QString, shownAfter);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Trigger("actEditReport");
    f.Show(BackwatchTab);
    const QStringList before = f.Snapshot();
    f.Trigger("actSelectAll");
    f.Trigger(command.toLatin1().constData());
    const QStringList after = f.Snapshot();
    for (int page = 0; page < TabCount; ++page)
        if (page != BackwatchTab)
            QVERIFY2(after[page] == before[page], qPrintable(QString::number(page)));
    QVERIFY(after[BackwatchTab] != before[BackwatchTab]);
    if (shownAfter.isEmpty())
        QVERIFY(f.View(BackwatchTab)->toPlainText().isEmpty());
    QVERIFY(f.dialogs.Asked.isEmpty());
    Q_UNUSED(w);
}

void TestReportEditor::bulletinViewIsNeverChanged_data() {
    QTest::addColumn<QString>("command");
    for (const char* name : {"tbBold", "tbItalic", "tbUnderline", "tbCenter", "tbRightJustify",
                             "tbBullets", "actPaste", "tbPaste", "actCut", "popCut", "actDelete"})
        QTest::newRow(name) << name;
}

void TestReportEditor::bulletinViewIsNeverChanged() {
    QFETCH(QString, command);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    QApplication::clipboard()->setText(QStringLiteral("pasted text"));
    f.Trigger("actEditReport");
    f.Show(BulletinBoardTab);
    const QStringList before = f.Snapshot();
    f.Trigger("popSelectAll");
    QVERIFY(f.View(BulletinBoardTab)->textCursor().hasSelection());
    f.Trigger(command.toLatin1().constData());
    QCOMPARE(f.Snapshot(), before);
    // Copy still serves the bulletin view.
    f.Trigger("actCopy");
    QCOMPARE(QApplication::clipboard()->text(), f.View(BulletinBoardTab)->toPlainText());
    QVERIFY(f.dialogs.Asked.isEmpty());
    Q_UNUSED(w);
}

void TestReportEditor::copyAndCutUseTheClipboard() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(StuffwatchTab);
    QTextCursor cursor(f.View(StuffwatchTab)->document()->findBlockByNumber(1));
    cursor.select(QTextCursor::BlockUnderCursor);
    cursor.setPosition(cursor.block().position());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    f.View(StuffwatchTab)->setTextCursor(cursor);
    // Outside edit mode Copy works and Cut does nothing.
    f.Trigger("tbCopy");
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Body line"));
    QApplication::clipboard()->clear();
    w.Reports->Cut();
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    QVERIFY(f.View(StuffwatchTab)->toPlainText().contains(QStringLiteral("Body line")));
    // In edit mode Cut moves the text; Paste puts it back elsewhere.
    f.Trigger("tbEditMode");
    f.Trigger("popCut");
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Body line"));
    QVERIFY(!f.View(StuffwatchTab)->toPlainText().contains(QStringLiteral("Body line")));
    f.View(StuffwatchTab)->moveCursor(QTextCursor::End);
    f.Trigger("actPaste");
    QVERIFY(f.View(StuffwatchTab)->toPlainText().endsWith(QStringLiteral("Body line")));
    QVERIFY(f.dialogs.Asked.isEmpty());
}

void TestReportEditor::toolBarFollowsTheSelection_data() {
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<int>("align"); // 0 left, 1 centre, 2 right, 3 bullet
    QTest::newRow("bold 14 centred") << 14 << true << false << false << 1;
    QTest::newRow("italic underlined right") << 10 << false << true << true << 2;
    QTest::newRow("plain 9 bullet") << 9 << false << false << false << 3;
    QTest::newRow("plain 12 left") << 12 << false << false << false << 0;
}

void TestReportEditor::toolBarFollowsTheSelection() {
    QFETCH(int, points);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(bool, underline);
    QFETCH(int, align);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    ReportView* view = f.View(EnginepostTab);
    ReportFormat format;
    format.FontName = QStringLiteral("Courier");
    format.PointSize = points;
    format.Bold = bold;
    format.Italic = italic;
    format.Underline = underline;
    format.Align = align == 1   ? ParagraphAlign::Centre
                   : align == 2 ? ParagraphAlign::Right
                   : align == 3 ? ParagraphAlign::Bullet
                                : ParagraphAlign::Left;
    view->SetFormat(format);
    view->AppendLine(QStringLiteral("The line under test"));
    // Put the tool bar into the opposite state first, from another line.
    f.PlaceCaret(EnginepostTab, QStringLiteral("Report of page 3"));
    QVERIFY(f.Checked("tbBold") && f.Checked("tbLeftJustify"));
    // Placing the caret refreshes the tool bar even on a page not shown.
    f.Show(WordweighTab);
    f.PlaceCaret(EnginepostTab, QStringLiteral("The line under test"));
    QCOMPARE(f.Checked("tbBold"), bold);
    QCOMPARE(f.Checked("tbItalic"), italic);
    QCOMPARE(f.Checked("tbUnderline"), underline);
    QCOMPARE(f.Checked("tbLeftJustify"), align == 0 || align == 3);
    QCOMPARE(f.Checked("tbCenter"), align == 1);
    QCOMPARE(f.Checked("tbRightJustify"), align == 2);
    QCOMPARE(f.Checked("tbBullets"), align == 3);
    QCOMPARE(w.FontSizeList->currentText(), QString::number(points));
    QCOMPARE(w.FontNameList->currentText(), QStringLiteral("Courier"));
}

void TestReportEditor::fontListsApplyOnlyChosenItems() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Trigger("actEditReport");
    f.Show(WordweighTab);
    f.Trigger("actSelectAll");
    const QString before = f.View(WordweighTab)->toHtml();

    // Typed text is not applied, and only digits go into the size field.
    QLineEdit* sizeField = w.FontSizeList->lineEdit();
    sizeField->clear();
    QTest::keyClicks(sizeField, QStringLiteral("1x3"));
    QCOMPARE(sizeField->text(), QStringLiteral("13"));
    QTest::keyClick(sizeField, Qt::Key_Return);
    // Not even a size that is also a list item.
    sizeField->clear();
    QTest::keyClicks(sizeField, QStringLiteral("12"));
    QTest::keyClick(sizeField, Qt::Key_Return);
    QTest::keyClick(sizeField, Qt::Key_Enter);
    QLineEdit* nameField = w.FontNameList->lineEdit();
    nameField->clear();
    QTest::keyClicks(nameField, w.FontNameList->itemText(0));
    QTest::keyClick(nameField, Qt::Key_Return);
    QCOMPARE(f.View(WordweighTab)->toHtml(), before);

    // Choosing an item from a list applies it to the selection.
    const int twelve = w.FontSizeList->findText(QStringLiteral("12"));
    QVERIFY(twelve >= 0);
    emit w.FontSizeList->activated(twelve);
    QVERIFY(w.FontNameList->count() > 0);
    const QString family = w.FontNameList->itemText(w.FontNameList->count() - 1);
    emit w.FontNameList->activated(w.FontNameList->count() - 1);
    for (QTextBlock block = f.View(WordweighTab)->document()->begin(); block.isValid();
         block = block.next()) {
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QCOMPARE(format.fontPointSize(), 12.0);
        QCOMPARE(format.fontFamilies().toStringList().value(0), family);
    }
    // The italic of the last line and the bold of the first survive.
    QVERIFY(
        f.View(WordweighTab)->document()->lastBlock().begin().fragment().charFormat().fontItalic());
    QVERIFY(f.View(WordweighTab)
                ->document()
                ->firstBlock()
                .begin()
                .fragment()
                .charFormat()
                .fontWeight() >= QFont::Bold);
    QVERIFY(f.dialogs.Asked.isEmpty());
}

void TestReportEditor::bulletsAndAlignment() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Trigger("tbEditMode");
    f.Show(TagsmithTab);
    ReportView* view = f.View(TagsmithTab);
    // The first two lines selected.
    QTextCursor cursor(view->document());
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);

    f.Trigger("tbBullets");
    QVERIFY(view->document()->findBlockByNumber(0).textList());
    QVERIFY(view->document()->findBlockByNumber(1).textList());
    QVERIFY(!view->document()->findBlockByNumber(2).textList());
    QVERIFY(f.Checked("tbBullets"));
    f.Trigger("tbBullets");
    for (int i = 0; i < 3; ++i)
        QVERIFY(!view->document()->findBlockByNumber(i).textList());
    QVERIFY(!f.Checked("tbBullets"));

    f.Trigger("tbCenter");
    QVERIFY(f.Checked("tbCenter") && !f.Checked("tbLeftJustify") && !f.Checked("tbRightJustify"));
    QCOMPARE(view->document()->findBlockByNumber(0).blockFormat().alignment() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    QCOMPARE(view->document()->findBlockByNumber(1).blockFormat().alignment() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    QVERIFY(!(view->document()->findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHCenter));
    f.Trigger("tbLeftJustify");
    QVERIFY(!(view->document()->findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHCenter));
    QVERIFY(f.Checked("tbLeftJustify") && !f.Checked("tbCenter"));

    // Bold down adds bold to the selection, up removes it; italic stays.
    f.Trigger("actSelectAll");
    f.Trigger("tbBold");
    QVERIFY(f.Checked("tbBold"));
    QVERIFY(view->document()->lastBlock().begin().fragment().charFormat().fontWeight() >=
            QFont::Bold);
    f.Trigger("tbBold");
    QVERIFY(!f.Checked("tbBold"));
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
        QVERIFY(block.begin().fragment().charFormat().fontWeight() < QFont::DemiBold);
    QVERIFY(view->document()->lastBlock().begin().fragment().charFormat().fontItalic());
    Q_UNUSED(w);
}

void TestReportEditor::wordWrapPerView() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    const bool wraps[TabCount] = {true, true, false, false, false, true, false, false};
    for (int page = 0; page < TabCount; ++page)
        QCOMPARE(f.View(page)->lineWrapMode() != QTextEdit::NoWrap, wraps[page]);

    f.Show(RankscoutTab);
    emit w.ReportPopup->aboutToShow();
    QVERIFY(!f.Checked("popWordWrap"));
    f.Trigger("popWordWrap");
    QCOMPARE(f.View(RankscoutTab)->lineWrapMode(), QTextEdit::WidgetWidth);
    for (int page = 0; page < TabCount; ++page)
        if (page != RankscoutTab)
            QCOMPARE(f.View(page)->lineWrapMode() != QTextEdit::NoWrap, wraps[page]);

    // The check mark follows the view of the page the menu opens on.
    f.Show(WordweighTab);
    f.Trigger("popWordWrap"); // Wordweigh off
    f.Show(StuffwatchTab);
    emit w.ReportPopup->aboutToShow();
    QVERIFY(f.Checked("popWordWrap"));
    f.Show(WordweighTab);
    emit w.ReportPopup->aboutToShow();
    QVERIFY(!f.Checked("popWordWrap"));
    QCOMPARE(f.View(WordweighTab)->lineWrapMode(), QTextEdit::NoWrap);
    QCOMPARE(f.View(StuffwatchTab)->lineWrapMode(), QTextEdit::WidgetWidth);
}

void TestReportEditor::fontListIsSorted() {
    Fixture f;
    f.settings.Values[QStringLiteral("Tip")] = 0;
    MainWindow& w = f.Start();
    QVERIFY(w.FontNameList->count() > 0);
    for (int i = 1; i < w.FontNameList->count(); ++i)
        QVERIFY2(w.FontNameList->itemText(i - 1).compare(w.FontNameList->itemText(i),
                                                         Qt::CaseInsensitive) <= 0,
                 qPrintable(w.FontNameList->itemText(i)));
    // Families by the names users know, each once, and the boxes on the
    // reports' body font from the start.
    QStringList seen;
    for (int i = 0; i < w.FontNameList->count(); ++i) {
        const QString family = w.FontNameList->itemText(i);
        QVERIFY2(!family.endsWith(u']'), qPrintable(family));
        QVERIFY2(!seen.contains(family), qPrintable(family));
        seen << family;
    }
    const QString body = QFontDatabase::hasFamily(QStringLiteral("Arial"))
                             ? QStringLiteral("Arial")
                             : QFontInfo(QFont(QStringLiteral("Arial"))).family();
    QVERIFY2(body.startsWith(w.FontNameList->currentText()) &&
                 !w.FontNameList->currentText().isEmpty(),
             qPrintable(w.FontNameList->currentText() + " / " + body));
    QCOMPARE(w.FontSizeList->currentText(), QStringLiteral("10"));
}

void TestReportEditor::saveWritesTheShownView_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("entry"); // an action, or "command" for the page buttons' call
    QTest::addColumn<QString>("file");
    QTest::newRow("bulletin from the pop-up") << int(BulletinBoardTab) << "popSaveReport"
                                              << "b.rtf";
    QTest::newRow("Rankscout from its page") << int(RankscoutTab) << "RankscoutSave"
                                             << "r.rtf";
    QTest::newRow("audit as PDF") << int(SitecensusTab) << "command"
                                  << "a.PDF";
}

void TestReportEditor::saveWritesTheShownView() {
    QFETCH(int, page);
    QFETCH(QString, entry);
    QFETCH(QString, file);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(page);
    const QString path = f.dir.filePath(file);
    f.dialogs.FileNames.enqueue(path);
    if (entry == QLatin1String("command"))
        static_cast<ReportCommands*>(w.Reports)->SaveReport();
    else if (!f.ClickButton(entry))
        f.Trigger(entry.toLatin1().constData());
    QCOMPARE(f.dialogs.FileDialogsShown.size(), 1);
    const FileDialogOptions& shown = f.dialogs.FileDialogsShown[0];
    QCOMPARE(shown.Title, QStringLiteral("Save Report to disk"));
    QVERIFY(shown.Filter.startsWith(QStringLiteral("Rich Text files (*.rtf)|*.rtf|")));
    QVERIFY(shown.Filter.contains(QStringLiteral("PDF documents (*.pdf)|*.pdf")));
    QCOMPARE(shown.DefaultExt, QStringLiteral("rtf"));
    QVERIFY(shown.ConfirmOverwrite);
    QVERIFY(f.dialogs.Asked.isEmpty());

    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    if (file.endsWith(QLatin1String(".rtf"))) {
        const RtfCheck check = CheckRtf(bytes);
        QVERIFY2(check.Ok, qPrintable(check.Problem));
        QVERIFY(bytes.contains(QStringLiteral("Report of page %1").arg(page).toLatin1()));
        for (int other = 0; other < TabCount; ++other)
            if (other != page)
                QVERIFY(!bytes.contains(QStringLiteral("Report of page %1").arg(other).toLatin1()));
    } else {
        QVERIFY(bytes.startsWith("%PDF-"));
    }
}

void TestReportEditor::saveCancelledOrFailed() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(WordweighTab);
    const QString before = f.View(WordweighTab)->toHtml();
    // Cancelled: nothing written, no message.
    f.dialogs.FileNames.enqueue(QString());
    w.Reports->SaveReport();
    QVERIFY(f.dialogs.Asked.isEmpty());
    QVERIFY(QDir(f.dir.path()).isEmpty());
    // A file that cannot be written: the message, the view as it was.
    f.dialogs.FileNames.enqueue(f.dir.filePath(QStringLiteral("no/such/folder/r.rtf")));
    w.Reports->SaveReport();
    QCOMPARE(f.dialogs.Texts(),
             QStringList{"An error occurred while trying to write the file, operation aborted."});
    QCOMPARE(f.dialogs.Asked[0].Kind, MsgKind::Error);
    QCOMPARE(f.View(WordweighTab)->toHtml(), before);
}

void TestReportEditor::noPrinterAtEveryEntryPoint_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("page");
    QTest::newRow("File menu") << "actPrint" << int(WordweighTab);
    QTest::newRow("pop-up") << "popPrintReport" << int(BackwatchTab);
    QTest::newRow("tool bar") << "tbPrint" << int(SitecensusTab);
    QTest::newRow("page button") << "StuffwatchPrint" << int(StuffwatchTab);
    QTest::newRow("report command") << "command" << int(BackwatchTab);
    QTest::newRow("bulletin page button") << "bulletin" << int(BulletinBoardTab);
}

void TestReportEditor::noPrinterAtEveryEntryPoint() {
    QFETCH(QString, entry);
    QFETCH(int, page);
    Fixture f;
    f.printers.Installed = false;
    MainWindow& w = f.StartWithProject();
    f.Show(page);
    if (entry == QLatin1String("command"))
        static_cast<ReportCommands*>(w.Reports)->PrintReport();
    else if (entry == QLatin1String("bulletin"))
        emit w.BBPage->PrintRequested();
    else if (!f.ClickButton(entry))
        f.Trigger(entry.toLatin1().constData());
    QCOMPARE(f.dialogs.Texts(), QStringList{"There is no default printer currently selected."});
    QCOMPARE(f.dialogs.Asked[0].Kind, MsgKind::Information);
    QCOMPARE(f.printers.PrintDialogs, 0);
}

void TestReportEditor::printWritesOneJob_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("title");
    QTest::newRow("Wordweigh") << int(WordweighTab) << false << "Wordweigh Report - Printed on ";
    QTest::newRow("empty Tagsmith report")
        << int(TagsmithTab) << true << "MetaTags Report - Printed on ";
    QTest::newRow("bulletin") << int(BulletinBoardTab) << false
                              << "Bulletin Board Report - Printed on ";
}

void TestReportEditor::printWritesOneJob() {
    QFETCH(int, page);
    QFETCH(bool, empty);
    QFETCH(QString, title);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    if (empty)
        f.View(page)->ClearReport();
    f.Show(page);
    f.printers.OutputFile = f.dir.filePath(QStringLiteral("job.pdf"));
    f.Trigger("actPrint");
    QCOMPARE(f.printers.PrintDialogs, 1);
    QVERIFY(f.dialogs.Asked.isEmpty());
    QFile pdf(f.printers.OutputFile);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    QCOMPARE(int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page ") +
                 bytes.count("/Type /Page/") + bytes.count("/Type /Page>")),
             1);
    // The job's name: the page's prefix, the date and the time of the clock.
    const QString expected = title + QLocale().toString(f.clock.Time.date(), QLocale::ShortFormat) +
                             QStringLiteral(" at ");
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed: the job title was not checked");
    QProcess info;
    info.start(pdfinfo, {f.printers.OutputFile});
    QVERIFY(info.waitForFinished(30000));
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Title:\\s+(.*)$"), QRegularExpression::MultilineOption)
            .match(infoText);
    QVERIFY2(match.hasMatch(), qPrintable(infoText));
    QVERIFY2(match.captured(1).startsWith(expected), qPrintable(match.captured(1)));
    Q_UNUSED(w);
}

void TestReportEditor::printFailures() {
    Fixture f;
    MainWindow& w = f.StartWithProject();
    f.Show(WordweighTab);
    // Cancelling the print dialog: nothing printed, no message.
    f.printers.Accept = false;
    f.printers.OutputFile = f.dir.filePath(QStringLiteral("cancelled.pdf"));
    w.Reports->PrintReport();
    QVERIFY(f.dialogs.Asked.isEmpty());
    QVERIFY(!QFile::exists(f.printers.OutputFile));
    // Output that cannot be written: the print message.
    f.printers.Accept = true;
    f.printers.OutputFile = f.dir.filePath(QStringLiteral("no/such/folder/job.pdf"));
    w.Reports->PrintReport();
    QCOMPARE(f.dialogs.Texts(),
             QStringList{"An error occurred while trying to print the Report, operation aborted."});
    // The printer set-up dialog that cannot be shown.
    f.dialogs.Clear();
    f.printers.SetupShows = false;
    f.Trigger("actPrinterSetup");
    QCOMPARE(f.printers.SetupDialogs, 1);
    QCOMPARE(f.dialogs.Texts(), QStringList{"An error occured while trying to display the Printer "
                                            "Setup dialog, operation aborted."});
    QCOMPARE(f.dialogs.Asked[0].Kind, MsgKind::Error);
}

// A report of many lines written in one go is laid out afresh, a step at a
// time; once the view has caught up it shows every line, below one another,
// and lines written after it are laid out as before.
void TestReportEditor::longReportIsWrittenWhole_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("batch"); // lines written before the program handles its events
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<bool>("background"); // the writer allows writing in the background
    QTest::newRow("short, one batch") << 300 << 0 << true << true;
    QTest::newRow("long, one batch: the rest written in the background")
        << 45000 << 0 << true << true;
    QTest::newRow("long, one batch, read back at once") << 25000 << 0 << true << false;
    QTest::newRow("long, batches that each stay short") << 45000 << 7000 << true << true;
    QTest::newRow("long, unwrapped") << 30000 << 0 << false << true;
}

// A long report is written as a document without a window writes it, and
// the view shows, hits and scrolls it where Qt's own layout would.
void TestReportEditor::longReportIsWrittenWhole() {
    QFETCH(int, lines);
    QFETCH(int, batch);
    QFETCH(bool, wrap);
    QFETCH(bool, background);
    ReportView view;
    view.setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTextDocument alone;
    DocumentSink sink(alone);
    const auto write = [&](ReportSink& to, bool events) {
        ReportFormat heading;
        heading.Bold = true;
        heading.PointSize = 14;
        heading.Align = ParagraphAlign::Centre;
        ReportFormat bullet;
        bullet.Align = ParagraphAlign::Bullet;
        bullet.Italic = true;
        ReportFormat plain;
        ReportFormat right;
        right.Align = ParagraphAlign::Right;
        right.Underline = true;
        right.FontName = QStringLiteral("Courier New");
        for (int i = 0; i < lines; ++i) {
            const ReportFormat& format = i % 997 == 0   ? heading
                                         : i % 13 < 3   ? bullet
                                         : i % 101 == 5 ? right
                                                        : plain;
            to.SetFormat(format);
            // Lines of many words wrap more often than their length makes
            // likely.
            to.AppendLine(i == 0         ? QString()
                          : i % 211 == 7 ? QStringLiteral("line %1 broken\nin two").arg(i)
                          : i % 3 == 0   ? QStringLiteral("line %1 ").arg(i) +
                                             QStringLiteral("wide wording ").repeated(i % 23)
                                       : QStringLiteral("line %1 of the report %2")
                                             .arg(i)
                                             .arg(QString(i % 50, QLatin1Char('x'))));
            if (events && batch > 0 && i % batch == batch - 1)
                QCoreApplication::processEvents();
        }
    };
    write(sink, false);
    if (background)
        view.AllowBackgroundWriting();
    write(view, true);
    // Unless the writer allows otherwise, what is written is there at once.
    if (!background)
        QCOMPARE(view.toPlainText(), alone.toPlainText());
    QCoreApplication::processEvents();
    if (lines > 20000 && batch == 0 && background) {
        // The view's cursor and its format as in a view written in batches
        // that each stay short.
        ReportView peer;
        peer.setLineWrapMode(view.lineWrapMode());
        peer.resize(view.size());
        peer.show();
        batch = 5000;
        write(peer, true);
        batch = 0;
        QCoreApplication::processEvents();
        QCOMPARE(view.textCursor().position(), peer.textCursor().position());
        QCOMPARE(view.verticalScrollBar()->value(), peer.verticalScrollBar()->value());
        QCOMPARE(view.currentCharFormat(), peer.currentCharFormat());
        QCOMPARE(view.document()->defaultFont(), peer.document()->defaultFont());
        QCOMPARE(view.document()->documentMargin(), peer.document()->documentMargin());
    }
    QCOMPARE(view.LaidOutWhereShown(), lines > 20000);
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.document()->blockCount(), alone.blockCount());
    QCOMPARE(view.toPlainText(), alone.toPlainText());
    QCOMPARE(DocumentToRtf(*view.document()), DocumentToRtf(alone));
    QCOMPARE(view.document()->defaultTextOption().wrapMode(),
             wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);

    // The end shown, then a paragraph near it clicked: the click lands in it.
    view.moveCursor(QTextCursor::End);
    view.ensureCursorVisible();
    QCoreApplication::processEvents();
    QVERIFY(view.verticalScrollBar()->maximum() > 0);
    QVERIFY(view.viewport()->rect().contains(view.cursorRect().center()));
    QAbstractTextDocumentLayout* layout = view.document()->documentLayout();
    const QTextBlock last = view.document()->lastBlock();
    const QRectF lastRect = layout->blockBoundingRect(last);
    QVERIFY(lastRect.height() > 0);
    QVERIFY(lastRect.bottom() <= layout->documentSize().height());
    QVERIFY(lastRect.bottom() >= layout->documentSize().height() - 20);
    view.horizontalScrollBar()->setValue(0);
    const QTextBlock target = last.previous().previous();
    QTextCursor at(target);
    at.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    const QRect spot = view.cursorRect(at);
    QVERIFY(view.viewport()->rect().contains(spot.center()));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, spot.center() + QPoint(1, 0));
    QCOMPARE(view.textCursor().blockNumber(), target.blockNumber());
    QVERIFY(std::abs(view.textCursor().positionInBlock() - 3) <= 1);

    // A line written afterwards goes below the others.
    view.SetFormat(ReportFormat());
    view.AppendLine(QStringLiteral("one more"));
    QCoreApplication::processEvents();
    QCOMPARE(view.document()->documentLayout(), layout);
    QCOMPARE(view.document()->lastBlock().text(), QStringLiteral("one more"));
    const QRectF before = layout->blockBoundingRect(view.document()->lastBlock().previous());
    const QRectF more = layout->blockBoundingRect(view.document()->lastBlock());
    QCOMPARE(before.height(), lastRect.height());
    QCOMPARE(more.top(), before.bottom());
    view.ClearReport();
    QVERIFY(view.document()->isEmpty());
    QVERIFY(!view.LaidOutWhereShown());
}

QTEST_MAIN(TestReportEditor)
#include "TestReportEditor.moc"

// Every tool bar button can be reached without a mouse: through its menu
// twin, or through a key of its own that acts as a click on the button.
void TestReportEditor::toolBarCommandsFromTheKeyboard() {
    const QHash<QString, QString> menuTwin = {
        {"tbNew", "actNew"},     {"tbOpen", "actOpen"},
        {"tbSave", "actSave"},   {"tbProgramOptions", "actProgramOptions"},
        {"tbPrint", "actPrint"}, {"tbEditMode", "actEditReport"},
        {"tbCut", "actCut"},     {"tbCopy", "actCopy"},
        {"tbPaste", "actPaste"}, {"tbVisitWeb", "actHomePage"}};
    QHash<QString, QKeySequence> keys;
    for (const KeyboardCommand& command : KeyboardCommands())
        keys.insert(QString::fromLatin1(command.Target), command.Keys);
    Fixture f;
    MainWindow& w = f.StartWithProject();
    for (QAction* action : w.MainToolBar->actions()) {
        const QString name = action->objectName();
        if (action->isSeparator())
            continue;
        if (name.isEmpty())
            continue; // a font box, checked below
        QVERIFY2(keys.contains(name) || (menuTwin.contains(name) && w.FindAction(menuTwin[name])),
                 qPrintable(name + " has neither a menu entry nor a key"));
    }
    for (QComboBox* box : {w.FontNameList, w.FontSizeList})
        QVERIFY2(keys.contains(box->objectName()), qPrintable(box->objectName()));

    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.Show(WordweighTab);
    ReportView* view = f.View(WordweighTab);
    // Outside edit mode a format key changes nothing.
    const QStringList before = f.Snapshot();
    view->setFocus();
    QTest::keySequence(&w, keys["tbBold"]);
    QCOMPARE(f.Snapshot(), before);

    f.Trigger("actEditReport");
    view->setFocus();
    view->selectAll();
    for (const char* name : {"tbBold", "tbItalic", "tbUnderline", "tbBullets"}) {
        const bool was = f.Checked(name);
        QTest::keySequence(&w, keys[name]);
        QVERIFY2(f.Checked(name) != was, name);
    }
    QTest::keySequence(&w, keys["tbRightJustify"]);
    QCOMPARE(view->alignment(), Qt::AlignRight);
    QTest::keySequence(&w, keys["tbCenter"]);
    QCOMPARE(view->alignment(), Qt::AlignHCenter);
    QTest::keySequence(&w, keys["tbLeftJustify"]);
    QCOMPARE(view->alignment(), Qt::AlignLeft);
    QVERIFY(f.Snapshot() != before);

    QTest::keySequence(&w, keys["FontName"]);
    QCOMPARE(QApplication::focusWidget(), w.FontNameList);
    QTest::keySequence(&w, keys["FontSize"]);
    QVERIFY(w.FontSizeList->isAncestorOf(QApplication::focusWidget()) ||
            QApplication::focusWidget() == w.FontSizeList);

    QSignalSpy stop(w.FindAction(QStringLiteral("tbStop")), &QAction::triggered);
    view->setFocus();
    QTest::keySequence(&w, keys["tbStop"]);
    QCOMPARE(stop.count(), 1);
}
