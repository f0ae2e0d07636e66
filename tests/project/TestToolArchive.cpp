// The tool archives keep their columns paired through every change.
#include "ProjectData.h"

#include <QtTest>

#include <stdexcept>

using namespace vantora;

namespace {

// Entries named after their index so a shifted column shows up.
void Fill(ToolArchive& archive, int count) {
    for (int i = 0; i < count; ++i)
        archive.Append(QStringLiteral("p%1").arg(i), QStringLiteral("d%1").arg(i),
                       QStringLiteral("b%1").arg(i), QStringLiteral("%1").arg(i));
}

// Every column of every entry still names the same index.
bool Paired(const ToolArchive& archive) {
    if (!archive.IsConsistent())
        return false;
    for (int i = 0; i < archive.Count(); ++i) {
        const QString n = archive.Pages()[i].mid(1);
        if (archive.Dates()[i] != QLatin1Char('d') + n ||
            archive.Bodies()[i] != QLatin1Char('b') + n)
            return false;
        if (archive.HasPercentages() && archive.Percentages()[i] != n)
            return false;
    }
    return true;
}

} // namespace

class TestToolArchive : public QObject {
    Q_OBJECT
  private slots:
    void columnsFollowTheToolTable_data();
    void columnsFollowTheToolTable();
    void removeAt_data();
    void removeAt();
    void clearEmptiesEveryColumn();
    void setColumnsRefusesUnpairedColumns_data();
    void setColumnsRefusesUnpairedColumns();
    void findsFirstAndNewest();
    void bulletinListStaysPaired_data();
    void bulletinListStaysPaired();
    void projectReachesArchivesByKindAndTag();
};

void TestToolArchive::columnsFollowTheToolTable_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("percentages");
    QTest::newRow("Wordweigh") << 1 << true;
    QTest::newRow("Stuffwatch") << 2 << false;
    QTest::newRow("Rankscout") << 3 << false;
    QTest::newRow("Enginepost") << 4 << false;
    QTest::newRow("Backwatch") << 5 << false;
}

void TestToolArchive::columnsFollowTheToolTable() {
    QFETCH(int, kind);
    QFETCH(bool, percentages);
    ToolArchive archive{ToolKind(kind)};
    QCOMPARE(archive.HasPercentages(), percentages);
    Fill(archive, 3);
    QCOMPARE(archive.Count(), 3);
    QCOMPARE(archive.Percentages().size(), percentages ? 3 : 0);
    QVERIFY(Paired(archive));
}

void TestToolArchive::removeAt_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QStringList>("pages");
    QTest::newRow("first") << 0 << true << QStringList{"p1", "p2", "p3"};
    QTest::newRow("middle") << 2 << true << QStringList{"p0", "p1", "p3"};
    QTest::newRow("last") << 3 << true << QStringList{"p0", "p1", "p2"};
    QTest::newRow("negative") << -1 << false << QStringList{"p0", "p1", "p2", "p3"};
    QTest::newRow("past the end") << 4 << false << QStringList{"p0", "p1", "p2", "p3"};
}

void TestToolArchive::removeAt() {
    QFETCH(int, index);
    QFETCH(bool, removed);
    QFETCH(QStringList, pages);
    for (const ToolKind kind : {ToolKind::Wordweigh, ToolKind::Backwatch}) {
        ToolArchive archive{kind};
        Fill(archive, 4);
        QCOMPARE(archive.RemoveAt(index), removed);
        QCOMPARE(archive.Pages(), pages);
        QVERIFY(Paired(archive));
    }
}

void TestToolArchive::clearEmptiesEveryColumn() {
    ToolArchive archive{ToolKind::Wordweigh};
    Fill(archive, 2);
    archive.Clear();
    QCOMPARE(archive.Count(), 0);
    QVERIFY(archive.Dates().isEmpty() && archive.Bodies().isEmpty() &&
            archive.Percentages().isEmpty());
    QVERIFY(archive.IsConsistent());
}

void TestToolArchive::setColumnsRefusesUnpairedColumns_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QStringList>("percentages");
    QTest::addColumn<bool>("taken");
    const QStringList two{"a", "b"};
    QTest::newRow("wordweigh paired") << 1 << two << two << true;
    QTest::newRow("wordweigh short date column") << 1 << QStringList{"a"} << two << false;
    QTest::newRow("wordweigh short percentage column") << 1 << two << QStringList{"a"} << false;
    QTest::newRow("stuffwatch paired") << 2 << two << QStringList() << true;
    QTest::newRow("stuffwatch with percentages") << 2 << two << two << false;
}

