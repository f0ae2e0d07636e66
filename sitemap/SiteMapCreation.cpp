#include "SiteMapCreation.h"

#include "CrawlSettings.h"
#include "Dialogs.h"
#include "ProcessLauncher.h"
#include "ProjectData.h"
#include "SiteMapController.h"
#include "SiteMapFormat.h"
#include "SiteMapHost.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>

#include "CrawlStore.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantora {

const QString MsgMapStopped = QStringLiteral("SiteMap creation stopped.");
const QString MsgMapCreating = QStringLiteral("Creating the Site Map, Please Wait...");
const QString MsgMapComplete = QStringLiteral("SiteMap creation complete.");
const QString MsgMapError = QStringLiteral("Error creating SiteMap.");
const QString MsgMapNotUpdated =
    QStringLiteral("The SiteMap was not updated, the previous SiteMap has been kept.");
const QString MsgContinueCrawl =
    QStringLiteral("The last crawl of this site was stopped before it finished.\r"
                   "Continue the stopped crawl?\r\r"
                   "Yes continues it, No starts over.");
const QString MsgReadingMap = QStringLiteral("Reading the SiteMap (%1% complete)...");
const QString MsgKeepingCrawl =
    QStringLiteral("Checking the site's health and keeping the crawl in its history...");

namespace {
// Command lines and file paths longer than this are refused.
constexpr int MaxPathLength = 4095;
} // namespace

QString SiteMapFolder(const QString& programDir) {
    const QFileInfo dir(programDir);
    if (dir.isDir() && dir.isWritable()) {
        // The permission bits can say writable on a read-only mount; try it.
        QTemporaryFile probe(QDir(programDir).filePath(QStringLiteral(".mapprobe-XXXXXX")));
        if (probe.open())
            return QDir(programDir).absolutePath();
    }
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share/Vantora");
    QDir().mkpath(data);
    return data;
}

namespace {
const QString RunLockName = QStringLiteral("run.lock");
} // namespace

RunFolderLock::RunFolderLock(const QString& runFolder) {
    const QByteArray path = QFile::encodeName(QDir(runFolder).filePath(RunLockName));
    Fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // The kernel lets go of the lock when the process ends, however it ends.
    if (Fd >= 0 && ::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(Fd);
        Fd = -1;
    }
}

RunFolderLock::~RunFolderLock() {
    if (Fd >= 0)
        ::close(Fd);
}

int RemoveAbandonedRunFolders(const QString& mapFolder) {
    int removed = 0;
    const QDateTime young = QDateTime::currentDateTime().addSecs(-60);
    const QFileInfoList runs = QDir(mapFolder).entryInfoList(
        {QStringLiteral("map-??????")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& run : runs) {
        const QString lockPath = QDir(run.filePath()).filePath(RunLockName);
        bool abandoned = false;
        if (QFileInfo::exists(lockPath)) {
            const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CLOEXEC);
            if (fd >= 0) {
                abandoned = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                if (abandoned)
                    abandoned = QDir(run.filePath()).removeRecursively();
                ::close(fd);
            }
        } else if (run.lastModified() < young) {
            abandoned = QDir(run.filePath()).removeRecursively();
        }
        removed += abandoned ? 1 : 0;
    }
    return removed;
}

bool MapIsForRoot(const QStringList& lines, const QString& rootUrl) {
    // A map that could not be made carries the failure marker; the tree
    // builder reports it with its own message.
    for (const QString& line : lines) {
        if (line.contains(UnspecifiedHost))
            return true;
    }
    const QString first = lines.value(0);
    const qsizetype tag = first.indexOf(RootTag);
    if (tag < 0)
        return true; // not a map at all: the tree builder says so
    // The applet may escape characters of the root it was given and writes
    // the host as it was typed; compare the decoded texts, the host part
    // without regard to case.
    const QUrl mapped(first.mid(tag + RootTag.size()).trimmed(), QUrl::TolerantMode);
    const QUrl project(rootUrl, QUrl::TolerantMode);
    return mapped.isValid() && project.isValid() &&
           mapped.adjusted(QUrl::NormalizePathSegments) ==
               project.adjusted(QUrl::NormalizePathSegments);
}

bool SiteMapOutputComplete(const QStringList& lines) {
    if (lines.isEmpty())
        return false;
    if (lines.last() == EndLine)
        return true;
    for (const QString& line : lines) {
        if (line.contains(UnspecifiedHost))
            return true;
    }
    return false;
}

