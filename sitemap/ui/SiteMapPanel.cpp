#include "SiteMapPanel.h"

#include "MapperInfoDialog.h"
#include "NodeImages.h"
#include "ShellCommand.h"
#include "SiteMapController.h"
#include "SiteMapCreation.h"
#include "SiteMapHost.h"

#include <QAccessible>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <tuple>
#include <vector>

namespace vantora {

namespace {

// All rows are as high as the node pictures.
class RowHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(NodeImageSize);
        return size;
    }
};

// The site map tree's view. Its selection model keeps the selection in
// flags by node (SiteSelectionModel) and mirrors a large one in Qt's ranges
// only for the rows on screen: the view tells it which those are before
// each paint.
class SiteTreeView : public QTreeView {
  public:
    SiteTreeView(SiteMapController& control, QWidget* parent)
        : QTreeView(parent), Control(control) {}

    // Selects every node the view shows (those whose ancestors are all
    // expanded) in one change. The rows are taken one below the other, as
    // the view has laid them out, which costs the same for every row.
    void selectAll() override {
        std::vector<int> shown;
        for (QModelIndex row = model()->index(0, 0); row.isValid(); row = indexBelow(row))
            shown.push_back(Control.Model()->NodeOf(row));
        Control.SelectOnly(shown, currentIndex());
    }

  protected:
    // "*" expands the current node and all below it. On the only top-level
    // node that is every node, which expandAll() does in half the time of
    // the node-by-node way (it marks the nodes expanded as it lays out the
    // rows). Either way the keys pressed meanwhile wait in the queue.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Asterisk || !currentIndex().isValid()) {
            QTreeView::keyPressEvent(event);
            return;
        }
        WaitCursor wait;
        const QModelIndex current = currentIndex();
        if (!current.parent().isValid() && model()->rowCount() == 1) {
            expandAll();
            event->accept();
        } else {
            QTreeView::keyPressEvent(event);
        }
    }

    // With one column a row is its one item. Without the Rows flag the
    // selection model takes a range selection (Shift with a click or a key)
    // as it is; with it, the base class would widen every range to every
    // column.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        return QTreeView::selectionCommand(index, event) & ~QItemSelectionModel::Rows;
    }

    // A range of rows (Shift with a click or a key, a mouse drag) goes to
    // the selection model as the nodes of those rows, not as Qt's ranges
    // (one per parent: a million over a deep tree fully expanded). The rows
    // are those Qt's own way takes: from the row at the rectangle's top
    // left to the row at its bottom right.
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override {
        if (rect.isNull())
            return;
        const QRect area = rect.normalized();
        QModelIndex first = indexAt(isRightToLeft() ? area.topRight() : area.topLeft());
        QModelIndex last = indexAt(isRightToLeft() ? area.bottomLeft() : area.bottomRight());
        if (!first.isValid() || !last.isValid()) {
            // Past the first or the last row: as Qt does it.
            QTreeView::setSelection(rect, command);
            return;
        }
        if (visualRect(first).top() > visualRect(last).top())
            std::swap(first, last);
        std::vector<int> nodes;
        for (QModelIndex row = first; row.isValid(); row = indexBelow(row)) {
            nodes.push_back(Control.Model()->NodeOf(row));
            if (row == last)
                break;
        }
        Control.Selection()->SelectNodes(std::move(nodes), command);
    }

    QRegion visualRegionForSelection(const QItemSelection& selection) const override {
        constexpr qsizetype ManyRanges = 64;
        if (selection.size() > ManyRanges)
            return QRegion(viewport()->rect());
        return QTreeView::visualRegionForSelection(selection);
    }

    // A change of many nodes comes without its ranges: everything shown is
    // repainted and a screen reader is told that the selection changed.
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override {
        if (!selected.isEmpty() || !deselected.isEmpty()) {
            QTreeView::selectionChanged(selected, deselected);
            return;
        }
        viewport()->update();
        if (QAccessible::isActive()) {
            QAccessibleEvent event(this, QAccessible::SelectionWithin);
            QAccessible::updateAccessibility(&event);
        }
    }

    void paintEvent(QPaintEvent* event) override {
        std::vector<int> shown;
        const int x = columnViewportPosition(0) + 1;
        const int height = viewport()->height();
        for (QModelIndex row = indexAt(QPoint(x, 0)); row.isValid(); row = indexBelow(row)) {
            shown.push_back(Control.Model()->NodeOf(row));
            if (visualRect(row).bottom() >= height)
                break;
        }
        Control.Selection()->SetShownNodes(std::move(shown));
        QTreeView::paintEvent(event);
    }

  private:
    SiteMapController& Control;
};

