// The project file's bytes, its round trip, hostile files, failed writes,
// and the recent-file slots and captions.
#include "ProjectExtras.h"
#include "ProjectFile.h"
#include "RecentFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <array>

#include <sys/stat.h>

using namespace vantora;

namespace {

QByteArray Lines(const QList<QByteArray>& lines) {
    QByteArray out;
    for (const QByteArray& l : lines)
        out += l + '\r';
    return out;
}

QList<QByteArray> EmptyBlocks(int n = 21) {
    return QList<QByteArray>(n, "0");
}

QByteArray HeaderLines(const QByteArray& port = "0") {
    return Lines({"ZEPHProject", "www.example.com", "/", "", port, "N", "N"});
}

bool IsEmpty(const ProjectData& p) {
    if (!p.RootHost.isEmpty() || !p.RootPath.isEmpty() || !p.ProxyServer.isEmpty() ||
        p.ProxyPort != 0 || !p.SiteMapLines.isEmpty() || p.BulletinMessages.Count() != 0)
        return false;
    for (int k = 1; k <= 5; ++k)
        if (p.ArchiveForTag(k)->Count() != 0 || !p.ArchiveForTag(k)->Percentages().isEmpty())
            return false;
    return true;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A project whose every block holds items that name their block and index,
// so a swapped or unpaired column shows up.
ProjectData FullProject() {
    ProjectData p;
    p.RootHost = QStringLiteral("www.exämple.com:8080");
    p.RootPath = QStringLiteral("/dir/sub/");
    p.ProxyServer = QStringLiteral("proxy.local");
    p.ProxyPort = 3128;
    p.RankscoutBulletins = QStringLiteral("Y");
    p.BackwatchBulletins = QStringLiteral("N");
    for (int i = 0; i < 5; ++i)
        p.SiteMapLines << QStringLiteral("0|page%1.html|Titel €%1").arg(i);
    p.SiteMapLines << QString(); // an empty item
    for (int kind = 1; kind <= 5; ++kind) {
        ToolArchive* a = p.ArchiveForTag(kind);
        for (int i = 0; i < kind + 1; ++i)
            a->Append(QStringLiteral("http://x/%1/%2.html").arg(kind).arg(i),
                      QStringLiteral("08/12/26 14:%1:00").arg(i, 2, 10, QLatin1Char('0')),
                      i == 1 ? QString()
                             : QStringLiteral("body %1 %2<br>line2 中").arg(kind).arg(i),
                      kind == 1 ? QString::number(10 * i) : QString());
    }
    p.BulletinMessages.Append(QStringLiteral("Hello<br>there"), QStringLiteral("Korvane"),
                              QStringLiteral("http://x/a.html"), QStringLiteral("0"));
    p.BulletinMessages.Append(QString(), QStringLiteral("B"), QString(), QStringLiteral("1"));
    return p;
}

void CompareProjects(const ProjectData& a, const ProjectData& b) {
    QCOMPARE(a.RootHost, b.RootHost);
    QCOMPARE(a.RootPath, b.RootPath);
    QCOMPARE(a.ProxyServer, b.ProxyServer);
    QCOMPARE(a.ProxyPort, b.ProxyPort);
    QCOMPARE(a.RankscoutBulletins, b.RankscoutBulletins);
    QCOMPARE(a.BackwatchBulletins, b.BackwatchBulletins);
    QCOMPARE(a.SiteMapLines, b.SiteMapLines);
    for (int k = 1; k <= 5; ++k) {
        const ToolArchive* x = a.ArchiveForTag(k);
        const ToolArchive* y = b.ArchiveForTag(k);
        QVERIFY(y->IsConsistent());
        QCOMPARE(x->Pages(), y->Pages());
        QCOMPARE(x->Dates(), y->Dates());
        QCOMPARE(x->Percentages(), y->Percentages());
        QCOMPARE(x->Bodies(), y->Bodies());
    }
    QVERIFY(b.BulletinMessages.IsConsistent());
    QCOMPARE(a.BulletinMessages.Bodies(), b.BulletinMessages.Bodies());
    QCOMPARE(a.BulletinMessages.Senders(), b.BulletinMessages.Senders());
    QCOMPARE(a.BulletinMessages.Pages(), b.BulletinMessages.Pages());
    QCOMPARE(a.BulletinMessages.ReadStates(), b.BulletinMessages.ReadStates());
}

} // namespace

class TestProjectFile : public QObject {
    Q_OBJECT
  private slots:
    void newProjectIsThe28LineFile();
    void blocksInFileOrder();
    void roundTripKeepsEveryColumnPaired();
    void hostileFiles_data();
    void hostileFiles();
    void onlyRegularFilesAreOpened();
    void archiveRemoveAt_data();
    void archiveRemoveAt();
    void minusOneCountIsEmptyList();
    void lastLineWithoutCrAndTrailingBytes();
    void encodings_data();
    void encodings();
    void writerKeepsLinesIntact_data();
    void writerKeepsLinesIntact();
    void decimalIntegers_data();
    void decimalIntegers();
    void failedWriteKeepsOldFile();
    void extrasBesideTheFileOutliveAnOlderVersion();
    void openFailures();
    void largeFiles_data();
    void largeFiles();
    void mutatedFilesNeverCrash();
    void recentFileMoves_data();
    void recentFileMoves();
    void recentFileCaptions_data();
    void recentFileCaptions();
};

void TestProjectFile::newProjectIsThe28LineFile() {
    ProjectData p;
    p.RootHost = QStringLiteral("www.example.com");
    p.RootPath = QStringLiteral("/");
    const QByteArray expected = HeaderLines() + Lines(EmptyBlocks());
    QCOMPARE(expected.count('\r'), 28);
    QCOMPARE(SerializeProject(p), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.zpr"));
    QVERIFY(WriteProjectFile(path, p).IsOk());
    QCOMPARE(ReadAll(path), expected);
}

void TestProjectFile::blocksInFileOrder() {
    // One item per block, named after its list, in the documented order.
    ProjectData p;
    p.RootHost = QStringLiteral("h");
    p.RootPath = QStringLiteral("/p/");
    p.ProxyServer = QStringLiteral("px");
    p.ProxyPort = -7;
    p.RankscoutBulletins = QStringLiteral("Y");
    p.BackwatchBulletins = QStringLiteral("N");
    p.SiteMapLines << QStringLiteral("map");
    p.WordweighArchive.Append("wp", "wd", "wb", "w%");
    p.StuffwatchArchive.Append("sp", "sd", "sb");
    p.RankscoutArchive.Append("rp", "rd", "rb");
    p.EnginepostArchive.Append("ep", "ed", "eb");
    p.BackwatchArchive.Append("bp", "bd", "bb");
    p.BulletinMessages.Append("mb", "ms", "mp", "1");
    QList<QByteArray> lines = {"ZEPHProject", "h", "/p/", "px", "-7", "Y", "N"};
    for (const char* item : {"map", "wp", "wd", "w%", "wb", "sp", "sd", "sb", "rp", "rd", "rb",
                             "ep",  "ed", "eb", "bp", "bd", "bb", "mb", "ms", "mp", "1"})
        lines << "1" << item;
    QCOMPARE(SerializeProject(p), Lines(lines));

    ProjectData back;
    QVERIFY(ParseProject(Lines(lines), back).IsOk());
    CompareProjects(p, back);
}

void TestProjectFile::roundTripKeepsEveryColumnPaired() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.zpr"));
    const ProjectData p = FullProject();
    QVERIFY(WriteProjectFile(path, p).IsOk());
    ProjectData back;
    const ProjectFileResult r = ReadProjectFile(path, back);
    QCOMPARE(int(r.Status), int(ProjectFileStatus::Ok));
    CompareProjects(p, back);
    // Pairing: entry i of every column still names the same i.
    for (int i = 0; i < back.BackwatchArchive.Count(); ++i)
        QVERIFY(back.BackwatchArchive.Pages()[i].endsWith(QStringLiteral("/%1.html").arg(i)));

    // Saving what was opened gives the same bytes.
    const QByteArray first = ReadAll(path);
    QVERIFY(WriteProjectFile(path, back).IsOk());
    QCOMPARE(ReadAll(path), first);
}

void TestProjectFile::hostileFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    const int notProject = int(ProjectFileStatus::NotProjectFile);
    const int failed = int(ProjectFileStatus::Failed);
    const QByteArray good = HeaderLines() + Lines(EmptyBlocks());

