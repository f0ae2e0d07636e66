#include "ReportEditor.h"

#include "Dialogs.h"
#include "Environment.h"
#include "ReportLayout.h"
#include "ReportPrinters.h"
#include "ReportView.h"
#include "RtfWriter.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace vantora {

namespace {

// Keeps Return and Enter from an editable font list's field: only an item
// chosen from the list is applied, never typed text.
class SwallowEnter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return event->type() == QEvent::KeyPress;
        }
        return QObject::eventFilter(watched, event);
    }
};

void PrepareFontList(QComboBox* list, QObject* owner) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->lineEdit()->installEventFilter(new SwallowEnter(owner));
}

// Whether the text is on the clipboard after a copy: a clipboard that cannot
// be written keeps nothing (it was cleared before).
bool ClipboardHoldsText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() && !data->text().isEmpty();
}

void CopyVerified(ReportView* view) {
    if (!view->textCursor().hasSelection())
        return;
    QGuiApplication::clipboard()->clear();
    view->copy();
    if (!ClipboardHoldsText())
        throw std::runtime_error("the clipboard did not take the text");
}

// A font family without its foundry: "C059 [UKWN]" is "C059".
QString FamilyName(const QString& family) {
    const qsizetype bracket = family.lastIndexOf(QLatin1String(" ["));
    return bracket > 0 && family.endsWith(u']') ? family.left(bracket) : family;
}

// The family a view shows text in: the one asked for where the machine has
// it, else the family that stands in for it.
QString ShownFamily(const QString& family) {
    if (QFontDatabase::hasFamily(family))
        return FamilyName(family);
    return FamilyName(QFontInfo(QFont(family)).family());
}

const char* const ToggleNames[] = {"actEditReport", "popEditReport", "tbEditMode"};
// The controls that only work in edit mode.
const char* const EditOnlyNames[] = {"tbCut",     "tbPaste",       "tbBold",   "tbUnderline",
                                     "tbItalic",  "tbLeftJustify", "tbCenter", "tbRightJustify",
                                     "tbBullets", "actCut",        "actPaste", "actDelete",
                                     "popCut",    "popPaste",      "popDelete"};

} // namespace

ReportEditor::ReportEditor(Dialogs& dialogs, Clock& clock, ReportPrinters& printers,
                           QTabWidget& pages, QWidget& window)
    : QObject(&window), MessageBoxes(dialogs), Time(clock), Printers(printers), Pages(pages),
      Window(window) {
    setObjectName(QStringLiteral("ReportEditor"));
    FontNameList = Window.findChild<QComboBox*>(QStringLiteral("FontName"));
    FontSizeList = Window.findChild<QComboBox*>(QStringLiteral("FontSize"));
    Popup = Window.findChild<QMenu*>(QStringLiteral("ReportPopup"));
    if (!FontNameList || !FontSizeList || !Popup)
        throw std::logic_error("the report controls are missing from the window");

    auto on = [this](const char* name, auto handler) {
        connect(Action(name), &QAction::triggered, this, handler);
    };
    // Edit mode follows the entry points' checked state, not their triggers:
    // a screen reader's toggle changes the state without a trigger.
    for (const char* name : ToggleNames)
        connect(Action(name), &QAction::toggled, this, [this](bool on) {
            if (!Syncing)
                RequestEditMode(on);
        });
    for (const char* name : {"actCut", "popCut", "tbCut"})
        on(name, [this] { Cut(); });
    for (const char* name : {"actCopy", "popCopy", "tbCopy"})
        on(name, [this] { Copy(); });
    for (const char* name : {"actPaste", "popPaste", "tbPaste"})
        on(name, [this] { Paste(); });
    for (const char* name : {"actDelete", "popDelete"})
        on(name, [this] { DeleteSelection(); });
    for (const char* name : {"actSelectAll", "popSelectAll"})
        on(name, [this] { SelectAll(); });
    on("tbBold", [this](bool down) { SetStyle(Style::Bold, down); });
    on("tbItalic", [this](bool down) { SetStyle(Style::Italic, down); });
    on("tbUnderline", [this](bool down) { SetStyle(Style::Underline, down); });
    on("tbLeftJustify", [this] { SetAlignment(Qt::AlignLeft); });
    on("tbCenter", [this] { SetAlignment(Qt::AlignHCenter); });
    on("tbRightJustify", [this] { SetAlignment(Qt::AlignRight); });
    on("tbBullets", [this] { ToggleBullets(); });
    on("popWordWrap", [this](bool checked) { SetWordWrap(checked); });
    on("popSaveReport", [this] { SaveReport(); });
    on("popPrintReport", [this] { PrintReport(); });
    on("actPrint", [this] { PrintReport(); });
    on("tbPrint", [this] {
        LetMessagesRun();
        PrintReport();
    });
    on("actPrinterSetup", [this] { PrinterSetup(); });

    for (const char* name :
         {"tbEditMode", "actEditReport", "popEditReport", "tbBold", "tbItalic", "tbUnderline",
          "tbLeftJustify", "tbCenter", "tbRightJustify", "tbBullets", "popWordWrap"})
        Action(name)->setCheckable(true);
    AlignmentGroup = new QActionGroup(this);
    AlignmentGroup->setExclusive(true);
    for (const char* name : {"tbLeftJustify", "tbCenter", "tbRightJustify"})
        AlignmentGroup->addAction(Action(name));
    Action("tbLeftJustify")->setChecked(true);

    PrepareFontList(FontNameList, this);
    PrepareFontList(FontSizeList, this);
    FontSizeList->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    connect(FontNameList, &QComboBox::activated, this,
            [this](int index) { ApplyFontName(FontNameList->itemText(index)); });
    connect(FontSizeList, &QComboBox::activated, this,
            [this](int index) { ApplyFontSize(FontSizeList->itemText(index)); });

    connect(Popup, &QMenu::aboutToShow, this, [this] {
        if (ReportView* view = ActiveReportView())
            Action("popWordWrap")->setChecked(view->lineWrapMode() != QTextEdit::NoWrap);
    });
}

