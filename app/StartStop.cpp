// Start-up after the window is shown and shut-down when it closes.
#include "Main.h"

#include "BulletinPage.h"
#include "BundledServer.h"
#include "DialSession.h"
#include "Dialogs.h"
#include "Environment.h"
#include "ReportEditor.h"
#include "Settings.h"
#include "SiteMapCreation.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "splash.h"
#include "startdlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSplitter>
#include <QThread>

namespace vantora {

void MainWindow::Startup(const QStringList& arguments) {
    Splash->ShowCentred();
    QElapsedTimer started;
    started.start();
    setEnabled(false);
    LetMessagesRun();

    SetProjectStatus(QStringLiteral("No Project open."));
    SiteMap->Creator().ShowMapperInfo = true;

    Reports->FillFontList();

    Net->RequestQueue.clear();
    for (int tag = Transport::FirstToolTag; tag <= Transport::LastToolTag; ++tag)
        Net->PendingAnswers(tag).clear();
    Net->TransportIdle = true;

    const StoredSettings stored = LoadSettings(*Env.settings, DefaultHorzPos, DefaultVertPos);
    ServerAddress = stored.ServerAddress.isEmpty() ? QString::fromLatin1(DefaultServerAddress)
                                                   : stored.ServerAddress;
    RecentFiles = stored.RecentFiles;
    UserId = stored.UserId;
    Options = stored.Options;
    BBPage->SetPeriodicCheck(Options.CheckMsg);
    if (stored.HaveHorzPos && stored.HorzPos > 0) {
        const int total = qMax(MainSplitter->width(), stored.HorzPos + 192);
        MainSplitter->setSizes({stored.HorzPos, total - stored.HorzPos});
        KeptHorzPos = stored.HorzPos;
    }
    if (stored.HaveVertPos && stored.VertPos > 0) {
        BBSplitter->setSizes({stored.VertPos, qMax(64, BBSplitter->height() - stored.VertPos)});
        KeptVertPos = stored.VertPos;
    }

    if (Env.fileTypes)
        Env.fileTypes->Register(ProgramPath);

    SetStatusText(DialSession::ConnectionStateText(*Env.localAddress));

    RebuildRecentFileEntries();
    ProgramDir = QFileInfo(ProgramPath).absolutePath() + QLatin1Char('/');
    Reports->SetEditMode(false);
    ProjectModified = false;
    if (StartBundledServer) {
        Bundled->Start(ServerAddress, ProgramDir);
        ServerAddress = Bundled->Address();
        Env.http->SetServerKey(ServerAddress, Bundled->Key());
    }
    if (!stored.ServerToken.isEmpty())
        Env.http->SetServerToken(ServerAddress, stored.ServerToken.toUtf8());

    LetMessagesRun();
    while (started.elapsed() < SplashMinimumMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    setEnabled(true);
    Splash->close();

    const QString first = arguments.value(0);
    if (first.toUpper().contains(QStringLiteral(".ZPR")))
        RunCommand([this, first] { OpenProject(first.trimmed()); });
    else if (Options.TipOfTheDayMode > 0)
        TipWindow->ShowTipOfTheDay();
    emit StartupFinished();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!ShutdownDone) {
        bool closing = true;
        RunCommand([this, &closing] { closing = Shutdown(); });
        if (!closing) {
            event->ignore();
            return;
        }
    }
    ShutdownDone = true;
    event->accept();
}

bool MainWindow::Shutdown() {
    StopTransfers();
    if (ProjectModified &&
        Env.dialogs->Message(
            MsgKind::Warning,
            QStringLiteral(
                "The current Project is not saved, do you want to save it before exiting?"),
            MsgButtons::YesNo) == MsgAnswer::Yes) {
        SaveProject();
        // A write that failed (the error has been shown) keeps the program
        // open so the work can be saved elsewhere; a cancelled file dialog
        // leaves no name and the exit goes on.
        if (ProjectModified && !ProjectFileName.isEmpty())
            return false;
    }
    Dial->OfferHangUpAtExit();
    RememberPanelSizes();
    StoreWindowState(*Env.settings, KeptHorzPos, KeptVertPos, Options.TipOfTheDayMode);
    Bundled->Stop();
    LetMessagesRun();
    return true;
}

void MainWindow::RememberPanelSizes() {
    // A splitter that was never shown reports sizes it was never laid out
    // with; only one on screen tells what the user sees.
    if (MainSplitter->isVisible())
        KeptHorzPos = MainSplitter->sizes().value(0, KeptHorzPos);
    if (BBSplitter->isVisible())
        KeptVertPos = BBSplitter->sizes().value(0, KeptVertPos);
}

void MainWindow::StopTransfers() {
    Net->Stop();
}

} // namespace vantora