    QByteArray crlf = good;
    crlf.replace("\r", "\r\n");
    QTest::newRow("CR LF lines") << crlf << failed
                                 << QStringLiteral("'?0' is not a valid integer value");
    QTest::newRow("10 MB where the port belongs")
        << HeaderLines(QByteArray(10 << 20, '7')) + Lines(EmptyBlocks()) << failed
        << "'" + QString(60, u'7') + "...' is not a valid integer value";
    QTest::newRow("control and unpaired bytes in a count")
        << HeaderLines() + Lines({QByteArray("1\x01\x1b[2J\x7f", 8)}) << failed
        << QStringLiteral("'1??[2J??' is not a valid integer value");
    QTest::newRow("marker in other case")
        << QByteArray(good).replace("ZEPH", "Zeph") << notProject << QString();
    QTest::newRow("marker with trailing blank")
        << QByteArray(good).replace("Project\r", "Project \r") << notProject << QString();
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + good << notProject << QString();
    QTest::newRow("empty file") << QByteArray() << notProject << QString();
    QTest::newRow("marker without CR") << QByteArray("ZEPHProject") << notProject << QString();
    QTest::newRow("marker only") << QByteArray("ZEPHProject\r") << notProject << QString();
    QTest::newRow("ends in header") << Lines({"ZEPHProject", "h", "/"}) << notProject << QString();
    QTest::newRow("ends in blocks")
        << HeaderLines() + Lines(EmptyBlocks(20)) << notProject << QString();
    QTest::newRow("count larger than lines left")
        << HeaderLines() + Lines({"3", "a", "b"}) << notProject << QString();
    QTest::newRow("huge count") << HeaderLines() + Lines({"2147483647", "x", "y"}) << notProject
                                << QString();
    QTest::newRow("count beyond 32 bits")
        << HeaderLines() + Lines({"99999999999"}) << failed
        << QStringLiteral("'99999999999' is not a valid integer value");
    QTest::newRow("bad port") << HeaderLines("80a") + Lines(EmptyBlocks()) << failed
                              << QStringLiteral("'80a' is not a valid integer value");
    QTest::newRow("empty port line") << HeaderLines("") + Lines(EmptyBlocks()) << failed
                                     << QStringLiteral("'' is not a valid integer value");
    QList<QByteArray> badCount = EmptyBlocks();
    badCount[7] = "0x10";
    QTest::newRow("hex count") << HeaderLines() + Lines(badCount) << failed
                               << QStringLiteral("'0x10' is not a valid integer value");
    QList<QByteArray> unpaired = EmptyBlocks();
    unpaired[5] = "1\rhttp://x/";
    QTest::newRow("archive columns of unequal length")
        << HeaderLines() + Lines(unpaired) << notProject << QString();
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    QTest::newRow("binary junk") << junk << notProject << QString();
    QTest::newRow("junk line after marker")
        << QByteArray("ZEPHProject\r") + QByteArray(junk).replace('\r', 'x') << notProject
        << QString();
    QTest::newRow("junk lines after marker")
        << QByteArray("ZEPHProject\r") + junk << failed
        << NotIntegerMessage(DecodeWindows1252(junk).split(u'\r').at(3));
}

