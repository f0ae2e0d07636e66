#pragma once
// The printers of the machine and the platform's print and printer set-up
// dialogs. The report commands reach them only through this interface, so
// tests can stand in a machine with or without printers.
class QPrinter;
class QWidget;

namespace vantora {

class ReportPrinters {
  public:
    virtual ~ReportPrinters() = default;
    // True when at least one printer is installed.
    virtual bool HasPrinter() = 0;
    // Shows the print dialog for printer; false when the user cancels.
    virtual bool RunPrintDialog(QPrinter& printer, QWidget* parent) = 0;
    // Shows the printer set-up dialog for printer; false when it cannot be
    // shown. Cancelling it is not a failure.
    virtual bool RunSetupDialog(QPrinter& printer, QWidget* parent) = 0;
};

// The installed printers through the print system, QPrintDialog and
// QPageSetupDialog.
class SystemPrinters : public ReportPrinters {
  public:
    bool HasPrinter() override;
    bool RunPrintDialog(QPrinter& printer, QWidget* parent) override;
    bool RunSetupDialog(QPrinter& printer, QWidget* parent) override;
};

} // namespace vantora
