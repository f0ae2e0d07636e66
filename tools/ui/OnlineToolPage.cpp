#include "OnlineToolPage.h"

#include "AnswerIntake.h"
#include "Dialogs.h"
#include "Endpoints.h"
#include "ProjectData.h"
#include "ReportView.h"
#include "ResultChecks.h"
#include "ToolReports.h"
#include "ToolRun.h"
#include "Transport.h"
#include "Watch.h"
#include "WindowHost.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>

namespace vantora {

OldReportModel::OldReportModel(WindowHost& host, ToolKind kind, QObject* parent)
    : QAbstractListModel(parent), Host(host), Kind(kind) {}

ToolArchive& OldReportModel::Archive() const {
    return Host.Project().Archive(Kind);
}

int OldReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Archive().Count();
}

QVariant OldReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    return OldReportText(Archive(), index.row());
}

namespace {

// Restores the normal cursor however the command ends.
class BusyCursor {
  public:
    explicit BusyCursor(WindowHost& host) : Host(host) { Host.SetBusyCursor(true); }
    ~BusyCursor() { Host.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    WindowHost& Host;
};

} // namespace

OnlineToolPage::OnlineToolPage(ToolKind kind, const QString& pageText, WindowHost& host,
                               QWidget* parent)
    : ToolPage(QString(vantora::Tool(kind).Caption), pageText, host, parent), Tool(kind),
      Model(new OldReportModel(host, kind, this)) {
    const QString id = Caption();
    auto* label = new QLabel(QStringLiteral("Add from old Report:"), this);
    OldReports = new QComboBox(this);
    OldReports->setObjectName(id + QStringLiteral("OldReportList"));
    OldReports->setModel(Model);
    OldReports->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    OldReports->setMinimumContentsLength(20);
    label->setBuddy(OldReports);
    // A row of its own: beside the buttons the entries (a page's URL and a
    // date) were cut until they could not be told apart.
    RowBelowButtons()->addWidget(label);
    RowBelowButtons()->addWidget(OldReports, 1);
    OldReports->view()->setTextElideMode(Qt::ElideNone);
    connect(OldReports, &QComboBox::currentIndexChanged, this, [this] {
        ShowWholeEntry();
        UpdateWatchButton();
    });
    if (kind == ToolKind::Rankscout || kind == ToolKind::Backwatch) {
        Watch = new QPushButton(kind == ToolKind::Rankscout
                                    ? QStringLiteral("Watch Rank for this Key Phrase")
                                    : QStringLiteral("Watch Link-backs"),
                                this);
        Watch->setObjectName(id + QStringLiteral("WatchButton"));
        Watch->setCheckable(true);
        Watch->setToolTip(QStringLiteral("Check this page again on every Update of the Bulletin "
                                         "Board and post a bulletin when it changes."));
        // A row of its own under the old-report list: beside it the list
        // and the button would both be cut in a narrow window.
        auto* row = new QHBoxLayout;
        row->addWidget(Watch);
        row->addStretch(1);
        if (auto* page = qobject_cast<QBoxLayout*>(layout()))
            page->insertLayout(page->indexOf(RowBelowButtons()) + 1, row);
        else
            RowBelowButtons()->addLayout(row);
        connect(Watch, &QPushButton::clicked, this, [this](bool on) {
            const int index = OldReports->currentIndex();
            if (index < 0 || index >= Model->Archive().Count())
                return;
            if (SetWatched(Host.Project(), Tool, Model->Archive().Pages()[index], on))
                Host.SetProjectModified();
            UpdateWatchButton();
        });
    }

    Popup = new QMenu(this);
    Popup->setObjectName(id + QStringLiteral("OldReportPopup"));
    QAction* select = Popup->addAction(QStringLiteral("Select"));
    select->setObjectName(id + QStringLiteral("OldReportSelect"));
    QFont bold = select->font();
    bold.setBold(true);
    select->setFont(bold);
    Popup->addSeparator();
    QAction* remove = Popup->addAction(QStringLiteral("Delete"));
    remove->setObjectName(id + QStringLiteral("OldReportDelete"));
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    OldReports->addAction(remove);
    connect(remove, &QAction::triggered, this, [this] { DeleteSelected(); });
    OldReports->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OldReports, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { Popup->popup(OldReports->mapToGlobal(at)); });
    connect(OldReports, &QComboBox::activated, this, [this](int index) { ShowStored(index); });
    RebuildOldReports();
}

void OnlineToolPage::RebuildOldReports() {
    Model->Change([](ToolArchive&) {});
    OldReports->setCurrentIndex(-1);
    ShowWholeEntry();
    UpdateWatchButton();
}