void TestProjectFile::hostileFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile.zpr"));
    QVERIFY(WriteAll(path, bytes));
    ProjectData p = FullProject(); // whatever it held before must go
    const ProjectFileResult r = ReadProjectFile(path, p);
    QCOMPARE(int(r.Status), status);
    QCOMPARE(r.Error, error);
    QVERIFY(IsEmpty(p));
}

void TestProjectFile::archiveRemoveAt_data() {
    QTest::addColumn<bool>("wordweigh");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("left"); // the remaining entries' tags
    for (const bool w : {true, false}) {
        const QByteArray kind = w ? "Wordweigh " : "Stuffwatch ";
        QTest::newRow(kind + "first") << w << 0 << QStringList{"b", "c"};
        QTest::newRow(kind + "middle") << w << 1 << QStringList{"a", "c"};
        QTest::newRow(kind + "last") << w << 2 << QStringList{"a", "b"};
        QTest::newRow(kind + "below range") << w << -1 << QStringList{"a", "b", "c"};
        QTest::newRow(kind + "past the end") << w << 3 << QStringList{"a", "b", "c"};
    }
}

// Removing an entry takes it out of every column, so the rest stay paired.
void TestProjectFile::archiveRemoveAt() {
    QFETCH(bool, wordweigh);
    QFETCH(int, index);
    QFETCH(QStringList, left);
    ToolArchive archive(wordweigh ? ToolKind::Wordweigh : ToolKind::Stuffwatch);
    for (const QString tag : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        archive.Append("page-" + tag, "date-" + tag, "body-" + tag,
                       wordweigh ? "pct-" + tag : QString());
    QCOMPARE(archive.RemoveAt(index), left.size() == 2);
    QVERIFY(archive.IsConsistent());
    QCOMPARE(archive.Count(), int(left.size()));
    for (int i = 0; i < left.size(); ++i) {
        QCOMPARE(archive.Pages()[i], "page-" + left[i]);
        QCOMPARE(archive.Dates()[i], "date-" + left[i]);
        QCOMPARE(archive.Bodies()[i], "body-" + left[i]);
        if (wordweigh)
            QCOMPARE(archive.Percentages()[i], "pct-" + left[i]);
    }
    QCOMPARE(archive.Percentages().isEmpty(), !wordweigh);
}

void TestProjectFile::onlyRegularFilesAreOpened() {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("x.zpr"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ProjectData p = FullProject();
    const ProjectFileResult r = ReadProjectFile(pipe, p);
    QCOMPARE(int(r.Status), int(ProjectFileStatus::Failed));
    QCOMPARE(r.Error, QStringLiteral("Cannot open file ") + pipe);
    QVERIFY(IsEmpty(p));
    QCOMPARE(ReadProjectFile(dir.path(), p).Error,
             QStringLiteral("Cannot open file ") + dir.path());
}

void TestProjectFile::minusOneCountIsEmptyList() {
    QList<QByteArray> blocks = {"-1", "1", "http://x/", "1", "d", "1", "50", "1", "b"};
    blocks += EmptyBlocks(17);
    ProjectData p;
    QVERIFY(ParseProject(HeaderLines() + Lines(blocks), p).IsOk());
    QVERIFY(p.SiteMapLines.isEmpty());
    QCOMPARE(p.WordweighArchive.Pages(), QStringList{"http://x/"});
    QCOMPARE(p.WordweighArchive.Percentages(), QStringList{"50"});
    QCOMPARE(p.WordweighArchive.Bodies(), QStringList{"b"});
}

void TestProjectFile::lastLineWithoutCrAndTrailingBytes() {
    QByteArray noFinalCr = HeaderLines() + Lines(EmptyBlocks());
    noFinalCr.chop(1);
    ProjectData p;
    QVERIFY(ParseProject(noFinalCr, p).IsOk());
    QCOMPARE(p.RootHost, QStringLiteral("www.example.com"));

    QList<QByteArray> withItem = EmptyBlocks();
    withItem[0] = "1\rlast";
    QByteArray cut = HeaderLines() + Lines(withItem.mid(0, 1));
    cut.chop(1);
    // The file ends after the first block's item: 20 blocks are missing.
    QCOMPARE(int(ParseProject(cut, p).Status), int(ProjectFileStatus::NotProjectFile));

    const QByteArray extra = HeaderLines() + Lines(EmptyBlocks()) + "anything\r\xff\x00more";
    QVERIFY(ParseProject(extra, p).IsOk());
}

void TestProjectFile::encodings_data() {
    QTest::addColumn<QByteArray>("hostBytes");
    QTest::addColumn<QString>("host");
    QTest::newRow("ascii") << QByteArray("plain.com") << QStringLiteral("plain.com");
    QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9-\xE2\x82\xAC.com")
                           << QStringLiteral("café-€.com");
    QTest::newRow("windows-1252") << QByteArray("caf\xE9-\x80\x93\x81.com")
                                  << QString::fromUtf16(u"café-€\u201C\u0081.com");
    QTest::newRow("broken utf-8 is 1252") << QByteArray("\xC3\x28") << QString::fromUtf16(u"Ã(");
    QTest::newRow("four-byte utf-8")
        << QByteArray("\xF0\x9F\x98\x80") << QString::fromUtf16(u"\U0001F600");
    QTest::newRow("overlong form is 1252") << QByteArray("\xC0\xAF") << QString::fromUtf16(u"À¯");
    QTest::newRow("surrogate is 1252")
        << QByteArray("\xED\xA0\x80") << QString::fromUtf16(u"í\u00A0€");
    QTest::newRow("sequence cut by CR is 1252")
        << QByteArray("a\xE2\x82") << QString::fromUtf16(u"aâ‚");
}

void TestProjectFile::encodings() {
    QFETCH(QByteArray, hostBytes);
    QFETCH(QString, host);
    const QByteArray file =
        Lines({"ZEPHProject", hostBytes, "/", "", "0", "N", "N"}) + Lines(EmptyBlocks());
    ProjectData p;
    QVERIFY(ParseProject(file, p).IsOk());
    QCOMPARE(p.RootHost, host);
    // Written back, the text is UTF-8.
    QVERIFY(SerializeProject(p).contains(host.toUtf8()));
}

void TestProjectFile::writerKeepsLinesIntact_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("CR") << QStringLiteral("a\rb") << QStringLiteral("a<br>b");
    QTest::newRow("CR LF") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a<br>b<br>");
    QTest::newRow("LF alone kept") << QStringLiteral("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("zero dropped") << QString::fromUtf16(u"a\0b", 3) << QStringLiteral("ab");
    QTest::newRow("only CR") << QStringLiteral("\r") << QStringLiteral("<br>");
    QTest::newRow("plain") << QStringLiteral("x<br>y") << QStringLiteral("x<br>y");
}

void TestProjectFile::writerKeepsLinesIntact() {
    QFETCH(QString, value);
    QFETCH(QString, stored);
    ProjectData p;
    p.RootHost = value;
    p.ProxyServer = value;
    p.SiteMapLines << value << QStringLiteral("next");
    p.StuffwatchArchive.Append(value, value, value);
    p.BulletinMessages.Append(value, value, value, QStringLiteral("0"));
    const QByteArray bytes = SerializeProject(p);
    QVERIFY(!bytes.contains('\0'));
    QCOMPARE(bytes.count('\r'), 28 + 2 + 3 + 4);
    ProjectData back;
    QVERIFY(ParseProject(bytes, back).IsOk());
    QCOMPARE(back.RootHost, stored);
    QCOMPARE(back.ProxyServer, stored);
    QCOMPARE(back.SiteMapLines, (QStringList{stored, QStringLiteral("next")}));
    QCOMPARE(back.StuffwatchArchive.Bodies(), QStringList{stored});
    QCOMPARE(back.BulletinMessages.Pages(), QStringList{stored});
    QCOMPARE(back.BulletinMessages.ReadStates(), QStringList{QStringLiteral("0")});
}

void TestProjectFile::decimalIntegers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("plain") << "3128" << true << 3128;
    QTest::newRow("negative") << "-1" << true << -1;
    QTest::newRow("plus sign") << "+5" << true << 5;
    QTest::newRow("leading blanks") << "  5" << true << 5;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("over max") << "2147483648" << false << 0;
    QTest::newRow("under min") << "-2147483649" << false << 0;
    QTest::newRow("very long") << QString(400, u'9') << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("trailing blank") << "5 " << false << 0;
    QTest::newRow("line feed first") << "\n5" << false << 0;
    QTest::newRow("tab first") << "\t5" << false << 0;
    QTest::newRow("hex 0x") << "0x10" << false << 0;
    QTest::newRow("hex dollar") << "$10" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("two signs") << "--1" << false << 0;
    QTest::newRow("arabic-indic digit") << QString::fromUtf16(u"\u0665") << false << 0;
}

void TestProjectFile::decimalIntegers() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    qint32 got = 12345;
    QCOMPARE(ParseDecimalInt(text, got), ok);
    if (ok)
        QCOMPARE(got, value);
}

