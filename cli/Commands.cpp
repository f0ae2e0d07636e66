#include "Commands.h"

#include "Compare.h"
#include "CrawlFacts.h"
#include "CrawlSettings.h"
#include "CrawlStore.h"
#include "Export.h"
#include "History.h"
#include "ProjectData.h"
#include "ProjectFile.h"
#include "ProjectSettings.h"
#include "SiteMapCreation.h"
#include "SiteMapFormat.h"
#include "XmlSitemap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

namespace vantora::cli {

namespace {

using namespace vantora::health;

// A crawl works in a temporary folder named after the process; one that was
// killed (SIGKILL, a power cut) cannot remove it. The folders of this user's
// crawls whose process is gone are removed when the next crawl starts.
void RemoveStaleRunFolders() {
    const QRegularExpression name(QStringLiteral("^vantora-crawl-(\\d+)-"));
    const QDir temp(QDir::tempPath());
    for (const QFileInfo& entry : temp.entryInfoList({QStringLiteral("vantora-crawl-*")},
                                                     QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        if (!match.hasMatch() || entry.isSymLink() || entry.ownerId() != ::getuid())
            continue;
        bool number = false;
        const long pid = match.captured(1).toLong(&number);
        if (!number || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // still running (or not ours to ask about)
        QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

enum Exit { Ok = 0, Failed = 1, BadArguments = 2, FindingsFound = 3, Stopped = 130 };

const char Usage[] =
    "Usage:\n"
    "  vantora-cli crawl PROJECT.zpr [--new ROOT_URL] [--render off|auto|on]\n"
    "                    [--sm-options \"...\"] [--resume]\n"
    "  vantora-cli health PROJECT.zpr [--csv FILE] [--json FILE] [--compare previous|DATE]\n"
    "                     [--fail-on error|warning] [--columns LIST]\n"
    "  vantora-cli sitemap PROJECT.zpr --xml FILE\n"
    "  vantora-cli diff PROJECT.zpr [--from previous|DATE] [--csv FILE] [--json FILE]\n"
    "  vantora-cli crawls PROJECT.zpr\n"
    "\n"
    "crawl    maps the project's site with sm, stores the map in the project file and\n"
    "         the crawl in the project's crawl history (PROJECT.crawls.sqlite beside\n"
    "         the project file), and saves the project. --new ROOT_URL creates the\n"
    "         project file first. --render loads pages in headless Chromium to read\n"
    "         what their scripts build: off, auto (pages that look built by scripts)\n"
    "         or on (every page); without it, the project's Render JavaScript setting\n"
    "         (off unless set in the program). --sm-options passes options to sm (see\n"
    "         sm --help). --resume keeps sm's answers in PROJECT.zpr.resume as\n"
    "         they come and, when that file is there from a crawl that was stopped\n"
    "         or killed, continues that crawl without asking the site again for what\n"
    "         it had answered; the file is removed when the crawl is done.\n"
    "         Progress goes to standard error.\n"
    "health   writes the site-health findings of the latest crawl: CSV with the\n"
    "         header check,severity,url,detail, or JSON. \"-\" as FILE is standard\n"
    "         output; with neither option CSV goes there. --compare adds a change\n"
    "         column (new, fixed, same) against an earlier crawl: \"previous\", or a\n"
    "         date or time such as 2026-12-09 (the newest crawl of that day).\n"
    "         --fail-on exits with status 3 when a finding of that severity or worse\n"
    "         exists (only new ones with --compare). --columns picks the CSV's\n"
    "         columns from check,severity,url,detail,link_score,change (link_score:\n"
    "         the page's internal link score, 0-100). JSON always has link_score.\n"
    "sitemap  writes an XML sitemap of the indexable pages of the latest crawl; over\n"
    "         50,000 pages FILE is a sitemap index naming numbered files beside it.\n"
    "diff     compares the latest crawl with an earlier one (default: the previous)\n"
    "         page by page: CSV with the header change,url,field,old,new, or JSON.\n"
    "crawls   lists the stored crawls: time, pages, findings.\n"
    "\n"
    "Exit status: 0 done, 1 could not be done (the reason on standard error),\n"
    "2 bad arguments, 3 findings as asked by --fail-on.\n";

std::atomic<int> Signalled{0};

void OnSignal(int number) {
    Signalled.store(number);
}

int Bad(const QString& text) {
    std::cerr << "vantora-cli: " << text.toStdString() << "\n"
              << "Try 'vantora-cli --help'.\n";
    return BadArguments;
}

int Fail(const QString& text) {
    std::cerr << "vantora-cli: " << text.toStdString() << "\n";
    return Failed;
}

// Options of one command: "--name value" or "--name=value"; flags listed in
// allowed without a value are not supported (every option takes one).
struct Options {
    QString Project;
    std::map<QString, QString> Values;
};

std::optional<Options> ReadOptions(const QStringList& args, const QStringList& allowed,
                                   QString& error) {
    Options options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg.startsWith(QStringLiteral("--"))) {
            QString name = arg, value;
            const qsizetype equals = arg.indexOf(QLatin1Char('='));
            bool haveValue = false;
            if (equals > 0) {
                name = arg.left(equals);
                value = arg.mid(equals + 1);
                haveValue = true;
            }
            if (!allowed.contains(name)) {
                error = QStringLiteral("unknown option \"%1\"").arg(name);
                return std::nullopt;
            }
            if (!haveValue) {
                if (i + 1 >= args.size()) {
                    error = QStringLiteral("%1 needs a value").arg(name);
                    return std::nullopt;
                }
                value = args[++i];
            }
            if (options.Values.count(name)) {
                error = QStringLiteral("%1 is given twice").arg(name);
                return std::nullopt;
            }
            options.Values[name] = value;
        } else if (options.Project.isEmpty()) {
            options.Project = arg;
        } else {
            error = QStringLiteral("unexpected argument \"%1\"").arg(arg);
            return std::nullopt;
        }
    }
    if (options.Project.isEmpty()) {
        error = QStringLiteral("the project file is missing");
        return std::nullopt;
    }
    return options;
}

std::string HistoryPath(const QString& project) {
    return History::PathFor(QFileInfo(project).absoluteFilePath().toStdString());
}

// Writes text produced by write to FILE ("-": standard output).
bool WriteOutput(const QString& file, const std::function<void(std::ostream&)>& write,
                 QString& error) {
    if (file == QStringLiteral("-")) {
        write(std::cout);
        std::cout.flush();
        if (!std::cout) {
            error = QStringLiteral("cannot write to standard output");
            return false;
        }
        return true;
    }
    const std::string path = file.toStdString(), part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (out)
            write(out);
        out.flush();
        if (!out) {
            std::remove(part.c_str());
            error = QStringLiteral("Cannot write file %1").arg(file);
            return false;
        }
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        error = QStringLiteral("Cannot create file %1").arg(file);
        return false;
    }
    return true;
}

bool OpenHistory(const QString& project, History& history, QString& error) {
    std::string why;
    if (!history.Open(HistoryPath(project), false, why)) {
        error = QString::fromStdString(why);
        if (!QFileInfo::exists(QString::fromStdString(HistoryPath(project))))
            error += QStringLiteral("; run vantora-cli crawl first");
        return false;
    }
    return true;
}

// ---- crawl ----

// Shows sm's progress on standard error: one line rewritten in place on a
// terminal, a plain line for each change otherwise.
class ProgressLine {
  public:
    ProgressLine() : Terminal(isatty(STDERR_FILENO) == 1) {}
    void Show(const QString& text) {
        if (text == Last)
            return;
        Last = text;
        if (Terminal)
            std::cerr << "\r" << text.toStdString() << "\033[K" << std::flush;
        else
            std::cerr << text.toStdString() << std::endl;
    }
    void End() {
        if (Terminal && !Last.isEmpty())
            std::cerr << "\n";
        Last.clear();
    }

  private:
    bool Terminal;
    QString Last;
};

int Crawl(const QStringList& given) {
    QString error;
    QStringList args = given;
    const bool resume = args.removeAll(QStringLiteral("--resume")) > 0;
    const std::optional<Options> options = ReadOptions(
        args, {QStringLiteral("--new"), QStringLiteral("--sm-options"), QStringLiteral("--render")},
        error);
    if (!options)
        return Bad(error);
    QString renderMode = options->Values.count(QStringLiteral("--render"))
                             ? options->Values.at(QStringLiteral("--render"))
                             : QString();
    if (!renderMode.isEmpty() && renderMode != QLatin1String("off") &&
        renderMode != QLatin1String("auto") && renderMode != QLatin1String("on"))
        return Bad(QStringLiteral("--render takes off, auto or on, not \"%1\"").arg(renderMode));
    const QString projectPath = QFileInfo(options->Project).absoluteFilePath();
    ProjectData project;
    if (options->Values.count(QStringLiteral("--new"))) {
        if (QFileInfo::exists(projectPath))
            return Bad(QStringLiteral("%1 exists already; leave out --new to crawl it")
                           .arg(options->Project));
        const UrlNormalisation root = NormaliseRootUrl(options->Values.at(QStringLiteral("--new")));
        const QString host = root.Failed ? QString() : RootUrlHost(root.Url);
        if (host.isEmpty())
            return Bad(QStringLiteral("\"%1\" is not a root URL")
                           .arg(options->Values.at(QStringLiteral("--new"))));
        const RootSplit split = SplitRootUrl(root.Url);
        project.RootHost = split.Host;
        project.RootPath = split.Path;
        const ProjectFileResult written = WriteProjectFile(projectPath, project);
        if (!written.IsOk())
            return Fail(written.Error);
    } else {
        const ProjectFileResult read = ReadProjectFile(projectPath, project);
        if (read.Status == ProjectFileStatus::NotProjectFile)
            return Fail(QStringLiteral("%1 is not a project file").arg(options->Project));
        if (!read.IsOk())
            return Fail(read.Error);
        if (!read.Warning.isEmpty())
            std::cerr << "vantora-cli: " << read.Warning.toStdString() << "\n";
    }
    if (!project.HasRoot() || project.RootHost.isEmpty())
        return Fail(QStringLiteral("the project has no root URL (set one in the program, or "
                                   "create the project with --new ROOT_URL)"));
    if (!QFileInfo(QFileInfo(projectPath).absolutePath()).isWritable() ||
        (QFileInfo::exists(projectPath) && !QFileInfo(projectPath).isWritable()))
        return Fail(QStringLiteral("Cannot create file %1").arg(projectPath));

    // The history is opened (and made) before the crawl, so a damaged one is
    // reported before any time is spent.
    History history;
    std::string why;
    if (!history.Open(HistoryPath(projectPath), true, why))
        return Fail(QString::fromStdString(why));

    const QString sm = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("sm"));
    if (!QFileInfo(sm).isExecutable())
        return Fail(QStringLiteral("the site mapper %1 is missing").arg(sm));
    RemoveStaleRunFolders();
    QTemporaryDir run(
        QDir(QDir::tempPath()).filePath(QStringLiteral("vantora-crawl-%1-XXXXXX").arg(::getpid())));
    if (!run.isValid())
        return Fail(QStringLiteral("cannot make a temporary folder: %1").arg(run.errorString()));
    const QString factsPath = QDir(run.path()).filePath(QStringLiteral("facts.jsonl"));
    const QString mapPath = QDir(run.path()).filePath(QStringLiteral("sitemap.tmp"));

    QStringList smArguments{QStringLiteral("Search_URL=") + project.RootHost + project.RootPath,
                            QStringLiteral("--facts=") + factsPath};
    if (resume)
        smArguments += QStringLiteral("--resume=") + CrawlJournalPath(projectPath);
    // The project's settings (without --render its "Render JavaScript"), and
    // --sm-options after them.
    smArguments += SiteMapperArguments(project, renderMode);
    if (options->Values.count(QStringLiteral("--sm-options")))
        smArguments += options->Values.at(QStringLiteral("--sm-options"))
                           .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QProcess mapper;
    mapper.setProgram(sm);
    mapper.setArguments(smArguments);
    mapper.setWorkingDirectory(run.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!project.ProxyServer.isEmpty() && project.ProxyPort > 0) {
        // The project's proxy, the way libcurl in sm reads it.
        const QString proxy =
            QStringLiteral("http://%1:%2").arg(project.ProxyServer).arg(project.ProxyPort);
        environment.insert(QStringLiteral("http_proxy"), proxy);
        environment.insert(QStringLiteral("https_proxy"), proxy);
    }
    mapper.setProcessEnvironment(environment);
    mapper.setStandardOutputFile(QProcess::nullDevice());
    // sm ends with this program, whatever ends it.
    mapper.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    mapper.start();
    if (!mapper.waitForStarted(10000))
        return Fail(QStringLiteral("cannot start %1: %2").arg(sm, mapper.errorString()));

    AppletReport report;
    ProgressLine progress;
    QString lastNote;
    auto readErrors = [&] {
        const QByteArray more = mapper.readAllStandardError();
        if (more.isEmpty())
            return;
        for (const QByteArray& line : more.split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (text.startsWith(QStringLiteral("sm: ")) &&
                !text.contains(QStringLiteral(" pages done, ")))
                lastNote = text.mid(4);
        }
        report.Read(more);
        if (!report.Progress.isEmpty())
            progress.Show(report.Progress);
    };
    while (!mapper.waitForFinished(200)) {
        readErrors();
        if (Signalled.load()) {
            mapper.terminate();
            if (!mapper.waitForFinished(5000))
                mapper.kill();
            progress.End();
            std::cerr << "vantora-cli: stopped; the project and its history are unchanged\n";
            return Stopped;
        }
        if (mapper.state() == QProcess::NotRunning)
            break;
    }
    readErrors();
    progress.End();
    for (const QString& left : report.LeftOut)
        std::cerr << "left out: " << left.toStdString() << "\n";
    if (mapper.exitStatus() != QProcess::NormalExit)
        return Fail(QStringLiteral("the site mapper ended abnormally"));
    const int smExit = mapper.exitCode();
    QStringList lines;
    if (QFileInfo::exists(mapPath)) {
        MapReadResult map = ReadMapFile(mapPath, MapLimits());
        if (map.Status != MapReadStatus::Ok)
            return Fail(map.Error);
        lines = std::move(map.Lines);
    }
    if (smExit == 3 ||
        (smExit == 0 && lines.size() >= 2 && lines.value(1).contains(UnspecifiedHost)))
        return Fail(QStringLiteral("the root URL %1 could not be reached (%2)")
                        .arg(project.RootUrl(), lines.value(1, lastNote)));
    if (smExit != 0)
        return Fail(
            QStringLiteral("the site mapper failed: %1")
                .arg(lastNote.isEmpty() ? QStringLiteral("exit status %1").arg(smExit) : lastNote));
    if (!SiteMapOutputComplete(lines) || !MapIsForRoot(lines, project.RootUrl()))
        return Fail(QStringLiteral("the site mapper wrote no complete map"));
    // The facts are read before the project is written, so a crawl whose
    // facts are unreadable changes neither.
    CrawlFacts facts;
    if (!ReadFactsFile(factsPath.toStdString(), facts, why))
        return Fail(QString::fromStdString(why));
    if (!facts.Ended)
        return Fail(QStringLiteral("the site mapper's facts file is incomplete"));

    // The crawl is kept in the history (all or nothing) before the project
    // takes its map, so a failure to keep it leaves the project as it was;
    // the project file is then replaced whole or not at all.
    StoredCrawl stored;
    if (!StoreCrawl(history, facts, {}, stored, why))
        return Fail(QStringLiteral("%1 (%2); the project is unchanged")
                        .arg(QString::fromStdString(why),
                             QString::fromStdString(HistoryPath(projectPath))));
    project.SiteMapLines = lines;
    project.SiteMapLines.prepend(SiteMapMarker);
    const ProjectFileResult saved = WriteProjectFile(projectPath, project);
    if (!saved.IsOk())
        return Fail(saved.Error + QStringLiteral("; the project keeps its previous map, the "
                                                 "crawl is kept in its history"));
    std::cerr << "vantora-cli: " << stored.Urls << " URLs crawled; " << stored.Counts[0]
              << " errors, " << stored.Counts[1] << " warnings, " << stored.Counts[2]
              << " notices; stored in " << HistoryPath(projectPath) << "\n";
    return Ok;
}

// ---- health ----

int Health(const QStringList& args) {
    QString error;
    const std::optional<Options> options =
        ReadOptions(args,
                    {QStringLiteral("--csv"), QStringLiteral("--json"), QStringLiteral("--compare"),
                     QStringLiteral("--fail-on"), QStringLiteral("--columns")},
                    error);
    if (!options)
        return Bad(error);
    Severity failOn = Severity::Notice;
    const bool failing = options->Values.count(QStringLiteral("--fail-on")) > 0;
    if (failing) {
        const QString level = options->Values.at(QStringLiteral("--fail-on"));
        if (level != QStringLiteral("error") && level != QStringLiteral("warning"))
            return Bad(QStringLiteral("--fail-on takes error or warning, not \"%1\"").arg(level));
        ParseSeverity(level.toStdString(), failOn);
    }
    const bool comparing = options->Values.count(QStringLiteral("--compare")) > 0;
    std::vector<std::string> columns{"check", "severity", "url", "detail"};
    if (comparing)
        columns.push_back("change");
    if (options->Values.count(QStringLiteral("--columns"))) {
        std::string why;
        if (!ParseFindingColumns(options->Values.at(QStringLiteral("--columns")).toStdString(),
                                 comparing, columns, why))
            return Bad(QStringLiteral("--columns: %1").arg(QString::fromStdString(why)));
    }
    History history;
    if (!OpenHistory(options->Project, history, error))
        return Fail(error);
    const std::optional<CrawlInfo> latest = history.Latest();
    if (!latest)
        return Fail(QStringLiteral("the crawl history holds no crawl yet"));
    long long before = 0;
    if (comparing) {
        const QString which = options->Values.at(QStringLiteral("--compare"));
        const std::optional<CrawlInfo> earlier = history.Earlier(which.toStdString());
        if (!earlier)
            return Fail(
                QStringLiteral("the crawl history holds no earlier crawl \"%1\"").arg(which));
        before = earlier->Id;
    }
    const std::vector<ComparedFinding> rows = CompareCrawls(history, *latest, before);
    const bool csv = options->Values.count(QStringLiteral("--csv")) > 0;
    const bool json = options->Values.count(QStringLiteral("--json")) > 0;
    if ((csv || !json) &&
        !WriteOutput(
            csv ? options->Values.at(QStringLiteral("--csv")) : QStringLiteral("-"),
            [&](std::ostream& out) { WriteFindingsCsv(out, rows, columns); }, error))
        return Fail(error);
    if (json && !WriteOutput(
                    options->Values.at(QStringLiteral("--json")),
                    [&](std::ostream& out) { WriteFindingsJson(out, rows, comparing); }, error))
        return Fail(error);
    if (failing)
        for (const ComparedFinding& row : rows)
            if (row.Item.Level <= failOn && (comparing ? row.How == Change::New : true))
                return FindingsFound;
    return Ok;
}

// ---- diff ----

int Diff(const QStringList& args) {
    QString error;
    const std::optional<Options> options = ReadOptions(
        args, {QStringLiteral("--from"), QStringLiteral("--csv"), QStringLiteral("--json")}, error);
    if (!options)
        return Bad(error);
    History history;
    if (!OpenHistory(options->Project, history, error))
        return Fail(error);
    const std::optional<CrawlInfo> latest = history.Latest();
    const QString which = options->Values.count(QStringLiteral("--from"))
                              ? options->Values.at(QStringLiteral("--from"))
                              : QStringLiteral("previous");
    const std::optional<CrawlInfo> earlier = history.Earlier(which.toStdString());
    if (!latest || !earlier)
        return Fail(QStringLiteral("the crawl history holds no earlier crawl \"%1\"").arg(which));
    std::vector<PageChange> changes;
    DiffPages(history.PageReader(earlier->Id), history.PageReader(latest->Id),
              [&](const PageChange& change) { changes.push_back(change); });
    const bool csv = options->Values.count(QStringLiteral("--csv")) > 0;
    const bool json = options->Values.count(QStringLiteral("--json")) > 0;
    if ((csv || !json) &&
        !WriteOutput(
            csv ? options->Values.at(QStringLiteral("--csv")) : QStringLiteral("-"),
            [&](std::ostream& out) { WriteChangesCsv(out, changes); }, error))
        return Fail(error);
    if (json && !WriteOutput(
                    options->Values.at(QStringLiteral("--json")),
                    [&](std::ostream& out) { WriteChangesJson(out, changes); }, error))
        return Fail(error);
    return Ok;
}

// ---- sitemap ----

int Sitemap(const QStringList& args) {
    QString error;
    const std::optional<Options> options = ReadOptions(args, {QStringLiteral("--xml")}, error);
    if (!options)
        return Bad(error);
    if (!options->Values.count(QStringLiteral("--xml")))
        return Bad(QStringLiteral("--xml FILE is missing"));
    History history;
    if (!OpenHistory(options->Project, history, error))
        return Fail(error);
    // Numbered files are named under the folder of the crawl's root URL.
    std::string why;
    const long long written =
        WriteLatestSitemap(history, options->Values.at(QStringLiteral("--xml")).toStdString(), why);
    if (written < 0)
        return Fail(QString::fromStdString(why));
    std::cerr << "vantora-cli: " << written << " pages written\n";
    return Ok;
}

// ---- crawls ----

int Crawls(const QStringList& args) {
    QString error;
    const std::optional<Options> options = ReadOptions(args, {}, error);
    if (!options)
        return Bad(error);
    History history;
    if (!OpenHistory(options->Project, history, error))
        return Fail(error);
    for (const CrawlInfo& crawl : history.Crawls())
        std::cout << crawl.Time << "\t" << crawl.Pages << " URLs\t" << crawl.Findings
                  << " findings\t" << crawl.Root << "\n";
    return Ok;
}

} // namespace

int Run(const QStringList& arguments) {
    if (arguments.isEmpty())
        return Bad(QStringLiteral("a command is missing"));
    const QString command = arguments.first();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") ||
        command == QStringLiteral("help") || arguments.contains(QStringLiteral("--help"))) {
        std::cout << Usage;
        return Ok;
    }
    if (command == QStringLiteral("--version")) {
        std::cout << "vantora-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
        return Ok;
    }
    const QStringList rest = arguments.mid(1);
    if (command == QStringLiteral("crawl"))
        return Crawl(rest);
    if (command == QStringLiteral("health"))
        return Health(rest);
    if (command == QStringLiteral("diff"))
        return Diff(rest);
    if (command == QStringLiteral("sitemap"))
        return Sitemap(rest);
    if (command == QStringLiteral("crawls"))
        return Crawls(rest);
    return Bad(QStringLiteral("unknown command \"%1\"").arg(command));
}

} // namespace vantora::cli
