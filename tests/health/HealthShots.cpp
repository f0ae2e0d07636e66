// Pictures of the Site Health page at the window's default size, over a
// project with a history of twelve crawls: the counts, a chosen check with
// its pages, the trend chart, and the checks' page of Program Options.
//   xvfb-run -a health_screenshots OUTPUT_FOLDER
#include "HealthPage.h"
#include "History.h"
#include "Main.h"
#include "ProjectFile.h"
#include "WindowFixture.h"
#include "programopt.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>

using namespace vantora;
using namespace vantora::test;

namespace {

const std::string Site = "http://www.greenbench.example/";

bool Save(QWidget* widget, const QString& path) {
    QTest::qWait(200);
    const bool ok = widget->grab().save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A shop's history: the findings fall crawl by crawl, the latest brings new ones.
void WriteHistory(const std::string& path) {
    health::History history;
    std::string error;
    history.Open(path, true, error);
    const char* pages[] = {"",
                           "teak-benches.html",
                           "oak-benches.html",
                           "products.html",
                           "garden-tables.html",
                           "contact.html",
                           "about.html",
                           "delivery.html",
                           "old-offers.html",
                           "blog/caring-for-teak.html",
                           "blog/winter-storage.html",
                           "blog/choosing-wood.html"};
    const double scores[] = {100, 41.3, 38.9, 77.5, 22.1, 30.2, 28.4, 18.7, 6.2, 11.9, 9.8, 10.4};
    for (int crawl = 0; crawl < 12; ++crawl) {
        std::vector<health::PageRow> rows;
        std::vector<health::Finding> findings;
        for (int p = 0; p < 12; ++p) {
            health::PageRow row;
            row.Url = Site + pages[p];
            row.Status = 200;
            row.Html = true;
            row.Indexable = true;
            row.Title = pages[p];
            row.LinkScore = scores[p];
            rows.push_back(row);
        }
        auto add = [&](const char* check, int page, const std::string& detail) {
            const health::CheckRule* rule = health::FindCheck(check);
            findings.push_back({check, rule->Level, Site + pages[page], detail, scores[page]});
        };
        for (int p = 5; p < 12 - crawl / 3; ++p)
            add("content-thin", p, std::to_string(40 + p * 9) + " words");
        for (int p = 1; p < 9 - crawl / 2; ++p)
            add("image-alt-missing", p, std::to_string(p % 3 + 1));
        if (crawl < 8)
            add("status-4xx", 8, Site + "products.html");
        if (crawl < 10) {
            add("title-duplicate", 1, Site + "oak-benches.html");
            add("title-duplicate", 2, Site + "teak-benches.html");
        }
        if (crawl >= 11) {
            add("title-missing", 5, "");
            add("description-missing", 6, "");
            add("description-missing", 7, "");
            add("response-slow", 3, "1840 ms");
        }
        add("description-too-long", 4, "187 characters");
        add("h1-multiple", 3, "3 headings");
        char time[32];
        std::snprintf(time, sizeof time, "2026-%02d-%02dT06:00:00Z", crawl < 11 ? 1 + crawl : 12,
                      crawl < 11 ? 1 : 9);
        health::SortFindings(findings);
        history.Store(time, Site, rows, findings, error);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: health_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    QDir().mkpath(out);
    WindowFixture<> f;
    f.settings.Values[QStringLiteral("Tip")] = 0;
    MainWindow& w = f.Start();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("greenbench.zpr"));
    ProjectData project;
    project.RootHost = QStringLiteral("www.greenbench.example");
    project.RootPath = QStringLiteral("/");
    if (!WriteProjectFile(path, project).IsOk())
        return 1;
    WriteHistory(health::History::PathFor(path.toStdString()));
    w.OpenProject(path);
    w.ToolPages->setCurrentWidget(w.Health);
    w.Health->Reload();
    (void)QTest::qWaitFor([&] { return !w.Health->Loading(); }, 10000);
    bool ok = Save(&w, out + QStringLiteral("health-counts.png"));
    auto* checks = w.Health->findChild<QTreeWidget*>(QStringLiteral("HealthChecks"));
    for (QTreeWidgetItemIterator at(checks); *at; ++at)
        if ((*at)->data(0, Qt::UserRole + 1).toString() == QStringLiteral("content-thin"))
            checks->setCurrentItem(*at);
    ok &= Save(&w, out + QStringLiteral("health-check.png"));
    auto* views = w.Health->findChild<QTabWidget*>(QStringLiteral("HealthViews"));
    views->setCurrentIndex(2);
    ok &= Save(&w, out + QStringLiteral("health-chart.png"));
    views->setCurrentIndex(1);
    ok &= Save(&w, out + QStringLiteral("health-changes.png"));
    w.ProgramOptionsDlg->FillFromOptions();
    w.ProgramOptionsDlg->show();
    w.ProgramOptionsDlg->findChild<QTabWidget*>(QStringLiteral("ProgramOptionsPages"))
        ->setCurrentIndex(1);
    ok &= Save(w.ProgramOptionsDlg, out + QStringLiteral("health-options.png"));
    w.ProgramOptionsDlg->hide();
    return ok ? 0 : 1;
}