void TestProjectFile::failedWriteKeepsOldFile() {
    QTemporaryDir dir;
    ProjectData p = FullProject();

    // A name so long that no temporary file can be made beside it: the
    // write fails before the old file is touched (this holds for root too).
    const QString longPath = dir.filePath(QString(250, u'p') + QStringLiteral(".zpr"));
    const QByteArray old = Lines({"ZEPHProject", "old contents"});
    QVERIFY(WriteAll(longPath, old));
    ProjectFileResult r = WriteProjectFile(longPath, p);
    QCOMPARE(int(r.Status), int(ProjectFileStatus::Failed));
    QCOMPARE(r.Error, QStringLiteral("Cannot create file ") + longPath);
    QCOMPARE(ReadAll(longPath), old);

    // A folder that has gone away.
    const QString gone = dir.filePath(QStringLiteral("gone/p.zpr"));
    r = WriteProjectFile(gone, p);
    QCOMPARE(r.Error, QStringLiteral("Cannot create file ") + gone);
    QVERIFY(!QFile::exists(gone));

    // A successful write replaces the file whole, and leaves no temporary behind.
    const QString path = dir.filePath(QStringLiteral("ok.zpr"));
    QVERIFY(WriteAll(path, QByteArray(100000, 'x')));
    QVERIFY(WriteProjectFile(path, p).IsOk());
    QCOMPARE(ReadAll(path), SerializeProject(p));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

void TestProjectFile::extrasBesideTheFileOutliveAnOlderVersion() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.ZPR"));
    const QString extras = dir.filePath(QStringLiteral("site.extras.json"));
    QCOMPARE(ProjectExtrasPath(path), extras);
    ProjectData p;
    p.RootHost = QStringLiteral("www.example.org");
    const QByteArray withoutExtras = SerializeProject(p);
    p.Watches = {QStringLiteral("5 http://www.example.org/a.html"), QStringLiteral("H 3")};
    p.RenderMode = QStringLiteral("auto");
    QVERIFY(WriteProjectFile(path, p).IsOk());
    QVERIFY(QFile::exists(extras));

    // A version that knows only the project file saves it without the watch list.
    auto overwrite = [](const QString& file, const QByteArray& bytes) {
        QFile out(file);
        return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               out.write(bytes) == bytes.size();
    };
    QVERIFY(overwrite(path, withoutExtras));
    ProjectData back;
    ProjectFileResult read = ReadProjectFile(path, back);
    QVERIFY(read.IsOk() && read.Warning.isEmpty());
    QCOMPARE(back.Watches, p.Watches);
    QCOMPARE(EffectiveRenderMode(back), QStringLiteral("auto"));

    // Members another version wrote are kept through a save; an unknown
    // render mode is kept too, and crawls take it as off.
    QVERIFY(overwrite(extras, R"({"render": "smart", "polite": {"delay": 2}})"));
    QVERIFY(ReadProjectFile(path, back).IsOk());
    QCOMPARE(EffectiveRenderMode(back), QStringLiteral("off"));
    back.Watches.clear();
    QVERIFY(WriteProjectFile(path, back).IsOk());
    QFile kept(extras);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    const QJsonObject object = QJsonDocument::fromJson(kept.readAll()).object();
    kept.close();
    QCOMPARE(object.value("polite").toObject().value("delay").toInt(), 2);
    QCOMPARE(object.value("render").toString(), QStringLiteral("smart"));
    QVERIFY(!object.contains("watches"));

    // Nothing left to keep: no file beside the project.
    back.OtherExtras = {};
    back.RenderMode = QStringLiteral("off");
    QVERIFY(WriteProjectFile(path, back).IsOk());
    QVERIFY(!QFile::exists(extras));

    // A broken file: the project opens, the reader says why, and the next
    // save moves the file aside rather than overwriting it.
    QVERIFY(overwrite(extras, "{\"watches\": [\"5 x\""));
    read = ReadProjectFile(path, back);
    QVERIFY(read.IsOk());
    QVERIFY2(read.Warning.contains(extras) && read.Warning.contains(".broken"),
             qPrintable(read.Warning));
    QVERIFY(back.Watches.isEmpty());
    back.Watches = {QStringLiteral("3 http://www.example.org/")};
    QVERIFY(WriteProjectFile(path, back).IsOk());
    QFile aside(extras + ".broken");
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), QByteArray("{\"watches\": [\"5 x\""));
    QVERIFY(ReadProjectFile(path, back).IsOk());
    QCOMPARE(back.Watches, QStringList{"3 http://www.example.org/"});
}

