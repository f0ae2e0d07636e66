#pragma once
// One page of the tools notebook: the page text, foldable input panels, the
// bold default "Start" button, "&Clear", "&Print" and "&Save...", and the
// report view in a group box captioned "<tool> - Reports". Subclasses add
// their inputs and what Start does.
#include <QWidget>

#include <functional>

class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vantora {

class FoldPanel;
class ReportView;
class WindowHost;

class ToolPage : public QWidget {
    Q_OBJECT
  public:
    enum class ReportCommand { Print, Save };
    // Prints or saves a report view; filled in by the window that owns the
    // printer and the file dialogs.
    using ReportCommandHook = std::function<void(ReportCommand, ReportView&)>;

    // caption: the tab caption ("Wordweigh"); pageText: the line at the top.
    ToolPage(const QString& caption, const QString& pageText, WindowHost& host,
             QWidget* parent = nullptr);

    QString Caption() const { return Name; }
    ReportView* Report() const { return View; }
    QPushButton* StartButton() const { return StartBtn; }
    QPushButton* ClearButton() const { return ClearBtn; }
    QPushButton* PrintButton() const { return PrintBtn; }
    QPushButton* SaveButton() const { return SaveBtn; }

    // Print and Save stay disabled until a hook is set.
    void SetReportCommandHook(ReportCommandHook hook);

    // The page's Start command.
    virtual void Start() = 0;
    // "&Clear": asks, then empties the report view unless the answer is No.
    void ClearReportView();

  protected:
    // Return or Enter in an input box presses Start, as the default button
    // of a dialog would; buttons, lists and the report view keep the key.
    void keyPressEvent(QKeyEvent* event) override;
    // A foldable input panel, placed above the buttons in the order added.
    FoldPanel* AddFoldPanel(const QString& title);
    // The row of the buttons, and an empty row below it (online tools put
    // their old-report list there, where it has the page's whole width).
    QHBoxLayout* ButtonRow() const { return Buttons; }
    QHBoxLayout* RowBelowButtons() const { return BelowButtons; }
    // Wraps long lines in the report view or scrolls them sideways.
    void SetWrapLines(bool wrap);

    WindowHost& Host;

  private:
    QString Name;
    QVBoxLayout* Inputs;
    QHBoxLayout* Buttons;
    QHBoxLayout* BelowButtons;
    QPushButton* StartBtn;
    QPushButton* ClearBtn;
    QPushButton* PrintBtn;
    QPushButton* SaveBtn;
    QGroupBox* ReportBox;
    ReportView* View;
    ReportCommandHook Commands;
};

// The question "&Clear" asks.
QString ClearReportQuestion();

} // namespace vantora
