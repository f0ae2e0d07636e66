#include "HealthPage.h"

#include "CrawlStore.h"
#include "Dialogs.h"
#include "DocumentSink.h"
#include "Export.h"
#include "ReportFrame.h"
#include "ReportLayout.h"
#include "ReportPrinters.h"
#include "RtfWriter.h"
#include "TrendChart.h"
#include "XmlSitemap.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyleOptionHeader>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <fstream>
#include <thread>

namespace vantora::health {

namespace {

const char* const SeverityTitles[3] = {"Errors", "Warnings", "Notices"};
constexpr int CheckRole = Qt::UserRole + 1;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "2026-12-09T10:15:00Z" as "2026-12-09 10:15 UTC".
QString When(const std::string& time) {
    QString text = Q(time);
    if (text.size() >= 16)
        return text.left(10) + QLatin1Char(' ') + text.mid(11, 5) + QStringLiteral(" UTC");
    return text;
}

// Draws a header's sort arrow the way the list reads: pointing down while
// the highest comes first (descending), up while the lowest does. The
// program's style draws them the other way round.
class SortArrowStyle : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
            header && element == PE_IndicatorHeaderArrow) {
            QStyleOptionHeader flipped(*header);
            if (header->sortIndicator == QStyleOptionHeader::SortUp)
                flipped.sortIndicator = QStyleOptionHeader::SortDown;
            else if (header->sortIndicator == QStyleOptionHeader::SortDown)
                flipped.sortIndicator = QStyleOptionHeader::SortUp;
            QProxyStyle::drawPrimitive(element, &flipped, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

void UseSortArrowStyle(QHeaderView* header) {
    auto* style = new SortArrowStyle;
    style->setParent(header);
    header->setStyle(style);
}

QString SummaryText(const HealthSnapshot& data) {
    const Overview& o = data.Summary;
    QString text = QStringLiteral("Latest crawl: %1, %2 URLs.   Site score: %3 of 100\n"
                                  "Errors: %4   Warnings: %5   Notices: %6")
                       .arg(When(data.Latest.Time))
                       .arg(data.Latest.Pages)
                       .arg(o.Score)
                       .arg(o.Counts[0])
                       .arg(o.Counts[1])
                       .arg(o.Counts[2]);
    if (data.ComparedWith)
        text += QStringLiteral("   (new since the compared crawl: %1, %2, %3)")
                    .arg(o.NewCounts[0])
                    .arg(o.NewCounts[1])
                    .arg(o.NewCounts[2]);
    return text;
}

} // namespace

HealthSnapshot LoadSnapshot(const std::string& path, long long compare) {
    HealthSnapshot data;
    History history;
    std::string error;
    if (!history.Open(path, false, error)) {
        // A missing history is no problem: the page says how to get one.
        if (error.rfind("there is no crawl history", 0) != 0)
            data.Problem = Q(error);
        return data;
    }
    data.Crawls = history.Crawls();
    if (data.Crawls.empty())
        return data;
    data.HaveHistory = true;
    data.Latest = data.Crawls.back();
    std::optional<CrawlInfo> before;
    if (compare == -1 && data.Crawls.size() >= 2)
        before = data.Crawls[data.Crawls.size() - 2];
    for (const CrawlInfo& crawl : data.Crawls)
        if (compare > 0 && crawl.Id == compare && crawl.Id != data.Latest.Id)
            before = crawl;
    auto findings = std::make_shared<std::vector<ComparedFinding>>(
        CompareCrawls(history, data.Latest, before ? before->Id : 0));
    if (before) {
        data.ComparedWith = before->Id;
        auto changes = std::make_shared<std::vector<PageChange>>();
        DiffPages(history.PageReader(before->Id), history.PageReader(data.Latest.Id),
                  [&](const PageChange& change) { changes->push_back(change); });
        data.Changes = std::move(changes);
    }
    data.Summary = Summarise(*findings, data.Latest.Pages);
    data.Findings = std::move(findings);
    data.Trend = Trend(history);
    return data;
}

HealthPage::HealthPage(HealthHost& host, QWidget* parent)
    : QWidget(parent), Host(host), Alive(std::make_shared<std::atomic<bool>>(true)) {
    setObjectName(QStringLiteral("SiteHealthPage"));
    auto* layout = new QVBoxLayout(this);
    // What runs off the window's thread (reading the history, writing a
    // CSV file), with a bar that moves while it does.
    BusyRow = new QWidget(this);
    BusyRow->setObjectName(QStringLiteral("HealthBusy"));
    auto* busyLayout = new QHBoxLayout(BusyRow);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    BusyText = new QLabel(BusyRow);
    auto* busyBar = new QProgressBar(BusyRow);
    busyBar->setRange(0, 0);
    busyBar->setTextVisible(false);
    busyBar->setMaximumWidth(160);
    busyBar->setAccessibleName(QStringLiteral("Busy"));
    busyLayout->addWidget(BusyText);
    busyLayout->addWidget(busyBar);
    busyLayout->addStretch(1);
    BusyRow->hide();
    layout->addWidget(BusyRow);
    Stack = new QStackedWidget(this);
    layout->addWidget(Stack);

    // Without a history: what to do, and the one button that does it.
    auto* empty = new QWidget(Stack);
    auto* emptyLayout = new QVBoxLayout(empty);
    EmptyText = new QLabel(empty);
    EmptyText->setWordWrap(true);
    EmptyText->setObjectName(QStringLiteral("HealthEmptyText"));
    UpdateButton = new QPushButton(QStringLiteral("Update Site Map"), empty);
    UpdateButton->setObjectName(QStringLiteral("HealthUpdateSiteMap"));
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(EmptyText);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(UpdateButton);
    buttonRow->addStretch(1);
    emptyLayout->addLayout(buttonRow);
    emptyLayout->addStretch(2);
    Stack->addWidget(empty);
    connect(UpdateButton, &QPushButton::clicked, this, [this] { Host.UpdateSiteMap(); });

    auto* content = new QWidget(Stack);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    Summary = new QLabel(content);
    Summary->setWordWrap(true);
    Summary->setObjectName(QStringLiteral("HealthSummary"));
    Summary->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    Summary->setFocusPolicy(Qt::StrongFocus);
    contentLayout->addWidget(Summary);

    auto* compareRow = new QHBoxLayout;
    auto* compareLabel = new QLabel(QStringLiteral("&Compare with:"), content);
    CompareBox = new QComboBox(content);
    CompareBox->setObjectName(QStringLiteral("HealthCompare"));
    CompareBox->setAccessibleName(QStringLiteral("Compare with"));
    compareLabel->setBuddy(CompareBox);
    OnlyNew = new QCheckBox(QStringLiteral("Show only &new"), content);
    OnlyNew->setObjectName(QStringLiteral("HealthOnlyNew"));
    compareRow->addWidget(compareLabel);
    compareRow->addWidget(CompareBox, 1);
    compareRow->addWidget(OnlyNew);
    contentLayout->addLayout(compareRow);
    connect(CompareBox, &QComboBox::activated, this,
            [this](int index) { CompareWith(CompareBox->itemData(index).toLongLong()); });
    connect(OnlyNew, &QCheckBox::toggled, this, [this] { ShowCheck(); });

    Views = new QTabWidget(content);
    Views->setObjectName(QStringLiteral("HealthViews"));
    // Findings: the checks, the affected pages, the detail.
    // The checks beside what they mean on top, the affected pages across
    // the whole width below.
    auto* findings = new QSplitter(Qt::Vertical, Views);
    findings->setObjectName(QStringLiteral("HealthFindings"));
    auto* top = new QSplitter(Qt::Horizontal, findings);
    Checks = new QTreeWidget(top);
    Checks->setObjectName(QStringLiteral("HealthChecks"));
    Checks->setAccessibleName(QStringLiteral("Checks with findings"));
    Checks->setColumnCount(4);
    Checks->setHeaderLabels({QStringLiteral("Check"), QStringLiteral("Count"),
                             QStringLiteral("New"), QStringLiteral("Fixed")});
    Checks->header()->setStretchLastSection(false);
    Checks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        Checks->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    // Room for the longest identifier beside its counts.
    Checks->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("structured-data-invalid")) +
        fontMetrics().horizontalAdvance(QStringLiteral("Count New Fixed")) + 64);
    Pages = new QTableView(findings);
    Pages->setObjectName(QStringLiteral("HealthPages"));
    Pages->setAccessibleName(QStringLiteral("Affected pages"));
    PageModel = new FindingsModel(Pages);
    Pages->setModel(PageModel);
    Pages->setSelectionBehavior(QAbstractItemView::SelectRows);
    Pages->setSortingEnabled(true);
    Pages->horizontalHeader()->setSortIndicator(FindingsModel::ScoreColumn, Qt::DescendingOrder);
    UseSortArrowStyle(Pages->horizontalHeader());
    Pages->horizontalHeader()->setStretchLastSection(true);
    Pages->verticalHeader()->hide();
    Pages->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    Pages->setWordWrap(false);
    // The end of a long URL tells pages apart; its middle goes first.
    Pages->setTextElideMode(Qt::ElideMiddle);
    Detail = new QTextBrowser(top);
    Detail->setObjectName(QStringLiteral("HealthDetail"));
    Detail->setAccessibleName(QStringLiteral("Why it matters and how to fix it"));
    top->addWidget(Checks);
    top->addWidget(Detail);
    top->setStretchFactor(0, 0);
    top->setStretchFactor(1, 1);
    findings->addWidget(top);
    findings->addWidget(Pages);
    findings->setStretchFactor(0, 1);
    findings->setStretchFactor(1, 1);
    Views->addTab(findings, QStringLiteral("&Findings"));
    connect(Checks, &QTreeWidget::currentItemChanged, this, [this] { ShowCheck(); });
    connect(Pages->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowDetail(); });
    connect(Pages, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QString url = index.data(FindingsModel::UrlRole).toString();
        if (!url.isEmpty() && Host.SelectInSiteMap({url}) == 0)
            Host.MessageBoxes().Message(MsgKind::Information,
                                        QStringLiteral("%1 is not in the site map.").arg(url),
                                        MsgButtons::Ok);
    });

    // Changes: the page-by-page diff against the compared crawl.
    auto* changes = new QWidget(Views);
    auto* changesLayout = new QVBoxLayout(changes);
    ChangesText = new QLabel(changes);
    ChangesText->setWordWrap(true);
    ChangeView = new QTableView(changes);
    ChangeView->setObjectName(QStringLiteral("HealthChanges"));
    ChangeView->setAccessibleName(QStringLiteral("Changes between the crawls"));
    ChangeModel = new ChangesModel(ChangeView);
    ChangeView->setModel(ChangeModel);
    ChangeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ChangeView->verticalHeader()->hide();
    ChangeView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ChangeView->horizontalHeader()->setStretchLastSection(true);
    changesLayout->addWidget(ChangesText);
    changesLayout->addWidget(ChangeView, 1);
    Views->addTab(changes, QStringLiteral("C&hanges"));

    Chart = new TrendChart(Views);
    Chart->setObjectName(QStringLiteral("HealthTrend"));
    Views->addTab(Chart, QStringLiteral("&Trend"));
    connect(Chart, &TrendChart::PointChosen, this, [this](int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < Data.Trend.size())
            CompareWith(Data.Trend[static_cast<std::size_t>(index)].Crawl.Id);
    });
    contentLayout->addWidget(Views, 1);

    auto* buttons = new QHBoxLayout;
    SelectButton = new QPushButton(QStringLiteral("Select in &Site Map"), content);
    SelectButton->setObjectName(QStringLiteral("HealthSelectInSiteMap"));
    ExportButton = new QPushButton(QStringLiteral("&Export CSV..."), content);
    ExportButton->setObjectName(QStringLiteral("HealthExportCsv"));
    PrintButton = new QPushButton(QStringLiteral("&Print..."), content);
    PrintButton->setObjectName(QStringLiteral("HealthPrint"));
    SaveButton = new QPushButton(QStringLiteral("Sa&ve..."), content);
    SaveButton->setObjectName(QStringLiteral("HealthSave"));
    SubmitButton = new QPushButton(QStringLiteral("Submit all through &IndexNow"), content);
    SubmitButton->setObjectName(QStringLiteral("HealthSubmitIndexNow"));
    SubmitButton->setToolTip(
        QStringLiteral("Tells search engines that take IndexNow about every indexable page of "
                       "the latest crawl, through the analysis server's IndexNow service"));
    for (QPushButton* button : {SelectButton, ExportButton, PrintButton, SaveButton})
        buttons->addWidget(button);
    buttons->addStretch(1);
    contentLayout->addLayout(buttons);
    // A row of its own, so that every caption reads whole at the window's
    // smallest width.
    auto* submitRow = new QHBoxLayout;
    submitRow->addWidget(SubmitButton);
    submitRow->addStretch(1);
    contentLayout->addLayout(submitRow);
    connect(SelectButton, &QPushButton::clicked, this, [this] { SelectAllInSiteMap(); });
    connect(ExportButton, &QPushButton::clicked, this, [this] { ExportCsv(); });
    connect(PrintButton, &QPushButton::clicked, this, [this] { PrintReport(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(SubmitButton, &QPushButton::clicked, this, [this] { SubmitAllThroughIndexNow(); });
    Stack->addWidget(content);
    Reload();
}

HealthPage::~HealthPage() {
    *Alive = false;
}

void HealthPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const QString path = Host.CrawlHistoryPath();
    if (path != LoadedPath || QFileInfo(path).lastModified() != LoadedStamp)
        Reload();
}

void HealthPage::Reload() {
    const int generation = ++Generation;
    const QString path = Host.CrawlHistoryPath();
    LoadedPath = path;
    LoadedStamp = QFileInfo(path).lastModified();
    if (path.isEmpty()) {
        HealthSnapshot none;
        Show(std::move(none), generation);
        return;
    }
    if (Stack->currentIndex() == 0)
        EmptyText->clear();
    SetBusy(QStringLiteral("Reading the crawl history..."));
    // Reading a long history or a crawl of a million findings takes time: a
    // thread of its own, the result handed back to the window's thread
    // unless the page is gone or a newer load was asked for meanwhile.
    QPointer<HealthPage> self(this);
    std::thread([self, alive = Alive, generation, path = path.toStdString(), compare = Compare] {
        auto snapshot = std::make_shared<HealthSnapshot>(LoadSnapshot(path, compare));
        // Reading and comparing freed as much as the findings hold.
        ReleaseFreedMemory();
        if (!alive->load() || !qApp)
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, snapshot, generation] {
                if (self)
                    self->Show(std::move(*snapshot), generation);
            },
            Qt::QueuedConnection);
    }).detach();
}

