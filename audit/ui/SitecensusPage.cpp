#include "SitecensusPage.h"

#include "Audit.h"
#include "AuditReport.h"
#include "ReportView.h"
#include "WindowHost.h"

#include <QGroupBox>
#include <QLabel>

namespace vantora {

SitecensusPage::SitecensusPage(WindowHost& host, QWidget* parent)
    : ToolPage(QStringLiteral("Sitecensus"), QString(), host, parent) {
    if (auto* box = findChild<QGroupBox*>(QStringLiteral("SitecensusReportBox")))
        box->setTitle(QStringLiteral("Sitecensus - Report"));
    if (auto* text = findChild<QLabel*>(QStringLiteral("SitecensusPageText")))
        text->hide();
    SetWrapLines(false);
}

void SitecensusPage::SetDialog(AuditDialog* dialog, ModalRunner runModal) {
    Dialog = dialog;
    RunModal = std::move(runModal);
}

void SitecensusPage::Start() {
    if (!Dialog || !RunModal)
        return;
    Dialog->PrepareShowing(Host.Now().date());
    if (RunModal(Dialog) == QDialog::Rejected)
        return;
    const AuditOptions options = Dialog->Choices();
    Host.SetBusyCursor(true);
    Host.LetMessagesRun();
    if (Host.Options().Clear)
        Report()->ClearReport();
    // The audit writes the whole report before the window goes on.
    Report()->AllowBackgroundWriting();
    WriteAuditReport(Host.Project(), options, Host.Now(), QLocale(), *Report(),
                     Host.BuiltSiteTree());
    Host.SetBusyCursor(false);
}

} // namespace vantora
