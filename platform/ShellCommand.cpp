#include "ShellCommand.h"

#include "Environment.h"

namespace vantora {

namespace {
constexpr int MaxTail = 4095;
}

QString ShellCommandLine(const QString& commandTemplate, const QString& argument) {
    const qsizetype percent = commandTemplate.indexOf(QLatin1Char('%'));
    if (percent >= 0)
        return commandTemplate.left(percent) + argument + commandTemplate.mid(percent + 2, MaxTail);
    const QString quoted = QLatin1Char('"') + argument + QLatin1Char('"');
    // A template that ends in a double quote is taken to be a quoted program
    // path; putting the argument inside that quote would make one word of
    // both, which cannot be started.
    return commandTemplate + QLatin1Char(' ') + quoted;
}

void RunShellCommand(ShellLauncher& shell, ShellProtocol protocol, const QString& argument) {
    QString commandTemplate;
    if (protocol == ShellProtocol::WebBrowser) {
        commandTemplate = shell.CommandTemplate(QStringLiteral("http"));
        if (commandTemplate.isEmpty())
            commandTemplate = shell.CommandTemplate(QStringLiteral("HTTP"));
    } else {
        commandTemplate = shell.CommandTemplate(QStringLiteral("mailto"));
    }
    if (commandTemplate.trimmed().isEmpty())
        return;
    shell.StartDetached(ShellCommandLine(commandTemplate, argument));
}

} // namespace vantora