void TestToolArchive::setColumnsRefusesUnpairedColumns() {
    QFETCH(int, kind);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, percentages);
    QFETCH(bool, taken);
    ToolArchive archive{ToolKind(kind)};
    Fill(archive, 1);
    const QStringList before = archive.Pages();
    QCOMPARE(archive.SetColumns({"x", "y"}, dates, percentages, {"1", "2"}), taken);
    QCOMPARE(archive.Pages(), taken ? (QStringList{"x", "y"}) : before);
    QVERIFY(archive.IsConsistent());
}

void TestToolArchive::findsFirstAndNewest() {
    ToolArchive archive{ToolKind::Stuffwatch};
    archive.Append("http://h/a", "d1", "b1");
    archive.Append("http://h/b", "d2", "b2");
    archive.Append("http://h/a", "d3", "b3");
    QCOMPARE(archive.FirstIndexOf("http://h/a"), 0);
    QCOMPARE(archive.LastIndexOf("http://h/a"), 2);
    QCOMPARE(archive.LastIndexOf("http://H/a"), -1); // exact comparison
}

void TestToolArchive::projectReachesArchivesByKindAndTag() {
    ProjectData p;
    for (const ToolInfo& tool : AllTools()) {
        QCOMPARE(p.Archive(tool.Kind).Kind(), tool.Kind);
        QCOMPARE(p.ArchiveForTag(Tag(tool.Kind)), &p.Archive(tool.Kind));
    }
    QCOMPARE(p.ArchiveForTag(0), nullptr);
    QCOMPARE(p.ArchiveForTag(7), nullptr);
    QCOMPARE(&p.Archive(ToolKind::Rankscout), &p.RankscoutArchive);
}

void TestToolArchive::bulletinListStaysPaired_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QStringList>("senders");
    QTest::addColumn<QStringList>("reads");
    const QStringList three{"s0", "s1", "s2"};
    QTest::newRow("remove the middle")
        << "remove 1" << true << QStringList{"s0", "s2"} << QStringList{"0", "0"};
    QTest::newRow("remove past the end")
        << "remove 3" << false << three << QStringList{"0", "0", "0"};
    QTest::newRow("remove before the start")
        << "remove -1" << false << three << QStringList{"0", "0", "0"};
    QTest::newRow("read the last") << "read 2" << true << three << QStringList{"0", "0", "1"};
    QTest::newRow("read past the end") << "read 3" << false << three << QStringList{"0", "0", "0"};
    QTest::newRow("columns paired") << "columns 1" << true << QStringList{"x"} << QStringList{"1"};
    QTest::newRow("read column short")
        << "columns 0" << false << three << QStringList{"0", "0", "0"};
    QTest::newRow("clear") << "clear" << true << QStringList() << QStringList();
}

// Every change keeps the four columns paired by index; a change that could
// not is refused whole.
void TestToolArchive::bulletinListStaysPaired() {
    QFETCH(QString, change);
    QFETCH(bool, done);
    QFETCH(QStringList, senders);
    QFETCH(QStringList, reads);
    BulletinList list;
    for (int i = 0; i < 3; ++i)
        list.Append(QStringLiteral("b%1").arg(i), QStringLiteral("s%1").arg(i),
                    QStringLiteral("p%1").arg(i), QStringLiteral("0"));
    const QString verb = change.section(u' ', 0, 0);
    const int n = change.section(u' ', 1, 1).toInt();
    bool result = true;
    if (verb == QLatin1String("remove"))
        result = list.RemoveAt(n);
    else if (verb == QLatin1String("read"))
        result = list.SetReadState(n, QStringLiteral("1"));
    else if (verb == QLatin1String("columns"))
        result = list.SetColumns({"b"}, {"x"}, {"p"}, n ? QStringList{"1"} : QStringList());
    else
        list.Clear();
    QCOMPARE(result, done);
    QCOMPARE(list.Senders(), senders);
    QCOMPARE(list.ReadStates(), reads);
    QVERIFY(list.IsConsistent());
    for (int i = 0; i < list.Count(); ++i)
        QCOMPARE(list.Pages()[i].mid(1), list.Senders()[i].mid(1));
}

QTEST_GUILESS_MAIN(TestToolArchive)
#include "TestToolArchive.moc"
