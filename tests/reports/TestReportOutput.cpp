// Reports leaving the program: RTF files read back by a real word processor
// and by a small RTF reader, and paged output (PDF) page by page.
#include "ReportLayout.h"
#include "RtfCheck.h"
#include "RtfWriter.h"
#include "SampleReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

namespace {

QByteArray RtfOf(const QString& text) {
    QTextDocument document;
    SampleLine line;
    line.Text = text;
    AppendSampleLine(document, line);
    return DocumentToRtf(document);
}

// The number of page objects in a PDF.
int PdfPageCount(const QByteArray& pdf) {
    return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page/") +
               pdf.count("/Type /Page>") + pdf.count("/Type /Page "));
}

// With REPORT_OUTPUT_DIR set, the files a test wrote are kept there to be
// looked at.
void Keep(const QString& path) {
    const QString keep = qEnvironmentVariable("REPORT_OUTPUT_DIR");
    if (keep.isEmpty())
        return;
    const QString target = QDir(keep).filePath(QFileInfo(path).fileName());
    QFile::remove(target);
    QFile::copy(path, target);
}

// Runs a helper program; empty when it is missing or fails.
QByteArray Run(const QString& program, const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

class TestReportOutput : public QObject {
    Q_OBJECT
  private slots:
    void charactersAreEscaped_data();
    void charactersAreEscaped();
    void checkerFindsMalformedFiles_data();
    void checkerFindsMalformedFiles();
    void sampleIsWellFormedWithItsFormats();
    void failedWriteKeepsTheOldFile();
    void roundTripThroughWordProcessor();
    void pagesFollowTheText_data();
    void pagesFollowTheText();
    void printJobTitles_data();
    void printJobTitles();
};

void TestReportOutput::charactersAreEscaped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << "Report 5" << QByteArray(" Report 5}");
    QTest::newRow("e acute") << "\u00e9" << QByteArray("\\u233\\'e9");
    QTest::newRow("euro, 0x80 in 1252") << "\u20ac" << QByteArray("\\u8364\\'80");
    QTest::newRow("em dash") << "\u2014" << QByteArray("\\u8212\\'97");
    QTest::newRow("bullet") << "\u2022" << QByteArray("\\u8226\\'95");
    QTest::newRow("CJK, no 1252 byte") << "\u65e5\u672c" << QByteArray("\\u26085?\\u26412?");
    QTest::newRow("above 32767 is negative") << "\ufb01" << QByteArray("\\u-1279?");
    QTest::newRow("outside the BMP")
        << QString::fromUcs4(U"\U0001F600") << QByteArray("\\u-10179?\\u-8704?");
    QTest::newRow("braces and backslash") << "{a}\\" << QByteArray("\\{a\\}\\\\");
    QTest::newRow("tab") << "a\tb" << QByteArray("a\\tab b");
    QTest::newRow("soft line break") << "a\u2028b" << QByteArray("a\\line b");
}

void TestReportOutput::charactersAreEscaped() {
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    const QByteArray rtf = RtfOf(text);
    QVERIFY2(rtf.contains(expected), rtf.constData());
    const RtfCheck check = CheckRtf(rtf);
    QVERIFY2(check.Ok, qPrintable(check.Problem));
}

void TestReportOutput::checkerFindsMalformedFiles_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<bool>("ok");
    QTest::newRow("balanced") << QByteArray("{\\rtf1{\\b x}\\{\\}\\\\}\n") << true;
    QTest::newRow("left open") << QByteArray("{\\rtf1{\\b x}") << false;
    QTest::newRow("closed twice") << QByteArray("{\\rtf1 x}}") << false;
    QTest::newRow("escaped brace is not a group") << QByteArray("{\\rtf1 \\}") << false;
    QTest::newRow("text after the end") << QByteArray("{\\rtf1 x}y") << false;
    QTest::newRow("raw byte beyond ASCII") << QByteArray("{\\rtf1 caf\xc3\xa9}") << false;
    QTest::newRow("broken hex escape") << QByteArray("{\\rtf1 \\'9}") << false;
    QTest::newRow("no header") << QByteArray("{\\rtf x}") << false;
}

void TestReportOutput::checkerFindsMalformedFiles() {
    QFETCH(QByteArray, rtf);
    QFETCH(bool, ok);
    QCOMPARE(CheckRtf(rtf).Ok, ok);
}

void TestReportOutput::sampleIsWellFormedWithItsFormats() {
    QTextDocument document;
    WriteSample(document);
    const QByteArray rtf = DocumentToRtf(document);
    const RtfCheck check = CheckRtf(rtf);
    QVERIFY2(check.Ok, qPrintable(check.Problem));
    // One paragraph per line, each ended.
    QCOMPARE(int(rtf.count("\\par\n")), int(SampleLines().size()));
    QVERIFY(rtf.contains("Arial;}"));
    QVERIFY(rtf.contains("\\fs28\\ul Wordweigh Report}"));
    QVERIFY(rtf.contains("\\fs20\\b Key words: caf\\u233\\'e9 prices}"));
    QVERIFY(rtf.contains("\\pard\\qc"));
    QVERIFY(rtf.contains("\\pard\\qr"));
    QCOMPARE(int(rtf.count("\\ls1\\ilvl0")), 2);
}

