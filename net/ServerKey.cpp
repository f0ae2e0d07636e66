#include "ServerKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

namespace {

constexpr int MinKeyLength = 16;

QByteArray ReadKey(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray key = f.readLine(256).trimmed();
    return key.size() >= MinKeyLength ? key : QByteArray();
}

// Writes a new key into a file made for the owner alone: the file never
// exists with wider permissions, not even for a moment.
bool WriteNewKey(const QString& file) {
    const QString temporary = file + QStringLiteral(".new");
    QFile::remove(temporary);
    const int fd = ::open(QFile::encodeName(temporary).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    QByteArray random(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()),
                                          random.size() / 4);
    const QByteArray line = random.toHex() + '\n';
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    ::close(fd);
    // link() fails when another copy of the program was first: its key counts.
    const bool placed = written && ::link(QFile::encodeName(temporary).constData(),
                                          QFile::encodeName(file).constData()) == 0;
    QFile::remove(temporary);
    return placed;
}

} // namespace

QString DefaultServerKeyFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/vantora/server-key");
}

QByteArray LoadServerKey(const QString& file) {
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath()))
        return {};
    if (QFileInfo::exists(file)) {
        // Only the owner may read it, whatever made it.
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (QByteArray key = ReadKey(file); !key.isEmpty())
            return key;
        QFile::remove(file); // holds no key: replaced
    }
    if (!WriteNewKey(file))
        QThread::msleep(50); // another copy of the program is writing it
    return ReadKey(file);
}

} // namespace vantora
