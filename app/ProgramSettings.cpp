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
            {SettingKey::RecentFile(0), QString()},
            {SettingKey::RecentFile(1), QString()},
            {SettingKey::RecentFile(2), QString()},
            {SettingKey::RecentFile(3), QString()},
            {SettingKey::Dial, 1},
            {SettingKey::ReportGen, 1},
            {SettingKey::CheckMsg, 5},
            {SettingKey::Clear, 0},
            {SettingKey::Leave, 1},
            {SettingKey::HorzPos, currentHorzPos},
            {SettingKey::VertPos, currentVertPos},
            {SettingKey::Tip, 2},
            {SettingKey::ServerAddress, QString::fromLatin1(DefaultServerAddress)},
        };
        for (const auto& [name, value] : defaults)
            if (!store.Contains(name))
                store.SetValue(name, value);
        store.CloseKey();
    }
    if (!store.OpenKey(false))
        return result;
    for (int i = 0; i < 4; ++i)
        result.RecentFiles[i] = store.Value(SettingKey::RecentFile(i)).toString();
    result.Options.Dial = FlagValue(store.Value(SettingKey::Dial));
    result.Options.ReportGen = FlagValue(store.Value(SettingKey::ReportGen));
    result.Options.CheckMsg = IntValue(store.Value(SettingKey::CheckMsg));
    result.Options.Clear = FlagValue(store.Value(SettingKey::Clear));
    result.Options.Leave = FlagValue(store.Value(SettingKey::Leave));
    result.Options.TipOfTheDayMode = IntValue(store.Value(SettingKey::Tip));
    result.HaveHorzPos = store.Contains(SettingKey::HorzPos);
    result.HaveVertPos = store.Contains(SettingKey::VertPos);
    result.HorzPos = IntValue(store.Value(SettingKey::HorzPos));
    result.VertPos = IntValue(store.Value(SettingKey::VertPos));
    result.ServerAddress = store.Value(SettingKey::ServerAddress).toString().trimmed();
    if (result.ServerAddress.isEmpty())
        result.ServerAddress = QString::fromLatin1(DefaultServerAddress);
    if (store.Contains(SettingKey::ServerToken))
        result.ServerToken = store.Value(SettingKey::ServerToken).toString().trimmed();
    if (store.Contains(SettingKey::UserId))
        result.UserId = store.Value(SettingKey::UserId).toString().trimmed();
    store.CloseKey();
    return result;
}

void StoreRecentFiles(SettingsStore& store, const QStringList& recentFiles) {
    if (!store.OpenKey(true))
        return;
    for (int i = 0; i < 4; ++i)
        store.SetValue(SettingKey::RecentFile(i), recentFiles.value(i));
    store.CloseKey();
}

void StoreWindowState(SettingsStore& store, int horzPos, int vertPos, int tipMode) {
    if (!store.OpenKey(true))
        return;
    store.SetValue(SettingKey::HorzPos, horzPos);
    store.SetValue(SettingKey::VertPos, vertPos);
    store.SetValue(SettingKey::Tip, tipMode);
    store.CloseKey();
}

} // namespace vantora
