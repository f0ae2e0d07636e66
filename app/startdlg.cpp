#include "startdlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStyle>
#include <QVBoxLayout>

namespace vantora {

QString TipOfTheDayWindow::IntroTip() {
    return QStringLiteral(
        "Creating new projects is easy, you can select either the File Menu's 'New...' item, or "
        "the Tool Bar's 'New' icon with the mouse.\n\nEnter all of the required information in "
        "the 'Project Settings' Dialog-box and that's it. But before you can do anything useful "
        "with your new Project, you must first run the 'Webcharter'. This creates a 'Map' of the "
        "site in your project from which all of the other Vantora tools work. See the Help file "
        "for information on getting the most from each Vantora tool.");
}

QStringList TipOfTheDayWindow::Tips() {
    return {
        QStringLiteral("As a shortcut, you can start most of the Vantora tools from the Pop-up "
                       "menu in the Webcharter's tree view, simply click the right mouse button "
                       "over the tree view and you will see many other useful features."),
        QStringLiteral("You can set how long the Vantora software will wait before checking the "
                       "Bulletin server for new messages by opening the 'Program Options' Dialog "
                       "box from the File menu."),
        QStringLiteral(
            "You can make changes, and add notes to generated reports before Printing or saving "
            "them to disk by either selecting 'Edit Report' from the Tools or Report Pop-up menus "
            "or by selecting the Edit icon from the Tool Bar.\n\nNote: Any changes you make to "
            "reports are NOT saved with project files, although you can save them in Rich Text "
            "format and Open them in a Word Processor at a later date."),
        QStringLiteral("You can quickly access an old report for any Web page in the current Site "
                       "Map by selecting it and using the Pop-up menu over the tree view. "
                       "Selecting the relevant 'Show... Report' item will automatically search for "
                       "the latest report and display it for you.\n\nIf no previous report exists, "
                       "the Vantora will try to create a new report for you, however this can be "
                       "turned off from the 'Program Options' Dialog-box if you wish."),
        QStringLiteral("In most of the tools Report views, you can maximise the report viewing "
                       "space by clicking on the titles of the data entry frames. You will notice "
                       "the frames which allow this have buttons as titles, and can be toggled "
                       "between their maximised and minimised states at any time using the mouse."),
        QStringLiteral(
            "You can change the distribution of space between the Site Map and the Tools report "
            "views by dragging the 'Splitter' bar that lies in between them. To do this, click and "
            "hold the mouse pointer over the bar and move it to what ever position you "
            "like.\n\nThis can also be done in the Bulletin Board Tool, allowing you to alter the "
            "distribution of space between the Message List and Message View."),
        QStringLiteral("You can add 50 Url's to Infoseek in one day."),
        QStringLiteral("Most search engines display less than 250 characters in your meta tags."),
        QStringLiteral("You can add 50 URL's to HotBot in one day."),
        QStringLiteral("Web advertinsing revenue could reach $1 billion by the end of 1998."),
        QStringLiteral("Backwatch could find you that hidden awared for your site."),
        QStringLiteral("Show the Vantora banner on your site and support the campaign for a "
                       "search-friendly Web."),
        QStringLiteral("Alta Vista will accept up to seven URL's in one day."),
        QStringLiteral("You can submit your site favourably with Enginepost."),
        QStringLiteral("Yahoo! is the most popular search engine on the net."),
        QStringLiteral("Many keywords are ignored by search engines."),
        QStringLiteral("You can generate full meta tags with Tagsmith."),
        QStringLiteral(
            "Irresponsible marketing could get you banned from search engines for life."),
        QStringLiteral("There are over 320 million registered pages on the Internet."),
        QStringLiteral("Peoples bookmarked descriptions come from your <Title> tag."),
        QStringLiteral(
            "Wordweigh could help you save time finding succesful keyword combinations."),
    };
}

TipOfTheDayWindow::TipOfTheDayWindow(int& mode, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      Mode(mode) {
    setObjectName(QStringLiteral("TipOfTheDay"));
    setWindowTitle(QStringLiteral("Welcome - Tip of the Day"));
    setModal(false);
    Draw = [](int count) { return int(QRandomGenerator::global()->bounded(count)); };

    auto* welcome = new QLabel(QStringLiteral("Welcome to <b>The Vantora</b>"), this);
    welcome->setObjectName(QStringLiteral("TipWelcome"));
    QFont large = welcome->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    welcome->setFont(large);

    // The white sunken panel: an icon, "Did you know..." and the tip.
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("TipPanel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(white);
    auto* icon = new QLabel(panel);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* heading = new QLabel(QStringLiteral("Did you know..."), panel);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    TipText = new QLabel(panel);
    TipText->setObjectName(QStringLiteral("TipText"));
    TipText->setWordWrap(true);
    TipText->setTextFormat(Qt::PlainText);
    TipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TipText->setMinimumSize(340, 150);
    auto* panelLayout = new QGridLayout(panel);
    panelLayout->addWidget(icon, 0, 0, 2, 1);
    panelLayout->addWidget(heading, 0, 1);
    panelLayout->addWidget(TipText, 1, 1);
    panelLayout->setColumnStretch(1, 1);
    panelLayout->setRowStretch(1, 1);

    LaunchHelpButton = new QPushButton(QStringLiteral("Launch Help"), this);
    LaunchHelpButton->setObjectName(QStringLiteral("TipLaunchHelp"));
    LaunchHelpButton->setAutoDefault(false);
    AnotherTipButton = new QPushButton(QStringLiteral("Another Tip"), this);
    AnotherTipButton->setObjectName(QStringLiteral("TipAnotherTip"));
    AnotherTipButton->setAutoDefault(false);
    auto* side = new QVBoxLayout;
    side->addWidget(LaunchHelpButton);
    side->addWidget(AnotherTipButton);
    side->addStretch(1);

    auto* separator = new QFrame(this);
    separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    ShowNextTime =
        new QCheckBox(QStringLiteral("Show 'Tip of the day' next time you start ZEPH."), this);
    ShowNextTime->setObjectName(QStringLiteral("TipShowNextTime"));
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("TipClose"));
    CloseButton->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ShowNextTime);
    bottom->addStretch(1);
    bottom->addWidget(CloseButton);

    auto* grid = new QGridLayout(this);
    grid->addWidget(welcome, 0, 0, 1, 2);
    grid->addWidget(panel, 1, 0);
    grid->addLayout(side, 1, 1);
    grid->addWidget(separator, 2, 0, 1, 2);
    grid->addLayout(bottom, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(AnotherTipButton, &QPushButton::clicked, this, &TipOfTheDayWindow::AnotherTip);
    connect(LaunchHelpButton, &QPushButton::clicked, this, &TipOfTheDayWindow::HelpRequested);
    connect(CloseButton, &QPushButton::clicked, this, &TipOfTheDayWindow::reject);
}

void TipOfTheDayWindow::ShowTipOfTheDay() {
    if (Mode == 2) {
        TipText->setText(IntroTip());
        ShowNextTime->setChecked(true);
        ShowNextTime->hide();
        Mode = 1;
    } else {
        ShowNextTime->setChecked(true);
        ShowNextTime->show();
        AnotherTip();
    }
    show();
    raise();
}

void TipOfTheDayWindow::AnotherTip() {
    const QStringList tips = Tips();
    const QString shown = TipText->text();
    QString next;
    // The tips are all different, so a draw other than the shown one comes
    // within a few tries.
    do
        next = tips.at(qBound(0, Draw(int(tips.size())), int(tips.size()) - 1));
    while (next == shown);
    TipText->setText(next);
}

void TipOfTheDayWindow::reject() {
    Mode = ShowNextTime->isChecked() ? 1 : 0;
    QDialog::reject();
}

} // namespace vantora
