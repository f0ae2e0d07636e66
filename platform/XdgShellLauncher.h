#pragma once
// The shell launcher of a freedesktop.org desktop: the default handler of
// x-scheme-handler/<scheme> from the mimeapps.list files, its desktop entry's
// Exec line as the command template.
#include "Environment.h"

#include <QStringList>

namespace vantora {

class XdgShellLauncher : public ShellLauncher {
  public:
    // The Exec line of the default handler with %u, %U, %f or %F turned into
    // a quoted "%1" and the other field codes removed; empty when none.
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
};

} // namespace vantora
