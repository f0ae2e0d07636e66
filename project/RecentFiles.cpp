#include "RecentFiles.h"

namespace vantora {

void MoveToFrontOfRecentFiles(QStringList& recent, const QString& fileName) {
    while (recent.size() < RecentFileSlots)
        recent.append(QString());
    while (recent.size() > RecentFileSlots)
        recent.removeLast();

    if (recent[0] != fileName) {
        for (int i = 1; i < RecentFileSlots; ++i) {
            if (recent[i] == fileName) {
                for (int j = i; j > 0; --j)
                    recent[j] = recent[j - 1];
                recent[0] = fileName;
                break;
            }
        }
    }
    if (recent[0] != fileName) {
        for (int j = RecentFileSlots - 1; j > 0; --j)
            recent[j] = recent[j - 1];
        recent[0] = fileName;
    }
}

QString ShortenRecentPath(const QString& path) {
    if (path.size() <= 23)
        return path;
    QString tail = path.right(21);
    qsizetype cut = -1;
    for (qsizetype i = 0; i < tail.size() && cut < 0; ++i)
        if (tail.at(i) == u'/' || tail.at(i) == u'\\')
            cut = i;
    if (cut > 0)
        tail = tail.mid(cut);
    return QStringLiteral("...") + tail;
}

QString RecentFileCaption(int slot, const QString& path) {
    QString shown = ShortenRecentPath(path);
    shown.replace(u'&', QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(slot + 1).arg(shown);
}

bool HasRecentFiles(const QStringList& recent) {
    for (const QString& file : recent)
        if (!file.isEmpty())
            return true;
    return false;
}

} // namespace vantora
