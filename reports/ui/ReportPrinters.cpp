#include "ReportPrinters.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace vantora {

bool SystemPrinters::HasPrinter() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

bool SystemPrinters::RunPrintDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool SystemPrinters::RunSetupDialog(QPrinter& printer, QWidget* parent) {
    // Without a printer there is nothing to set up: the dialog would only
    // offer settings for a device that does not exist.
    if (!printer.isValid() || !HasPrinter())
        return false;
    QPageSetupDialog dialog(&printer, parent);
    dialog.exec();
    return true;
}

} // namespace vantora
