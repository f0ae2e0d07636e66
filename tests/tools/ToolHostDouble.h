#pragma once
// A window host over test doubles for driving tool pages without the main
// window: a project, scripted message boxes, a transport over a fake HTTP
// client whose answers the test gives, a fixed clock and chosen options.
#include "Fakes.h"
#include "NetFakes.h"
#include "ProjectData.h"
#include "Transport.h"
#include "WindowHost.h"

namespace vantora::test {

class QuietTransportHost : public TransportHost {
  public:
    QStringList Statuses;
    bool Modified = false;
    void SetStatus(const QString& text) override { Statuses << text; }
    void SetBusy(bool) override {}
    void SetProjectModified() override { Modified = true; }
    void ProcessPendingEvents() override {}
};

class ToolHostDouble : public WindowHost {
  public:
    ProjectData Data;
    FakeDialogs Boxes;
    FakeHttpClient Http;
    QuietTransportHost NetHost;
    Transport Net{Http, NetHost};
    QStringList Pages;
    RunOptions Opts;
    bool Connected = true;
    int ConnectChecks = 0;
    int Modified = 0;
    int Busy = 0;
    int ShownPage = -1;
    QDateTime Time = QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5));

    ProjectData& Project() override { return Data; }
    bool ProjectIsOpen() const override { return true; }
    void SetProjectModified() override { ++Modified; }
    Dialogs& MessageBoxes() override { return Boxes; }
    QString StatusText() const override {
        return NetHost.Statuses.value(NetHost.Statuses.size() - 1);
    }
    void SetStatusText(const QString& text) override { NetHost.Statuses << text; }
    void SetBusyCursor(bool on) override { Busy += on ? 1 : -1; }
    void LetMessagesRun() override {}
    bool CheckConnect() override {
        ++ConnectChecks;
        return Connected;
    }
    Transport& Requests() override { return Net; }
    QString ServerAddress() const override { return QStringLiteral("127.0.0.1:47800"); }
    QStringList SelectedPages() const override { return Pages; }
    RunOptions Options() const override { return Opts; }
    QDateTime Now() const override { return Time; }
    void ShowPage(int tabIndex) override { ShownPage = tabIndex; }
    int CurrentPage() const override { return ShownPage; }
};

} // namespace vantora::test
