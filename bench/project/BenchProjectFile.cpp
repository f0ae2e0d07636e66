// Writes and reads a project of 200,000 site map lines (or as many as asked: a
// site of a million pages is some 1,200,000) and 50,000 results in each archive,
// and prints MB/s for each direction beside a plain file write and read of the
// same bytes. Usage: bench_project [folder] [rounds] [site map lines]
#include "ProjectFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace vantora;

namespace {

ProjectData BigProject(int lines) {
    ProjectData p;
    p.RootHost = QStringLiteral("www.example.com");
    p.RootPath = QStringLiteral("/");
    for (int i = 0; i < lines; ++i)
        p.SiteMapLines << QStringLiteral(
                              "%1|http://www.example.com/section%2/page%3.html|Page title "
                              "number %3")
                              .arg(i % 5)
                              .arg(i % 97)
                              .arg(i);
    const QString body = QStringLiteral(
        "RESULT<br>Keyword density for 'search engine': 3.2%<br>Title contains keyword: yes<br>"
        "Meta description length: 148<br>Links found: 42<br>Words on page: 1200<br>Verdict: good");
    for (int kind = 1; kind <= 5; ++kind) {
        ToolArchive* a = p.ArchiveForTag(kind);
        for (int i = 0; i < 50000; ++i)
            a->Append(
                QStringLiteral("http://www.example.com/section%1/page%2.html").arg(i % 97).arg(i),
                QStringLiteral("08/12/26 14:%1:%2").arg(i % 60).arg(i % 59),
                body + QString::number(i), kind == 1 ? QString::number(i % 100) : QString());
    }
    for (int i = 0; i < 1000; ++i)
        p.BulletinMessages.Append(QStringLiteral("Bulletin %1<br>Your page moved up.").arg(i),
                                  QStringLiteral("Rankscout"),
                                  QStringLiteral("http://www.example.com/"), QStringLiteral("0"));
    return p;
}

// The best time of rounds runs of run; setup runs untimed before each.
double Best(int rounds, const std::function<bool()>& setup, const std::function<bool()>& run) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        setup();
        QElapsedTimer t;
        t.start();
        if (!run()) {
            std::fprintf(stderr, "run failed\n");
            return 0;
        }
        best = qMin(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

void Print(const char* what, qint64 bytes, double seconds) {
    std::printf("%-44s %8.1f MB/s  (%.3f s)\n", what, bytes / 1e6 / seconds, seconds);
}

double Best(int rounds, const std::function<bool()>& run) {
    return Best(
        rounds, [] { return true; }, run);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    const int rounds = argc > 2 ? qMax(1, atoi(argv[2])) : 3;
    const QString path = folder + QStringLiteral("/bench.zpr");
    const QString peerPath = folder + QStringLiteral("/peer.bin");

    const int lines = argc > 3 ? qMax(1, atoi(argv[3])) : 200000;
    const ProjectData project = BigProject(lines);
    const QByteArray bytes = SerializeProject(project);
    const qint64 size = bytes.size();
    std::printf("project file: %.1f MB, %lld lines, %d rounds (best shown)\n", size / 1e6,
                qlonglong(bytes.count('\r')), rounds);

    Print("serialise in memory", size,
          Best(rounds, [&] { return SerializeProject(project).size() == size; }));
    Print("WriteProjectFile (serialise + save + sync)", size,
          Best(rounds, [&] { return WriteProjectFile(path, project).IsOk(); }));
    Print("peer: QSaveFile of the same bytes", size, Best(rounds, [&] {
              QSaveFile f(peerPath);
              return f.open(QIODevice::WriteOnly) && f.write(bytes) == size && f.commit();
          }));

    // The parsed project is freed outside the timed part: freeing a
    // million strings is not reading.
    ProjectData parsed;
    Print("parse in memory", size,
          Best(
              rounds,
              [&] {
                  parsed = ProjectData();
                  return true;
              },
              [&] { return ParseProject(bytes, parsed).IsOk(); }));
    Print("ReadProjectFile (read + decode + parse)", size,
          Best(
              rounds,
              [&] {
                  parsed = ProjectData();
                  return true;
              },
              [&] {
                  return ReadProjectFile(path, parsed).IsOk() &&
                         parsed.SiteMapLines.size() == lines;
              }));
    Print("peer: QFile::readAll of the same file", size, Best(rounds, [&] {
              QFile f(path);
              return f.open(QIODevice::ReadOnly) && f.readAll().size() == size;
          }));
    QFile::remove(path);
    QFile::remove(peerPath);
    return 0;
}
