#include "programopt.h"
#include "ScreenReaderName.h"

#include "Dialogs.h"
#include "HealthOptions.h"
#include "ProgramSettings.h"
#include "ProjectFile.h"
#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantora {

ProgramOptionsDialog::ProgramOptionsDialog(SettingsStore* settings, Dialogs* dialogs,
                                           ProgramOptions* options, QWidget* parent)
    : QDialog(parent), Settings(settings), Messages(dialogs), Options(options) {
    setObjectName(QStringLiteral("ProgramOptions"));
    setWindowTitle(QStringLiteral("Program Options"));
    setModal(true);

    auto* group = new QGroupBox(QStringLiteral("Options..."), this);
    DialBox = new QCheckBox(QStringLiteral("Prompt to Dial the Internet if not connected."), group);
    ReportGenBox = new QCheckBox(
        QStringLiteral("Automaticaly begin Report generation if no previous report exists."),
        group);
    CheckMsgBox =
        new QCheckBox(QStringLiteral("Automaticaly check for new Bulletin messages every"), group);
    MinutesField = new QComboBox(group);
    MinutesField->setEditable(true);
    MinutesField->addItems({QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("10"),
                            QStringLiteral("30"), QStringLiteral("60")});
    MinutesField->setInsertPolicy(QComboBox::NoInsert);
    MinutesField->lineEdit()->setMaxLength(3);
    MinutesField->lineEdit()->installEventFilter(this);
    MinutesField->installEventFilter(this);
    MinutesField->setFixedWidth(56);
    SetScreenReaderName(MinutesField,
                        QStringLiteral("Check for new Bulletin messages every (minutes)"));
    MinutesLabel = new QLabel(QStringLiteral("minutes."), group);
    // The box switches the periodic check on and off; the minutes are
    // edited only while it is on. Switched on from 0, it offers 5 minutes.
    connect(CheckMsgBox, &QCheckBox::toggled, this, [this](bool on) {
        MinutesField->setEnabled(on);
        MinutesLabel->setEnabled(on);
        qint32 minutes = 0;
        if (on && (!ParseDecimalInt(MinutesField->currentText(), minutes) || minutes == 0))
            MinutesField->setEditText(QStringLiteral("5"));
    });
    ClearBox = new QCheckBox(QStringLiteral("Clear Reports before adding new data."), group);
    LeaveBox = new QCheckBox(
        QStringLiteral("Leave previously generated 'Old Reports' instead of removing them."),
        group);
    TipBox = new QCheckBox(QStringLiteral("Show Tip of the Day on startup."), group);
    DialBox->setObjectName(QStringLiteral("DialBox"));
    ReportGenBox->setObjectName(QStringLiteral("ReportGenBox"));
    CheckMsgBox->setObjectName(QStringLiteral("CheckMsgBox"));
    MinutesField->setObjectName(QStringLiteral("MinutesField"));
    ClearBox->setObjectName(QStringLiteral("ClearBox"));
    LeaveBox->setObjectName(QStringLiteral("LeaveBox"));
    TipBox->setObjectName(QStringLiteral("TipBox"));

    auto* minutesRow = new QHBoxLayout;
    minutesRow->addWidget(CheckMsgBox);
    minutesRow->addWidget(MinutesField);
    minutesRow->addWidget(MinutesLabel);
    minutesRow->addStretch();
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(DialBox);
    groupLayout->addWidget(ReportGenBox);
    groupLayout->addLayout(minutesRow);
    groupLayout->addWidget(ClearBox);
    groupLayout->addWidget(LeaveBox);
    groupLayout->addWidget(TipBox);

    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OkButton, &QPushButton::clicked, this, &ProgramOptionsDialog::OkClicked);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("ProgramOptionsPages"));
    auto* general = new QWidget(pages);
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(group);
    generalLayout->addStretch(1);
    pages->addTab(general, QStringLiteral("Program"));
    HealthOptions = new health::HealthOptionsPage(pages);
    pages->addTab(HealthOptions, QStringLiteral("Site Health"));
    auto* server = new QWidget(pages);
    auto* serverLayout = new QVBoxLayout(server);
    auto* tokenLabel = new QLabel(QStringLiteral("Server token"), server);
    ServerTokenField = new QLineEdit(server);
    ServerTokenField->setObjectName(QStringLiteral("ServerTokenField"));
    ServerTokenField->setEchoMode(QLineEdit::Password);
    tokenLabel->setBuddy(ServerTokenField);
    SetScreenReaderName(ServerTokenField, QStringLiteral("Server token"));
    auto* tokenNote = new QLabel(
        QStringLiteral("The token of a shared analysis server, sent with every request to "
                       "the server address and to no other. Leave it empty for the "
                       "program's own server."),
        server);
    tokenNote->setWordWrap(true);
    serverLayout->addWidget(tokenLabel);
    serverLayout->addWidget(ServerTokenField);
    serverLayout->addWidget(tokenNote);
    serverLayout->addStretch(1);
    pages->addTab(server, QStringLiteral("Server"));
    layout->addWidget(pages);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgramOptionsDialog::FillFromOptions() {
    DialBox->setChecked(Options->Dial);
    ReportGenBox->setChecked(Options->ReportGen);
    ClearBox->setChecked(Options->Clear);
    LeaveBox->setChecked(Options->Leave);
    TipBox->setChecked(Options->TipOfTheDayMode > 0);
    MinutesField->setEditText(QString::number(Options->CheckMsg));
    CheckMsgBox->setChecked(Options->CheckMsg != 0);
    MinutesField->setEnabled(Options->CheckMsg != 0);
    MinutesLabel->setEnabled(Options->CheckMsg != 0);
    HealthOptions->Fill(Settings ? health::LoadCheckSettings(*Settings) : health::CheckSettings{});
    QString token;
    if (Settings && Settings->OpenKey(false)) {
        if (Settings->Contains(SettingKey::ServerToken))
            token = Settings->Value(SettingKey::ServerToken).toString().trimmed();
        Settings->CloseKey();
    }
    ServerTokenField->setText(token);
}

