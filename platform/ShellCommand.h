#pragma once
// Opening a URL in the user's web browser or a new mail in the mail client
// through the command the desktop has registered for the protocol.
#include <QString>

namespace vantora {

class ShellLauncher;

enum class ShellProtocol { WebBrowser, Mail };

// The command line for a registered command template and an argument:
// - with a "%": the text before the first "%", the argument, then the text
//   from the second character after that "%" (a second placeholder stays);
// - else, not ending in a double quote: the template, a blank and the
//   argument in double quotes;
// - else (a quoted program path): the template, a blank and the argument in
//   double quotes, so that path and argument stay separate words.
QString ShellCommandLine(const QString& commandTemplate, const QString& argument);

// Starts the browser ("http") or mail client ("mailto") with argument, without
// waiting. Every failure (nothing registered, no program) is silent.
void RunShellCommand(ShellLauncher& shell, ShellProtocol protocol, const QString& argument);

} // namespace vantora
