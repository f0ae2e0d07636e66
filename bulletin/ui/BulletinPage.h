#pragma once
// The "Bulletin Board" tool page: the message list above the message view,
// the Update, Print and Save buttons, and the list's pop-up menu.
#include "BulletinBoard.h"

#include <QGroupBox>
#include <QIcon>

class QAction;
class QMenu;
class QPushButton;
class QSplitter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantora {

class ReportView;

class BulletinPage : public QGroupBox {
    Q_OBJECT
  public:
    explicit BulletinPage(BulletinHost& host, QWidget* parent = nullptr);

    // Rebuilds the list from the project's messages: caption = sender, second
    // column = page, the read flag as the row's picture.
    void FillBulletinList();
    // Empties the list and the view (new or closed project).
    void ClearBoard();
    // The page, its list, view, Print, Save and Update are usable while a
    // project is open.
    void SetProjectOpen(bool open);
    // "Update": posts what changed on the watched pages (UpdateBulletinBoard).
    void Update(bool quiet);
    // Runs a quiet Update every minutes while a project is open; 0 stops it.
    // A check that falls due while the request queue is busy (a tool run,
    // the checks of the last round) waits until it is idle, so rounds never
    // pile up behind each other. An Update the user starts restarts the wait.
    void SetPeriodicCheck(int minutes);
    // The minutes between periodic checks, 0 when they are off.
    int PeriodicMinutes() const { return Minutes; }
    // The length of one minute of the periodic check (tests shorten it).
    int MinuteMs = 60 * 1000;

    // A click in the list: shows the selected message and marks it read.
    void OpenSelectedMessage();
    // The pop-up's "Delete": asks, then removes the selected message.
    void DeleteSelectedMessage();
    // Enables the pop-up's stop entries from the project's flags.
    void ApplyStopEntryRule();
    void StopBulletins(BulletinTool tool);
    // The selected row, -1 when none.
    int SelectedIndex() const;

    // The read-flag pictures: 0 unread, 1 read; an empty icon for others.
    static QIcon FlagIcon(int flag);
    // The text of the refusal when edit mode is asked for on this page.
    static QString EditRefusalText();

    QPushButton* UpdateButton;
    QPushButton* PrintButton;
    QPushButton* SaveButton;
    QTreeWidget* BBList;
    QSplitter* BBSplitter;
    ReportView* MessageView;
    QMenu* Popup;
    QAction* SelectAction;
    QAction* DeleteAction;
    QAction* StopBackwatchAction;
    QAction* StopRankscoutAction;

  signals:
    void PrintRequested();
    void SaveRequested();
    // The keyboard focus has moved into the page from outside it.
    void FocusEntered();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    BulletinHost& Host;
    QTimer* Periodic = nullptr;
    int Minutes = 0;
    void PeriodicCheckDue();
    void RestartPeriodicCheck();
    bool Open = false;
    // Whether the program's last focused control was in this page.
    bool FocusInside = false;
};

} // namespace vantora
