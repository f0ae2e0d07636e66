#pragma once
// The four most recent project files (newest first) and the captions of
// their File menu entries.
#include <QString>
#include <QStringList>

namespace vantora {

inline constexpr int RecentFileSlots = 4;

// Moves fileName to slot 0 of recent (resized to four slots; an empty text is
// an empty slot). A name already in a slot moves up and the slots above it
// move down one place; a new name pushes every slot down and drops the old
// slot 3. Comparisons are exact and case-sensitive.
void MoveToFrontOfRecentFiles(QStringList& recent, const QString& fileName);

// The path as a menu shows it: whole when it has at most 23 characters;
// otherwise "..." and its last 21 characters, from their first folder
// separator on ("/" or "\", all 21 when they hold none).
QString ShortenRecentPath(const QString& path);

// "&" + slot number (1 to 4) + a blank + the shortened path, for slot
// index 0..3. A "&" in the path is doubled so the menu shows it instead of
// taking it as a mnemonic.
QString RecentFileCaption(int slot, const QString& path);

// True when at least one slot is used (the menu's separator is then shown).
bool HasRecentFiles(const QStringList& recent);

} // namespace vantora