void OnlineToolPage::ShowWholeEntry() {
    // The list opens wide enough for its longest entry, and the box tells
    // the entry it shows in full.
    QAbstractItemView* list = OldReports->view();
    int widest = 0;
    for (int row = 0; row < Model->rowCount(); ++row)
        widest = qMax(widest, list->fontMetrics().horizontalAdvance(
                                  Model->data(Model->index(row), Qt::DisplayRole).toString()));
    list->setMinimumWidth(widest + 2 * list->frameWidth() + 16 +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    OldReports->setToolTip(OldReports->currentIndex() >= 0
                               ? OldReports->currentText()
                               : QStringLiteral("Add from old Report:"));
}

void OnlineToolPage::UpdateWatchButton() {
    if (!Watch)
        return;
    const int index = OldReports->currentIndex();
    const bool shown = index >= 0 && index < Model->Archive().Count();
    Watch->setEnabled(shown);
    Watch->setChecked(shown && IsWatched(Host.Project(), Tool, Model->Archive().Pages()[index]));
}

void OnlineToolPage::ToggleWatch(const QString& page) {
    if (Tool != ToolKind::Rankscout && Tool != ToolKind::Backwatch)
        return;
    // A watched page whose tool's bulletins were turned off is watched again.
    const QString& flag = Tool == ToolKind::Rankscout ? Host.Project().RankscoutBulletins
                                                      : Host.Project().BackwatchBulletins;
    const bool on = !IsWatched(Host.Project(), Tool, page) || flag != QLatin1String("Y");
    if (on && Tool == ToolKind::Rankscout && Model->Archive().LastIndexOf(page) < 0) {
        Host.MessageBoxes().Message(MsgKind::Information,
                                    QStringLiteral("Check the rank of ") + page +
                                        QStringLiteral(" with Rankscout first: watching checks "
                                                       "it again with the same key phrase and "
                                                       "search engines."),
                                    MsgButtons::Ok);
        return;
    }
    SetWatched(Host.Project(), Tool, page, on);
    Host.SetProjectModified();
    Host.SetStatusText((on ? QStringLiteral("Watching ") : QStringLiteral("No longer watching ")) +
                       page);
    UpdateWatchButton();
}

void OnlineToolPage::Start() {
    if (!Host.CheckConnect())
        return;
    const QStringList pages = Host.SelectedPages();
    const CheckedRequests requests = BuildRequests(pages);
    if (requests.Failed()) {
        Host.MessageBoxes().Message(MsgKind::Warning, requests.Message, MsgButtons::Ok);
        FocusInput(requests.Focus);
        return;
    }
    if (pages.isEmpty() || !ConfirmRun(pages))
        return;
    QueueRequests(Host, Tool, requests.Urls);
}

void OnlineToolPage::TakeAnswer(const QString& answer) {
    Intake intake = ReadAnswer(Tool, answer);
    // The result is filed under the page it was asked for: the server's
    // echo of the URL may differ from it.
    const QString requested = RequestedPage(Host.Requests().AnsweredRequest(Tag(Tool)));
    if (!requested.isEmpty())
        intake.Page = requested;
    switch (intake.Outcome) {
    case IntakeOutcome::Invalid:
        Host.MessageBoxes().Message(MsgKind::Error, InvalidDataMessage(), MsgButtons::Ok);
        return;
    case IntakeOutcome::NotOpened:
        WriteNotOpened(Tool, *Report(), intake.Reason);
        return;
    case IntakeOutcome::Stored:
        break;
    }
    // An answer that lacks what its report and the audit read would cut
    // them short whenever it is read: it is not kept.
    if (!AnswerIsWhole(Tool, intake.Page, intake.Body, intake.Percentage)) {
        WriteIncomplete(Tool, intake.Page, *Report());
        return;
    }
    // A watched page's new result is compared with its latest checked one.
    QString before;
    const bool watched = IsWatched(Host.Project(), Tool, intake.Page);
    if (watched) {
        const ToolArchive& archive = Model->Archive();
        for (int i = archive.Count() - 1; i >= 0 && before.isEmpty(); --i)
            if (archive.Pages()[i] == intake.Page &&
                UncheckedReason(Tool, archive.Bodies()[i]).isEmpty())
                before = archive.Bodies()[i];
    }
    const QString added = DateAdded(Host.Now());
    const bool leave = Host.Options().Leave;
    const Filed filed = Model->Change(
        [&](ToolArchive& archive) { return FileAnswer(archive, intake, added, leave); });
    OldReports->setCurrentIndex(filed.Index);
    ShowStored(filed.Index);
    if (watched && PostBulletins(Host.Project().BulletinMessages,
                                 ResultChanges(Tool, intake.Page, before, intake.Body)) > 0)
        Host.BulletinsPosted();
}

void OnlineToolPage::ShowStored(int index) {
    if (index < 0 || index >= Model->Archive().Count())
        return;
    BusyCursor busy(Host);
    WriteStoredReport(Model->Archive(), index, *Report(), Host.Options().Clear);
}

void OnlineToolPage::ShowFromSiteMap(const QString& page) {
    int found = -1;
    {
        BusyCursor busy(Host);
        Host.ShowPage(TabIndex(Tool));
        found = Model->Archive().LastIndexOf(page);
        if (found >= 0) {
            OldReports->setCurrentIndex(found);
            ShowStored(found);
        }
    }
    ApplyEngineDefaults();
    if (found < 0 && Host.Options().ReportGen)
        Start();
}

void OnlineToolPage::DeleteSelected() {
    const int index = OldReports->currentIndex();
    if (index < 0)
        return;
    Model->Change([index](ToolArchive& archive) { return archive.RemoveAt(index); });
    OldReports->setCurrentIndex(-1);
    Host.SetProjectModified();
}

} // namespace vantora
