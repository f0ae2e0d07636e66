// The Edit menu and the report views' pop-up menu. Their commands act on the
// report views; the report editor connects them when it is made.
#include "Main.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace vantora {

void MainWindow::BuildEditMenu() {
    QAction* editReport = MakeAction("actEditReport", "&Edit Report");
    editReport->setCheckable(true);
    MakeAction("actCut", "Cu&t", QString(), QKeySequence(Qt::CTRL | Qt::Key_X));
    MakeAction("actCopy", "&Copy", QString(), QKeySequence(Qt::CTRL | Qt::Key_C));
    MakeAction("actPaste", "&Paste", QString(), QKeySequence(Qt::CTRL | Qt::Key_V));
    MakeAction("actDelete", "Delete", QString(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    MakeAction("actSelectAll", "Se&lect All");

    auto a = [this](const char* name) { return FindAction(QString::fromLatin1(name)); };
    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    EditMenu->addAction(a("actEditReport"));
    EditMenu->addSeparator();
    EditMenu->addAction(a("actCut"));
    EditMenu->addAction(a("actCopy"));
    EditMenu->addAction(a("actPaste"));
    EditMenu->addAction(a("actDelete"));
    EditMenu->addAction(a("actSelectAll"));
}

void MainWindow::BuildReportPopup() {
    ReportPopup = new QMenu(this);
    ReportPopup->setObjectName(QStringLiteral("ReportPopup"));
    for (const char* item : {"&Save Report...", "&Edit Report", "-", "Se&lect All", "Cu&t", "&Copy",
                             "&Paste", "&Delete", "-", "&Print Report", "-", "&Word Wrap"}) {
        if (QString::fromLatin1(item) == QStringLiteral("-"))
            ReportPopup->addSeparator();
        else
            ReportPopup->addAction(QString::fromLatin1(item))
                ->setObjectName(QStringLiteral("pop") +
                                QString::fromLatin1(item).remove('&').remove(' ').remove('.'));
    }
    findChild<QAction*>(QStringLiteral("popEditReport"))->setCheckable(true);
    findChild<QAction*>(QStringLiteral("popWordWrap"))->setCheckable(true);
    findChild<QAction*>(QStringLiteral("popWordWrap"))->setChecked(true);
}

} // namespace vantora
