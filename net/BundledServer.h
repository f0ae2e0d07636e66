#pragma once
// The analysis server bundled with the program. When the configured server
// address names this machine and nothing accepts connections there, the
// program's own vantora-server is started from the program folder and ended
// again when the program ends. When another program holds that port, the
// bundled server is started on a free loopback port instead and used for
// this run. Once started, it is watched: a server that dies (killed, or the
// other instance of the program that owned it ended) is started again.
// The server it starts answers only requests that carry the per-install
// secret (ServerKey.h), so web pages in the user's browser cannot use it.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <vector>

class QProcess;
class QTimer;

namespace vantora {

class BundledServer {
  public:
    BundledServer() = default;
    ~BundledServer();
    BundledServer(const BundledServer&) = delete;
    BundledServer& operator=(const BundledServer&) = delete;

    // What listens at an address.
    enum class Occupant { Nobody, AnalysisServer, OtherProgram };

    // Starts programDir/vantora-server when the address is local: on the
    // address itself when nothing answers there within waitMs, on a free
    // loopback port when another program answers. True when a server was
    // started. Silent when the program is missing or cannot start. Address()
    // tells where the analysis server is to be asked afterwards.
    bool Start(const QString& serverAddress, const QString& programDir, int waitMs = 300);
    // Ends the started server (politely first) and the watch; nothing when
    // none runs.
    void Stop();
    // Ends the server this program started and starts it again at the same
    // address, so that it reads its configuration file anew, without blocking
    // the caller: done(true) once it answers again, done(false) when this
    // program runs no server, it stops at once (its file has an error) or it
    // does not answer within waitMs. done runs from the event loop (at once
    // for "no server"); a restart asked for while one runs shares its result.
    void Restart(std::function<void(bool)> done, int waitMs = 5000);
    bool Restarting() const { return !Waiting.empty(); }
    bool Running() const;
    // The address the program should ask: the configured one, or the
    // loopback fall-back when another program holds the configured port.
    QString Address() const { return InUse; }
    // How often the watch looks for a vanished server (milliseconds).
    void SetWatchInterval(int ms);
    // The file holding the secret the started server requires of every
    // request (DefaultServerKeyFile() unless set before Start), and the
    // secret itself once Start has read or made it: the program sends it
    // with every request to Address().
    void SetKeyFile(const QString& file) { KeyFile = file; }
    QByteArray Key() const { return SharedKey; }

    // "host:port" split; false when the text has no usable port. A bare host
    // means port 80.
    static bool SplitAddress(const QString& address, QString& host, quint16& port);
    // True for loopback addresses, "localhost" and the machine's own addresses.
    static bool IsThisMachine(const QString& host);
    static bool Answers(const QString& host, quint16 port, int waitMs);
    // Connects and asks; an analysis server marks its answers with an
    // X-Vantora-Server header.
    static Occupant Probe(const QString& host, quint16 port, int waitMs);

  private:
    bool Launch(const QString& address);
    void Watch();
    void Relaunch();
    void PollRestarted();
    void EndRestart(bool ok);

    QProcess* Process = nullptr;
    QTimer* Watchdog = nullptr;
    // While restarting: the server being ended, the poll for the new one,
    // how long to wait for it and who wants the result.
    QProcess* Leaving = nullptr;
    QTimer* RestartPoll = nullptr;
    QElapsedTimer RestartClock;
    int RestartWaitMs = 0;
    std::vector<std::function<void(bool)>> Waiting;
    QString Program;
    QString InUse;
    QString KeyFile;
    QByteArray SharedKey;
    int WatchMs = 3000;
    int WaitMs = 300;
};

} // namespace vantora
