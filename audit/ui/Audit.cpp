#include "Audit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

namespace {

template <class W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QCheckBox* Box(const char* name, const char* caption, QWidget* parent) {
    return Named(new QCheckBox(QLatin1String(caption), parent), name);
}

QDateEdit* DatePicker(const char* name, QWidget* parent) {
    auto* picker = Named(new QDateEdit(parent), name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    picker->setEnabled(false);
    return picker;
}

} // namespace

AuditDialog::AuditDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Audit"));
    setWindowTitle(QStringLiteral("Sitecensus - Create a new Report..."));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    auto* contents = new QGroupBox(QStringLiteral("Select Report contents..."), this);
    auto* siteMap = new QGroupBox(QStringLiteral("Data from the SiteMap..."), contents);
    Broken = Box("Broken", "Pages with broken links or creating server errors.", siteMap);
    Mailto = Box("Mailto", "Pages with E-mail (mailto) links.", siteMap);
    ShowXtal = Box("ShowXtal", "Pages with external links.", siteMap);
    ListPages = Box("ListPages", "List all Web Pages (html pages).", siteMap);
    auto* siteMapLayout = new QVBoxLayout(siteMap);
    for (QCheckBox* box : {Broken, Mailto, ShowXtal, ListPages})
        siteMapLayout->addWidget(box);

    Spam = Box("Spam", "Pages that show spamming (Stuffwatch)", contents);
    LessEffective = Box("LessEffective", "Pages less than", contents);
    Effective = Named(new QComboBox(contents), "Effective");
    for (int p = 10; p <= 100; p += 10)
        Effective->addItem(QString::number(p));
    Effective->setToolTip(QStringLiteral("Percentage effectiveness, used to filter the output"));
    Remote = Box("Remote", "Pages with reciprocal links (Backwatch)", contents);
    Ranking = Box("Ranking", "Pages ranking above", contents);
    Rank = Named(new QComboBox(contents), "Rank");
    for (int r = 1; r <= 10; ++r)
        Rank->addItem(QString::number(r));
    Rank->setToolTip(QStringLiteral("Search engine positions, used to filter the output"));
    for (QComboBox* threshold : {Effective, Rank}) {
        threshold->setEditable(true);
        threshold->setInsertPolicy(QComboBox::NoInsert);
        threshold->lineEdit()->installEventFilter(this);
        threshold->setEnabled(false);
    }
    Effective->setEditText(QStringLiteral("80"));
    Rank->setEditText(QStringLiteral("5"));
    Effective->setFixedWidth(56);
    Rank->setFixedWidth(56);

    PrevSub = Box("PrevSub", "Pages previously submitted to", contents);
    SearchEngine = Named(new QComboBox(contents), "SearchEngine");
    SearchEngine->addItems(AuditSearchEngineItems());
    SearchEngine->setToolTip(QStringLiteral("Search engine, used to filter the output"));
    SearchEngine->setEnabled(false);
    Submited = Box("Submited", "Pages submitted", contents);
    Submited->setEnabled(false);
    SubmitType = Named(new QComboBox(contents), "SubmitType");
    SubmitType->addItems(AuditSubmitTypes());
    SubmitType->setToolTip(
        QStringLiteral("Condition under which data is handled, also uses the entered date"));
    SubmitType->setEnabled(false);
    SubmitDate = DatePicker("SubmitDate", contents);

