#pragma once
// The shell launcher of a freedesktop.org desktop: the handler of
// x-scheme-handler/<scheme> found as the MIME applications rules find it (the
// defaults of the mimeapps.list files, then their added associations, then
// the mimeinfo.cache of the installed desktop entries, less the removed
// associations), its desktop entry's Exec line as the command template; when
// no entry handles the scheme, xdg-open where it is installed.
#include "Environment.h"

#include <QStringList>

namespace vantora {

class XdgShellLauncher : public ShellLauncher {
  public:
    // The Exec line of the handler with %u, %U, %f or %F turned into a quoted
    // "%1" and the other field codes removed; xdg-open with a quoted "%1"
    // when no handler is found; empty when neither exists.
    QString CommandTemplate(const QString& scheme) override;
    // Splits the command line into words (double quotes group) and starts it
    // detached. False when it is empty or cannot start.
    bool StartDetached(const QString& commandLine) override;

    // The mimeapps.list files in order of precedence.
    static QStringList MimeAppsFiles();
    // The folders holding desktop entries, in order of precedence.
    static QStringList ApplicationDirs();
    // An Exec value as a command template (see CommandTemplate).
    static QString TemplateFromExec(const QString& exec);

    // Where xdg-open is looked for; empty means the PATH.
    QStringList OpenerDirs;
};

} // namespace vantora
