#include "HelpLinks.h"

#include "ShellCommand.h"

#include <QUrl>

#include <iterator>

namespace vantora {

QString HelpPageOfToolPage(int toolPage) {
    static const char* const pages[] = {"wordweigh.htm",  "stuffwatch.htm", "rankscout.htm",
                                        "enginepost.htm", "backwatchx.htm", "tagsmith.htm",
                                        "audit.htm",      "bulletin.htm"};
    if (toolPage < 0 || toolPage >= int(std::size(pages)))
        return QString();
    return QString::fromLatin1(pages[toolPage]);
}

QString ChooseHelpPage(bool projectOpen, const QString& focusPage) {
    if (!projectOpen)
        return QStringLiteral("tour.htm");
    return focusPage.isEmpty() ? QStringLiteral("index.htm") : focusPage;
}

QString HelpPageUrl(const QString& programDir, const QString& page) {
    return QUrl::fromLocalFile(programDir + QStringLiteral("Help/") + page)
        .toString(QUrl::FullyEncoded);
}

void OpenHelpPage(ShellLauncher& shell, const QString& programDir, const QString& page) {
    RunShellCommand(shell, ShellProtocol::WebBrowser, HelpPageUrl(programDir, page));
}

void OpenHomePage(ShellLauncher& shell) {
    RunShellCommand(shell, ShellProtocol::WebBrowser, QString::fromLatin1(HomePageUrl));
}

void MailSupport(ShellLauncher& shell) {
    RunShellCommand(shell, ShellProtocol::Mail,
                    QStringLiteral("mailto:") + QString::fromLatin1(SupportAddress));
}

void MailSales(ShellLauncher& shell) {
    RunShellCommand(shell, ShellProtocol::Mail,
                    QStringLiteral("mailto:") + QString::fromLatin1(SalesAddress));
}

} // namespace vantora