    auto* grid = new QGridLayout;
    grid->addWidget(Spam, 0, 0, 1, 4);
    grid->addWidget(LessEffective, 1, 0, 1, 2);
    grid->addWidget(Effective, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("percent effective (Wordweigh)"), contents), 1, 3);
    grid->addWidget(Remote, 2, 0, 1, 4);
    grid->addWidget(Ranking, 3, 0, 1, 2);
    grid->addWidget(Rank, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("on search engines (Rankscout)"), contents), 3, 3);
    grid->addWidget(PrevSub, 4, 0, 1, 2);
    grid->addWidget(SearchEngine, 4, 2, 1, 2);
    auto* submitRow = new QHBoxLayout;
    submitRow->addSpacing(18);
    submitRow->addWidget(Submited);
    submitRow->addWidget(SubmitType);
    submitRow->addWidget(new QLabel(QStringLiteral("date"), contents));
    submitRow->addWidget(SubmitDate);
    submitRow->addStretch();
    grid->addLayout(submitRow, 5, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    auto* contentsLayout = new QVBoxLayout(contents);
    contentsLayout->addWidget(siteMap);
    contentsLayout->addLayout(grid);

    Limit = Named(new QGroupBox(QStringLiteral("Limit Report scope"), this), "Limit");
    Limit->setCheckable(true);
    Limit->setChecked(false);
    ScopeCapt =
        Named(new QLabel(QStringLiteral("Only include events after date"), Limit), "ScopeCapt");
    ScopeDate = DatePicker("ScopeDate", Limit);
    ScopeCapt->setEnabled(false);
    auto* limitLayout = new QHBoxLayout(Limit);
    limitLayout->addWidget(ScopeCapt);
    limitLayout->addWidget(ScopeDate);
    limitLayout->addStretch();

    OkButton = Named(new QPushButton(QStringLiteral("Ok"), this), "OkButton");
    OkButton->setDefault(true);
    CancelButton = Named(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton");
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(contents);
    layout->addWidget(Limit);
    layout->addStretch();
    layout->addLayout(buttons);

    // The enabling rules follow every change of a box, by the user or the
    // program.
    connect(LessEffective, &QCheckBox::toggled, Effective, &QWidget::setEnabled);
    connect(Ranking, &QCheckBox::toggled, Rank, &QWidget::setEnabled);
    connect(PrevSub, &QCheckBox::toggled, this, &AuditDialog::PrevSubClicked);
    connect(Submited, &QCheckBox::toggled, this, &AuditDialog::SubmitedClicked);
    connect(Limit, &QGroupBox::toggled, this, [this](bool on) {
        ScopeCapt->setEnabled(on);
        ScopeDate->setEnabled(on);
    });

    // 357 x 379 at 96 dots per inch, or what the contents need where the
    // fonts are larger.
    const QSize wanted = QSize(357, 379).expandedTo(sizeHint());
    setFixedSize(wanted);
}

void AuditDialog::PrevSubClicked() {
    SearchEngine->setEnabled(PrevSub->isChecked());
    if (!PrevSub->isChecked())
        Submited->setChecked(false);
    SubmitedClicked();
    Submited->setEnabled(PrevSub->isChecked());
}

void AuditDialog::SubmitedClicked() {
    SubmitType->setEnabled(Submited->isChecked());
    SubmitDate->setEnabled(Submited->isChecked());
}

void AuditDialog::PrepareShowing(const QDate& today) {
    SubmitDate->setDate(today);
    ScopeDate->setDate(today);
    SearchEngine->setCurrentIndex(0);
    SubmitType->setCurrentIndex(0);
}

AuditOptions AuditDialog::Choices() const {
    AuditOptions o;
    o.Broken = Broken->isChecked();
    o.Mailto = Mailto->isChecked();
    o.ShowXtal = ShowXtal->isChecked();
    o.ListPages = ListPages->isChecked();
    o.Spam = Spam->isChecked();
    o.LessEffective = LessEffective->isChecked();
    o.Remote = Remote->isChecked();
    o.Ranking = Ranking->isChecked();
    o.PrevSub = PrevSub->isChecked();
    o.Submited = Submited->isChecked();
    o.Limit = Limit->isChecked();
    o.Effective = Effective->currentText();
    o.Rank = Rank->currentText();
    o.SearchEngine = SearchEngine->currentText();
    o.SubmitType = SubmitType->currentText();
    o.SubmitDate = SubmitDate->date();
    o.ScopeDate = ScopeDate->date();
    return o;
}

bool AuditDialog::eventFilter(QObject* watched, QEvent* event) {
    // Only digits and backspace reach the two threshold texts; other typed
    // characters are dropped. Keys that type nothing (arrows, Delete,
    // shortcuts with Ctrl) pass.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool typesText = !text.isEmpty() && text.at(0).isPrint() &&
                               !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (typesText && key->key() != Qt::Key_Backspace) {
            for (const QChar c : text)
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vantora
