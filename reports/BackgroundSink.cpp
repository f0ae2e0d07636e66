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
        std::lock_guard<std::mutex> hold(Lock);
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
        for (bool closing = false; !closing;) {
            std::vector<std::vector<Line>> taken;
            {
                std::unique_lock<std::mutex> hold(Lock);
                Wake.wait(hold, [this] { return !Queue.empty() || Closing; });
                taken.swap(Queue);
                closing = Closing;
            }
            for (const std::vector<Line>& chunk : taken)
                for (const Line& line : chunk) {
                    if (line.Clear) {
                        sink.ClearReport();
                        continue;
                    }
                    if (!(line.Format == written)) {
                        written = line.Format;
                        sink.SetFormat(written);
                    }
                    sink.AppendLine(line.Text);
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