ReportEditor::~ReportEditor() = default;

QAction* ReportEditor::Action(const char* name) const {
    QAction* action = Window.findChild<QAction*>(QString::fromLatin1(name));
    if (!action)
        throw std::logic_error(std::string("the report control is missing: ") + name);
    return action;
}

void ReportEditor::AttachView(int page, ReportView* view) {
    if (page < 0 || page >= ViewCount || !view)
        return;
    Views[page] = view;
    // Word wrap as each page starts: on for the reports read as prose, off
    // for the wide ones.
    const bool wrap = page == 0 || page == 1 || page == 5;
    view->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setReadOnly(page == BulletinPage || !Editing);
    if (page == BulletinPage) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(13);
        view->setFont(font);
    }
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& at) { Popup->popup(view->mapToGlobal(at)); });
    if (page != BulletinPage) {
        auto refresh = [this, view] { RefreshToolBar(view); };
        connect(view, &QTextEdit::selectionChanged, this, refresh);
        connect(view, &QTextEdit::cursorPositionChanged, this, refresh);
        connect(view, &QTextEdit::currentCharFormatChanged, this, refresh);
    }
}

ReportView* ReportEditor::View(int page) const {
    return page >= 0 && page < ViewCount ? Views[page] : nullptr;
}

int ReportEditor::ActivePage() const {
    return Pages.currentIndex();
}

ReportView* ReportEditor::ActiveReportView() const {
    return View(ActivePage());
}

ReportView* ReportEditor::EditableView() const {
    if (!Editing || ActivePage() == BulletinPage)
        return nullptr;
    ReportView* view = ActiveReportView();
    return view && !view->isReadOnly() ? view : nullptr;
}

template <class F> void ReportEditor::Guarded(const char* message, F command) {
    try {
        command();
    } catch (const std::exception&) {
        MessageBoxes.Message(MsgKind::Error, QString::fromLatin1(message), MsgButtons::Ok);
    }
}

