// Times a long report written line by line into a shown report view, as
// the audit writes one (a heading, then one line a page, a bullet written
// before most, all before the program next handles its events), beside the
// same lines written into a document no view shows.
// Usage: bench_report_view [LINES]   (default 100000). Prints; never fails on a time.
#include "DocumentSink.h"
#include "ReportView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <cstdio>

using namespace vantora;

namespace {

long ResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong() >> 10;
    return -1;
}

double Write(ReportSink& sink, int lines) {
    QElapsedTimer timer;
    timer.start();
    ReportFormat heading;
    heading.Bold = true;
    heading.PointSize = 12;
    ReportFormat line;
    ReportFormat indented;
    indented.Italic = true;
    ReportFormat centred = heading;
    centred.Align = ParagraphAlign::Centre;
    ReportFormat bullet;
    bullet.Align = ParagraphAlign::Bullet;
    sink.SetFormat(heading);
    sink.AppendLine(QStringLiteral("A list of all web pages,"));
    for (int i = 0; i < lines; ++i) {
        // now and then a centred heading and a few bulleted paragraphs
        sink.SetFormat(i % 1000 == 0  ? centred
                       : i % 1000 < 4 ? bullet
                       : i % 10 == 0  ? indented
                                      : line);
        sink.AppendLine(QStringLiteral("\u2022 http://big.test/dir%1/page%2.html, ranked %3,")
                            .arg(i / 40)
                            .arg(i % 40)
                            .arg(i % 7));
    }
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    ReportView view;
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();
    const long before = ResidentMb();
    const double shown = Write(view, lines);
    // The end of the report shown: everything laid out.
    QElapsedTimer timer;
    timer.start();
    view.moveCursor(QTextCursor::End);
    view.ensureCursorVisible();
    QCoreApplication::processEvents();
    const double toEnd = double(timer.nsecsElapsed()) / 1e6;
    const long viewMb = ResidentMb() - before;
    // VANTORA_SHOT=file.png: the middle of the report, some lines selected.
    if (const QString shot = qEnvironmentVariable("VANTORA_SHOT"); !shot.isEmpty()) {
        QTextCursor middle(view.document()->findBlockByNumber(lines / 2000 * 1000 - 4));
        view.setTextCursor(middle);
        middle.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 3);
        middle.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 12);
        view.setTextCursor(middle);
        QCoreApplication::processEvents();
        view.grab().save(shot);
    }
    QTextDocument alone;
    DocumentSink sink(alone);
    const double detached = Write(sink, lines);
    std::printf("%d lines: report view %.1f ms (%.0f lines/s, %d blocks), then its end shown in "
                "%.1f ms, %ld MB; "
                "peer, a document no view shows: %.1f ms (%.0f lines/s, %d blocks)\n",
                lines, shown, lines / shown * 1000, view.document()->blockCount(), toEnd, viewMb,
                detached, lines / detached * 1000, alone.blockCount());
    return 0;
}
