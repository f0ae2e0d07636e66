#pragma once
// The commands that take a report out of the program. Tool pages and the
// Bulletin Board page call them from their Print and Save buttons; the menus,
// the tool bar and the report pop-up menu call the same ones. Each acts on the
// report view of the page shown at the moment it runs and shows its own
// messages, so a caller has nothing to check afterwards.

namespace vantora {

class ReportCommands {
  public:
    virtual ~ReportCommands() = default;
    // Asks for a file name and writes the shown report as RTF (or PDF when
    // the name ends in ".pdf").
    virtual void SaveReport() = 0;
    // Shows the print dialog and prints the shown report as one job.
    virtual void PrintReport() = 0;
};

} // namespace vantora
