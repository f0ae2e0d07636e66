#pragma once
// The analysis server bundled with the program. When the configured server
// address names this machine and nothing accepts connections there, the
// program's own vantora-server is started from the program folder and ended
// again when the program ends.
#include <QString>

class QProcess;

namespace vantora {

class BundledServer {
  public:
    BundledServer() = default;
    ~BundledServer();
    BundledServer(const BundledServer&) = delete;
    BundledServer& operator=(const BundledServer&) = delete;

    // Starts programDir/vantora-server --listen serverAddress when the address
    // is local and unanswered within waitMs. True when a server was started.
    // Silent when the program is missing or cannot start.
    bool Start(const QString& serverAddress, const QString& programDir, int waitMs = 300);
    // Ends the started server (politely first); nothing when none runs.
    void Stop();
    bool Running() const;

    // "host:port" split; false when the text has no usable port. A bare host
    // means port 80.
    static bool SplitAddress(const QString& address, QString& host, quint16& port);
    // True for loopback addresses, "localhost" and the machine's own addresses.
    static bool IsThisMachine(const QString& host);
    static bool Answers(const QString& host, quint16 port, int waitMs);

  private:
    QProcess* Process = nullptr;
};

} // namespace vantora
