// The whole program on a large site, as a user runs it: the main window with
// the real platform edge (settings, network, processes; message boxes are
// answered Yes/OK and printed), a project for ROOT_URL, "Update Site Map"
// with the real sm and its site-health facts, the crawl kept in the crawl
// history and shown on the Site Health page, Select All, the project saved,
// closed and opened again. Prints the time of each step and the program's
// memory after it (resident now and the peak so far). Never fails on a time.
// Usage: bench_program PROJECT.zpr ROOT_URL   (the project is made if absent)
#include "Audit.h"
#include "HealthPage.h"
#include "Main.h"
#include "NmcliDialUp.h"
#include "ProcessLauncher.h"
#include "ProjectFile.h"
#include "ProjectSettings.h"
#include "QtHttpClient.h"
#include "RealPlatform.h"
#include "ReportView.h"
#include "SiteMapController.h"
#include "SiteMapPanel.h"
#include "SitecensusPage.h"
#include "XdgShellLauncher.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QThread>
#include <QTreeView>

#include <cstdio>
#include <functional>

using namespace vantora;

namespace {

// Every question answered as a user who wants the work done would.
class AnsweringDialogs : public Dialogs {
  public:
    MsgAnswer Message(MsgKind, const QString& text, MsgButtons buttons) override {
        std::printf("  (message: %s)\n", qPrintable(QString(text).replace(u'\r', u' ')));
        switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Yes;
        default:
            return MsgAnswer::Ok;
        }
    }
    QString OpenFileName(const FileDialogOptions&) override { return {}; }
    QString SaveFileName(const FileDialogOptions&) override { return {}; }
    void GeneralError(const QString& text) override {
        std::printf("  (error: %s)\n", qPrintable(text));
    }
};

long StatusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

QElapsedTimer Step;

void Report(const char* step, double ms, const QString& detail = {}) {
    std::printf("%-44s %10.1f ms   now %5ld MB   peak %5ld MB   %s\n", step, ms,
                StatusKb("VmRSS:") >> 10, StatusKb("VmHWM:") >> 10, qPrintable(detail));
}

