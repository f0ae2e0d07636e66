#pragma once
// Edit mode and the edit, format, print and save commands of the report
// views. One set of controls (the main menu, the tool bar, the views' shared
// pop-up menu) serves every view: each command acts on the view of the page
// shown at the moment it runs, and the tool bar follows the format at the
// selection of the view being edited.
#include "ReportCommands.h"

#include <QObject>

#include <array>
#include <memory>

class QAction;
class QActionGroup;
class QComboBox;
class QMenu;
class QPrinter;
class QTabWidget;
class QWidget;

namespace vantora {

class Clock;
class Dialogs;
class ReportPrinters;
class ReportView;

class ReportEditor : public QObject, public ReportCommands {
    Q_OBJECT
  public:
    static constexpr int ViewCount = 8;
    // The page whose view never accepts changes and refuses edit mode.
    static constexpr int BulletinPage = 7;

    // window holds the controls by object name (the actions "actEditReport",
    // "popEditReport", "tbEditMode", "actCut", "popCut", "tbCut", ... the
    // lists "FontName" and "FontSize", the menu "ReportPopup") and is the
    // parent of the dialogs; pages is the page control whose current index
    // picks the active view.
    ReportEditor(Dialogs& dialogs, Clock& clock, ReportPrinters& printers, QTabWidget& pages,
                 QWidget& window);
    ~ReportEditor() override;

    // Takes the view of a page into the editor's care: its initial word
    // wrap, read-only state, scroll bars, pop-up menu and tool bar updates.
    void AttachView(int page, ReportView* view);
    ReportView* View(int page) const;
    int ActivePage() const;
    ReportView* ActiveReportView() const;

    bool EditMode() const { return Editing; }
    // The three entry points: refuses on the Bulletin Board page while off.
    void ToggleEditMode();
    // What a change of an entry point's checked state asks for, however it
    // changed (a click, the menu, a screen reader's toggle): on is refused on
    // the Bulletin Board page, off is always granted.
    void RequestEditMode(bool on);
    // Puts the controls and views into the state of edit mode on or off.
    void SetEditMode(bool on);
    // The project's control state: edit mode off, and the report commands
    // that need a report enabled only while a project is open.
    void ApplyProjectState(bool projectOpen);

    void Cut();
    void Copy();
    void Paste();
    void DeleteSelection();
    void SelectAll();
    enum class Style { Bold, Italic, Underline };
    void SetStyle(Style style, bool on);
    void SetAlignment(Qt::Alignment alignment);
    void ToggleBullets();
    void ApplyFontName(const QString& name);
    void ApplyFontSize(const QString& size);
    void SetWordWrap(bool on);
    // The tool bar from the format at the selection of view.
    void RefreshToolBar(ReportView* view);
    // Fills the font name list with the screen's font families, sorted.
    void FillFontList();

    void SaveReport() override;
    void PrintReport() override;
    void PrinterSetup();

  private:
    QAction* Action(const char* name) const;
    // The view the format and change commands act on, or null on the
    // Bulletin Board page or outside edit mode.
    ReportView* EditableView() const;
    // Runs a command; a failure shows message in an error box.
    template <class F> void Guarded(const char* message, F command);
    QPrinter& Printer();
    void LetMessagesRun();

    Dialogs& MessageBoxes;
    Clock& Time;
    ReportPrinters& Printers;
    QTabWidget& Pages;
    QWidget& Window;
    std::array<ReportView*, ViewCount> Views{};
    bool Editing = false;
    // Set while SetEditMode puts the entry points in step, so their checked
    // changes are not taken for requests.
    bool Syncing = false;
    QComboBox* FontNameList = nullptr;
    QComboBox* FontSizeList = nullptr;
    QMenu* Popup = nullptr;
    QActionGroup* AlignmentGroup = nullptr;
    std::unique_ptr<QPrinter> PrinterDevice;
};

} // namespace vantora
