// Tagsmith: the tag lines, the whole output with its fonts, and the page.
#include "FoldPanel.h"
#include "RecordingSink.h"
#include "ReportView.h"
#include "Tagsmith.h"
#include "TagsmithPage.h"
#include "ToolHostDouble.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

Q_DECLARE_METATYPE(TagsmithFields)

class TestTagsmith : public QObject {
    Q_OBJECT
  private slots:
    void tagLines_data();
    void tagLines();
    void wholeOutput();
    void pageReadsItsFields();
    void twoRunsWithClearOff();
};

void TestTagsmith::tagLines_data() {
    QTest::addColumn<TagsmithFields>("fields");
    QTest::addColumn<QStringList>("contents"); // the seven content texts
    QTest::newRow("all empty") << TagsmithFields() << QStringList(7, QString());
    TagsmithFields full{
        "FAQ", "14 Years", " Ann Owner ", "(c) 2026 ", "  A site about kites.  ", "kites, wind"};
    QTest::newRow("trimmed, keywords twice") << full << QStringList{"A site about kites.",
                                                                    "kites, wind",
                                                                    "kites, wind",
                                                                    "14 Years",
                                                                    "FAQ",
                                                                    "(c) 2026",
                                                                    "Ann Owner"};
    TagsmithFields marks;
    marks.Description = "Say \"hi\" & <wave>";
    QTest::newRow("a double quote cannot end the attribute")
        << marks << QStringList{"Say &quot;hi&quot; & <wave>", "", "", "", "", "", ""};
}

void TestTagsmith::tagLines() {
    QFETCH(TagsmithFields, fields);
    QFETCH(QStringList, contents);
    const QStringList names{"Description", "Keywords",  "Review", "Rating",
                            "ObjectType",  "Copyright", "Owner"};
    QStringList expected;
    for (int i = 0; i < 7; ++i)
        expected << "<meta name=\"" + names[i] + "\" content=\"" + contents[i] + "\">";
    QCOMPARE(MetaTagLines(fields), expected);
}

void TestTagsmith::wholeOutput() {
    RecordingSink sink;
    WriteMetaTags(TagsmithFields(), sink);
    const QStringList tags = MetaTagLines(TagsmithFields());
    QStringList expected{"U Arial 14|Here are your meta tags...", " Courier 8|"};
    for (const QString& tag : tags)
        expected << " Courier 8|" + tag;
    expected << " Arial 10|"
             << " Arial 10|You can copy and paste the above HTML into your HTML source code "
                "yourself as shown below. This will substantially increase the number of hits "
                "your Web page receives. Remember to add meta-tags to all of the HTML pages that "
                "you are going to submit."
             << " Arial 10|"
             << " Arial 10|Here is an example HTML document containing your meta-tags..."
             << " Arial 10|"
             << " Courier 8|<HTML>"
             << " Courier 8|<HEAD>"
             << " Courier 8|<TITLE>Example document</TITLE>";
    for (const QString& tag : tags)
        expected << " Courier 8|  " + tag;
    expected << " Courier 8|</HEAD>"
             << " Courier 8|<BODY BGCOLOR=#FFFFFF>"
             << " Courier 8|This is an example HTML page with meta tags..."
             << " Courier 8|</BODY>"
             << " Courier 8|</HTML>";
    QCOMPARE(sink.Styled(), expected);
    // All fourteen tag lines, each its prefix and the closing characters.
    QCOMPARE(
        sink.Texts().filter(QRegularExpression("^ *<meta name=\"\\w+\" content=\"\">$")).size(),
        14);
}

void TestTagsmith::pageReadsItsFields() {
    ToolHostDouble host;
    TagsmithPage page(host);
    QCOMPARE(page.Category->currentIndex(), -1);
    QCOMPARE(page.Rating->count(), 4);
    QCOMPARE(page.Category->count(), 22);
    QCOMPARE(page.Owner->maxLength(), 1023);
    QCOMPARE(page.KeyWords->maxLength(), 4095);
    QCOMPARE(page.Panel()->Toggle()->text(), QStringLiteral("-  Tagsmith Information...      "));
    page.Category->setCurrentIndex(page.Category->findText("Manual"));
    page.Rating->setCurrentIndex(0);
    page.Copyright->setText("  Korvane  ");
    const TagsmithFields f = page.Fields();
    QCOMPARE(f.Category, QStringLiteral("Manual"));
    QCOMPARE(f.Rating, QStringLiteral("General"));
    QCOMPARE(MetaTagLines(f).at(5),
             QStringLiteral("<meta name=\"Copyright\" content=\"Korvane\">"));
}

void TestTagsmith::twoRunsWithClearOff() {
    ToolHostDouble host;
    TagsmithPage page(host);
    page.Description->setText("First");
    QTest::mouseClick(page.StartButton(), Qt::LeftButton);
    page.Description->setText("Second");
    QTest::mouseClick(page.StartButton(), Qt::LeftButton);
    QCOMPARE(host.Busy, 0);
    const QString text = page.Report()->toPlainText();
    QCOMPARE(text.count("Here are your meta tags..."), 2);
    QCOMPARE(text.count("</HTML>"), 2);
    QVERIFY(text.indexOf("content=\"First\"") < text.indexOf("content=\"Second\""));
    // With Clear on, only the new output stays.
    host.Opts.Clear = true;
    QTest::mouseClick(page.StartButton(), Qt::LeftButton);
    QCOMPARE(page.Report()->toPlainText().count("Here are your meta tags..."), 1);
}

QTEST_MAIN(TestTagsmith)
#include "TestTagsmith.moc"
