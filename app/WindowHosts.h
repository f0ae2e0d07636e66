#pragma once
// The small host interfaces the main window hands to its subsystems: each
// one reaches only the window's fields that subsystem needs.
#include "Main.h"

#include "BulletinPage.h"
#include "DialSession.h"
#include "Dialogs.h"
#include "Dialupthing.h"
#include "Environment.h"
#include "HealthOptions.h"
#include "HealthPage.h"
#include "History.h"
#include "ProjectSettings.h"
#include "SiteMapController.h"
#include "SiteMapHost.h"
#include "SiteMapPanel.h"
#include "Transport.h"
#include "WindowHost.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTabWidget>

namespace vantora {

// Lets the Project Settings dialog reach the window's project and state.
class MainWindow::SettingsHost : public ProjectSettingsHost {
  public:
    explicit SettingsHost(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    void ApplyNewProjectState(const QString& urlText) override {
        Window.ApplyNewProjectState(urlText);
    }
    void ClearSiteMapTree() override { Window.ClearSiteMap(Window.SelectionLabel->text()); }
    void SetProjectStatus(const QString& text) override { Window.SetProjectStatus(text); }
    void MarkProjectModified() override { Window.ProjectModified = true; }

  private:
    MainWindow& Window;
};

// Lets the transport and the dial-up state reach the window.
class MainWindow::NetHost : public TransportHost, public DialHost {
  public:
    explicit NetHost(MainWindow& window) : Window(window) {}
    void SetStatus(const QString& text) override { Window.SetStatusText(text); }
    void SetBusy(bool on) override { Window.SetAnimation(on); }
    void SetProjectModified() override { Window.ProjectModified = true; }
    void Repaint() override { Window.update(); }
    void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    void SetDialItemsEnabled(bool dialItem, bool hangUpItem) override {
        Window.FindAction(QStringLiteral("actDial"))->setEnabled(dialItem);
        Window.FindAction(QStringLiteral("actHangUp"))->setEnabled(hangUpItem);
    }
    void ShowDialDialog() override { Window.RunModal(Window.DialDialog); }
    void SetWaitCursor(bool on) override {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

  private:
    MainWindow& Window;
};

// Lets the site map panel reach the window's project, status bar, busy
// animation, Stop flag and connection check.
class MainWindow::MapHost : public SiteMapHost {
  public:
    explicit MapHost(MainWindow& window) : Window(window) {}
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    ProjectData& Project() override { return Window.Project; }
    void SetProjectModified() override { Window.ProjectModified = true; }
    QString StatusText() const override { return Window.StatusText(); }
    void SetStatusText(const QString& text) override { Window.SetStatusText(text); }
    void SetBusyAnimation(bool running) override { Window.SetAnimation(running); }
    bool StopRequested() const override { return Window.Net->StopRequested; }
    void SetStopRequested(bool requested) override { Window.Net->StopRequested = requested; }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }
    health::CheckSettings HealthChecks() const override {
        return health::LoadCheckSettings(*Window.Env.settings);
    }
    QString CrawlHistoryPath() const override {
        return Window.ProjectFileName.isEmpty() ? QString()
                                                : QString::fromStdString(health::History::PathFor(
                                                      Window.ProjectFileName.toStdString()));
    }
    QString CrawlJournalPath() const override {
        return Window.ProjectFileName.isEmpty() ? QString()
                                                : vantora::CrawlJournalPath(Window.ProjectFileName);
    }

  private:
    MainWindow& Window;
};

// Lets the Site Health page reach the project, the site map and the printers.
class MainWindow::HealthLink : public health::HealthHost {
  public:
    explicit HealthLink(MainWindow& window) : Window(window) {}
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    ReportPrinters& Printers() override;
    QString CrawlHistoryPath() const override {
        return Window.ProjectFileName.isEmpty() ? QString()
                                                : QString::fromStdString(health::History::PathFor(
                                                      Window.ProjectFileName.toStdString()));
    }
    bool ProjectOpen() const override;
    void UpdateSiteMap() override;
    int SelectInSiteMap(const QStringList& urls) override;
    void SubmitToIndexNow(const QByteArray& batch,
                          std::function<void(const QString& answer)> done) override;

  private:
    MainWindow& Window;
};

// Lets the bulletin board reach the project, the message boxes, the request
// queue and the connection check.
class MainWindow::BulletinLink : public BulletinHost {
  public:
    explicit BulletinLink(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    Transport& Net() override { return *Window.Net; }
    QString ServerAddress() const override { return Window.ServerAddress; }
    QString UserId() const override { return Window.UserId; }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }
    void SetProjectModified() override { Window.ProjectModified = true; }
    void SetBusyCursor(bool on) override { Window.NetLink->SetWaitCursor(on); }
    void LetMessagesRun() override { Window.LetMessagesRun(); }
    QString ProjectFileName() const override { return Window.ProjectFileName; }
    bool CheckConnectQuietly() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, false);
    }

  private:
    MainWindow& Window;
};

// What the tool pages (and the other pages hanging off the window) reach.
class MainWindow::PagesHost : public WindowHost {
  public:
    explicit PagesHost(MainWindow& window) : Window(window) {}
    ProjectData& Project() override { return Window.Project; }
    bool ProjectIsOpen() const override { return Window.ProjectIsOpen(); }
    void SetProjectModified() override { Window.ProjectModified = true; }
    Dialogs& MessageBoxes() override { return *Window.Env.dialogs; }
    QString StatusText() const override { return Window.StatusText(); }
    void SetStatusText(const QString& text) override { Window.SetStatusText(text); }
    void SetBusyCursor(bool on) override {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    void LetMessagesRun() override { Window.LetMessagesRun(); }
    bool CheckConnect() override {
        return Window.Dial->CheckConnect(*Window.Env.localAddress, Window.Options.Dial);
    }
    Transport& Requests() override { return *Window.Net; }
    QString ServerAddress() const override { return Window.ServerAddress; }
    QStringList SelectedPages() const override { return Window.SelectedPages(); }
    RunOptions Options() const override {
        return {Window.Options.ReportGen, Window.Options.Clear, Window.Options.Leave};
    }
    QDateTime Now() const override {
        return Window.Env.clock ? Window.Env.clock->Now() : QDateTime::currentDateTime();
    }
    void ShowPage(int tabIndex) override { Window.ToolPages->setCurrentIndex(tabIndex); }
    int CurrentPage() const override { return Window.ToolPages->currentIndex(); }
    void BulletinsPosted() override { Window.BBPage->FillBulletinList(); }
    const SiteTree* BuiltSiteTree() const override {
        return Window.SiteMap->Controller().TreeOfProjectLines();
    }

  private:
    MainWindow& Window;
};

} // namespace vantora