void HealthPage::LetListsGo() {
    SetBusy(QStringLiteral("Keeping the new crawl in the crawl history..."));
    PageModel->Show(nullptr, {}, false, false);
    ChangeModel->Show(nullptr);
    Detail->clear();
    Data.Findings.reset();
    Data.Changes.reset();
}

void HealthPage::CompareWith(long long crawl) {
    Compare = crawl;
    Reload();
}

void HealthPage::SetBusy(const QString& text) {
    // A load and an export may overlap: the export's words win while it runs.
    const QString shown = ExportRunning && text.isEmpty() ? BusyText->text() : text;
    BusyText->setText(shown);
    BusyRow->setVisible(!shown.isEmpty());
    CompareBox->setEnabled(!Loading() && Data.Crawls.size() > 1);
    ExportButton->setEnabled(!ExportRunning);
}

void HealthPage::Show(HealthSnapshot snapshot, int generation) {
    if (generation != Generation)
        return;
    Shown = generation;
    SetBusy(QString());
    Data = std::move(snapshot);
    if (!Data.HaveHistory) {
        QString text;
        if (!Host.ProjectOpen())
            text = QStringLiteral("Open or create a project to see the health of its site.");
        else if (!Data.Problem.isEmpty())
            text = Data.Problem + QStringLiteral("\n\nThe project itself is not affected.");
        else if (Host.CrawlHistoryPath().isEmpty())
            text = QStringLiteral("Save the project, then update its site map: every crawl of a "
                                  "saved project is checked and kept in its crawl history, and "
                                  "its findings are shown here.");
        else
            text = QStringLiteral("This project has no crawl history yet. Update the site map: "
                                  "the crawl is checked and kept in the history, and its "
                                  "findings are shown here.");
        EmptyText->setText(text);
        UpdateButton->setVisible(Host.ProjectOpen() && Data.Problem.isEmpty());
        Stack->setCurrentIndex(0);
        emit Loaded();
        return;
    }
    Summary->setText(SummaryText(Data));
    Summary->setAccessibleName(Summary->text());

    CompareBox->clear();
    CompareBox->addItem(QStringLiteral("(no comparison)"), 0LL);
    int current = 0;
    for (auto at = Data.Crawls.rbegin() + 1; at != Data.Crawls.rend(); ++at) {
        CompareBox->addItem(When(at->Time) + (at == Data.Crawls.rbegin() + 1
                                                  ? QStringLiteral(" (the previous crawl)")
                                                  : QString()),
                            at->Id);
        if (at->Id == Data.ComparedWith)
            current = CompareBox->count() - 1;
    }
    CompareBox->setCurrentIndex(current);
    CompareBox->setEnabled(Data.Crawls.size() > 1);
    OnlyNew->setEnabled(Data.ComparedWith != 0);

    const QString chosen =
        Checks->currentItem() ? Checks->currentItem()->data(0, CheckRole).toString() : QString();
    Checks->clear();
    QTreeWidgetItem* select = nullptr;
    QTreeWidgetItem* groups[3] = {nullptr, nullptr, nullptr};
    for (const CheckGroup& group : Data.Summary.Checks) {
        if (!group.Count && !group.Fixed)
            continue;
        const int level = static_cast<int>(group.Level);
        if (!groups[level]) {
            groups[level] = new QTreeWidgetItem(Checks);
            groups[level]->setText(0, QString::fromLatin1(SeverityTitles[level]));
            groups[level]->setText(1, QString::number(Data.Summary.Counts[level]));
            if (Data.ComparedWith)
                groups[level]->setText(2, QString::number(Data.Summary.NewCounts[level]));
            groups[level]->setExpanded(true);
            groups[level]->setFlags(Qt::ItemIsEnabled);
        }
        // The identifier names the check in a narrow column; its text and
        // advice are in the detail below the pages.
        auto* item = new QTreeWidgetItem(groups[level]);
        item->setText(0, Q(group.Check));
        item->setText(1, QString::number(group.Count));
        if (Data.ComparedWith) {
            item->setText(2, QString::number(group.New));
            item->setText(3, QString::number(group.Fixed));
        }
        item->setData(0, CheckRole, Q(group.Check));
        item->setToolTip(0, Q(group.Text));
        item->setData(0, Qt::AccessibleTextRole,
                      QStringLiteral("%1: %2 pages").arg(Q(group.Text)).arg(group.Count));
        if (!select || Q(group.Check) == chosen)
            select = item;
    }
    Checks->setColumnHidden(2, !Data.ComparedWith);
    Checks->setColumnHidden(3, !Data.ComparedWith);
    Stack->setCurrentIndex(1);
    if (select)
        Checks->setCurrentItem(select);
    else
        ShowCheck();

    ChangeModel->Show(Data.Changes);
    ChangesText->setText(
        Data.ComparedWith
            ? QStringLiteral("%1 changes of pages since the compared crawl (pages added and "
                             "removed, status, redirect, title, description, canonical, "
                             "indexability, first heading and words).")
                  .arg(Data.Changes ? Data.Changes->size() : 0)
            : QStringLiteral("Choose a crawl to compare with to see what changed page by page."));
    Chart->SetPoints(Data.Trend);
    emit Loaded();
}