void TestReportOutput::failedWriteKeepsTheOldFile() {
    QTemporaryDir dir;
    QTextDocument document;
    WriteSample(document);
    // A folder that does not exist: nothing is written, the reason is given.
    QString error;
    QVERIFY(!WriteRtfFile(dir.filePath(QStringLiteral("missing/report.rtf")), document, &error));
    QVERIFY(!error.isEmpty());
    // Overwriting: the new text replaces the old one whole.
    const QString path = dir.filePath(QStringLiteral("report.rtf"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    QVERIFY(WriteRtfFile(path, document));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), DocumentToRtf(document));
}

void TestReportOutput::roundTripThroughWordProcessor() {
    QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        soffice = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed: the RTF round trip through a real word "
              "processor did NOT run. Install libreoffice-writer-nogui to run it.");

    QTemporaryDir dir;
    QTextDocument document;
    WriteSample(document);
    const QString rtfPath = dir.filePath(QStringLiteral("report.rtf"));
    QVERIFY(WriteRtfFile(rtfPath, document));

    // The word processor reads the RTF and writes what it understood as HTML.
    QProcess convert;
    convert.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                            QStringLiteral("-env:UserInstallation=file://") + dir.filePath("lo"),
                            QStringLiteral("--convert-to"), QStringLiteral("html"),
                            QStringLiteral("--outdir"), dir.path(), rtfPath});
    QVERIFY(convert.waitForFinished(180000));
    QFile html(dir.filePath(QStringLiteral("report.html")));
    QVERIFY2(html.open(QIODevice::ReadOnly), convert.readAllStandardError().constData());
    const QString text = QString::fromUtf8(html.readAll());
    Keep(rtfPath);
    Keep(html.fileName());

    QTextDocument back;
    back.setHtml(text);
    for (const SampleLine& line : SampleLines()) {
        const QTextBlock block = FindBlock(back, line.Text);
        QVERIFY2(block.isValid(),
                 qPrintable(line.Text + QStringLiteral(" is missing in:\n") + back.toPlainText()));
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QVERIFY2(format.fontFamilies().toStringList().value(0).startsWith(QStringLiteral("Arial")),
                 qPrintable(line.Text));
        QCOMPARE(qRound(format.fontPointSize()), line.Points);
        QCOMPARE(format.fontWeight() >= QFont::DemiBold, line.Bold);
        QCOMPARE(format.fontItalic(), line.Italic);
        QCOMPARE(format.fontUnderline(), line.Underline);
        QCOMPARE(block.textList() != nullptr, line.Bullet);
        if (line.Bullet)
            QCOMPARE(block.textList()->format().style(), QTextListFormat::ListDisc);
        const Qt::Alignment align = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        if (line.Align == Qt::AlignLeft)
            QVERIFY2(!(align & (Qt::AlignHCenter | Qt::AlignRight)), qPrintable(line.Text));
        else
            QVERIFY2(align & line.Align, qPrintable(line.Text));
    }
}

void TestReportOutput::pagesFollowTheText_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("pageBreaks");
    QTest::addColumn<int>("minPages");
    QTest::addColumn<int>("maxPages");
    QTest::newRow("empty report: one empty page") << 0 << 0 << 1 << 1;
    QTest::newRow("one line") << 1 << 0 << 1 << 1;
    QTest::newRow("three forced pages") << 3 << 2 << 3 << 3;
    // About 60 lines of 10 points fit on an A4 page within 2 cm margins.
    QTest::newRow("200 lines") << 200 << 0 << 3 << 5;
}

void TestReportOutput::pagesFollowTheText() {
    QFETCH(int, lines);
    QFETCH(int, pageBreaks);
    QFETCH(int, minPages);
    QFETCH(int, maxPages);
    QTextDocument document;
    for (int i = 1; i <= lines; ++i) {
        SampleLine line;
        line.Text = QStringLiteral("Line %1 of the report").arg(i);
        AppendSampleLine(document, line);
        if (i > 1 && i <= pageBreaks + 1) {
            QTextCursor cursor(document.lastBlock());
            QTextBlockFormat format = cursor.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            cursor.setBlockFormat(format);
        }
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QVERIFY(WriteReportPdf(path, document, QStringLiteral("Wordweigh Report - Printed on x")));
    if (lines == 200)
        Keep(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const int pages = PdfPageCount(file.readAll());
    QVERIFY2(pages >= minPages && pages <= maxPages, qPrintable(QString::number(pages)));

    // Every line printed once: none lost or doubled at a page boundary.
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty() || lines == 0)
        return;
    const QString text = QString::fromUtf8(Run(pdftotext, {path, QStringLiteral("-")}));
    for (int i = 1; i <= lines; ++i)
        QCOMPARE(text.count(QStringLiteral("Line %1 of the report\n").arg(i)), 1);
    QCOMPARE(int(text.count(QChar('\f'))), pages);
}

void TestReportOutput::printJobTitles_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("title");
    QTest::newRow("Wordweigh") << 0 << "Wordweigh Report - Printed on 12/8/26 at 2:30:05 PM";
    QTest::newRow("Tagsmith") << 5 << "MetaTags Report - Printed on 12/8/26 at 2:30:05 PM";
    QTest::newRow("Bulletin") << 7 << "Bulletin Board Report - Printed on 12/8/26 at 2:30:05 PM";
}

void TestReportOutput::printJobTitles() {
    QFETCH(int, page);
    QFETCH(QString, title);
    const QDateTime now(QDate(2026, 12, 8), QTime(14, 30, 5));
    const QString made = PrintJobTitle(page, now, QLocale(QLocale::English, QLocale::UnitedStates));
    // The long time format may name the zone; the rest is fixed.
    QVERIFY2(made.startsWith(title), qPrintable(made));
}

QTEST_MAIN(TestReportOutput)
#include "TestReportOutput.moc"
