#pragma once
// The program options and the other per-user values kept in the settings
// store: four recent files, five options, two panel sizes, the tip mode and
// the analysis server's address.
#include <QString>
#include <QStringList>

namespace vantora {

class SettingsStore;

// The names of the stored values; every reader and writer uses these.
namespace SettingKey {
inline constexpr QLatin1String Dial("Dial");
inline constexpr QLatin1String ReportGen("ReportGen");
inline constexpr QLatin1String CheckMsg("CheckMsg");
inline constexpr QLatin1String Clear("Clear");
inline constexpr QLatin1String Leave("Leave");
inline constexpr QLatin1String HorzPos("HorzPos");
inline constexpr QLatin1String VertPos("VertPos");
inline constexpr QLatin1String Tip("Tip");
inline constexpr QLatin1String ServerAddress("ServerAddress");
inline constexpr QLatin1String UserId("UserId");
// The token of a shared analysis server, sent with every request to
// ServerAddress; not written unless the user sets one.
inline constexpr QLatin1String ServerToken("ServerToken");
// File0 .. File3.
inline QString RecentFile(int slot) {
    return QStringLiteral("File%1").arg(slot);
}
} // namespace SettingKey

inline constexpr int DefaultHorzPos = 279;
inline constexpr int DefaultVertPos = 153;
inline const char* const DefaultServerAddress = "127.0.0.1:47800";

struct ProgramOptions {
    // Start values before anything is read: the fields stay so when the
    // store cannot be opened.
    bool Dial = false;
    bool ReportGen = false;
    int CheckMsg = 0;
    bool Clear = false;
    bool Leave = false;
    int TipOfTheDayMode = 0;
};

struct StoredSettings {
    QStringList RecentFiles{QString(), QString(), QString(), QString()};
    ProgramOptions Options;
    int HorzPos = 0;
    int VertPos = 0;
    QString ServerAddress;
    // Sent with the stop-bulletins requests; empty unless the store holds one.
    QString UserId;
    // "Server token": empty unless the store holds one.
    QString ServerToken;
    bool HaveHorzPos = false;
    bool HaveVertPos = false;
};

// Writes every value that does not exist yet with its default (the panel
// sizes from their current sizes), then reads all of them back. A store that
// cannot be opened leaves the start values.
StoredSettings LoadSettings(SettingsStore& store, int currentHorzPos, int currentVertPos);

// Writes File0..File3.
void StoreRecentFiles(SettingsStore& store, const QStringList& recentFiles);

// Writes HorzPos, VertPos and Tip at shut-down.
void StoreWindowState(SettingsStore& store, int horzPos, int vertPos, int tipMode);

// A flag value as stored: read as true when not 0.
bool FlagValue(const QVariant& value);

} // namespace vantora