const char* const ReportItems[] = {"Show Wordweigh report", "Show Stuffwatch report",
                                   "Show Rankscout report", "Show Enginepost report",
                                   "Show Backwatch report"};
const char* const ReportNames[] = {"ShowWordweighReportAction", "ShowStuffwatchReportAction",
                                   "ShowRankscoutReportAction", "ShowEnginepostReportAction",
                                   "ShowBackwatchReportAction"};

} // namespace

SiteMapPanel::SiteMapPanel(SiteMapHost& host, ProcessLauncher& launcher, ShellLauncher& shell,
                           const QString& programDir, const QString& mapFolder, QWidget* parent)
    : QWidget(parent), Shell(shell), Control(new SiteMapController(host, this)),
      Create(new SiteMapCreator(host, *Control, launcher, programDir, mapFolder, this)),
      Info(new MapperInfoDialog(this)) {
    setObjectName(QStringLiteral("SiteMapPanel"));
    auto* group = new QGroupBox(QStringLiteral("SiteMap"), this);
    group->setObjectName(QStringLiteral("SiteMapGroup"));
    Label = new QLabel(group);
    Label->setObjectName(QStringLiteral("SelectionLabel"));
    Label->setTextFormat(Qt::PlainText);

    View = new SiteTreeView(*Control, group);
    View->setAccessibleName(QStringLiteral("Site map"));
    View->setObjectName(QStringLiteral("SiteMapTree"));
    View->setModel(Control->Model());
    View->setSelectionModel(Control->Selection());
    View->setSelectionMode(QAbstractItemView::ExtendedSelection);
    View->setEditTriggers(QAbstractItemView::NoEditTriggers);
    View->setHeaderHidden(true);
    View->setRootIsDecorated(true);
    View->setIndentation(21);
    View->setUniformRowHeights(true);
    View->setIconSize(QSize(NodeImageSize, NodeImageSize));
    View->setItemDelegate(new RowHeightDelegate(View));
    View->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    View->header()->setStretchLastSection(false);
    View->setContextMenuPolicy(Qt::CustomContextMenu);

    UpdateButton = new QPushButton(QStringLiteral("Update Site Map"), group);
    UpdateButton->setObjectName(QStringLiteral("UpdateSiteMapButton"));

    auto* strip = new QHBoxLayout;
    strip->addStretch();
    strip->addWidget(UpdateButton);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(Label);
    groupLayout->addWidget(View, 1);
    groupLayout->addLayout(strip);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(group);

    Menu = new QMenu(this);
    Menu->setObjectName(QStringLiteral("SiteMapPopup"));
    SortAction = Menu->addAction(QStringLiteral("Sort View"));
    SortAction->setObjectName(QStringLiteral("SortViewAction"));
    SortAction->setCheckable(true);
    Menu->addSeparator();
    QAction* expand = Menu->addAction(QStringLiteral("Full Expand"));
    expand->setObjectName(QStringLiteral("FullExpandAction"));
    QAction* collapse = Menu->addAction(QStringLiteral("Full Collapse"));
    collapse->setObjectName(QStringLiteral("FullCollapseAction"));
    Menu->addSeparator();
    QAction* browser = Menu->addAction(QStringLiteral("Launch Web Browser"));
    browser->setObjectName(QStringLiteral("LaunchWebBrowserAction"));
    SingleNodeActions << browser;
    Menu->addSeparator();
    for (int tool = 0; tool < 5; ++tool) {
        QAction* report = Menu->addAction(QString::fromLatin1(ReportItems[tool]));
        report->setObjectName(QString::fromLatin1(ReportNames[tool]));
        SingleNodeActions << report;
        connect(report, &QAction::triggered, this, [this, tool] {
            const int node = Control->SingleSelectedNode();
            if (node >= 0)
                emit ShowReportRequested(tool, node, Control->SiteTreeGetFullURL(node, node));
        });
    }
    Menu->addSeparator();
    for (const auto& [tool, text, name] :
         {std::tuple{2, "Watch Rank for this Key Phrase", "WatchRankAction"},
          std::tuple{4, "Watch Link-backs", "WatchLinkBacksAction"}}) {
        QAction* watch = Menu->addAction(QString::fromLatin1(text));
        watch->setObjectName(QString::fromLatin1(name));
        SingleNodeActions << watch;
        connect(watch, &QAction::triggered, this, [this, tool = tool] {
            const int node = Control->SingleSelectedNode();
            if (node >= 0)
                emit WatchRequested(tool, Control->SiteTreeGetFullURL(node, node));
        });
    }
    UpdatePopupItems();

    connect(SortAction, &QAction::triggered, this, [this](bool on) { Control->SetSorted(on); });
    connect(expand, &QAction::triggered, this, [this] {
        WaitCursor wait;
        ProcessPendingEvents();
        View->expandAll();
    });
    connect(collapse, &QAction::triggered, this, [this] {
        WaitCursor wait;
        ProcessPendingEvents();
        View->collapseAll();
    });
    connect(browser, &QAction::triggered, this, &SiteMapPanel::LaunchBrowser);
    connect(View, &QWidget::customContextMenuRequested, this, &SiteMapPanel::ShowPopup);
    connect(UpdateButton, &QPushButton::clicked, this, &SiteMapPanel::UpdateSiteMap);

    connect(Control, &SiteMapController::LabelChanged, Label, &QLabel::setText);
    connect(Control, &SiteMapController::StartButtonsEnabled, this,
            &SiteMapPanel::StartButtonsEnabled);
    connect(Control, &SiteMapController::SelectedPagesChanged, this,
            &SiteMapPanel::SelectedPagesChanged);
    connect(Control, &SiteMapController::SelectedPagesChanged, this,
            &SiteMapPanel::UpdatePopupItems);
    connect(Control, &SiteMapController::BuildingChanged, this, &SiteMapPanel::OnBusyChanged);
    connect(Create, &SiteMapCreator::RunningChanged, this, &SiteMapPanel::OnBusyChanged);
    // A node opens when it is selected.
    connect(Control->Selection(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && Control->Selection()->isSelected(current))
                    View->expand(current);
            });
    connect(Create, &SiteMapCreator::ShowInfoWindow, Info, &MapperInfoDialog::ShowInfo);
    connect(Create, &SiteMapCreator::AppletProgress, Info, &MapperInfoDialog::ShowProgress);
    connect(Info, &MapperInfoDialog::ShowAgainChosen, this,
            [this](bool again) { Create->ShowMapperInfo = again; });
}

