#include "BulletinPage.h"

#include "ReportView.h"
#include "Transport.h"
#include "Watch.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantora {

namespace {

constexpr int SenderColumnWidth = 128;
constexpr int PageColumnWidth = 256;
constexpr int PageColumnMargin = 157;
constexpr int MinimumListHeight = 64;

// A closed envelope with a blue dot for an unread message, an open grey one
// with a tick for a read message.
QPixmap DrawEnvelope(bool read) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = read ? QColor(120, 120, 120) : QColor(30, 30, 30);
    p.setPen(QPen(ink, 1));
    p.setBrush(read ? QColor(235, 235, 235) : QColor(255, 244, 200));
    if (read) {
        // Open flap above the body.
        p.drawPolygon(QPolygonF({QPointF(1.5, 7.5), QPointF(8, 2.5), QPointF(14.5, 7.5)}));
        p.drawRect(QRectF(1.5, 7.5, 13, 7));
        p.setPen(QPen(QColor(40, 140, 60), 1.6));
        p.drawPolyline(QPolygonF({QPointF(5, 11), QPointF(7, 13), QPointF(11.5, 8.5)}));
    } else {
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawPolyline(QPolygonF({QPointF(1.5, 4.5), QPointF(8, 10), QPointF(14.5, 4.5)}));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 200));
        p.drawEllipse(QRectF(11, 1, 5, 5));
    }
    return pixmap;
}

} // namespace

QIcon BulletinPage::FlagIcon(int flag) {
    if (flag == UnreadFlag)
        return QIcon(DrawEnvelope(false));
    if (flag == ReadFlag)
        return QIcon(DrawEnvelope(true));
    return QIcon();
}

QString BulletinPage::EditRefusalText() {
    return QStringLiteral("You can not edit Bulletin Board Messages.");
}

BulletinPage::BulletinPage(BulletinHost& host, QWidget* parent)
    : QGroupBox(QStringLiteral("Bulletin Board - Messages"), parent), Host(host) {
    setObjectName(QStringLiteral("BulletinBoardBox"));

    UpdateButton = new QPushButton(QStringLiteral("Update"), this);
    UpdateButton->setObjectName(QStringLiteral("BBUpdateButton"));
    QFont bold = UpdateButton->font();
    bold.setBold(true);
    UpdateButton->setFont(bold);
    UpdateButton->setDefault(true);
    connect(UpdateButton, &QPushButton::clicked, this, [this] { Update(false); });
    UpdateButton->setEnabled(false);
    PrintButton = new QPushButton(QStringLiteral("&Print"), this);
    PrintButton->setObjectName(QStringLiteral("BBPrintButton"));
    SaveButton = new QPushButton(QStringLiteral("&Save..."), this);
    SaveButton->setObjectName(QStringLiteral("BBSaveButton"));
    connect(PrintButton, &QPushButton::clicked, this, &BulletinPage::PrintRequested);
    connect(SaveButton, &QPushButton::clicked, this, &BulletinPage::SaveRequested);
    auto* strip = new QHBoxLayout;
    strip->addWidget(UpdateButton);
    strip->addWidget(PrintButton);
    strip->addWidget(SaveButton);
    strip->addStretch(1);

    BBSplitter = new QSplitter(Qt::Vertical, this);
    BBSplitter->setObjectName(QStringLiteral("BBSplitter"));
    BBSplitter->setChildrenCollapsible(false);
    BBList = new QTreeWidget(BBSplitter);
    BBList->setAccessibleName(QStringLiteral("Messages"));
    BBList->setObjectName(QStringLiteral("BBList"));
    BBList->setHeaderLabels({QStringLiteral("Message from"), QStringLiteral("Regarding Web Page")});
    BBList->setRootIsDecorated(false);
    BBList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    BBList->setSelectionMode(QAbstractItemView::SingleSelection);
    BBList->setColumnWidth(0, SenderColumnWidth);
    BBList->setColumnWidth(1, PageColumnWidth);
    BBList->header()->setStretchLastSection(false);
    BBList->setMinimumHeight(MinimumListHeight);
    BBList->installEventFilter(this);
    connect(BBList, &QTreeWidget::itemClicked, this, [this] { OpenSelectedMessage(); });
    connect(BBList, &QTreeWidget::itemActivated, this, [this] { OpenSelectedMessage(); });

    MessageView = new ReportView(BBSplitter);
    MessageView->setAccessibleName(QStringLiteral("Message"));
    MessageView->setObjectName(QStringLiteral("BulletinBoardReport"));
    MessageView->setReadOnly(true);
    MessageView->setLineWrapMode(QTextEdit::NoWrap);
    MessageView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MessageView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont viewFont(QStringLiteral("Arial"));
    viewFont.setPixelSize(13);
    MessageView->setFont(viewFont);
    MessageView->setMinimumHeight(MinimumListHeight);
    BBSplitter->addWidget(BBList);
    BBSplitter->addWidget(MessageView);
    BBSplitter->setStretchFactor(1, 1);

    Popup = new QMenu(this);
    Popup->setObjectName(QStringLiteral("BulletinPopup"));
    SelectAction = Popup->addAction(QStringLiteral("Select"));
    SelectAction->setObjectName(QStringLiteral("bbSelect"));
    Popup->setDefaultAction(SelectAction);
    Popup->addSeparator();
    DeleteAction = Popup->addAction(QStringLiteral("Delete"));
    DeleteAction->setObjectName(QStringLiteral("bbDelete"));
    DeleteAction->setShortcut(QKeySequence(Qt::Key_Delete));
    DeleteAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    BBList->addAction(DeleteAction);
    connect(DeleteAction, &QAction::triggered, this, [this] { DeleteSelectedMessage(); });
    Popup->addSeparator();
    QMenu* automatic = Popup->addMenu(QStringLiteral("Automatic Bulletins..."));
    automatic->setObjectName(QStringLiteral("BulletinPopupAutomatic"));
    StopBackwatchAction = automatic->addAction(QStringLiteral("Stop Backwatch Bulletins"));
    StopBackwatchAction->setObjectName(QStringLiteral("bbStopBackwatchBulletins"));
    StopRankscoutAction = automatic->addAction(QStringLiteral("Stop Rankscout Bulletins"));
    StopRankscoutAction->setObjectName(QStringLiteral("bbStopRankscoutBulletins"));
    connect(StopBackwatchAction, &QAction::triggered, this,
            [this] { StopBulletins(BulletinTool::Backwatch); });
    connect(StopRankscoutAction, &QAction::triggered, this,
            [this] { StopBulletins(BulletinTool::Rankscout); });
    connect(Popup, &QMenu::aboutToShow, this, &BulletinPage::ApplyStopEntryRule);
    connect(automatic, &QMenu::aboutToShow, this, &BulletinPage::ApplyStopEntryRule);
    BBList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(BBList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { Popup->popup(BBList->viewport()->mapToGlobal(at)); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(strip);
    layout->addWidget(BBSplitter, 1);

    // Entering is a move of the focus from another control of the program
    // into the page. Focus that leaves for a menu, a message box or another
    // program and comes back was never outside in the user's eyes.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now->window()->windowType() == Qt::Popup)
            return;
        if (now->window() != window() && now->window()->isModal())
            return;
        const bool inside = isAncestorOf(now);
        const bool entered = inside && !FocusInside;
        FocusInside = inside;
        if (entered)
            emit FocusEntered();
    });
    SetProjectOpen(false);
}