void HealthPage::ShowCheck() {
    const QTreeWidgetItem* item = Checks->currentItem();
    const std::string check =
        item ? item->data(0, CheckRole).toString().toStdString() : std::string();
    if (!Data.Findings) {
        PageModel->Show(nullptr, {}, false, false);
        Detail->clear();
        return;
    }
    PageModel->Show(Data.Findings, check, OnlyNew->isChecked() && Data.ComparedWith,
                    Data.ComparedWith != 0);
    Pages->resizeColumnToContents(FindingsModel::ScoreColumn);
    Pages->setColumnWidth(FindingsModel::UrlColumn,
                          std::max(160, (Pages->viewport()->width() -
                                         Pages->columnWidth(FindingsModel::ScoreColumn)) *
                                            1 / 2));
    if (PageModel->rowCount() > 0)
        Pages->setCurrentIndex(PageModel->index(0, FindingsModel::ScoreColumn));
    ShowDetail();
}

void HealthPage::ShowDetail() {
    const QTreeWidgetItem* item = Checks->currentItem();
    const QString check = item ? item->data(0, CheckRole).toString() : QString();
    if (check.isEmpty()) {
        Detail->setPlainText(QStringLiteral("Choose a check to see the pages it lists."));
        return;
    }
    QString html;
    const CheckRule* rule = FindCheck(check.toStdString());
    if (rule)
        html = QStringLiteral("<p><b>%1</b> (%2, %3)</p><p>%4</p>")
                   .arg(Q(std::string(rule->Text)).toHtmlEscaped(), check,
                        Q(std::string(SeverityName(rule->Level))),
                        Q(std::string(rule->Advice)).toHtmlEscaped());
    else
        html = QStringLiteral("<p><b>%1</b></p><p>This check is not known to this version of the "
                              "program; its findings are shown as they were stored.</p>")
                   .arg(check.toHtmlEscaped());
    if (const ComparedFinding* row = PageModel->At(Pages->currentIndex().row()))
        html += QStringLiteral("<p>%1<br>%2%3</p>")
                    .arg(Q(row->Item.Url).toHtmlEscaped(), Q(row->Item.Detail).toHtmlEscaped(),
                         row->How == Change::Same || !Data.ComparedWith
                             ? QString()
                             : QStringLiteral(" (%1)").arg(Q(std::string(ChangeName(row->How)))));
    Detail->setHtml(html);
}

