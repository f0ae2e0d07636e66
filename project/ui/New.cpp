#include "New.h"

#include "Dialogs.h"
#include "ProjectData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>

namespace vantora {

namespace {

bool TextHasAnyOf(const QString& text, QStringView rejected) {
    for (QChar c : text)
        if (rejected.contains(c))
            return true;
    return false;
}

// Keys that move around or act on the dialog rather than type a character.
bool IsControlKey(const QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return key->text().isEmpty() || key->modifiers().testFlag(Qt::ControlModifier);
    }
}

bool AllDigits(const QString& text) {
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// The key filters' rule for text that arrives whole (pasted, dropped, from
// an input method): a text holding a refused character is not taken.
class FieldRule : public QValidator {
  public:
    FieldRule(QString refused, bool digitsOnly, QObject* parent)
        : QValidator(parent), Refused(std::move(refused)), DigitsOnly(digitsOnly) {}
    State validate(QString& input, int&) const override {
        if (DigitsOnly ? !AllDigits(input) : TextHasAnyOf(input, Refused))
            return Invalid;
        return Acceptable;
    }

  private:
    QString Refused;
    bool DigitsOnly;
};

// A box for a few lines of text (patterns, headers), Tab moving on.
QPlainTextEdit* LinesEdit(const QString& name, const QString& hint, int lines) {
    auto* edit = new QPlainTextEdit;
    edit->setObjectName(name);
    edit->setPlaceholderText(hint);
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QMargins margins = edit->contentsMargins();
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * lines + 2 * edit->frameWidth() +
                         static_cast<int>(2 * edit->document()->documentMargin()) + margins.top() +
                         margins.bottom());
    return edit;
}

} // namespace