void AppletReport::Read(const QByteArray& more) {
    Pending += more;
    qsizetype start = 0;
    for (qsizetype end = Pending.indexOf('\n'); end >= 0; end = Pending.indexOf('\n', start)) {
        const QString line = QString::fromUtf8(Pending.mid(start, end - start)).trimmed();
        start = end + 1;
        static const QString prefix = QStringLiteral("sm: "), left = QStringLiteral("left out: ");
        if (!line.startsWith(prefix))
            continue;
        const QString text = line.mid(prefix.size());
        if (text.startsWith(left))
            LeftOut << text.mid(left.size());
        else if (text.contains(QStringLiteral(" pages done, ")))
            Progress = text;
    }
    Pending.remove(0, start);
}

QString LeftOutMessage(const QStringList& leftOut) {
    QString text = QStringLiteral("The site map does not hold the whole site. Left out:\r");
    for (const QString& line : leftOut)
        text += QStringLiteral("\r- ") + line;
    return text;
}

QString NotCheckedMessage(const QByteArray& list, int shown) {
    QStringList items;
    qint64 total = 0;
    for (const QByteArray& line : list.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        const QByteArray status = line.left(tab);
        const QString url = QString::fromUtf8(line.mid(tab + 1)).trimmed();
        if (status == "+") {
            total += qMax(0LL, url.toLongLong());
            continue;
        }
        bool number = false;
        const int code = status.toInt(&number);
        if (!number || url.isEmpty())
            continue;
        ++total;
        if (items.size() < shown)
            items << url + (code > 0 ? QStringLiteral(" (answered %1)").arg(code)
                                     : QStringLiteral(" (not asked)"));
    }
    if (items.isEmpty())
        return QString();
    QString text = QStringLiteral("Links not checked (a login, a refusal or a rate limit; they "
                                  "are not broken links):\r");
    for (const QString& item : items)
        text += QStringLiteral("\r- ") + item;
    if (total > items.size())
        text += QStringLiteral("\r- and %1 more").arg(total - items.size());
    return text;
}

SiteMapCreator::SiteMapCreator(SiteMapHost& host, SiteMapController& tree,
                               ProcessLauncher& launcher, const QString& programDir,
                               const QString& mapFolder, QObject* parent)
    : QObject(parent), Host(host), TreeControl(tree), Launcher(launcher),
      Applet(QDir(programDir).filePath(QStringLiteral("sm"))), Folder(mapFolder) {}

void SiteMapCreator::UpdateSiteMap() {
    // One creation at a time, and never while the tree is being built.
    if (Running || TreeControl.IsBuilding())
        return;
    Running = true;
    emit RunningChanged(true);
    Run();
    Running = false;
    emit RunningChanged(false);
}

void SiteMapCreator::Fail(const QString& text) {
    Host.SetBusyAnimation(false);
    ProcessPendingEvents();
    Host.SetStatusText(MsgMapError);
    Host.MessageBoxes().Message(MsgKind::Warning, text, MsgButtons::Ok);
}

void SiteMapCreator::EndStopped(qint64 applet) {
    if (applet > 0)
        Launcher.End(applet);
    Host.SetBusyAnimation(false);
    Host.SetStatusText(MsgMapStopped);
}

void SiteMapCreator::KeepCrawl(qint64 applet, const QString& factsPath,
                               const QString& historyPath) {
    // The applet writes the facts' end after the map; it is given a while.
    for (int waited = 0; Launcher.IsRunning(applet) && waited < 60000 && !Host.StopRequested();
         waited += 100)
        WaitWhileHandlingMessages(100, [this] { return Host.StopRequested(); });
    // An applet that wrote no facts (one that does not know them) leaves
    // nothing to keep; a facts file that is there and cannot be read is
    // reported below.
    if (Launcher.IsRunning(applet) || Host.StopRequested() || !QFileInfo::exists(factsPath))
        return;
    Host.SetStatusText(MsgKeepingCrawl);
    Host.SetBusyAnimation(true);
    // Reading a large crawl and running the checks takes a while: off the
    // window's thread, the window going on meanwhile.
    struct Outcome {
        bool Ok = false;
        std::string Error;
    };
    auto outcome = std::make_shared<Outcome>();
    const health::CheckSettings settings = Host.HealthChecks();
    emit KeepingCrawl();
    if (!RunWhileHandlingMessages([outcome, settings, facts = factsPath.toStdString(),
                                   history = historyPath.toStdString()] {
            health::History store;
            health::StoredCrawl stored;
            outcome->Ok = store.Open(history, true, outcome->Error) &&
                          health::StoreCrawl(store, facts, settings, stored, outcome->Error);
        })) {
        outcome->Ok = false;
        outcome->Error = "there was not enough memory for it";
    }
    Host.SetBusyAnimation(false);
    Host.SetStatusText(MsgMapComplete);
    if (outcome->Ok) {
        emit CrawlStored();
        return;
    }
    emit CrawlNotStored();
    Host.MessageBoxes().Message(
        MsgKind::Warning,
        QStringLiteral("The site map is complete, but its crawl was not kept in the crawl "
                       "history:\r") +
            QString::fromStdString(outcome->Error),
        MsgButtons::Ok);
}

