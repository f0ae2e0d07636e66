#include "startdlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
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
        QStringLiteral("Show your support: put the Korvane Ltd. banner on your own site."),
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

TipOfTheDayWindow::TipOfTheDayWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TipOfTheDay"));
    setWindowTitle(QStringLiteral("Tip of the Day"));
    setModal(false);
    auto* heading = new QLabel(QStringLiteral("<b>Did you know...</b>"), this);
    TipText = new QLabel(this);
    TipText->setWordWrap(true);
    TipText->setMinimumSize(360, 140);
    TipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TipText->setTextFormat(Qt::PlainText);
    ShowAtStartup = new QCheckBox(QStringLiteral("Show Tip of the Day on startup."), this);
    auto* next = new QPushButton(QStringLiteral("&Next Tip"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setDefault(true);
    connect(next, &QPushButton::clicked, this, [this] { ShowTip(1); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(ShowAtStartup, &QCheckBox::toggled, this,
            [this](bool on) { CurrentMode = on ? (CurrentMode > 0 ? CurrentMode : 1) : 0; });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ShowAtStartup);
    buttons->addStretch();
    buttons->addWidget(next);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(TipText, 1);
    layout->addLayout(buttons);
}

void TipOfTheDayWindow::ShowTip(int mode) {
    const QStringList tips = Tips();
    if (mode >= 2)
        TipText->setText(IntroTip());
    else
        TipText->setText(tips.at(QRandomGenerator::global()->bounded(tips.size())));
    CurrentMode = mode > 0 ? 1 : 0;
    ShowAtStartup->setChecked(CurrentMode > 0);
    show();
    raise();
}

int TipOfTheDayWindow::Mode() const {
    return CurrentMode;
}

} // namespace vantora