// A large file is read in chunks with its progress told, can be stopped, and
// is refused beyond the limits; whatever stops it leaves the project empty.
void TestProjectFile::largeFiles_data() {
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<qint64>("maxMapLines");
    QTest::addColumn<int>("stopAtCall"); // 0: never
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // what the error text holds
    const ProjectReadLimits standard;
    const int ok = int(ProjectFileStatus::Ok), failed = int(ProjectFileStatus::Failed);
    QTest::newRow("read whole") << standard.MaxBytes << standard.MaxSiteMapLines << 0 << ok
                                << QString();
    QTest::newRow("stopped while read") << standard.MaxBytes << standard.MaxSiteMapLines << 2
                                        << int(ProjectFileStatus::Cancelled) << QString();
    QTest::newRow("stopped while parsed") << standard.MaxBytes << standard.MaxSiteMapLines << 5
                                          << int(ProjectFileStatus::Cancelled) << QString();
    QTest::newRow("beyond the bytes")
        << qint64(1) << standard.MaxSiteMapLines << 0 << failed
        << "is 17 MB; the program opens files of this kind of up to 1 MB.";
    QTest::newRow("beyond the site map's lines")
        << standard.MaxBytes << qint64(300000) << 0 << failed
        << "The site map in this project file has 500,001 lines; the program holds site maps of "
           "up to 300,000 lines.";
}

