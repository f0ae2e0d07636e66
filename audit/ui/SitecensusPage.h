#pragma once
// The Sitecensus page: Start asks for the audit's options and writes the
// audit into the page's report view.
#include "ToolPage.h"

#include <functional>

class QDialog;

namespace vantora {

class AuditDialog;

class SitecensusPage : public ToolPage {
    Q_OBJECT
  public:
    // Shows a dialog modally and gives its result (QDialog::Accepted or
    // Rejected); the window's own runner, so tests can answer it.
    using ModalRunner = std::function<int(QDialog*)>;

    SitecensusPage(WindowHost& host, QWidget* parent = nullptr);

    // The options dialog made at start-up, and how to show it.
    void SetDialog(AuditDialog* dialog, ModalRunner runModal);

    // Shows the options dialog; unless it is cancelled or closed, writes
    // the audit below the report (or in place of it when Clear is on).
    void Start() override;

  private:
    AuditDialog* Dialog = nullptr;
    ModalRunner RunModal;
};

} // namespace vantora