void HealthPage::SelectAllInSiteMap() {
    const QStringList urls = PageModel->Urls();
    if (urls.isEmpty())
        return;
    const int found = Host.SelectInSiteMap(urls);
    if (found < urls.size())
        Host.MessageBoxes().Message(
            MsgKind::Information,
            QStringLiteral("%1 of the %2 listed pages were selected in the site map; the others "
                           "are not in it (the map was updated since, or they are not pages).")
                .arg(found)
                .arg(urls.size()),
            MsgButtons::Ok);
}

std::unique_ptr<QTextDocument> HealthPage::Report() const {
    auto document = std::make_unique<QTextDocument>();
    DocumentSink sink(*document);
    ReportFrame frame(sink);
    frame.Write(QStringLiteral("Site Health Report"), [&](ReportFrame& out) {
        if (!Data.HaveHistory) {
            out.Line(QStringLiteral("No crawl stored."));
            return;
        }
        for (const QString& line : SummaryText(Data).split(QLatin1Char('\n')))
            out.Line(line);
        int level = -1;
        for (const CheckGroup& group : Data.Summary.Checks) {
            if (!group.Count)
                continue;
            if (static_cast<int>(group.Level) != level) {
                level = static_cast<int>(group.Level);
                out.EmptyLine();
                out.SetBold(true);
                out.Line(QString::fromLatin1(SeverityTitles[level]));
                out.SetBold(false);
            }
            out.Line(
                QStringLiteral("%1  %2 [%3]").arg(group.Count).arg(Q(group.Text), Q(group.Check)));
        }
        out.EmptyLine();
        out.Line(QStringLiteral("Findings over the stored crawls:"));
    });
    // The chart as a picture, before "End of Report"'s empty line.
    QTextCursor cursor(document.get());
    cursor.movePosition(QTextCursor::End);
    const QImage picture = Chart->Picture(QSize(640, 280));
    document->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("trend.png")), picture);
    QTextImageFormat image;
    image.setName(QStringLiteral("trend.png"));
    image.setWidth(picture.width());
    image.setHeight(picture.height());
    cursor.insertBlock();
    cursor.insertImage(image);
    return document;
}

