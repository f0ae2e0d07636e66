#pragma once
// Lays a report out on paged output (a printer or a PDF file) and paints it
// page after page, as formatted in its view, with no header or footer.
#include <QString>

class QDateTime;
class QLocale;
class QPagedPaintDevice;
class QTextDocument;

namespace vantora {

constexpr double ReportPageMarginMm = 20.0;

// The document name of a print job (and the title of a PDF): the page's
// prefix ("Wordweigh Report - Printed on ", ...), the short date, " at " and
// the long time.
QString PrintJobTitle(int page, const QDateTime& now, const QLocale& locale);

// Gives device the report margins; the printer gets them once, so that
// margins chosen later in the page set-up dialog hold.
void SetReportMargins(QPagedPaintDevice& device);

// Paints the whole document on device within its margins, starting a new page while text
// remains; an empty document gives one empty page. False when the device
// refuses to paint or to start a page.
bool PaintReportPages(const QTextDocument& document, QPagedPaintDevice& device);

// Writes the document as a PDF file titled title, through the same layout as
// printing. The file is replaced only when the whole PDF was written; on
// failure error (when given) receives the reason.
bool WriteReportPdf(const QString& path, const QTextDocument& document, const QString& title,
                    QString* error = nullptr);

} // namespace vantora
