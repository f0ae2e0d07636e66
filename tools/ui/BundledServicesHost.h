#pragma once
// The Search Services dialog's host in the running program: the bundled
// server, the server address in use and a client of its own for the tests.
#include "SearchServicesDialog.h"

#include <functional>
#include <memory>

namespace vantora {

class BundledServer;
class QtHttpClient;

class BundledServicesHost : public ServicesHost {
  public:
    // address and siteRoot are asked each time, as they change while the
    // program runs.
    BundledServicesHost(BundledServer& bundled, std::function<QString()> address,
                        std::function<QString()> siteRoot, Dialogs& dialogs);
    ~BundledServicesHost() override;

    Server Situation() const override;
    QString Address() const override { return AddressNow(); }
    void RestartServer(std::function<void(bool)> done) override;
    HttpClient& TestClient() override;
    Dialogs& MessageBoxes() override { return Msg; }
    QString SiteRoot() const override { return Root(); }

  private:
    BundledServer& Bundled;
    std::function<QString()> AddressNow;
    std::function<QString()> Root;
    Dialogs& Msg;
    std::unique_ptr<QtHttpClient> Client;
};

} // namespace vantora
