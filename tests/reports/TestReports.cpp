// Cutting answer bodies into items, the shared report frame and the sink
// over a text document.
#include "AnswerItems.h"
#include "DocumentSink.h"
#include "RecordingSink.h"
#include "ReportFrame.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using namespace vantora;
using namespace vantora::test;

class TestReports : public QObject {
    Q_OBJECT
  private slots:
    void itemsAreCutAtBreaks_data();
    void itemsAreCutAtBreaks();
    void missingItemThrows();
    void frameWritesHeadingAndEnd();
    void missingItemTruncatesKeepingLines();
    void documentSinkKeepsLineFormats();
    void documentSinkKeepsEveryLine_data();
    void documentSinkKeepsEveryLine();
};

void TestReports::itemsAreCutAtBreaks_data() {
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("final break") << "a<br>b<br>c<br>" << QStringList{"a", "b", "c"};
    QTest::newRow("no final break") << "a<br>b<br>c" << QStringList{"a", "b", "c"};
    QTest::newRow("long last item kept whole")
        << "a<br>longer text" << QStringList{"a", "longer text"};
    QTest::newRow("short last item kept") << "a<br>xy" << QStringList{"a", "xy"};
    QTest::newRow("empty inner item") << "a<br><br>c<br>" << QStringList{"a", "", "c"};
    QTest::newRow("no break at all") << "only" << QStringList{"only"};
    QTest::newRow("empty body") << "" << QStringList{};
}

void TestReports::itemsAreCutAtBreaks() {
    QFETCH(QString, body);
    QFETCH(QStringList, items);
    const AnswerItems cut(body);
    QCOMPARE(cut.Count(), items.size());
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(cut[i], items[i]);
}

void TestReports::missingItemThrows() {
    const AnswerItems cut(QStringLiteral("a<br>b<br>"));
    QVERIFY(cut.Has(1));
    QVERIFY(!cut.Has(2));
    try {
        (void)cut[2];
        QFAIL("no exception");
    } catch (const MissingItem& missing) {
        QCOMPARE(missing.Index, 2);
    }
}

void TestReports::frameWritesHeadingAndEnd() {
    RecordingSink sink;
    ReportFrame frame(sink);
    QVERIFY(frame.Write(QStringLiteral("Tool - Report, created X"), [](ReportFrame& f) {
        f.SetItalic(true);
        f.Line(QStringLiteral("body"));
    }));
    // Each line carries the style in force when it was added.
    const QStringList expected{"U Arial 14|Tool - Report, created X",
                               "U Arial 14|",
                               "I Arial 10|body",
                               "I Arial 10|",
                               "I Arial 10|End of Report",
                               " Arial 10|"};
    QCOMPARE(sink.Styled(), expected);
}

void TestReports::missingItemTruncatesKeepingLines() {
    RecordingSink sink;
    ReportFrame frame(sink);
    const AnswerItems items(QStringLiteral("one<br>"));
    QVERIFY(!frame.Write(QStringLiteral("H"), [&](ReportFrame& f) {
        f.SetItalic(true);
        f.SetUnderline(true);
        f.Line(items[0]);
        f.Line(items[1]);
    }));
    const QStringList expected{"U Arial 14|H",
                               "U Arial 14|",
                               "IU Arial 10|one",
                               "B Arial 10|...WARNING! Premature end of file, Report truncated.",
                               "I Arial 10|End of Report",
                               " Arial 10|"};
    QCOMPARE(sink.Styled(), expected);
}

void TestReports::documentSinkKeepsLineFormats() {
    QTextDocument document;
    DocumentSink sink(document);
    ReportFrame frame(sink);
    frame.Heading(QStringLiteral("Heading"));
    frame.SetBold(true);
    frame.Line(QStringLiteral("bold\r\nline"));
    frame.SetBold(false);
    frame.SetAlign(ParagraphAlign::Centre);
    frame.Line(QStringLiteral("centred"));
    QCOMPARE(document.blockCount(), 4);
    const QTextBlock heading = document.firstBlock();
    QCOMPARE(heading.text(), QStringLiteral("Heading"));
    const QTextCharFormat headingFormat = heading.begin().fragment().charFormat();
    QVERIFY(headingFormat.fontUnderline());
    QCOMPARE(headingFormat.fontPointSize(), 14.0);
    QCOMPARE(headingFormat.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));
    const QTextBlock bold = document.findBlockByNumber(2);
    // A line stays one paragraph: its own line breaks become blanks.
    QCOMPARE(bold.text(), QStringLiteral("bold  line"));
    QCOMPARE(bold.begin().fragment().charFormat().fontWeight(), int(QFont::Bold));
    QCOMPARE(bold.begin().fragment().charFormat().fontPointSize(), 10.0);
    const QTextBlock centred = document.lastBlock();
    QCOMPARE(centred.blockFormat().alignment(), Qt::AlignHCenter);
    QVERIFY(!centred.begin().fragment().charFormat().fontUnderline());
    sink.ClearReport();
    QVERIFY(document.isEmpty());
}

void TestReports::documentSinkKeepsEveryLine_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::newRow("leading empty lines") << QStringList{"", "", "x"} << QStringList{"", "", "x"};
    QTest::newRow("only an empty line") << QStringList{""} << QStringList{""};
    QTest::newRow("paragraph and line separators")
        << QStringList{QStringLiteral("a\u2029b"), QStringLiteral("c\u2028d\re")}
        << QStringList{"a b", "c d e"};
}

void TestReports::documentSinkKeepsEveryLine() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, paragraphs);
    QTextDocument document;
    DocumentSink sink(document);
    for (int round = 0; round < 2; ++round) { // again after a clear
        sink.ClearReport();
        for (const QString& line : lines)
            sink.AppendLine(line);
        QStringList shown;
        for (QTextBlock b = document.firstBlock(); b.isValid(); b = b.next())
            shown << b.text();
        QCOMPARE(shown, paragraphs);
    }
}

QTEST_MAIN(TestReports)
#include "TestReports.moc"