void HealthPage::SaveReport() {
    FileDialogOptions options;
    options.Title = QStringLiteral("Save Report to disk");
    options.Filter = QStringLiteral("PDF documents (*.pdf)|*.pdf|Rich Text files (*.rtf)|*.rtf");
    options.DefaultExt = QStringLiteral("pdf");
    options.ConfirmOverwrite = true;
    const QString path = Host.MessageBoxes().SaveFileName(options);
    if (path.isEmpty())
        return;
    const std::unique_ptr<QTextDocument> document = Report();
    QString error;
    const bool written =
        path.endsWith(QStringLiteral(".rtf"), Qt::CaseInsensitive)
            ? WriteRtfFile(path, *document, &error)
            : WriteReportPdf(path, *document, QStringLiteral("Site Health Report"), &error);
    if (!written)
        Host.MessageBoxes().Message(
            MsgKind::Error,
            QStringLiteral("An error occurred while trying to write the file, operation aborted."),
            MsgButtons::Ok);
}

void HealthPage::PrintReport() {
    if (!Host.Printers().HasPrinter()) {
        Host.MessageBoxes().Message(
            MsgKind::Information, QStringLiteral("There is no default printer currently selected."),
            MsgButtons::Ok);
        return;
    }
    QPrinter printer;
    SetReportMargins(printer);
    if (!Host.Printers().RunPrintDialog(printer, this))
        return;
    printer.setDocName(QStringLiteral("Site Health Report"));
    const std::unique_ptr<QTextDocument> document = Report();
    if (!PaintReportPages(*document, printer)) {
        printer.abort();
        Host.MessageBoxes().Message(
            MsgKind::Error,
            QStringLiteral(
                "An error occurred while trying to print the Report, operation aborted."),
            MsgButtons::Ok);
    }
}

