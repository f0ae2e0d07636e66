#include "New.h"

#include "Dialogs.h"
#include "ProjectData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
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
    auto* proxyColumn = new QVBoxLayout(proxyGroup);
    proxyColumn->addWidget(ProxyCheck);
    proxyColumn->addWidget(panel);
    proxyColumn->addLayout(renderRow);

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
    return {UrlField->text(), ProxyCheck->isChecked(), ServerField->text(), PortField->text(),
            RenderField->currentData().toString()};
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
    case SettingsField::None:
        break;
    }
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
