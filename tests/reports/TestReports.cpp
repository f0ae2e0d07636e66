// Cutting answer bodies into items, the shared report frame, the sink over
// a text document, the layout of long reports.
#include "AnswerItems.h"
#include "DocumentSink.h"
#include "LongReportLayout.h"
#include "RecordingSink.h"
#include "ReportFrame.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include <functional>

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
    void longLayoutFollowsEdits_data();
    void longLayoutFollowsEdits();
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

using Edit = std::function<void(QTextDocument&)>;
Q_DECLARE_METATYPE(Edit)

void TestReports::longLayoutFollowsEdits_data() {
    QTest::addColumn<Edit>("edit");
    const auto at = [](QTextDocument& document, int block, int offset = 0) {
        return QTextCursor(document.findBlockByNumber(block)).position() + offset;
    };
    QTest::newRow("words typed into a paragraph until it wraps") << Edit([at](QTextDocument& d) {
        QTextCursor c(&d);
        c.setPosition(at(d, 1500, 2));
        c.insertText(QString(300, QLatin1Char('w')).replace(QLatin1String("ww"), "w "));
    });
    QTest::newRow("a paragraph split") << Edit([at](QTextDocument& d) {
        QTextCursor c(&d);
        c.setPosition(at(d, 1200, 3));
        c.insertBlock();
    });
    QTest::newRow("two paragraphs joined") << Edit([at](QTextDocument& d) {
        QTextCursor c(&d);
        c.setPosition(at(d, 901) - 1);
        c.deleteChar();
    });
    QTest::newRow("a thousand paragraphs removed") << Edit([at](QTextDocument& d) {
        QTextCursor c(&d);
        c.setPosition(at(d, 1000, 4));
        c.setPosition(at(d, 2000, 1), QTextCursor::KeepAnchor);
        c.removeSelectedText();
    });
    QTest::newRow("lines added at the end in one edit") << Edit([](QTextDocument& d) {
        QTextCursor c(&d);
        c.movePosition(QTextCursor::End);
        c.beginEditBlock();
        for (int i = 0; i < 500; ++i)
            c.insertText(QStringLiteral("\u2029added %1").arg(i));
        c.endEditBlock();
    });
    QTest::newRow("fonts made larger over a hundred paragraphs") << Edit([at](QTextDocument& d) {
        QTextCursor c(&d);
        c.setPosition(at(d, 100));
        c.setPosition(at(d, 200), QTextCursor::KeepAnchor);
        QTextCharFormat large;
        large.setFontPointSize(20);
        c.mergeCharFormat(large);
    });
    QTest::newRow("everything removed") << Edit([](QTextDocument& d) {
        QTextCursor c(&d);
        c.select(QTextCursor::Document);
        c.removeSelectedText();
    });
    QTest::newRow("the page narrowed") << Edit([](QTextDocument& d) { d.setPageSize({160, -1}); });
    QTest::newRow("wrapping turned off") << Edit([](QTextDocument& d) {
        QTextOption option = d.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        d.setDefaultTextOption(option);
    });
}

// However a long report is edited, its layout places every paragraph where
// a layout made afresh over the edited report does.
void TestReports::longLayoutFollowsEdits() {
    QFETCH(Edit, edit);
    QTextDocument document;
    document.setPageSize({400, -1});
    DocumentSink sink(document);
    ReportFormat heading;
    heading.Bold = true;
    heading.PointSize = 14;
    ReportFormat bullet;
    bullet.Align = ParagraphAlign::Bullet;
    for (int i = 0; i < 3000; ++i) {
        sink.SetFormat(i % 7 == 0 ? heading : i % 5 == 1 ? bullet : ReportFormat());
        sink.AppendLine(QStringLiteral("line %1 %2").arg(i).arg(QString(i % 90, QLatin1Char('x'))));
    }
    auto* layout = new LongReportLayout(&document);
    document.setDocumentLayout(layout);
    const auto tops = [&document] {
        QList<qreal> all;
        for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
            all << document.documentLayout()->blockBoundingRect(b).top();
        all << document.documentLayout()->documentSize().height();
        return all;
    };
    const QList<qreal> before = tops(); // every paragraph laid out
    QVERIFY(before.last() > 3000 * 10);
    edit(document);
    const QList<qreal> edited = tops();
    document.setDocumentLayout(new LongReportLayout(&document));
    const QList<qreal> fresh = tops();
    QCOMPARE(edited.size(), document.blockCount() + 1);
    for (int i = 0; i < fresh.size(); ++i)
        if (std::abs(edited[i] - fresh[i]) > 0.01)
            QFAIL(qPrintable(QStringLiteral("paragraph %1 at %2, afresh at %3")
                                 .arg(i)
                                 .arg(edited[i])
                                 .arg(fresh[i])));
    // A point in a paragraph hits that paragraph.
    auto* shown = document.documentLayout();
    for (int number : {0, document.blockCount() / 2, document.blockCount() - 1}) {
        const QTextBlock block = document.findBlockByNumber(number);
        const QRectF box = shown->blockBoundingRect(block);
        const int hit = shown->hitTest(box.topLeft() + QPointF(box.width() / 3, 2), Qt::FuzzyHit);
        QVERIFY(hit >= block.position() && hit < block.position() + block.length());
    }
}

QTEST_MAIN(TestReports)
#include "TestReports.moc"
