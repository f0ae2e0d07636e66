#include "MapperInfoDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace vantora {

MapperInfoDialog::MapperInfoDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MapperInfoDialog"));
    setWindowTitle(QStringLiteral("Webcharter - Information"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setModal(false);

    auto* panel = new QWidget(this);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);

    auto* icon = new QLabel(panel);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* heading = new QLabel(QStringLiteral("Did you know..."), panel);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    const QString bullet = QString(QChar(0x2022)) + QLatin1Char(' ');
    auto* text = new QLabel(panel);
    text->setWordWrap(true);
    text->setText(QStringLiteral("The Webcharter will:\n") + bullet +
                  QStringLiteral("List all of the site's URLs\n") + bullet +
                  QStringLiteral("Check for broken Links\n") + bullet +
                  QStringLiteral("List all external links\n") + bullet +
                  QStringLiteral("Collect all e-mail addresses\n\n"
                                 "Giving you an overall structure of your site. Your effective "
                                 "Internet marketing starts here!\n\n"
                                 "Please note that for larger sites the Webcharter process can "
                                 "take a relatively long time depending upon your geographic "
                                 "location, your connection and network. Please be patient."));
    // What the Webcharter has done so far, as it reports it.
    Progress = new QLabel(panel);
    Progress->setObjectName(QStringLiteral("ProgressLabel"));
    auto* textColumn = new QVBoxLayout;
    textColumn->addWidget(heading);
    textColumn->addWidget(text);
    textColumn->addStretch();
    textColumn->addWidget(Progress);
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->addWidget(icon);
    panelLayout->addLayout(textColumn, 1);

    ShowAgainBox = new QCheckBox(QStringLiteral("Show this message again this session."), this);
    ShowAgainBox->setObjectName(QStringLiteral("ShowAgainCheck"));
    auto* help = new QPushButton(QStringLiteral("Launch Help"), this);
    help->setObjectName(QStringLiteral("LaunchHelpButton"));
    help->setAutoDefault(false);
    auto* tip = new QPushButton(QStringLiteral("Another Tip"), this);
    tip->setObjectName(QStringLiteral("AnotherTipButton"));
    tip->setEnabled(false);
    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ShowAgainBox);
    buttons->addStretch();
    buttons->addWidget(help);
    buttons->addWidget(tip);
    buttons->addWidget(OkButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addLayout(buttons);

    connect(help, &QPushButton::clicked, this, &MapperInfoDialog::HelpRequested);
    connect(OkButton, &QPushButton::clicked, this, &MapperInfoDialog::Confirm);
    setFixedSize(460, 350);
}

void MapperInfoDialog::ShowProgress(const QString& text) {
    Progress->setText(text);
}

void MapperInfoDialog::ShowInfo() {
    ShowAgainBox->setChecked(true);
    Progress->clear();
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    OkButton->setFocus();
}

bool MapperInfoDialog::ShowAgain() const {
    return ShowAgainBox->isChecked();
}

void MapperInfoDialog::Confirm() {
    emit ShowAgainChosen(ShowAgainBox->isChecked());
    hide();
}

void MapperInfoDialog::reject() {
    Confirm();
}

} // namespace vantora
