#include "ReportLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QLocale>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextFrame>

#include <iterator>
#include <memory>

namespace vantora {

QString PrintJobTitle(int page, const QDateTime& now, const QLocale& locale) {
    static const char* const Prefixes[] = {
        "Wordweigh Report - Printed on ",  "Stuffwatch Report - Printed on ",
        "Rankscout Report - Printed on ",  "Enginepost Report - Printed on ",
        "Backwatch Report - Printed on ",  "MetaTags Report - Printed on ",
        "Sitecensus Report - Printed on ", "Bulletin Board Report - Printed on "};
    const QString prefix = page >= 0 && page < int(std::size(Prefixes))
                               ? QString::fromLatin1(Prefixes[page])
                               : QStringLiteral("Report - Printed on ");
    return prefix + locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral(" at ") +
           locale.toString(now.time(), QLocale::LongFormat);
}

void SetReportMargins(QPagedPaintDevice& device) {
    const QMarginsF margins(ReportPageMarginMm, ReportPageMarginMm, ReportPageMarginMm,
                            ReportPageMarginMm);
    device.setPageMargins(margins, QPageLayout::Millimeter);
}

bool PaintReportPages(const QTextDocument& document, QPagedPaintDevice& device) {
    // A copy laid out in the device's own resolution, so the view keeps its
    // screen layout.
    std::unique_ptr<QTextDocument> copy(document.clone());
    copy->documentLayout()->setPaintDevice(&device);
    QTextFrameFormat root = copy->rootFrame()->frameFormat();
    root.setMargin(0);
    copy->rootFrame()->setFrameFormat(root);
    const QSizeF body(device.width(), device.height());
    if (body.width() <= 0 || body.height() <= 0)
        return false;
    copy->setPageSize(body);
    const int pages = qMax(1, copy->pageCount());

    QPainter painter;
    if (!painter.begin(&device))
        return false;
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.translate(0, -page * body.height());
        QAbstractTextDocumentLayout::PaintContext context;
        // The layout draws every block that touches the clip; keeping the
        // clip just short of the next page's top keeps that page's first
        // line from being drawn (hidden) on this one as well.
        context.clip = QRectF(QPointF(0, page * body.height()), body - QSizeF(0, 1));
        context.palette.setColor(QPalette::Text, Qt::black);
        painter.setClipRect(context.clip);
        copy->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return painter.end();
}

bool WriteReportPdf(const QString& path, const QTextDocument& document, const QString& title,
                    QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool painted = false;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(title);
        pdf.setCreator(QStringLiteral("Vantora"));
        pdf.setPageSize(QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem
                                      ? QPageSize::Letter
                                      : QPageSize::A4));
        SetReportMargins(pdf);
        painted = PaintReportPages(document, pdf);
    }
    if (!painted || file.error() != QFileDevice::NoError) {
        if (error)
            *error = painted ? file.errorString() : QStringLiteral("The PDF could not be drawn.");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace vantora