void TestProjectFile::largeFiles() {
    QFETCH(qint64, maxBytes);
    QFETCH(qint64, maxMapLines);
    QFETCH(int, stopAtCall);
    QFETCH(int, status);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("large.zpr");
    ProjectData written;
    written.RootHost = QStringLiteral("site.test");
    written.SiteMapLines << QStringLiteral("WEBCHARTER");
    for (int i = 0; i < 500000; ++i)
        written.SiteMapLines
            << QStringLiteral("<PAGE>folder/page%1.html").arg(i, 12, 10, QChar('0'));
    QVERIFY(WriteProjectFile(path, written).IsOk());
    const qint64 size = QFileInfo(path).size();
    QVERIFY(size > 16 << 20); // more than two chunks
    ProjectReadLimits limits;
    limits.MaxBytes = maxBytes << 20;
    limits.MaxSiteMapLines = maxMapLines;
    ProjectData read;
    read.RootHost = QStringLiteral("left over");
    int calls = 0;
    qint64 last = -1;
    bool ordered = true;
    const ProjectFileResult r = ReadProjectFile(
        path, read,
        [&](qint64 done, qint64 total) {
            ordered = ordered && done >= last && done <= total && total == 2 * size;
            last = done;
            return ++calls != stopAtCall;
        },
        limits);
    QCOMPARE(int(r.Status), status);
    QVERIFY2(r.Error.contains(error), qPrintable(r.Error));
    QVERIFY(ordered);
    if (status == int(ProjectFileStatus::Ok)) {
        QCOMPARE(read.SiteMapLines, written.SiteMapLines);
        QVERIFY(last > size); // the parse was told too
    } else {
        QVERIFY(IsEmpty(read));
    }
}

