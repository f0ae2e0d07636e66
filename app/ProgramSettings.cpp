#include "ProgramSettings.h"

#include "Settings.h"

namespace vantora {

namespace {

int IntValue(const QVariant& value) {
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok ? n : 0;
}

} // namespace

bool FlagValue(const QVariant& value) {
    return IntValue(value) != 0;
}

StoredSettings LoadSettings(SettingsStore& store, int currentHorzPos, int currentVertPos) {
    StoredSettings result;
    if (store.OpenKey(true)) {
        const QList<QPair<QString, QVariant>> defaults = {
            {QStringLiteral("File0"), QString()},
            {QStringLiteral("File1"), QString()},
            {QStringLiteral("File2"), QString()},
            {QStringLiteral("File3"), QString()},
            {QStringLiteral("Dial"), 1},
            {QStringLiteral("ReportGen"), 1},
            {QStringLiteral("CheckMsg"), 5},
            {QStringLiteral("Clear"), 0},
            {QStringLiteral("Leave"), 1},
            {QStringLiteral("HorzPos"), currentHorzPos},
            {QStringLiteral("VertPos"), currentVertPos},
            {QStringLiteral("Tip"), 2},
            {QStringLiteral("ServerAddress"), QString::fromLatin1(DefaultServerAddress)},
        };
        for (const auto& [name, value] : defaults)
            if (!store.Contains(name))
                store.SetValue(name, value);
        store.CloseKey();
    }
    if (!store.OpenKey(false))
        return result;
    for (int i = 0; i < 4; ++i)
        result.RecentFiles[i] = store.Value(QStringLiteral("File%1").arg(i)).toString();
    result.Options.Dial = FlagValue(store.Value(QStringLiteral("Dial")));
    result.Options.ReportGen = FlagValue(store.Value(QStringLiteral("ReportGen")));
    result.Options.CheckMsg = IntValue(store.Value(QStringLiteral("CheckMsg")));
    result.Options.Clear = FlagValue(store.Value(QStringLiteral("Clear")));
    result.Options.Leave = FlagValue(store.Value(QStringLiteral("Leave")));
    result.Options.TipOfTheDayMode = IntValue(store.Value(QStringLiteral("Tip")));
    result.HaveHorzPos = store.Contains(QStringLiteral("HorzPos"));
    result.HaveVertPos = store.Contains(QStringLiteral("VertPos"));
    result.HorzPos = IntValue(store.Value(QStringLiteral("HorzPos")));
    result.VertPos = IntValue(store.Value(QStringLiteral("VertPos")));
    result.ServerAddress = store.Value(QStringLiteral("ServerAddress")).toString().trimmed();
    if (result.ServerAddress.isEmpty())
        result.ServerAddress = QString::fromLatin1(DefaultServerAddress);
    if (store.Contains(QStringLiteral("UserId")))
        result.UserId = store.Value(QStringLiteral("UserId")).toString().trimmed();
    store.CloseKey();
    return result;
}

void StoreRecentFiles(SettingsStore& store, const QStringList& recentFiles) {
    if (!store.OpenKey(true))
        return;
    for (int i = 0; i < 4; ++i)
        store.SetValue(QStringLiteral("File%1").arg(i), recentFiles.value(i));
    store.CloseKey();
}

void StoreWindowState(SettingsStore& store, int horzPos, int vertPos, int tipMode) {
    if (!store.OpenKey(true))
        return;
    store.SetValue(QStringLiteral("HorzPos"), horzPos);
    store.SetValue(QStringLiteral("VertPos"), vertPos);
    store.SetValue(QStringLiteral("Tip"), tipMode);
    store.CloseKey();
}

} // namespace vantora