void SiteMapPanel::BuildSiteTree() {
    Control->BuildSiteTree();
}

void SiteMapPanel::UpdateSiteMap() {
    Create->UpdateSiteMap();
}

void SiteMapPanel::ClearTree(const QString& label) {
    Control->ClearTree(label);
}

QStringList SiteMapPanel::SelectedPages() const {
    return Control->SelectedPages();
}

bool SiteMapPanel::IsBusy() const {
    return Control->IsBuilding() || Create->IsRunning();
}

void SiteMapPanel::OnBusyChanged() {
    const bool busy = IsBusy();
    UpdateButton->setEnabled(!busy);
    SortAction->setEnabled(!Control->IsBuilding());
    SortAction->setChecked(Control->IsSorted());
    emit BusyChanged(busy);
}

void SiteMapPanel::UpdatePopupItems() {
    const bool single = Control->SingleSelectedNode() >= 0;
    for (QAction* action : SingleNodeActions)
        action->setEnabled(single);
    SortAction->setChecked(Control->IsSorted());
}

void SiteMapPanel::ShowPopup(const QPoint& pos) {
    UpdatePopupItems();
    Menu->popup(View->viewport()->mapToGlobal(pos));
}

void SiteMapPanel::LaunchBrowser() {
    const int node = Control->SingleSelectedNode();
    if (node < 0)
        return;
    // Captions below the first level are relative to their parent, so the
    // browser gets the page's full URL.
    RunShellCommand(Shell, ShellProtocol::WebBrowser, Control->BrowserUrl(node));
}

} // namespace vantora
