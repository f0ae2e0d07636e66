#include "ProcessLauncher.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace vantora {

qint64 DetachedProcessLauncher::Start(const QString& program, const QStringList& arguments,
                                      const QString& workingDir) {
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable())
        return 0;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDir);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(ErrorFile.isEmpty() ? QProcess::nullDevice() : ErrorFile);
    ErrorFile.clear();
    qint64 pid = 0;
    if (!process.startDetached(&pid) || pid <= 0)
        return 0;
    Started.insert(pid);
    return pid;
}

bool DetachedProcessLauncher::IsRunning(qint64 id) {
    if (!Started.contains(id))
        return false;
    // A detached program is reaped by the system once it ends; one that is
    // left as a zombie has ended as well.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(id));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        if (close >= 0 && close + 2 < text.size())
            return text.at(close + 2) != 'Z' && text.at(close + 2) != 'X';
        return true;
    }
    if (::kill(pid_t(id), 0) == 0)
        return true;
    if (errno == EPERM)
        return true;
    Started.remove(id);
    return false;
}

void DetachedProcessLauncher::End(qint64 id) {
    if (!IsRunning(id))
        return;
    ::kill(pid_t(id), SIGTERM);
    Started.remove(id);
}

} // namespace vantora
