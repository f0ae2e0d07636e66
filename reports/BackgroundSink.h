#pragma once
// A report sink that writes into a document of its own on a thread of its
// own, so that the lines of a long report are made and put into a document
// at the same time, on two cores. Lines are passed on in chunks; Finish
// waits for the last of them and hands the document to the calling thread.
#include "ReportSink.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class QTextDocument;
class QThread;

namespace vantora {

class BackgroundSink : public ReportSink {
  public:
    // document: one without a parent, of the calling thread; its settings
    // (fonts, margins, text options) are kept.
    explicit BackgroundSink(std::unique_ptr<QTextDocument> document);
    ~BackgroundSink() override;
    BackgroundSink(const BackgroundSink&) = delete;
    BackgroundSink& operator=(const BackgroundSink&) = delete;

    void ClearReport() override;
    void SetFormat(const ReportFormat& format) override;
    void AppendLine(const QString& text) override;

    // Waits until every line written is in the document, and gives the
    // document back, now of the calling thread.
    std::unique_ptr<QTextDocument> Finish();

  private:
    struct Line {
        ReportFormat Format;
        QString Text;
        bool Clear = false;
    };
    void Pass();
    void Run();

    ReportFormat Current;
    std::vector<Line> Filling;
    std::mutex Lock;
    std::condition_variable Wake;
    std::condition_variable Drained;
    std::deque<std::vector<Line>> Queue;
    bool Closing = false;
    QTextDocument* Document;
    QThread* Caller;
    std::unique_ptr<QThread> Worker;
};

} // namespace vantora