void TestProjectFile::openFailures() {
    QTemporaryDir dir;
    ProjectData p = FullProject();
    const QString missing = dir.filePath(QStringLiteral("missing.zpr"));
    ProjectFileResult r = ReadProjectFile(missing, p);
    QCOMPARE(int(r.Status), int(ProjectFileStatus::Failed));
    QCOMPARE(r.Error, QStringLiteral("Cannot open file ") + missing);
    QVERIFY(IsEmpty(p));
    r = ReadProjectFile(dir.path(), p);
    QCOMPARE(r.Error, QStringLiteral("Cannot open file ") + dir.path());
}

void TestProjectFile::mutatedFilesNeverCrash() {
    // Bounded random damage to a real file: a read either fails and leaves
    // nothing behind, with the error text for a failure, or gives a project
    // whose columns pair up and whose saved form reads back to itself.
    const QByteArray good = SerializeProject(FullProject());
    QRandomGenerator rng(20261208);
    std::array<int, 3> outcomes{}; // by ProjectFileStatus
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        const int edits = 1 + rng.bounded(4);
        for (int e = 0; e < edits; ++e) {
            const int at = rng.bounded(int(bytes.size()));
            switch (rng.bounded(4)) {
            case 0:
                bytes[at] = char(rng.bounded(256));
                break;
            case 1:
                bytes.remove(at, rng.bounded(40));
                break;
            case 2:
                bytes.insert(at, '\r');
                break;
            case 3:
                bytes.truncate(at);
                break;
            }
            if (bytes.isEmpty())
                break;
        }
        ProjectData p;
        const ProjectFileResult r = ParseProject(bytes, p);
        ++outcomes[size_t(r.Status)];
        if (r.IsOk()) {
            for (int k = 1; k <= 5; ++k)
                QVERIFY(p.ArchiveForTag(k)->IsConsistent());
            const QByteArray saved = SerializeProject(p);
            ProjectData again;
            QVERIFY(ParseProject(saved, again).IsOk());
            QCOMPARE(SerializeProject(again), saved);
        } else {
            QVERIFY(IsEmpty(p));
            QCOMPARE(r.Error.isEmpty(), r.Status == ProjectFileStatus::NotProjectFile);
        }
    }
    // The damage reaches every outcome, so each branch above was checked.
    for (const int count : outcomes)
        QVERIFY(count > 0);
}