void HealthPage::ExportCsv() {
    if (!Data.Findings || ExportRunning)
        return;
    FileDialogOptions options;
    options.Title = QStringLiteral("Export Findings");
    options.Filter = QStringLiteral("CSV files (*.csv)|*.csv");
    options.DefaultExt = QStringLiteral("csv");
    options.ConfirmOverwrite = true;
    const QString path = Host.MessageBoxes().SaveFileName(options);
    if (path.isEmpty())
        return;
    // Every finding of the crawl (fixed ones too when comparing), the link
    // score beside the columns the command line writes; through a part file
    // so a failed write leaves no half file. A million findings take a
    // while: written on a thread of its own from the snapshot's findings,
    // which nothing changes.
    std::vector<std::string> columns{"check", "severity", "url", "detail", "link_score"};
    if (Data.ComparedWith)
        columns.push_back("change");
    ExportRunning = true;
    SetBusy(QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()));
    QPointer<HealthPage> self(this);
    std::thread([self, alive = Alive, findings = Data.Findings, columns = std::move(columns),
                 target = path.toStdString()] {
        const std::string part = target + ".part";
        bool ok = false;
        {
            std::ofstream out(part, std::ios::binary | std::ios::trunc);
            if (out)
                WriteFindingsCsv(out, *findings, columns);
            out.flush();
            ok = static_cast<bool>(out);
        }
        ok = ok && std::rename(part.c_str(), target.c_str()) == 0;
        if (!ok)
            std::remove(part.c_str());
        if (!alive->load() || !qApp)
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, ok] {
                if (!self)
                    return;
                self->ExportRunning = false;
                self->SetBusy(self->Loading() ? QStringLiteral("Reading the crawl history...")
                                              : QString());
                const QString error =
                    ok ? QString()
                       : QStringLiteral("An error occurred while trying to write the file, "
                                        "operation aborted.");
                if (!ok)
                    self->Host.MessageBoxes().Message(MsgKind::Error, error, MsgButtons::Ok);
                emit self->Exported(error);
            },
            Qt::QueuedConnection);
    }).detach();
}

