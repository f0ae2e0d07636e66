#include "BackgroundSink.h"

#include "DocumentSink.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

namespace vantora {

namespace {
// Lines passed to the writing thread at once: few enough to keep the two
// threads busy together, many enough that handing them over costs nothing.
constexpr size_t ChunkLines = 4096;
// Chunks waiting at most: a writer faster than the document waits for it
// rather than holding the report twice.
constexpr size_t MostWaiting = 16;
} // namespace

BackgroundSink::BackgroundSink(std::unique_ptr<QTextDocument> document)
    : Document(document.release()), Caller(QThread::currentThread()) {
    Filling.reserve(ChunkLines);
    Worker.reset(QThread::create([this] { Run(); }));
    Document->moveToThread(Worker.get());
    Worker->start();
}

BackgroundSink::~BackgroundSink() {
    if (Worker)
        delete Finish().release();
}

void BackgroundSink::ClearReport() {
    Filling.push_back({Current, QString(), true});
}

void BackgroundSink::SetFormat(const ReportFormat& format) {
    Current = format;
}

void BackgroundSink::AppendLine(const QString& text) {
    Filling.push_back({Current, text});
    if (Filling.size() >= ChunkLines)
        Pass();
}

void BackgroundSink::Pass() {
    if (Filling.empty())
        return;
    {
        std::unique_lock<std::mutex> hold(Lock);
        Drained.wait(hold, [this] { return Queue.size() < MostWaiting; });
        Queue.push_back(std::move(Filling));
    }
    Wake.notify_one();
    Filling = {};
    Filling.reserve(ChunkLines);
}

void BackgroundSink::Run() {
    {
        DocumentSink sink(*Document);
        ReportFormat written;
        sink.SetFormat(written);
        // One edit block for all: the document tells of its change once.
        QTextCursor block(Document);
        block.beginEditBlock();
        for (;;) {
            std::vector<Line> chunk;
            {
                std::unique_lock<std::mutex> hold(Lock);
                Wake.wait(hold, [this] { return !Queue.empty() || Closing; });
                if (Queue.empty())
                    break;
                chunk = std::move(Queue.front());
                Queue.pop_front();
            }
            Drained.notify_one();
            // Runs of lines in one format go in at once.
            std::vector<QString> run;
            for (size_t i = 0; i < chunk.size();) {
                const Line& line = chunk[i];
                if (line.Clear) {
                    sink.ClearReport();
                    ++i;
                    continue;
                }
                if (!(line.Format == written)) {
                    written = line.Format;
                    sink.SetFormat(written);
                }
                run.clear();
                for (; i < chunk.size() && !chunk[i].Clear && chunk[i].Format == written; ++i)
                    run.push_back(chunk[i].Text);
                sink.AppendLines(run.data(), run.data() + run.size());
            }
        }
        block.endEditBlock();
    }
    Document->moveToThread(Caller);
}

std::unique_ptr<QTextDocument> BackgroundSink::Finish() {
    if (!Worker)
        return nullptr;
    Pass();
    {
        std::lock_guard<std::mutex> hold(Lock);
        Closing = true;
    }
    Wake.notify_one();
    Worker->wait();
    Worker.reset();
    return std::unique_ptr<QTextDocument>(std::exchange(Document, nullptr));
}

} // namespace vantora