void ReportEditor::LetMessagesRun() {
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- edit mode

void ReportEditor::ToggleEditMode() {
    RequestEditMode(!Editing);
}

void ReportEditor::RequestEditMode(bool on) {
    if (on && ActivePage() == BulletinPage) {
        SetEditMode(false);
        MessageBoxes.Message(MsgKind::Information,
                             QStringLiteral("You can not edit Bulletin Board Messages."),
                             MsgButtons::Ok);
        return;
    }
    SetEditMode(on);
}

void ReportEditor::SetEditMode(bool on) {
    Editing = on;
    Syncing = true;
    for (const char* name : ToggleNames)
        Action(name)->setChecked(on);
    Syncing = false;
    for (const char* name : EditOnlyNames)
        Action(name)->setEnabled(on);
    FontNameList->setEnabled(on);
    FontSizeList->setEnabled(on);
    for (int page = 0; page < ViewCount; ++page)
        if (Views[page])
            Views[page]->setReadOnly(page == BulletinPage || !on);
}

void ReportEditor::ApplyProjectState(bool projectOpen) {
    SetEditMode(false);
    for (const char* name : {"tbEditMode", "tbPrint", "tbCopy", "actPrint"})
        Action(name)->setEnabled(projectOpen);
}

// ---------------------------------------------------------------- edit commands

void ReportEditor::Cut() {
    Guarded("An error occurred while trying to cut to the Clipboard, operation aborted.", [this] {
        ReportView* view = EditableView();
        if (!view || !view->textCursor().hasSelection())
            return;
        // The text leaves the view only once the clipboard holds it.
        CopyVerified(view);
        QTextCursor cursor = view->textCursor();
        cursor.removeSelectedText();
        view->setTextCursor(cursor);
    });
}

void ReportEditor::Copy() {
    Guarded("An error occurred while trying to copy to the Clipboard, operation aborted.", [this] {
        if (ReportView* view = ActiveReportView())
            CopyVerified(view);
    });
}

void ReportEditor::Paste() {
    Guarded("An error occurred while trying to paste from the Clipboard, operation aborted.",
            [this] {
                if (ReportView* view = EditableView())
                    view->paste();
            });
}

void ReportEditor::DeleteSelection() {
    Guarded("An error occurred while trying to clear the selected text, operation aborted.",
            [this] {
                ReportView* view = EditableView();
                if (!view)
                    return;
                QTextCursor cursor = view->textCursor();
                cursor.removeSelectedText();
                view->setTextCursor(cursor);
            });
}

void ReportEditor::SelectAll() {
    Guarded("An error occurred while trying to select all text, operation aborted.", [this] {
        if (ReportView* view = ActiveReportView())
            view->selectAll();
    });
}

// ---------------------------------------------------------------- format commands

void ReportEditor::SetStyle(Style style, bool on) {
    Guarded("An error occurred while trying to apply the text attributes, operation aborted.",
            [this, style, on] {
                ReportView* view = EditableView();
                if (!view)
                    return;
                QTextCharFormat format;
                if (style == Style::Bold)
                    format.setFontWeight(on ? QFont::Bold : QFont::Normal);
                else if (style == Style::Italic)
                    format.setFontItalic(on);
                else
                    format.setFontUnderline(on);
                view->mergeCurrentCharFormat(format);
            });
    RefreshToolBar(ActiveReportView());
}

void ReportEditor::SetAlignment(Qt::Alignment alignment) {
    Guarded("An error occurred while trying to justify the text, operation aborted.",
            [this, alignment] {
                if (ReportView* view = EditableView())
                    view->setAlignment(alignment);
            });
    RefreshToolBar(ActiveReportView());
}

void ReportEditor::ToggleBullets() {
    Guarded("An error occurred while trying to Bullet the Report, operation aborted.", [this] {
        ReportView* view = EditableView();
        if (!view)
            return;
        QTextCursor cursor = view->textCursor();
        if (!cursor.currentList()) {
            QTextListFormat list;
            list.setStyle(QTextListFormat::ListDisc);
            cursor.createList(list);
            return;
        }
        // Every selected paragraph leaves its list.
        QTextDocument* document = view->document();
        const QTextBlock last = document->findBlock(cursor.selectionEnd());
        cursor.beginEditBlock();
        for (QTextBlock block = document->findBlock(cursor.selectionStart()); block.isValid();
             block = block.next()) {
            if (QTextList* list = block.textList()) {
                list->remove(block);
                QTextCursor at(block);
                QTextBlockFormat format = block.blockFormat();
                format.setIndent(0);
                at.setBlockFormat(format);
            }
            if (block == last)
                break;
        }
        cursor.endEditBlock();
    });
    RefreshToolBar(ActiveReportView());
}

void ReportEditor::ApplyFontName(const QString& name) {
    Guarded("An error occurred while trying to change the font name, operation aborted.",
            [this, name] {
                ReportView* view = EditableView();
                if (!view)
                    return;
                if (name.trimmed().isEmpty())
                    throw std::invalid_argument("no font name");
                QTextCharFormat format;
                format.setFontFamilies({name});
                view->mergeCurrentCharFormat(format);
            });
    RefreshToolBar(ActiveReportView());
}

void ReportEditor::ApplyFontSize(const QString& size) {
    Guarded("An error occurred while trying to change the font size, operation aborted.",
            [this, size] {
                ReportView* view = EditableView();
                if (!view)
                    return;
                bool ok = false;
                const int points = size.toInt(&ok);
                if (!ok || points <= 0)
                    throw std::invalid_argument("not a font size");
                QTextCharFormat format;
                format.setFontPointSize(points);
                view->mergeCurrentCharFormat(format);
            });
    RefreshToolBar(ActiveReportView());
}

void ReportEditor::SetWordWrap(bool on) {
    if (ReportView* view = ActiveReportView())
        view->setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

void ReportEditor::RefreshToolBar(ReportView* view) {
    if (!view || view == Views[BulletinPage])
        return;
    const QTextCharFormat format = view->currentCharFormat();
    const QFont defaultFont = view->document()->defaultFont();
    Action("tbBold")->setChecked(format.fontWeight() >= QFont::DemiBold);
    Action("tbItalic")->setChecked(format.fontItalic());
    Action("tbUnderline")->setChecked(format.fontUnderline());
    Action("tbBullets")->setChecked(view->textCursor().currentList() != nullptr);
    double points = format.fontPointSize();
    if (points <= 0)
        points = defaultFont.pointSizeF() > 0 ? defaultFont.pointSizeF()
                                              : defaultFont.pixelSize() * 72.0 / 96.0;
    FontSizeList->setEditText(QString::number(qRound(points)));
    const QStringList families = format.fontFamilies().toStringList();
    FontNameList->setEditText(
        FamilyName(families.isEmpty() ? defaultFont.family() : families.first()));
    const Qt::Alignment align = view->alignment();
    if (align & Qt::AlignHCenter)
        Action("tbCenter")->setChecked(true);
    else if (align & Qt::AlignRight)
        Action("tbRightJustify")->setChecked(true);
    else
        Action("tbLeftJustify")->setChecked(true);
}

void ReportEditor::FillFontList() {
    QStringList families;
    try {
        families = QFontDatabase::families();
        if (families.isEmpty())
            throw std::runtime_error("no fonts");
    } catch (const std::exception&) {
        MessageBoxes.Message(
            MsgKind::Error,
            QStringLiteral(
                "An error occurred while trying to retrieve the font list, operation aborted."),
            MsgButtons::Ok);
    }
    // A family that several foundries make is listed once, by the name a
    // user knows ("C059", not "C059 [UKWN]").
    for (QString& family : families)
        family = FamilyName(family);
    std::sort(families.begin(), families.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    families.removeDuplicates();
    FontNameList->clear();
    FontNameList->addItems(families);
    // The boxes start on the reports' body font: Arial where the machine has
    // it, else the family that stands in for it.
    const QString shown = ShownFamily(QStringLiteral("Arial"));
    const int at = FontNameList->findText(shown, Qt::MatchFixedString);
    if (at >= 0)
        FontNameList->setCurrentIndex(at);
    else
        FontNameList->setEditText(shown);
    FontSizeList->setCurrentIndex(FontSizeList->findText(QStringLiteral("10")));
}

// ---------------------------------------------------------------- print and save

QPrinter& ReportEditor::Printer() {
    if (!PrinterDevice) {
        PrinterDevice = std::make_unique<QPrinter>(QPrinter::HighResolution);
        SetReportMargins(*PrinterDevice);
    }
    return *PrinterDevice;
}

void ReportEditor::SaveReport() {
    ReportView* view = ActiveReportView();
    if (!view)
        return;
    FileDialogOptions options;
    options.Title = QStringLiteral("Save Report to disk");
    options.Filter = QStringLiteral("Rich Text files (*.rtf)|*.rtf|PDF documents (*.pdf)|*.pdf");
    options.DefaultExt = QStringLiteral("rtf");
    options.ConfirmOverwrite = true;
    const QString path = MessageBoxes.SaveFileName(options);
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool written = false;
    try {
        written = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
                      ? WriteReportPdf(path, *view->document(),
                                       PrintJobTitle(ActivePage(), Time.Now(), QLocale()))
                      : WriteRtfFile(path, *view->document());
    } catch (const std::exception&) {
        written = false;
    }
    QApplication::restoreOverrideCursor();
    if (!written)
        MessageBoxes.Message(
            MsgKind::Error,
            QStringLiteral("An error occurred while trying to write the file, operation aborted."),
            MsgButtons::Ok);
}

void ReportEditor::PrintReport() {
    ReportView* view = ActiveReportView();
    if (!view)
        return;
    if (!Printers.HasPrinter()) {
        MessageBoxes.Message(MsgKind::Information,
                             QStringLiteral("There is no default printer currently selected."),
                             MsgButtons::Ok);
        return;
    }
    QPrinter& printer = Printer();
    if (!Printers.RunPrintDialog(printer, &Window))
        return;
    bool printed = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        printer.setDocName(PrintJobTitle(ActivePage(), Time.Now(), QLocale()));
        printed = PaintReportPages(*view->document(), printer);
    } catch (const std::exception&) {
        printed = false;
    }
    if (!printed)
        printer.abort();
    QApplication::restoreOverrideCursor();
    if (!printed)
        MessageBoxes.Message(
            MsgKind::Error,
            QStringLiteral(
                "An error occurred while trying to print the Report, operation aborted."),
            MsgButtons::Ok);
}

void ReportEditor::PrinterSetup() {
    if (!Printers.RunSetupDialog(Printer(), &Window))
        MessageBoxes.Message(MsgKind::Error,
                             QStringLiteral("An error occured while trying to display the Printer "
                                            "Setup dialog, operation aborted."),
                             MsgButtons::Ok);
}

} // namespace vantora
