#pragma once
// Starting an outside program (the site-mapping applet) and keeping track of it.
#include <QSet>
#include <QString>
#include <QStringList>

namespace vantora {

class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    // Starts program with arguments in workingDir, detached and without a
    // window. Returns an id greater than 0, or 0 when it could not start.
    virtual qint64 Start(const QString& program, const QStringList& arguments,
                         const QString& workingDir) = 0;
    // Ends a program this launcher started; nothing when it has already ended.
    virtual void End(qint64 id) = 0;
    // Whether a program this launcher started is still running.
    virtual bool IsRunning(qint64 id) = 0;
    // The file that the error output of the next program started goes to; empty
    // (the default) throws it away.
    virtual void SetErrorFile(const QString& path) { (void)path; }
};

// The real launcher: QProcess::startDetached, output discarded, error output to
// the file set before the start; the id is the process id. Only processes it
// started itself are ever signalled.
class DetachedProcessLauncher : public ProcessLauncher {
  public:
    qint64 Start(const QString& program, const QStringList& arguments,
                 const QString& workingDir) override;
    void End(qint64 id) override;
    bool IsRunning(qint64 id) override;
    void SetErrorFile(const QString& path) override { ErrorFile = path; }

  private:
    QSet<qint64> Started;
    QString ErrorFile;
};

} // namespace vantora
