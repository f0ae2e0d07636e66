#pragma once
// A main window stand-in for the site map code: records status texts and
// the busy animation, answers message boxes from FakeDialogs.
#include "Fakes.h"
#include "ProjectData.h"
#include "SiteMapHost.h"

#include <functional>

namespace vantora::test {

class FakeSiteMapHost : public SiteMapHost {
  public:
    FakeDialogs Boxes;
    ProjectData Data;
    QString Status = QStringLiteral("Connected.");
    QStringList StatusHistory;
    QList<bool> BusyHistory;
    bool Stop = false;
    bool Connected = true;
    int Modified = 0;
    QString Journal; // CrawlJournalPath
    std::function<void(const QString&)> OnStatus;

    Dialogs& MessageBoxes() override { return Boxes; }
    ProjectData& Project() override { return Data; }
    void SetProjectModified() override { ++Modified; }
    QString StatusText() const override { return Status; }
    void SetStatusText(const QString& text) override {
        Status = text;
        StatusHistory << text;
        if (OnStatus)
            OnStatus(text);
    }
    void SetBusyAnimation(bool running) override { BusyHistory << running; }
    bool StopRequested() const override { return Stop; }
    void SetStopRequested(bool requested) override { Stop = requested; }
    bool CheckConnect() override { return Connected; }
    QString CrawlJournalPath() const override { return Journal; }
};

} // namespace vantora::test
