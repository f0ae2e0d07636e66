// The Help menu and F1: the help page for the control with the focus, from
// every window of the program.
#include "Main.h"

#include "Environment.h"
#include "HelpLinks.h"
#include "about.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

namespace vantora {

void MainWindow::BuildHelpMenu() {
    QAction* contents = MakeAction("actContents", "&Contents", QString(), Qt::Key_F1);
    // F1 opens the help from every window of the program, dialogs included.
    contents->setShortcutContext(Qt::ApplicationShortcut);
    OnTriggered(contents, [this] { ShowHelpContents(); });
    OnTriggered(MakeAction("actHomePage", "ZEPH Home &Page"), [this] { OpenHomePage(*Env.shell); });
    OnTriggered(MakeAction("actMailSupport", "Email ZEPH Support"),
                [this] { MailSupport(*Env.shell); });
    OnTriggered(MakeAction("actMailSales", "Email ZEPH Sales"), [this] { MailSales(*Env.shell); });
    OnTriggered(MakeAction("actAbout", "&About..."), [this] { RunModal(About); });

    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };
    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpMenu->addAction(a("actContents"));
    HelpMenu->addSeparator();
    HelpMenu->addAction(a("actHomePage"));
    HelpMenu->addAction(a("actMailSupport"));
    HelpMenu->addAction(a("actMailSales"));
    HelpMenu->addSeparator();
    HelpMenu->addAction(a("actAbout"));
}

QString MainWindow::HelpPageForFocus() const {
    QString focusPage;
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        const QVariant page = w->property(HelpPageProperty);
        if (page.isValid()) {
            focusPage = page.toString();
            break;
        }
    }
    return ChooseHelpPage(ProjectIsOpen(), focusPage);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier &&
        QApplication::activeModalWidget() && watched == QApplication::focusObject()) {
        RunCommand([this] { ShowHelpContents(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowHelpContents() {
    OpenHelpPage(*Env.shell, ProgramDir, HelpPageForFocus());
}

} // namespace vantora