int ProgramOptionsDialog::ShowModal() {
    FillFromOptions();
    return exec();
}

bool ProgramOptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MinutesField->lineEdit() || watched == MinutesField) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            const bool navigation = text.isEmpty() || key->key() == Qt::Key_Return ||
                                    key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape ||
                                    key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
            const bool digit = text.size() == 1 && text[0] >= '0' && text[0] <= '9';
            if (!navigation && !digit && key->key() != Qt::Key_Backspace)
                return true; // rejected key
        } else if (event->type() == QEvent::FocusOut && watched == MinutesField->lineEdit()) {
            if (MinutesField->currentText().isEmpty())
                MinutesField->setEditText(QStringLiteral("0"));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ProgramOptionsDialog::OkClicked() {
    if (!Settings->OpenKey(true)) {
        accept();
        return;
    }
    Settings->SetValue(SettingKey::Dial, DialBox->isChecked() ? 1 : 0);
    Options->Dial = DialBox->isChecked();
    Settings->SetValue(SettingKey::ReportGen, ReportGenBox->isChecked() ? 1 : 0);
    Options->ReportGen = ReportGenBox->isChecked();

    const QString minutes = MinutesField->currentText();
    qint32 checkMsg = 0;
    if (CheckMsgBox->isChecked() && !ParseDecimalInt(minutes, checkMsg)) {
        Settings->CloseKey();
        Messages->GeneralError(NotIntegerMessage(minutes));
        return;
    }
    Settings->SetValue(SettingKey::CheckMsg, checkMsg);
    Options->CheckMsg = checkMsg;
    Settings->SetValue(SettingKey::Clear, ClearBox->isChecked() ? 1 : 0);
    Options->Clear = ClearBox->isChecked();
    Settings->SetValue(SettingKey::Leave, LeaveBox->isChecked() ? 1 : 0);
    Options->Leave = LeaveBox->isChecked();
    const int tip = TipBox->isChecked() ? 1 : 0;
    Settings->SetValue(SettingKey::Tip, tip);
    Options->TipOfTheDayMode = tip;
    // The token is written only once there is one, and emptied, not left
    // behind, when the user clears the field.
    const QString token = ServerTokenField->text().trimmed();
    const QString oldToken = Settings->Contains(SettingKey::ServerToken)
                                 ? Settings->Value(SettingKey::ServerToken).toString().trimmed()
                                 : QString();
    const bool tokenChanged = token != oldToken;
    if (tokenChanged)
        Settings->SetValue(SettingKey::ServerToken, token);
    Settings->CloseKey();
    health::SaveCheckSettings(*Settings, HealthOptions->Read());
    if (tokenChanged)
        emit ServerTokenChanged(token);
    accept();
}

} // namespace vantora
