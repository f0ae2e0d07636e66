#pragma once
// The help pages and the maker's links: which help page belongs to which
// tool page, the page's "file://" URL, and the home page and mail addresses,
// all opened through the shell's registered browser and mail client.
#include <QString>

namespace vantora {

class ShellLauncher;

inline const char* const HomePageUrl = "http://www.korvane.example/";
inline const char* const SupportAddress = "support@korvane.example";
inline const char* const SalesAddress = "sales@korvane.example";

// The dynamic property that names a widget's help page; the page chosen for
// the focus is that of the nearest widget, the focus widget or an ancestor,
// that has it.
inline const char* const HelpPageProperty = "vantoraHelpPage";

// The help page of tool page index 0..7; empty for any other index.
QString HelpPageOfToolPage(int toolPage);

// The page for the help contents: "tour.htm" with no project open, whatever
// has the focus; otherwise focusPage when it is not empty, else "index.htm".
QString ChooseHelpPage(bool projectOpen, const QString& focusPage);

// The "file://" URL of page in the folder "Help" below programDir (which ends
// in "/"). Characters that would change the URL's meaning ("#", "?", "%",
// blanks) are percent-encoded, so the browser opens exactly that file.
QString HelpPageUrl(const QString& programDir, const QString& page);

// Opens the help page in the web browser.
void OpenHelpPage(ShellLauncher& shell, const QString& programDir, const QString& page);
// The maker's home page in the web browser.
void OpenHomePage(ShellLauncher& shell);
// A new mail to the support or the sales address in the mail client.
void MailSupport(ShellLauncher& shell);
void MailSales(ShellLauncher& shell);

} // namespace vantora
