#include "ProjectExtras.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace vantora {

namespace {

const QString WatchesKey = QStringLiteral("watches");
const QString RenderKey = QStringLiteral("render");
const QString CrawlKey = QStringLiteral("crawl");
// A file beside a project is small; anything larger is not one of ours.
constexpr qint64 MaxExtrasBytes = 16 << 20;

enum class ExtrasState { Missing, Read, Unreadable };

ExtrasState Load(const QString& path, QJsonObject& object, QString& why) {
    QFile file(path);
    if (!QFileInfo(path).exists())
        return ExtrasState::Missing;
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > MaxExtrasBytes ||
        !file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("it cannot be opened");
        return ExtrasState::Unreadable;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        why = error.error != QJsonParseError::NoError
                  ? QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset)
                  : QStringLiteral("it is not a JSON object");
        return ExtrasState::Unreadable;
    }
    object = document.object();
    return ExtrasState::Read;
}

} // namespace

QString ProjectExtrasPath(const QString& projectPath) {
    QString base = projectPath;
    if (base.endsWith(QLatin1String(".zpr"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".extras.json");
}

QString ReadProjectExtras(const QString& projectPath, ProjectData& project) {
    const QString path = ProjectExtrasPath(projectPath);
    QJsonObject object;
    QString why;
    switch (Load(path, object, why)) {
    case ExtrasState::Missing:
        return QString();
    case ExtrasState::Unreadable:
        return QStringLiteral("The file %1 beside the project cannot be read (%2). The project "
                              "opens without the watch list and crawl settings kept there; the "
                              "file is kept aside as %1.broken when the project is saved.")
            .arg(path, why);
    case ExtrasState::Read:
        break;
    }
    const QJsonValue watches = object.take(WatchesKey);
    if (project.Watches.isEmpty() && watches.isArray())
        for (const QJsonValue& item : watches.toArray())
            if (item.isString())
                project.Watches << item.toString();
    const QJsonValue render = object.take(RenderKey);
    if (render.isString())
        project.RenderMode = render.toString();
    const QJsonValue crawl = object.take(CrawlKey);
    if (crawl.isObject())
        project.Crawl = CrawlSettingsFromJson(crawl.toObject());
    else if (!crawl.isUndefined())
        object.insert(CrawlKey, crawl); // not ours to read: kept as it was
    project.OtherExtras = object;
    return QString();
}

bool WriteProjectExtras(const QString& projectPath, const ProjectData& project, QString& error) {
    const QString path = ProjectExtrasPath(projectPath);
    QJsonObject object = project.OtherExtras;
    if (!project.Watches.isEmpty())
        object.insert(WatchesKey, QJsonArray::fromStringList(project.Watches));
    if (!project.RenderMode.isEmpty() && project.RenderMode != QLatin1String("off"))
        object.insert(RenderKey, project.RenderMode);
    if (const QJsonObject crawl = CrawlSettingsToJson(project.Crawl); !crawl.isEmpty())
        object.insert(CrawlKey, crawl);

    QJsonObject old;
    QString why;
    const ExtrasState state = Load(path, old, why);
    if (state == ExtrasState::Unreadable) {
        const QString aside = path + QStringLiteral(".broken");
        QFile::remove(aside);
        if (!QFile::rename(path, aside)) {
            error = QStringLiteral("Cannot create file %1").arg(aside);
            return false;
        }
    }
    if (object.isEmpty()) {
        if (state == ExtrasState::Read && !QFile::remove(path)) {
            error = QStringLiteral("Cannot remove file %1").arg(path);
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("Cannot create file %1").arg(path);
        return false;
    }
    return true;
}

QString EffectiveRenderMode(const ProjectData& project) {
    if (project.RenderMode == QLatin1String("auto") || project.RenderMode == QLatin1String("on"))
        return project.RenderMode;
    return QStringLiteral("off");
}

} // namespace vantora