void HealthPage::SubmitAllThroughIndexNow() {
    const QString path = Host.CrawlHistoryPath();
    if (path.isEmpty()) {
        Host.MessageBoxes().Message(MsgKind::Information,
                                    QStringLiteral("There is no crawl to submit yet: save the "
                                                   "project and update its site map first."),
                                    MsgButtons::Ok);
        return;
    }
    SubmitButton->setEnabled(false);
    // A crawl of a million pages takes a moment to read: a thread of its own.
    QPointer<HealthPage> self(this);
    std::thread([self, alive = Alive, path = path.toStdString()] {
        auto batches = std::make_shared<std::vector<std::string>>();
        auto error = std::make_shared<std::string>();
        History history;
        if (history.Open(path, false, *error))
            *batches = LatestSubmissionBatches(history, *error);
        if (!alive->load() || !qApp)
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, batches, error] {
                if (!self)
                    return;
                std::size_t pages = 0;
                for (const std::string& batch : *batches)
                    pages += std::size_t(std::count(batch.begin(), batch.end(), '\n'));
                Dialogs& boxes = self->Host.MessageBoxes();
                if (pages == 0) {
                    self->SubmitButton->setEnabled(true);
                    boxes.Message(
                        MsgKind::Information,
                        error->empty()
                            ? QStringLiteral("The latest crawl holds no indexable page to submit.")
                            : QStringLiteral("There is no crawl to submit: %1.")
                                  .arg(QString::fromStdString(*error)),
                        MsgButtons::Ok);
                    return;
                }
                if (boxes.Message(MsgKind::Confirm,
                                  QStringLiteral("Submit the %1 indexable pages of the latest "
                                                 "crawl through IndexNow?")
                                      .arg(pages),
                                  MsgButtons::YesNo) != MsgAnswer::Yes) {
                    self->SubmitButton->setEnabled(true);
                    return;
                }
                self->SubmitBatches(batches, 0, std::make_shared<QStringList>());
            },
            Qt::QueuedConnection);
    }).detach();
}

