#pragma once
// A whole main window over test doubles, started without a splash wait, a
// bundled server or modal loops. The process launcher is the test's choice:
// a recording one, or the real one for end-to-end runs.
#include "Fakes.h"
#include "Main.h"
#include "NetFakes.h"
#include "ProcessLauncher.h"

#include <QAction>
#include <QDialog>
#include <QTest>

#include <memory>

namespace vantora::test {

// Records the programs it is asked to start; none really starts.
class RecordingLauncher : public ProcessLauncher {
  public:
    QStringList Started;
    qint64 Start(const QString& program, const QStringList& arguments, const QString&) override {
        Started << program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
        return Started.size();
    }
    void End(qint64) override {}
    bool IsRunning(qint64) override { return false; }
};

template <class Launcher = RecordingLauncher> struct WindowFixture {
    FakeDialogs dialogs;
    MemorySettings settings;
    FixedClock clock;
    FakeLocalAddress address;
    FakeRegistrar registrar;
    FakeShell shell;
    FakeHttpClient http;
    FakeDialUp dialUp;
    Launcher processes;
    Platform platform{&dialogs, &settings, &clock,  &address,  &registrar,
                      &shell,   &http,     &dialUp, &processes};
    std::unique_ptr<MainWindow> window;

    // Makes and starts the window as the program at programPath.
    MainWindow& Start(const QStringList& arguments = {},
                      const QString& programPath = QStringLiteral("/opt/vantora/bin/vantora")) {
        window = std::make_unique<MainWindow>(platform, programPath);
        window->SplashMinimumMs = 0;
        window->StartBundledServer = false;
        // A dialog shown without a script is cancelled.
        window->RunModal = [](QDialog*) { return int(QDialog::Rejected); };
        window->show();
        window->Startup(arguments);
        return *window;
    }
    // Triggers an action by object name after checking it is enabled.
    void Trigger(const char* name) {
        QAction* action = window->FindAction(QString::fromLatin1(name));
        QVERIFY2(action, name);
        QVERIFY2(action->isEnabled(), name);
        action->trigger();
    }
};

} // namespace vantora::test
