// Takes the pictures of the help pages: the program's main window over a
// sample project, each tool page with a stored report, the tip of the day and
// the bulletin board, captured from the screen. Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1280x800x24" help_screenshots OUTPUT_FOLDER
#include "BulletinPage.h"
#include "Main.h"
#include "ProjectFile.h"
#include "ReportView.h"
#include "SiteMapPanel.h"
#include "WindowFixture.h"
#include "about.h"
#include "startdlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

using namespace vantora;
using namespace vantora::test;

namespace {

// Answers of the analysis server for two pages of the sample site, as stored.
const char* const WordweighTeak =
    "http://www.greenbench.example/teak-benches.html<br>KEYWORDS: teak garden benches<br>PERCEN"
    "TAGE: 42<br>PROBLEM: The title is short (296 of about 600 pixels).<br>A short title leaves"
    " room unused in the search result that could describe the page and draw the click.<br>Leng"
    "then the title to between 400 and 600 pixels, roughly 45 to 60 characters.<br>K2<br>PROBLE"
    "M: The meta description is short (52 characters).<br>Descriptions of 121 to 156 characters"
    " fill the search result's snippet without being cut.<br>Write a description of 121 to 156 "
    "characters.<br>K4<br>PROBLEM: The text is short (31 words).<br>Pages with little text give"
    " search engines little to judge them by and rarely rank well.<br>Write at least 300 words "
    "of useful text on the page's subject.<br>K10<br>PROBLEM: The key words appear 2 times in 3"
    "1 words, too often.<br>Repeating the key words beyond natural use reads as keyword stuffin"
    "g, which search engines penalise.<br>Use \"teak garden benches\" at most 1 times and write t"
    "he rest naturally.<br>K6<br>PROBLEM: Too few subheadings mention the key words (0 of 1).<b"
    "r>Subheadings that name the topic help readers and search engines; repeating it in all of "
    "them reads as over-optimised.<br>Mention \"teak garden benches\" in between a third and thre"
    "e quarters of the subheadings.<br>K7<br>PROBLEM: The page has no images.<br>Images with a "
    "fitting alternative text add relevance and can be found in image search.<br>Add an image w"
    "hose alt text names \"teak garden benches\".<br>K8<br>";
const char* const WordweighProducts =
    "http://www.greenbench.example/products.html<br>KEYWORDS: teak garden benches<br>PERCENTAGE"
    ": 40<br>PROBLEM: The title is short (71 of about 600 pixels).<br>A short title leaves room"
    " unused in the search result that could describe the page and draw the click.<br>Lengthen "
    "the title to between 400 and 600 pixels, roughly 45 to 60 characters.<br>K2<br>PROBLEM: Th"
    "e page has no meta description.<br>Without one, search engines pick a snippet of the page "
    "themselves, which may not sell the page.<br>Add a meta description of 120 to 156 character"
    "s that names the key words.<br>K4<br>PROBLEM: The text is short (50 words).<br>Pages with "
    "little text give search engines little to judge them by and rarely rank well.<br>Write at "
    "least 300 words of useful text on the page's subject.<br>K10<br>PROBLEM: The key words are"
    " missing from the title.<br>The title is the strongest on-page signal of what a page is ab"
    "out and is shown as the headline of the search result.<br>Write a title that begins with \""
    "teak garden benches\".<br>K1<br>PROBLEM: The key words are missing from the first paragraph"
    ".<br>The opening paragraph tells readers and search engines what the page is about.<br>Use"
    " \"teak garden benches\" in the first sentence of the page.<br>K5<br>PROBLEM: The page has n"
    "o images.<br>Images with a fitting alternative text add relevance and can be found in imag"
    "e search.<br>Add an image whose alt text names \"teak garden benches\".<br>K8<br>PROBLEM: Th"
    "e key words are missing from the page's address.<br>Words in the address show searchers an"
    "d search engines what the page holds.<br>Name the page after its key words, for example .."
    "./teak-garden-benches.html, and redirect the old address.<br>K9<br>";
const char* const StuffwatchProducts =
    "http://www.greenbench.example/products.html<br>VERDICT: worth a review, 3 points<br>Text i"
    "n the colour of its background (#ffffff).<br>div: teak bench garden bench wooden bench out"
    "door bench park bench<br>Search engines' spam policies name text in the colour of its back"
    "ground (white on white) as hidden text.<br>S2<br>";
const char* const StuffwatchTeak =
    "http://www.greenbench.example/teak-benches.html<br>VERDICT: clean, 0 points<br>NO-SPAM<br>";

ProjectData SampleProject() {
    ProjectData p;
    p.RootHost = QStringLiteral("www.greenbench.example");
    p.RootPath = QStringLiteral("/");
    p.BackwatchBulletins = QStringLiteral("Y");
    p.RankscoutBulletins = QStringLiteral("Y");
    p.SiteMapLines = QStringList{"WEBCHARTER",
                                 "<ROOT>http://www.greenbench.example/",
                                 "<PAGE>http://www.greenbench.example/",
                                 "<PUSH>",
                                 "<PAGE>products.html",
                                 "<PUSH>",
                                 "<PAGE>teak-benches.html",
                                 "<PAGE>garden-tables.html",
                                 "<PAGE>chairs.html",
                                 "<BROKEN>http://www.greenbench.example/old-catalogue.html",
                                 "<POP>",
                                 "<PAGE>about.html",
                                 "<PUSH>",
                                 "<MAILTO>info@greenbench.example",
                                 "<LINK>http://www.woodcare.example/",
                                 "<POP>",
                                 "<PAGE>contact.html",
                                 "<PUSH>",
                                 "<MAILTO>sales@greenbench.example",
                                 "<ERROR>http://www.greenbench.example/cgi-bin/form.cgi 500",
                                 "<POP>",
                                 "<POP>",
                                 "<END>"};
    const QString products = QStringLiteral("http://www.greenbench.example/products.html");
    const QString teak = QStringLiteral("http://www.greenbench.example/teak-benches.html");
    p.WordweighArchive.Append(products, QStringLiteral("01/12/2026 09:12:40"),
                              QString::fromUtf8(WordweighProducts), QStringLiteral("40"));
    p.WordweighArchive.Append(teak, QStringLiteral("08/12/2026 10:15:02"),
                              QString::fromUtf8(WordweighTeak), QStringLiteral("42"));
    p.StuffwatchArchive.Append(teak, QStringLiteral("08/12/2026 10:16:30"),
                               QString::fromUtf8(StuffwatchTeak));
    p.StuffwatchArchive.Append(products, QStringLiteral("08/12/2026 10:16:31"),
                               QString::fromUtf8(StuffwatchProducts));
    p.RankscoutArchive.Append(
        teak, QStringLiteral("08/12/2026 10:20:11"),
        QStringLiteral("<ROOT>") + teak +
            QStringLiteral("<br><KEYWORDS>teak garden benches<br>"
                           "<ENGINE>ALTAVISTA<br><PAGE>1. http://www.benchworld.example/teak/<br>"
                           "<PAGE>2. http://www.gardenstore.example/benches.html<br>"
                           "<PAGE>3. http://www.greenbench.example/teak-benches.html<br>"
                           "<MATCH>3<br>"
                           "<ENGINE>HOTBOT<br><NOTE>Not among the first 50 results of mysearch.<br>"
                           "<PAGE>1. http://www.gardenstore.example/benches.html<br>"
                           "<PAGE>2. http://www.teakdirect.example/<br><MATCH>0<br>"
                           "<ENGINE>LYCOS<br>"
                           "<PAGE>1. http://www.greenbench.example/teak-benches.html<br>"
                           "<MATCH>1<br>"));
    p.EnginepostArchive.Append(
        teak, QStringLiteral("08/12/2026 10:25:45"),
        teak + QStringLiteral("<br>2 of 3 submitted<br>Successfully submitted ") + teak +
            QStringLiteral(" to AltaVista (indexnow).<br>OK 200<br>Successfully submitted ") +
            teak +
            QStringLiteral(" to HotBot (indexnow).<br>OK 200<br>Not submitted to Lycos: no "
                           "submission service is configured for it.<br>NOT-CONFIGURED<br>"));
    p.BackwatchArchive.Append(
        teak, QStringLiteral("08/12/2026 10:31:08"),
        teak + QStringLiteral("<br>.<br>"
                              "http://www.gardenlinks.example/furniture.html<br>Garden links"
                              "<br>Teak benches<br>follow<br>verified<br>search<br>"
                              "http://blog.outdoorliving.example/2026/teak<br>Outdoor living"
                              "<br>Green Bench<br>follow<br>verified<br>index<br>"));
    p.BulletinMessages.Append(
        QStringLiteral("Hello,<br><br>Your page teak-benches.html now ranks 3rd on ALTAVISTA for "
                       "\"teak garden benches\" (it was 9th last month).<br><br>Rankscout "
                       "bulletin service"),
        QStringLiteral("Rankscout bulletins"), teak, QStringLiteral("0"));
    p.BulletinMessages.Append(
        QStringLiteral("A new page links to products.html:<br>"
                       "http://www.gardenlinks.example/furniture.html<br><br>Backwatch bulletin "
                       "service"),
        QStringLiteral("Backwatch bulletins"), products, QStringLiteral("1"));
    p.BulletinMessages.Append(
        QStringLiteral("Thank you for registering Vantora."), QStringLiteral("Korvane Ltd."),
        QStringLiteral("http://www.greenbench.example/"), QStringLiteral("1"));
    return p;
}

void Settle(int ms = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// The screen's picture of a rectangle: what a user sees there, every window
// stacked on it included.
bool SaveScreen(const QRect& rect, const QString& path) {
    Settle();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, rect.x(), rect.y(),
                                                                      rect.width(), rect.height());
    const bool saved = !shot.isNull() && shot.save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

bool SaveWindow(QWidget* window, const QString& path) {
    return SaveScreen(window->frameGeometry(), path);
}

// Shows the newest stored report of a tool page through its old-report list.
void ShowNewestReport(QWidget* page) {
    for (QComboBox* list : page->findChildren<QComboBox*>()) {
        if (!list->objectName().endsWith(QStringLiteral("OldReportList")) || list->count() == 0)
            continue;
        const int last = list->count() - 1;
        list->setCurrentIndex(last);
        QMetaObject::invokeMethod(list, "activated", Q_ARG(int, last));
    }
}

QPushButton* ButtonOf(QWidget* page, const QString& text) {
    for (QPushButton* button : page->findChildren<QPushButton*>())
        if (button->text().remove(QLatin1Char('&')) == text)
            return button;
    return nullptr;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    if (argc < 2) {
        std::fprintf(stderr, "usage: help_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    QDir().mkpath(out);
    bool ok = true;

    WindowFixture<> f;
    f.settings.Values[QStringLiteral("Tip")] = 2;
    f.settings.Values[QStringLiteral("HorzPos")] = 300;
    f.settings.Values[QStringLiteral("VertPos")] = 120;
    f.window = std::make_unique<MainWindow>(f.platform, QStringLiteral("/opt/vantora/vantora"));
    MainWindow& w = *f.window;
    w.SplashMinimumMs = 0;
    w.StartBundledServer = false;
    w.RunModal = [](QDialog*) { return int(QDialog::Rejected); };
    // HELP_SHOT_SIZE (for example 820x623) takes the pictures at another size.
    const QStringList size = qEnvironmentVariable("HELP_SHOT_SIZE").split(QLatin1Char('x'));
    if (size.size() == 2 && size[0].toInt() > 0 && size[1].toInt() > 0)
        w.setGeometry(0, 0, size[0].toInt(), size[1].toInt());
    else
        w.setGeometry(0, 0, 1100, 720);
    w.show();
    w.Startup({});
    w.TipWindow->move(w.geometry().center() - w.TipWindow->rect().center());
    ok &= SaveWindow(&w, out + QStringLiteral("start.png"));
    w.TipWindow->CloseButton->click();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("greenbench.zpr"));
    if (!WriteProjectFile(path, SampleProject()).IsOk())
        return 1;
    w.OpenProject(path);
    Settle();
    if (auto* tree = w.SiteMap->findChild<QTreeView*>()) {
        tree->expandAll();
        const QModelIndex root = tree->model()->index(0, 0);
        const QModelIndex products = tree->model()->index(0, 0, root);
        const QModelIndex teak = tree->model()->index(0, 0, products);
        tree->selectionModel()->select(teak, QItemSelectionModel::ClearAndSelect);
        tree->setCurrentIndex(teak);
    }
    for (int tab : {0, 1, 2, 3, 4})
        ShowNewestReport(w.ToolPages->widget(tab));

    const char* const names[] = {"wordweigh", "stuffwatch", "rankscout", "enginepost", "backwatch"};
    w.ToolPages->setCurrentIndex(0);
    ok &= SaveWindow(&w, out + QStringLiteral("project.png"));
    for (int tab = 0; tab < 5; ++tab) {
        w.ToolPages->setCurrentIndex(tab);
        ok &= SaveWindow(&w, out + QString::fromLatin1(names[tab]) + QStringLiteral(".png"));
    }

    // Tagsmith: its answers typed in, then Start.
    QWidget* tagsmith = w.ToolPages->widget(5);
    w.ToolPages->setCurrentIndex(5);
    const QStringList answers{QStringLiteral("Green Bench Ltd."),
                              QStringLiteral("Copyright 2026 Green Bench Ltd."),
                              QStringLiteral("Teak garden benches and tables, oiled by hand."),
                              QStringLiteral("teak garden benches, garden furniture, teak bench")};
    int next = 0;
    for (QLineEdit* edit : tagsmith->findChildren<QLineEdit*>())
        if (!edit->isReadOnly() && next < answers.size())
            edit->setText(answers[next++]);
    for (QPlainTextEdit* edit : tagsmith->findChildren<QPlainTextEdit*>())
        if (next < answers.size())
            edit->setPlainText(answers[next++]);
    for (QComboBox* list : tagsmith->findChildren<QComboBox*>())
        if (list->count() > 1)
            list->setCurrentIndex(1);
    if (QPushButton* start = ButtonOf(tagsmith, QStringLiteral("Start")))
        start->click();
    ok &= SaveWindow(&w, out + QStringLiteral("tagsmith.png"));

    // Sitecensus: the options dialog answered Ok with every section ticked.
    w.ToolPages->setCurrentIndex(6);
    w.RunModal = [](QDialog* dialog) {
        for (QAbstractButton* box : dialog->findChildren<QAbstractButton*>())
            if (box->isCheckable() && !box->text().startsWith(QStringLiteral("Limit")))
                box->setChecked(true);
        return int(QDialog::Accepted);
    };
    if (QPushButton* start = ButtonOf(w.ToolPages->widget(6), QStringLiteral("Start")))
        start->click();
    w.RunModal = [](QDialog*) { return int(QDialog::Rejected); };
    ok &= SaveWindow(&w, out + QStringLiteral("audit.png"));

    // The bulletin board with its first message open.
    w.ToolPages->setCurrentIndex(7);
    w.BBList->topLevelItem(0)->setSelected(true);
    w.BBPage->OpenSelectedMessage();
    ok &= SaveWindow(&w, out + QStringLiteral("bulletin.png"));

    // Tools > Search Services... over a hand-written server file.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QDir().mkpath(config.filePath(QStringLiteral("vantora")));
    {
        QFile file(config.filePath(QStringLiteral("vantora/vantora-server.toml")));
        if (file.open(QIODevice::WriteOnly))
            file.write("# the shop's analysis server\n"
                       "[search.ranks]\n"
                       "url = \"http://127.0.0.1:8888/search?q={query}&format=json&pageno={page}\""
                       " # my own instance\nresults = \"/results\"\n"
                       "[submit.submission]\nkind = \"get\"\n"
                       "url = \"https://submit.example/add?url={url}\"\n"
                       "[rankscout]\naltavista = \"ranks\"\n"
                       "[backwatch]\nsearch = \"ranks\"\n"
                       "[enginepost]\naltavista = \"submission\"\n");
    }
    w.RunModal = [&](QDialog* dialog) {
        dialog->show();
        dialog->move(w.geometry().center() - dialog->rect().center());
        ok &= SaveScreen(dialog->frameGeometry(), out + QStringLiteral("services.png"));
        dialog->hide();
        return int(QDialog::Rejected);
    };
    w.FindAction(QStringLiteral("actSearchServices"))->trigger();
    w.RunModal = [](QDialog*) { return int(QDialog::Rejected); };

    // The about box over the main window.
    w.About->show();
    w.About->move(w.geometry().center() - w.About->rect().center());
    ok &= SaveScreen(w.About->frameGeometry(), out + QStringLiteral("about.png"));
    w.About->hide();
    return ok ? 0 : 1;
}