void TestProjectFile::recentFileMoves_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("after");
    const QStringList four = {"a", "b", "c", "d"};
    QTest::newRow("already first") << four << "a" << four;
    QTest::newRow("from slot 1") << four << "b" << QStringList{"b", "a", "c", "d"};
    QTest::newRow("from slot 2") << four << "c" << QStringList{"c", "a", "b", "d"};
    QTest::newRow("from slot 3") << four << "d" << QStringList{"d", "a", "b", "c"};
    QTest::newRow("new drops slot 3") << four << "e" << QStringList{"e", "a", "b", "c"};
    QTest::newRow("case differs is new") << four << "C" << QStringList{"C", "a", "b", "c"};
    QTest::newRow("into empty list")
        << QStringList{"", "", "", ""} << "a" << QStringList{"a", "", "", ""};
    QTest::newRow("short list padded") << QStringList{"a"} << "b" << QStringList{"b", "a", "", ""};
}

void TestProjectFile::recentFileMoves() {
    QFETCH(QStringList, before);
    QFETCH(QString, file);
    QFETCH(QStringList, after);
    MoveToFrontOfRecentFiles(before, file);
    QCOMPARE(before, after);
}

void TestProjectFile::recentFileCaptions_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("caption");
    QTest::newRow("23 whole") << 0 << "/home/ann/sites/abc.zpr"
                              << "&1 /home/ann/sites/abc.zpr";
    QTest::newRow("24 shortened") << 1 << "/home/ann/sites/abcd.zpr"
                                  << "&2 .../ann/sites/abcd.zpr";
    QTest::newRow("backslashes") << 2 << "C:\\Projects\\Web\\site1.zpr"
                                 << "&3 ...\\Web\\site1.zpr";
    QTest::newRow("no separator in tail") << 3 << "/a/" + QString(30, u'x') + ".zpr"
                                          << "&4 ..." + QString(17, u'x') + ".zpr";
    QTest::newRow("separator first of tail") << 0 << "/abcd/efghijklmnopqrst.zpr"
                                             << "&1 .../efghijklmnopqrst.zpr";
    QTest::newRow("ampersand doubled") << 0 << "/tmp/a&b.zpr"
                                       << "&1 /tmp/a&&b.zpr";
}

void TestProjectFile::recentFileCaptions() {
    QFETCH(int, slot);
    QFETCH(QString, path);
    QFETCH(QString, caption);
    QCOMPARE(RecentFileCaption(slot, path), caption);
}

QTEST_GUILESS_MAIN(TestProjectFile)
#include "TestProjectFile.moc"