// Lets the program work until done() holds or limitMs pass; false on the limit.
bool WaitFor(const std::function<bool()>& done, qint64 limitMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_program PROJECT.zpr ROOT_URL\n");
        return 2;
    }
    SetApplicationIdentity();
    const QString projectPath = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (!QFileInfo::exists(projectPath)) {
        const UrlNormalisation root = NormaliseRootUrl(QString::fromLocal8Bit(argv[2]));
        ProjectData project;
        const RootSplit split = SplitRootUrl(root.Url);
        project.RootHost = split.Host;
        project.RootPath = split.Path;
        if (root.Failed || !WriteProjectFile(projectPath, project).IsOk()) {
            std::fprintf(stderr, "bench_program: cannot make the project %s\n", argv[1]);
            return 1;
        }
    }

    AnsweringDialogs dialogs;
    QtSettingsStore settings;
    SystemClock clock;
    NetworkLocalAddress localAddress;
    QtHttpClient http;
    NmcliDialUp dialUp;
    DetachedProcessLauncher processes;
    XdgShellLauncher shell;
    Platform platform;
    platform.dialogs = &dialogs;
    platform.settings = &settings;
    platform.clock = &clock;
    platform.localAddress = &localAddress;
    platform.http = &http;
    platform.dialUp = &dialUp;
    platform.processes = &processes;
    platform.shell = &shell;

    // The program's own folder holds sm and the server, beside this bench.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vantora");
    MainWindow window(platform, program);
    window.SplashMinimumMs = 0;
    window.resize(1200, 900);
    window.show();
    SiteMapController& map = window.SiteMap->Controller();

    Step.start();
    window.Startup({projectPath});
    WaitFor([&] { return window.ProjectView && window.ProjectView->isVisible(); }, 600000);
    Report("start, project opened", double(Step.nsecsElapsed()) / 1e6,
           QStringLiteral("%1 nodes").arg(map.NodeCount()));

    health::HealthPage& health = *window.Health;
    const int crawlsBefore = int(health.Snapshot().Crawls.size());
    Step.restart();
    window.UpdateSiteMapButton->click();
    // The click returns when the map is made; the crawl is kept after it.
    Report("Update Site Map: crawl, map read, tree", double(Step.nsecsElapsed()) / 1e6,
           QStringLiteral("%1 nodes, \"%2\"").arg(map.NodeCount()).arg(map.Label()));
    const bool stored = WaitFor(
        [&] { return int(health.Snapshot().Crawls.size()) > crawlsBefore && !health.Loading(); },
        1800000);
    Report("  + crawl kept, Site Health shown", double(Step.nsecsElapsed()) / 1e6,
           stored ? QStringLiteral("%1 crawls").arg(health.Snapshot().Crawls.size())
                  : QStringLiteral("NOT SHOWN within 30 minutes"));

    if (stored && health.Snapshot().Findings) {
        const health::Overview& summary = health.Snapshot().Summary;
        std::printf("  findings: %zu (%zu errors, %zu warnings, %zu notices); by check:",
                    health.Snapshot().Findings->size(), summary.Counts[0], summary.Counts[1],
                    summary.Counts[2]);
        for (const health::CheckGroup& group : summary.Checks)
            std::printf(" %s %zu", group.Check.c_str(), group.Count);
        std::printf("\n");
    }
    Step.restart();
    window.SiteMap->Tree()->expand(window.SiteMap->Tree()->model()->index(0, 0));
    window.SiteMap->Tree()->selectAll();
    QCoreApplication::processEvents();
    Report("Select All", double(Step.nsecsElapsed()) / 1e6, map.Label());

    Step.restart();
    const bool saved = window.SaveProject();
    Report("Save Project", double(Step.nsecsElapsed()) / 1e6,
           QStringLiteral("%1, %2 MB")
               .arg(saved ? QStringLiteral("saved") : QStringLiteral("NOT SAVED"))
               .arg(QFileInfo(projectPath).size() >> 20));

    window.CloseProject();
    QCoreApplication::processEvents();
    Step.restart();
    window.OpenProject(projectPath);
    WaitFor([&] { return map.NodeCount() > 0 && !map.IsBuilding(); }, 600000);
    Report("Open Project, tree shown", double(Step.nsecsElapsed()) / 1e6,
           QStringLiteral("%1 nodes").arg(map.NodeCount()));
    WaitFor([&] { return !health.Loading(); }, 600000);
    Report("  + Site Health shown", double(Step.nsecsElapsed()) / 1e6);

    // Sitecensus with every section the options offer.
    window.RunModal = [](QDialog* dialog) {
        auto* audit = qobject_cast<AuditDialog*>(dialog);
        if (!audit)
            return int(QDialog::Rejected);
        // Some boxes are enabled only by others: twice.
        for (int round = 0; round < 2; ++round)
            for (QCheckBox* box : audit->findChildren<QCheckBox*>())
                if (box->isEnabled() && !box->isChecked())
                    box->setChecked(true);
        audit->OkButton->click();
        return audit->result();
    };
    window.ToolPages->setCurrentWidget(window.Census);
    Step.restart();
    window.Census->Start();
    QCoreApplication::processEvents();
    Report(
        "Sitecensus, every section", double(Step.nsecsElapsed()) / 1e6,
        QStringLiteral("report of %1 lines").arg(window.Census->Report()->document()->lineCount()));

    const QString shot = qEnvironmentVariable("VANTORA_SHOT");
    if (!shot.isEmpty()) {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(50);
        }
        window.grab().save(
            QString(shot).replace(QStringLiteral(".png"), QStringLiteral("-sitecensus.png")));
    }

    // The next crawl of the same site, compared with the one before.
    Step.restart();
    window.UpdateSiteMapButton->click();
    Report("Update Site Map again", double(Step.nsecsElapsed()) / 1e6,
           QStringLiteral("%1 nodes").arg(map.NodeCount()));
    const bool again = WaitFor(
        [&] {
            return int(health.Snapshot().Crawls.size()) > crawlsBefore + 1 && !health.Loading();
        },
        1800000);
    Report("  + kept, compared, Site Health shown", double(Step.nsecsElapsed()) / 1e6,
           again ? QStringLiteral("%1 crawls, %2 findings compared")
                       .arg(health.Snapshot().Crawls.size())
                       .arg(health.Snapshot().Findings ? health.Snapshot().Findings->size() : 0)
                 : QStringLiteral("NOT SHOWN within 30 minutes"));

    if (!shot.isEmpty())
        window.grab().save(shot);
    std::printf("peak memory of the program: %ld MB\n", StatusKb("VmHWM:") >> 10);
    window.close();
    return stored && saved && again ? 0 : 1;
}
