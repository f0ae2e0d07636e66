#include "BundledServicesHost.h"

#include "BundledServer.h"
#include "QtHttpClient.h"

#include <QNetworkReply>

namespace vantora {

BundledServicesHost::BundledServicesHost(BundledServer& bundled, std::function<QString()> address,
                                         std::function<QString()> siteRoot, Dialogs& dialogs)
    : Bundled(bundled), AddressNow(std::move(address)), Root(std::move(siteRoot)), Msg(dialogs) {}

BundledServicesHost::~BundledServicesHost() = default;

ServicesHost::Server BundledServicesHost::Situation() const {
    if (Bundled.Running() || Bundled.Restarting())
        return Server::Ours;
    QString host;
    quint16 port = 0;
    if (!BundledServer::SplitAddress(AddressNow(), host, port) ||
        !BundledServer::IsThisMachine(host))
        return Server::Remote;
    return BundledServer::Probe(host, port, 300) == BundledServer::Occupant::AnalysisServer
               ? Server::OtherCopy
               : Server::NotRunning;
}

void BundledServicesHost::RestartServer(std::function<void(bool)> done) {
    Bundled.Restart(std::move(done));
}

HttpClient& BundledServicesHost::TestClient() {
    if (!Client) {
        Client = std::make_unique<QtHttpClient>();
        // A search may take three of its time-outs; the server answers then.
        Client->TimeoutMs = 45000;
        Client->MaxAnswerBytes = 1 << 20;
    }
    // The key of the server in use now (it may have been started again).
    Client->SetServerKey(AddressNow(), Bundled.Key());
    return *Client;
}

} // namespace vantora