ProjectSettingsDialog::ProjectSettingsDialog(Dialogs& dialogs, ProjectSettingsHost& host,
                                             QWidget* parent)
    : QDialog(parent), Msg(dialogs), Host(host) {
    setObjectName(QStringLiteral("ProjectSettingsDialog"));
    setWindowTitle(QStringLiteral("Project Settings"));

    auto* urlGroup =
        new QGroupBox(QStringLiteral("Enter the Root URL to be used with the Webcharter..."));
    auto* urlLabel = new QLabel(QStringLiteral("URL:"));
    UrlField = new QLineEdit;
    UrlField->setObjectName(QStringLiteral("URLEdit"));
    UrlField->setMaxLength(SettingsFieldMaxLength);
    UrlField->setMinimumWidth(320);
    urlLabel->setBuddy(UrlField);
    auto* urlRow = new QHBoxLayout(urlGroup);
    urlRow->addWidget(urlLabel);
    urlRow->addWidget(UrlField);

    auto* proxyGroup = new QGroupBox(QStringLiteral("Advanced options..."));
    ProxyCheck = new QCheckBox(QStringLiteral("Connect through a Proxy Server..."));
    ProxyCheck->setObjectName(QStringLiteral("ProxyCheck"));
    auto* panel = new QFrame;
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ServerLabel = new QLabel(QStringLiteral("Server:"));
    ServerField = new QLineEdit;
    ServerField->setObjectName(QStringLiteral("ProxyServerEdit"));
    ServerField->setMaxLength(SettingsFieldMaxLength);
    PortLabel = new QLabel(QStringLiteral("Port:"));
    PortField = new QLineEdit;
    PortField->setObjectName(QStringLiteral("ProxyPortEdit"));
    PortField->setMaxLength(PortFieldMaxLength);
    PortField->setMaximumWidth(70);
    ServerLabel->setBuddy(ServerField);
    PortLabel->setBuddy(PortField);
    auto* grid = new QGridLayout(panel);
    grid->addWidget(ServerLabel, 0, 0);
    grid->addWidget(ServerField, 0, 1);
    grid->addWidget(PortLabel, 0, 2);
    grid->addWidget(PortField, 0, 3);
    // How the crawl reads pages that scripts build; kept beside the project file.
    auto* renderLabel = new QLabel(QStringLiteral("Render JavaScript:"));
    RenderField = new QComboBox;
    RenderField->setObjectName(QStringLiteral("RenderModeBox"));
    RenderField->addItem(QStringLiteral("Off"), QStringLiteral("off"));
    RenderField->addItem(QStringLiteral("Auto: pages that look built by scripts"),
                         QStringLiteral("auto"));
    RenderField->addItem(QStringLiteral("On: every page"), QStringLiteral("on"));
    renderLabel->setBuddy(RenderField);
    auto* renderRow = new QHBoxLayout;
    renderRow->addWidget(renderLabel);
    renderRow->addWidget(RenderField, 1);
    // How politely the site is crawled, and as whom; kept beside the project file.
    auto* crawlGrid = new QGridLayout;
    auto* agentLabel = new QLabel(QStringLiteral("User agent:"));
    AgentField = new QLineEdit;
    AgentField->setObjectName(QStringLiteral("UserAgentEdit"));
    AgentField->setMaxLength(SettingsFieldMaxLength);
    AgentField->setPlaceholderText(DefaultCrawlerUserAgent());
    AgentField->setToolTip(QStringLiteral("Empty: ") + DefaultCrawlerUserAgent());
    agentLabel->setBuddy(AgentField);
    auto* rateLabel = new QLabel(QStringLiteral("Requests per second:"));
    RateField = new QDoubleSpinBox;
    RateField->setObjectName(QStringLiteral("MaxRateBox"));
    RateField->setRange(0, MaxCrawlRate);
    RateField->setDecimals(2);
    RateField->setSpecialValueText(QStringLiteral("No limit"));
    rateLabel->setBuddy(RateField);
    auto* perHostLabel = new QLabel(QStringLiteral("Connections per host:"));
    PerHostField = new QSpinBox;
    PerHostField->setObjectName(QStringLiteral("PerHostBox"));
    PerHostField->setRange(0, MaxCrawlPerHost);
    PerHostField->setSpecialValueText(QStringLiteral("Default"));
    perHostLabel->setBuddy(PerHostField);
    auto* paceRow = new QHBoxLayout;
    paceRow->addWidget(RateField);
    paceRow->addSpacing(12);
    paceRow->addWidget(perHostLabel);
    paceRow->addWidget(PerHostField);
    paceRow->addStretch();
    const QString patternHint = QStringLiteral("Regular expressions, one a line");
    auto* includeLabel = new QLabel(QStringLiteral("Include URLs matching:"));
    IncludeField = LinesEdit(QStringLiteral("IncludeEdit"),
                             patternHint + QStringLiteral(" (empty: all URLs)"), 2);
    includeLabel->setBuddy(IncludeField);
    auto* excludeLabel = new QLabel(QStringLiteral("Exclude URLs matching:"));
    ExcludeField = LinesEdit(QStringLiteral("ExcludeEdit"), patternHint, 2);
    excludeLabel->setBuddy(ExcludeField);
    auto* cookieLabel = new QLabel(QStringLiteral("Cookie file:"));
    CookieField = new QLineEdit;
    CookieField->setObjectName(QStringLiteral("CookieFileEdit"));
    CookieField->setPlaceholderText(QStringLiteral("Cookies exported by a browser, for a login"));
    cookieLabel->setBuddy(CookieField);
    BrowseBtn = new QPushButton(QStringLiteral("Browse..."));
    BrowseBtn->setObjectName(QStringLiteral("BrowseCookieButton"));
    BrowseBtn->setAutoDefault(false);
    auto* cookieRow = new QHBoxLayout;
    cookieRow->addWidget(CookieField, 1);
    cookieRow->addWidget(BrowseBtn);
    auto* headersLabel = new QLabel(QStringLiteral("Extra request headers:"));
    HeadersField =
        LinesEdit(QStringLiteral("HeadersEdit"), QStringLiteral("Name: value, one a line"), 2);
    headersLabel->setBuddy(HeadersField);
    int row = 0;
    crawlGrid->addWidget(agentLabel, row, 0);
    crawlGrid->addWidget(AgentField, row++, 1);
    crawlGrid->addWidget(rateLabel, row, 0);
    crawlGrid->addLayout(paceRow, row++, 1);
    crawlGrid->addWidget(includeLabel, row, 0, Qt::AlignTop);
    crawlGrid->addWidget(IncludeField, row++, 1);
    crawlGrid->addWidget(excludeLabel, row, 0, Qt::AlignTop);
    crawlGrid->addWidget(ExcludeField, row++, 1);
    crawlGrid->addWidget(cookieLabel, row, 0);
    crawlGrid->addLayout(cookieRow, row++, 1);
    crawlGrid->addWidget(headersLabel, row, 0, Qt::AlignTop);
    crawlGrid->addWidget(HeadersField, row++, 1);
    crawlGrid->setColumnStretch(1, 1);

    auto* proxyColumn = new QVBoxLayout(proxyGroup);
    proxyColumn->addWidget(ProxyCheck);
    proxyColumn->addWidget(panel);
    proxyColumn->addLayout(renderRow);
    proxyColumn->addLayout(crawlGrid);

    OkBtn = new QPushButton(QStringLiteral("Ok"));
    OkBtn->setObjectName(QStringLiteral("OkButton"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    CancelBtn->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);

    auto* column = new QVBoxLayout(this);
    column->addWidget(urlGroup);
    column->addWidget(proxyGroup);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    for (QLineEdit* edit : {UrlField, ServerField, PortField})
        edit->installEventFilter(this);
    UrlField->setValidator(new FieldRule(RefusedInRootUrl(), false, UrlField));
    ServerField->setValidator(new FieldRule(QStringLiteral(" :"), false, ServerField));
    PortField->setValidator(new FieldRule(QString(), true, PortField));
    connect(UrlField, &QLineEdit::textChanged, this,
            [this](const QString& text) { OkBtn->setEnabled(!text.isEmpty()); });
    connect(ProxyCheck, &QCheckBox::toggled, this, [this] { UpdateProxyControls(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(BrowseBtn, &QPushButton::clicked, this, [this] { BrowseCookieFile(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    Reset();
}

void ProjectSettingsDialog::FillFromProject(const ProjectData& project) {
    SetFields(FieldsFromProject(project));
}

void ProjectSettingsDialog::Reset() {
    SetFields(EmptyFields());
}

ProjectSettingsFields ProjectSettingsDialog::Fields() const {
    ProjectSettingsFields fields{UrlField->text(),
                                 ProxyCheck->isChecked(),
                                 ServerField->text(),
                                 PortField->text(),
                                 RenderField->currentData().toString(),
                                 Shown};
    CrawlSettings& crawl = fields.Crawl;
    crawl.UserAgent = AgentField->text().trimmed();
    crawl.MaxRate = RateField->value();
    crawl.PerHost = PerHostField->value();
    crawl.Include = EntryLines(IncludeField->toPlainText());
    crawl.Exclude = EntryLines(ExcludeField->toPlainText());
    crawl.CookieFile = CookieField->text().trimmed();
    crawl.Headers = EntryLines(HeadersField->toPlainText());
    return fields;
}

void ProjectSettingsDialog::SetFields(const ProjectSettingsFields& fields) {
    UrlField->setText(fields.Url);
    OkBtn->setEnabled(!fields.Url.isEmpty());
    ProxyCheck->setChecked(fields.UseProxy);
    ServerField->setText(fields.ProxyServer);
    PortField->setText(fields.ProxyPort);
    // A value another version stored is shown as it is and kept unless changed.
    while (RenderField->count() > 3)
        RenderField->removeItem(3);
    if (RenderField->findData(fields.RenderMode) < 0)
        RenderField->addItem(fields.RenderMode, fields.RenderMode);
    RenderField->setCurrentIndex(RenderField->findData(fields.RenderMode));
    // What a newer version stored beside these rides along unchanged.
    Shown = fields.Crawl;
    AgentField->setText(fields.Crawl.UserAgent);
    RateField->setValue(fields.Crawl.MaxRate);
    PerHostField->setValue(fields.Crawl.PerHost);
    IncludeField->setPlainText(fields.Crawl.Include.join(u'\n'));
    ExcludeField->setPlainText(fields.Crawl.Exclude.join(u'\n'));
    CookieField->setText(fields.Crawl.CookieFile);
    HeadersField->setPlainText(fields.Crawl.Headers.join(u'\n'));
    UpdateProxyControls();
}

void ProjectSettingsDialog::UpdateProxyControls() {
    const bool on = ProxyCheck->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{ServerLabel, ServerField, PortLabel, PortField})
        w->setEnabled(on);
}

void ProjectSettingsDialog::NormaliseUrlField() {
    const UrlNormalisation normal = NormaliseRootUrl(UrlField->text());
    if (normal.Failed)
        Msg.Message(MsgKind::Error, UrlFormatErrorMessage(), MsgButtons::Ok);
    if (normal.Url != UrlField->text())
        UrlField->setText(normal.Url);
}

void ProjectSettingsDialog::OkClicked() {
    ProjectSettingsFields fields = Fields();
    const SettingsOkOutcome outcome = ApplyProjectSettings(fields, Host, Msg);
    if (fields.Url != UrlField->text())
        UrlField->setText(fields.Url);
    if (outcome.Accepted) {
        accept();
        return;
    }
    switch (outcome.Focus) {
    case SettingsField::Url:
        UrlField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::ProxyServer:
        ServerField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::ProxyPort:
        PortField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::UserAgent:
        AgentField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::Include:
        IncludeField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::Exclude:
        ExcludeField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::CookieFile:
        CookieField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::Headers:
        HeadersField->setFocus(Qt::OtherFocusReason);
        break;
    case SettingsField::None:
        break;
    }
}

void ProjectSettingsDialog::BrowseCookieFile() {
    FileDialogOptions options;
    options.Title = QStringLiteral("Cookie file");
    options.Filter = QStringLiteral("Cookie files (*.txt)|*.txt|All files (*)|*");
    options.MustExist = true;
    const QString chosen = Msg.OpenFileName(options);
    if (!chosen.isEmpty())
        CookieField->setText(chosen);
}

bool ProjectSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == UrlField)
            return TextHasAnyOf(key->text(), RefusedInRootUrl());
        if (watched == ServerField)
            return TextHasAnyOf(key->text(), u" :");
        if (watched == PortField)
            return !IsControlKey(key) && !AllDigits(key->text());
    } else if (event->type() == QEvent::FocusOut && watched == UrlField) {
        // Switching windows or opening a menu is not leaving the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            NormaliseUrlField();
    }
    return QDialog::eventFilter(watched, event);
}

void ProjectSettingsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    NormaliseUrlField();
    UrlField->setFocus(Qt::OtherFocusReason);
}

} // namespace vantora
