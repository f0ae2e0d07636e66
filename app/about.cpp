#include "about.h"

#include "HelpLinks.h"
#include "splash.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

namespace {

// An address shown blue and underlined with a hand cursor; a click runs open.
QLabel* MailLink(const char* address, QWidget* parent) {
    auto* link = new QLabel(parent);
    link->setText(QStringLiteral("<a href=\"mailto:%1\" style=\"color:#0000ff;\">%1</a>")
                      .arg(QString::fromLatin1(address)));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    link->setCursor(Qt::PointingHandCursor);
    link->setOpenExternalLinks(false);
    return link;
}

} // namespace

AboutBox::AboutBox(ShellLauncher& shell, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    auto* picture = new QLabel(this);
    picture->setPixmap(DrawSplashPicture(false));
    auto* version = new QLabel(QStringLiteral("Version ") + Version(), this);
    version->setObjectName(QStringLiteral("AboutVersion"));
    version->setAlignment(Qt::AlignCenter);

    SupportLink = MailLink(SupportAddress, this);
    SupportLink->setObjectName(QStringLiteral("AboutSupport"));
    SalesLink = MailLink(SalesAddress, this);
    SalesLink->setObjectName(QStringLiteral("AboutSales"));
    connect(SupportLink, &QLabel::linkActivated, this, [&shell] { MailSupport(shell); });
    connect(SalesLink, &QLabel::linkActivated, this, [&shell] { MailSales(shell); });
    auto* addresses = new QGridLayout;
    addresses->addWidget(new QLabel(QStringLiteral("Support:"), this), 0, 0);
    addresses->addWidget(SupportLink, 0, 1);
    addresses->addWidget(new QLabel(QStringLiteral("Sales:"), this), 1, 0);
    addresses->addWidget(SalesLink, 1, 1);
    addresses->setColumnStretch(1, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(version);
    layout->addLayout(addresses);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vantora