// One batch after the other, so that a service that refuses the first is not
// sent the rest; every answer is shown as the server gave it.
void HealthPage::SubmitBatches(std::shared_ptr<std::vector<std::string>> batches, std::size_t next,
                               std::shared_ptr<QStringList> answers) {
    const bool stop = !answers->isEmpty() && !answers->last().contains(QLatin1String("accepted"));
    if (next == batches->size() || stop) {
        SubmitButton->setEnabled(true);
        QString text;
        if (answers->size() == 1 && batches->size() == 1) {
            text = answers->first();
        } else {
            for (qsizetype i = 0; i < answers->size(); ++i)
                text += QStringLiteral("Batch %1 of %2: %3\n")
                            .arg(i + 1)
                            .arg(batches->size())
                            .arg(answers->at(i));
            if (stop && next < batches->size())
                text += QStringLiteral("The other batches were not sent.");
        }
        const bool accepted = !stop;
        if (text.startsWith(QLatin1String("not-configured")))
            text += QStringLiteral("\nSet up an IndexNow service in Tools > Search Services...");
        Host.MessageBoxes().Message(accepted ? MsgKind::Information : MsgKind::Warning,
                                    text.trimmed(), MsgButtons::Ok);
        return;
    }
    QPointer<HealthPage> self(this);
    Host.SubmitToIndexNow(QByteArray::fromStdString((*batches)[next]),
                          [self, batches, next, answers](const QString& answer) {
                              if (!self)
                                  return;
                              answers->append(answer.trimmed());
                              self->SubmitBatches(batches, next + 1, answers);
                          });
}

} // namespace vantora::health
