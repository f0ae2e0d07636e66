#include "XdgShellLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace vantora {

namespace {

QString EnvOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QStringList SplitDirs(const char* name, const QString& fallback) {
    return EnvOr(name, fallback).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

// The value of key in [section] of a desktop-entry style file.
QString ReadKey(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

// The desktop entry file for a desktop id: "a-b.desktop" may also live as
// a/b.desktop below an applications folder.
QString FindDesktopFile(const QString& id) {
    for (const QString& dir : XdgShellLauncher::ApplicationDirs()) {
        QString candidate = QDir(dir).filePath(id);
        if (QFileInfo(candidate).isFile())
            return candidate;
        QString nested = id;
        while (nested.contains(QLatin1Char('-'))) {
            nested.replace(nested.indexOf(QLatin1Char('-')), 1, QLatin1Char('/'));
            candidate = QDir(dir).filePath(nested);
            if (QFileInfo(candidate).isFile())
                return candidate;
        }
    }
    return {};
}

} // namespace

QStringList XdgShellLauncher::MimeAppsFiles() {
    const QString home = QDir::homePath();
    const QString configHome = EnvOr("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    const QString dataHome = EnvOr("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    const QStringList configDirs = SplitDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    const QStringList dataDirs =
        SplitDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    QStringList desktops;
    for (const QString& d :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << d.toLower();

    QStringList files;
    auto addConfig = [&](const QString& dir) {
        for (const QString& d : desktops)
            files << dir + QLatin1Char('/') + d + QStringLiteral("-mimeapps.list");
        files << dir + QStringLiteral("/mimeapps.list");
    };
    addConfig(configHome);
    for (const QString& dir : configDirs)
        addConfig(dir);
    addConfig(dataHome + QStringLiteral("/applications"));
    for (const QString& dir : dataDirs)
        addConfig(dir + QStringLiteral("/applications"));
    // The older defaults.list files come last.
    files << dataHome + QStringLiteral("/applications/defaults.list");
    for (const QString& dir : dataDirs)
        files << dir + QStringLiteral("/applications/defaults.list");
    return files;
}

QStringList XdgShellLauncher::ApplicationDirs() {
    const QString dataHome =
        EnvOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    QStringList dirs{dataHome + QStringLiteral("/applications")};
    for (const QString& dir :
         SplitDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

QString XdgShellLauncher::TemplateFromExec(const QString& exec) {
    QString result;
    bool placed = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c != QLatin1Char('%') || i + 1 >= exec.size()) {
            result += c;
            continue;
        }
        const QChar code = exec.at(++i);
        if (QStringLiteral("uUfF").contains(code)) {
            // The argument stands in one place only; quoted so that the
            // command line splits back into the same words.
            if (!placed)
                result += QStringLiteral("\"%1\"");
            placed = true;
        }
        // "%%" is dropped too (a literal percent sign would read as a
        // placeholder), and %i, %c, %k and the deprecated codes expand to nothing.
    }
    return result.trimmed();
}

namespace {

QStringList DesktopIds(const QString& value) {
    QStringList ids;
    for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        ids << id.trimmed();
    return ids;
}

} // namespace

QString XdgShellLauncher::CommandTemplate(const QString& scheme) {
    const QString mime = QStringLiteral("x-scheme-handler/") + scheme.toLower();
    QStringList lists;
    for (const QString& list : MimeAppsFiles()) {
        if (QFileInfo(list).isFile())
            lists << list;
    }
    QStringList removed;
    for (const QString& list : lists)
        removed << DesktopIds(ReadKey(list, QStringLiteral("Removed Associations"), mime));

    // The candidates in order: explicit defaults, added associations, then
    // every installed entry that declares the scheme.
    QStringList candidates;
    for (const QString& list : lists)
        candidates << DesktopIds(ReadKey(list, QStringLiteral("Default Applications"), mime));
    for (const QString& list : lists)
        candidates << DesktopIds(ReadKey(list, QStringLiteral("Added Associations"), mime));
    for (const QString& dir : ApplicationDirs())
        candidates << DesktopIds(ReadKey(QDir(dir).filePath(QStringLiteral("mimeinfo.cache")),
                                         QStringLiteral("MIME Cache"), mime));

    for (const QString& id : candidates) {
        if (removed.contains(id))
            continue;
        const QString desktopFile = FindDesktopFile(id);
        if (desktopFile.isEmpty())
            continue;
        const QString exec =
            ReadKey(desktopFile, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
        if (!exec.isEmpty())
            return TemplateFromExec(exec);
    }
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"), OpenerDirs);
    if (!opener.isEmpty())
        return QLatin1Char('"') + opener + QStringLiteral("\" \"%1\"");
    return {};
}

bool XdgShellLauncher::StartDetached(const QString& commandLine) {
    QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty())
        return false;
    const QString program = words.takeFirst();
    return QProcess::startDetached(program, words);
}

} // namespace vantora