MapReadResult SiteMapCreator::ReadMap(const QString& path) {
    // A map of millions of pages takes seconds to read: off the window's
    // thread, the status bar telling how far, Stop ending it.
    std::atomic<qint64> done{0}, total{0};
    std::atomic<bool> stop{false};
    MapReadResult result;
    const MapLimits limits = Limits;
    const QString savedStatus = Host.StatusText();
    Host.SetStatusText(MsgReadingMap.arg(0));
    stop.store(Host.StopRequested());
    const bool ran = RunWhileHandlingMessages(
        [&] {
            result = ReadMapFile(path, limits, [&](qint64 at, qint64 of) {
                done.store(at);
                total.store(of);
                return !stop.load();
            });
        },
        [&] {
            if (Host.StopRequested())
                stop.store(true);
            if (total.load() > 0)
                Host.SetStatusText(MsgReadingMap.arg(int(done.load() * 100 / total.load())));
        });
    Host.SetStatusText(savedStatus);
    if (!ran) {
        result = MapReadResult();
        result.Status = MapReadStatus::TooLarge;
        result.Error =
            QStringLiteral("There is not enough memory to hold the site map file '%1'.").arg(path);
    }
    return result;
}

void SiteMapCreator::Run() {
    {
        WaitCursor wait;
        ProcessPendingEvents();
    }
    // Every run has a folder of its own below the map folder, so two
    // programs mapping at once never read each other's files. It goes with
    // the run.
    RemoveAbandonedRunFolders(Folder);
    QTemporaryDir runFolder(QDir(Folder).filePath(QStringLiteral("map-XXXXXX")));
    if (!runFolder.isValid())
        return;
    // Released before the folder goes; tells other programs the folder is in use.
    const RunFolderLock runLock(runFolder.path());
    const QDir folder(runFolder.path());
    const QString tmpPath = folder.filePath(QStringLiteral("sitemap.tmp"));
    const QString logPath = folder.filePath(QStringLiteral("sm.log"));
    // With a project file the applet also writes the crawl's facts, which
    // end up in the crawl history beside it.
    const QString historyPath = Host.CrawlHistoryPath();
    const QString factsPath = folder.filePath(QStringLiteral("facts.jsonl"));
    const QString notCheckedPath = folder.filePath(QStringLiteral("notchecked.txt"));
    AppletReport report;
    qint64 logRead = 0;
    // Reads what the applet has added to its error output since the last look.
    auto readLog = [&] {
        QFile log(logPath);
        if (!log.open(QIODevice::ReadOnly) || log.size() <= logRead || !log.seek(logRead))
            return;
        const QByteArray more = log.readAll();
        logRead += more.size();
        const QString before = report.Progress;
        report.Read(more);
        if (report.Progress != before) {
            Host.SetStatusText(MsgMapCreating + QStringLiteral("  ") + report.Progress);
            emit AppletProgress(report.Progress);
        }
    };
    // The applet keeps a journal of its answers beside the project file; one
    // left there by a crawl that was stopped (Stop, a crash, a power cut) can
    // be continued instead of asking the site for everything again.
    const QString journalPath = Host.CrawlJournalPath();
    if (!journalPath.isEmpty() && QFileInfo::exists(journalPath)) {
        switch (Host.MessageBoxes().Message(MsgKind::Confirm, MsgContinueCrawl,
                                            MsgButtons::YesNoCancel)) {
        case MsgAnswer::Yes:
            break;
        case MsgAnswer::No:
            if (!QFile::remove(journalPath)) {
                Fail(QStringLiteral("Warning! The SiteMap could not be created.\rThe journal "
                                    "of the stopped crawl '") +
                     QDir::toNativeSeparators(journalPath) +
                     QStringLiteral("' cannot be removed."));
                return;
            }
            break;
        default:
            return;
        }
    }
    if (!Host.CheckConnect())
        return;

    Host.SetStatusText(MsgMapCreating);
    Host.SetBusyAnimation(true);
    qint64 applet = 0;
    {
        WaitCursor wait;
        ProcessPendingEvents();
        const ProjectData& project = Host.Project();
        const QString argument =
            QStringLiteral("Search_URL=") + project.RootHost + project.RootPath;
        if (Applet.size() + 1 + argument.size() <= MaxPathLength &&
            tmpPath.size() <= MaxPathLength) {
            Launcher.SetErrorFile(logPath);
            QStringList arguments{argument};
            if (!historyPath.isEmpty())
                arguments << QStringLiteral("--facts=") + factsPath;
            if (!journalPath.isEmpty())
                arguments << QStringLiteral("--resume=") + journalPath;
            arguments << QStringLiteral("--not-checked=") + notCheckedPath;
            arguments << SiteMapperArguments(project);
            applet = Launcher.Start(Applet, arguments, folder.path());
        }
    }
    if (applet <= 0) {
        Fail(QStringLiteral("Warning! The SiteMap could not be created.\rThis was due to an error "
                            "while attempting to execute the SiteMap applet '") +
             QDir::toNativeSeparators(Applet) + QStringLiteral("'"));
        return;
    }
    // The map is loaded into the project it was started for; if that project
    // is closed or another one opened meanwhile, the result is dropped.
    const QString startedFor = Host.Project().RootUrl();

    Host.SetStopRequested(false);
    const auto stopped = [this] { return Host.StopRequested(); };
    WaitWhileHandlingMessages(StartPauseMs, stopped);
    if (ShowMapperInfo)
        emit ShowInfoWindow();

    QStringList lines;
    bool complete = false;
    bool appletEnded = false;
    QString unreadable; // why the map could not be taken
    {
        WaitCursor wait;
        ProcessPendingEvents();
        do {
            WaitWhileHandlingMessages(PollIntervalMs, stopped);
            if (Host.StopRequested())
                break;
            // Asked before the read: if the applet had already ended, the
            // file holds all it will ever write.
            const bool ended = !Launcher.IsRunning(applet);
            readLog();
            if (QFileInfo::exists(tmpPath)) {
                MapReadResult read = ReadMap(tmpPath);
                if (read.Status == MapReadStatus::Stopped)
                    break;
                if (read.Status != MapReadStatus::Ok) {
                    unreadable = read.Error;
                    break;
                }
                lines = std::move(read.Lines);
                complete = SiteMapOutputComplete(lines);
            }
            // An applet that ended without finishing its map would otherwise
            // be waited for until the user presses Stop.
            if (!complete && ended) {
                appletEnded = true;
                break;
            }
        } while (!complete && !Host.StopRequested());
    }

    if (Host.StopRequested()) {
        EndStopped(applet);
        return;
    }
    if (!unreadable.isEmpty()) {
        Launcher.End(applet);
        Fail(QStringLiteral("Warning! The SiteMap could not be created.\r") + unreadable +
             QStringLiteral("\r") + MsgMapNotUpdated);
        return;
    }
    if (appletEnded) {
        Fail(QStringLiteral("Warning! The SiteMap could not be created.\rThe SiteMap applet '") +
             QDir::toNativeSeparators(Applet) +
             QStringLiteral("' ended before it had finished the map."));
        return;
    }
    QFile::remove(tmpPath);
    if (Host.Project().RootUrl() != startedFor || lines.isEmpty()) {
        EndStopped(0);
        return;
    }
    // The applet could not examine the site: the map the project has is
    // kept as it is, and the project is left unchanged.
    if (std::any_of(lines.cbegin(), lines.cend(),
                    [](const QString& line) { return line.contains(UnspecifiedHost); })) {
        Host.SetBusyAnimation(false);
        Host.SetStatusText(MsgMapNotUpdated);
        Host.MessageBoxes().Message(MsgKind::Error, MsgUnspecifiedHost, MsgButtons::Ok);
        return;
    }
    if (!MapIsForRoot(lines, startedFor)) {
        Host.SetBusyAnimation(false);
        Host.SetStatusText(MsgMapError);
        Host.MessageBoxes().Message(MsgKind::Error, MsgInvalidData, MsgButtons::Ok);
        return;
    }
    QStringList& siteMap = Host.Project().SiteMapLines;
    TreeControl.ReleaseLines();
    siteMap = std::exchange(lines, QStringList()); // the project's old lines go at once
    siteMap.prepend(SiteMapMarker);
    Host.SetStatusText(MsgMapComplete);
    Host.SetBusyAnimation(false);
    TreeControl.BuildSiteTree();
    Host.SetProjectModified();
    ProcessPendingEvents();
    if (!historyPath.isEmpty() && Host.Project().RootUrl() == startedFor)
        KeepCrawl(applet, factsPath, historyPath);
    // A map cut short (page or time limit, traps) or filtered by robots.txt says
    // so; the applet reports that before it writes the map's last line.
    readLog();
    // Links the applet could not check are listed apart from broken ones.
    QString notChecked;
    if (QFile list(notCheckedPath); list.open(QIODevice::ReadOnly))
        notChecked = NotCheckedMessage(list.read(1 << 20));
    if (!report.LeftOut.isEmpty() || !notChecked.isEmpty())
        Host.MessageBoxes().Message(
            MsgKind::Information,
            LeftOutMessage(report.LeftOut) +
                (notChecked.isEmpty() ? QString() : QStringLiteral("\r\r") + notChecked),
            MsgButtons::Ok);
}

} // namespace vantora