bool BulletinPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == BBList && event->type() == QEvent::Resize)
        BBList->setColumnWidth(1, qMax(0, BBList->width() - PageColumnMargin));
    return QGroupBox::eventFilter(watched, event);
}

void BulletinPage::SetProjectOpen(bool open) {
    setEnabled(open);
    BBList->setEnabled(open);
    MessageView->setEnabled(open);
    PrintButton->setEnabled(open);
    SaveButton->setEnabled(open);
    UpdateButton->setEnabled(open);
    Open = open;
}

void BulletinPage::Update(bool quiet) {
    if (!Open)
        return;
    vantora::UpdateBulletinBoard(Host, quiet);
    FillBulletinList();
    RestartPeriodicCheck();
}

void BulletinPage::SetPeriodicCheck(int minutes) {
    if (!Periodic) {
        Periodic = new QTimer(this);
        Periodic->setSingleShot(true);
        connect(Periodic, &QTimer::timeout, this, [this] { PeriodicCheckDue(); });
    }
    Minutes = qMax(0, minutes);
    RestartPeriodicCheck();
}

void BulletinPage::RestartPeriodicCheck() {
    if (!Periodic)
        return;
    Periodic->stop();
    if (Minutes > 0)
        Periodic->start(std::chrono::milliseconds(qint64(Minutes) * MinuteMs));
}

void BulletinPage::PeriodicCheckDue() {
    const Transport& net = Host.Net();
    if (!net.TransportIdle || !net.RequestQueue.isEmpty()) {
        // Due but busy: look again shortly rather than queueing behind it.
        Periodic->start(std::chrono::milliseconds(qMax(1, MinuteMs / 6)));
        return;
    }
    if (Open)
        Update(true);
    else
        RestartPeriodicCheck();
}

void BulletinPage::FillBulletinList() {
    BBList->clear();
    const BulletinList& messages = Host.Project().BulletinMessages;
    for (int i = 0; i < messages.Count(); ++i) {
        auto* row =
            new QTreeWidgetItem(BBList, {messages.Senders().value(i), messages.Pages().value(i)});
        row->setIcon(0, FlagIcon(MessageReadFlag(messages, i)));
        row->setData(0, Qt::UserRole, MessageReadFlag(messages, i));
    }
}

void BulletinPage::ClearBoard() {
    BBList->clear();
    MessageView->ClearReport();
}

int BulletinPage::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = BBList->selectedItems();
    if (selected.isEmpty())
        return -1;
    return BBList->indexOfTopLevelItem(selected.first());
}

void BulletinPage::OpenSelectedMessage() {
    const int index = SelectedIndex();
    if (!OpenMessage(Host, index, *MessageView))
        return;
    QTreeWidgetItem* row = BBList->topLevelItem(index);
    row->setIcon(0, FlagIcon(ReadFlag));
    row->setData(0, Qt::UserRole, ReadFlag);
}

void BulletinPage::DeleteSelectedMessage() {
    const int index = SelectedIndex();
    if (DeleteMessage(Host, index, *MessageView))
        delete BBList->takeTopLevelItem(index);
}

void BulletinPage::ApplyStopEntryRule() {
    const ProjectData& project = Host.Project();
    StopBackwatchAction->setEnabled(StopEntryEnabled(project.BackwatchBulletins));
    StopRankscoutAction->setEnabled(StopEntryEnabled(project.RankscoutBulletins));
}

void BulletinPage::StopBulletins(BulletinTool tool) {
    // Stopping a tool's bulletins also ends the watching that posts them.
    if (vantora::StopBulletins(Host, tool)) {
        StopWatching(Host.Project(),
                     tool == BulletinTool::Rankscout ? ToolKind::Rankscout : ToolKind::Backwatch);
        Host.SetProjectModified();
    }
}

} // namespace vantora
