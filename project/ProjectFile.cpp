#include "ProjectFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>

#include <array>

namespace vantora {

namespace {

constexpr char16_t Cr = u'\r';

// The 21 lists in file order. Only the Wordweigh archive has a percentage column.
std::array<QStringList*, 21> Blocks(ProjectData& p)
{
    return {&p.SiteMapLines,
            &p.WordweighArchive.Pages, &p.WordweighArchive.Dates,
            &p.WordweighArchive.Percentages, &p.WordweighArchive.Bodies,
            &p.StuffwatchArchive.Pages, &p.StuffwatchArchive.Dates, &p.StuffwatchArchive.Bodies,
            &p.RankscoutArchive.Pages, &p.RankscoutArchive.Dates, &p.RankscoutArchive.Bodies,
            &p.EnginepostArchive.Pages, &p.EnginepostArchive.Dates, &p.EnginepostArchive.Bodies,
            &p.BackwatchArchive.Pages, &p.BackwatchArchive.Dates, &p.BackwatchArchive.Bodies,
            &p.BulletinMessages.Bodies, &p.BulletinMessages.Senders,
            &p.BulletinMessages.Pages, &p.BulletinMessages.ReadStates};
}

std::array<const QStringList*, 21> Blocks(const ProjectData& p)
{
    const auto blocks = Blocks(const_cast<ProjectData&>(p));
    std::array<const QStringList*, 21> out;
    for (size_t i = 0; i < blocks.size(); ++i)
        out[i] = blocks[i];
    return out;
}

bool NeedsCleaning(QStringView value)
{
    for (QChar c : value)
        if (c.unicode() == Cr || c.unicode() == 0)
            return true;
    return false;
}

// Appends lines to one growing buffer, encoding straight into it.
class LineWriter {
public:
    explicit LineWriter(qsizetype expected) { Buffer.resize(qMax<qsizetype>(expected, 256)); }

    void Line(QStringView value)
    {
        if (NeedsCleaning(value)) {
            const QString clean = ProjectLineText(value.toString());
            Line(QStringView(clean));
            return;
        }
        Reserve(Encoder.requiredSpace(value.size()) + 1);
        char* start = Buffer.data() + Used;
        char* end = Encoder.appendToBuffer(start, value);
        *end++ = '\r';
        Used += end - start;
    }
    void Number(qint64 value) { Line(QString::number(value)); }

    QByteArray Take()
    {
        Buffer.truncate(Used);
        return std::move(Buffer);
    }

private:
    void Reserve(qsizetype more)
    {
        if (Used + more > Buffer.size())
            Buffer.resize(qMax(Buffer.size() * 2, Used + more));
    }

    QStringEncoder Encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QByteArray Buffer;
    qsizetype Used = 0;
};

// Hands out the lines after the marker. A line ends at a CR; the last line
// of the file may lack its CR. Returns false at the end of the file.
class LineReader {
public:
    LineReader(QStringView text, qsizetype start) : Text(text), Pos(start) {}

    bool Next(QStringView& line)
    {
        if (Pos >= Text.size())
            return false;
        qsizetype cr = Text.indexOf(QChar(Cr), Pos);
        if (cr < 0)
            cr = Text.size();
        line = Text.mid(Pos, cr - Pos);
        Pos = cr + 1;
        return true;
    }

private:
    QStringView Text;
    qsizetype Pos;
};

QString DecodeFileText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                    QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return DecodeWindows1252(bytes);
    return text;
}

} // namespace

QString NotProjectFileMessage()
{
    return QStringLiteral("The specified file does not appear to be a valid ZEPH Project file, "
                          "operation aborted.");
}

QString NotIntegerMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString ProjectLineText(const QString& value)
{
    if (!NeedsCleaning(value))
        return value;
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value.at(i).unicode();
        if (c == 0)
            continue;
        if (c == Cr) {
            out += QLatin1String("<br>");
            if (i + 1 < value.size() && value.at(i + 1) == u'\n')
                ++i;
            continue;
        }
        out += QChar(c);
    }
    return out;
}

bool ParseDecimalInt(const QString& text, qint32& value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == n)
        return false;
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(1) << 31)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<qint32>::max() || result < std::numeric_limits<qint32>::min())
        return false;
    value = qint32(result);
    return true;
}

QString DecodeWindows1252(const QByteArray& bytes)
{
    // 0x80..0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90 and 0x9D keep their value.
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char ch : bytes) {
        const uchar b = uchar(ch);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? High[b - 0x80] : char16_t(b));
    }
    return out;
}

QByteArray SerializeProject(const ProjectData& project)
{
    const auto blocks = Blocks(project);
    qsizetype expected = 128 + project.RootHost.size() + project.RootPath.size() +
                         project.ProxyServer.size();
    for (const QStringList* list : blocks) {
        expected += 12;
        for (const QString& item : *list)
            expected += item.size() + 1;
    }
    LineWriter out(expected + expected / 8);
    out.Line(u"ZEPHProject");
    out.Line(project.RootHost);
    out.Line(project.RootPath);
    out.Line(project.ProxyServer);
    out.Number(project.ProxyPort);
    out.Line(project.RankscoutBulletins);
    out.Line(project.BackwatchBulletins);
    for (const QStringList* list : blocks) {
        out.Number(list->size());
        for (const QString& item : *list)
            out.Line(item);
    }
    return out.Take();
}

ProjectFileResult ParseProject(const QByteArray& bytes, ProjectData& project)
{
    project.Clear();
    // A file that is nothing but the marker (or less) has no layout at all.
    const qsizetype markerEnd = bytes.indexOf('\r');
    if (markerEnd < 0 || QByteArrayView(bytes).first(markerEnd) != QByteArrayView(ProjectMarker))
        return ProjectFileResult::NotProject();

    // The marker is ASCII, so the text's lines start at the same offset.
    const QString text = DecodeFileText(bytes);
    LineReader lines(text, markerEnd + 1);
    auto fail = [&project](ProjectFileResult result) {
        project.Clear();
        return result;
    };

    QStringView header[6];
    for (QStringView& line : header)
        if (!lines.Next(line))
            return fail(ProjectFileResult::NotProject());
    qint32 port = 0;
    if (!ParseDecimalInt(header[3].toString(), port))
        return fail(ProjectFileResult::Failure(NotIntegerMessage(header[3].toString())));
    project.RootHost = header[0].toString();
    project.RootPath = header[1].toString();
    project.ProxyServer = header[2].toString();
    project.ProxyPort = port;
    project.RankscoutBulletins = header[4].toString();
    project.BackwatchBulletins = header[5].toString();

    for (QStringList* list : Blocks(project)) {
        QStringView line;
        if (!lines.Next(line))
            return fail(ProjectFileResult::NotProject());
        qint32 count = 0;
        if (!ParseDecimalInt(line.toString(), count))
            return fail(ProjectFileResult::Failure(NotIntegerMessage(line.toString())));
        // No reservation by the count: a huge count in a short file runs
        // out of lines long before it could cost memory.
        for (qint32 i = 0; i < count; ++i) {
            if (!lines.Next(line))
                return fail(ProjectFileResult::NotProject());
            list->append(line.toString());
        }
    }

    // Columns of one archive are separate blocks; a file whose columns
    // disagree cannot be paired by index and is not one this program wrote.
    for (int kind = 1; kind <= 5; ++kind)
        if (!project.Archive(kind)->IsConsistent())
            return fail(ProjectFileResult::NotProject());
    if (!project.BulletinMessages.IsConsistent())
        return fail(ProjectFileResult::NotProject());
    return ProjectFileResult::Success();
}

ProjectFileResult WriteProjectFile(const QString& path, const ProjectData& project)
{
    const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(path);
    const QByteArray bytes = SerializeProject(project);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return ProjectFileResult::Failure(cannotCreate);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return ProjectFileResult::Failure(cannotCreate);
    }
    if (!file.commit())
        return ProjectFileResult::Failure(cannotCreate);
    return ProjectFileResult::Success();
}

ProjectFileResult ReadProjectFile(const QString& path, ProjectData& project)
{
    project.Clear();
    const QString cannotOpen = QStringLiteral("Cannot open file %1").arg(path);
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return ProjectFileResult::Failure(cannotOpen);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ProjectFileResult::Failure(cannotOpen);
    file.close();
    return ParseProject(bytes, project);
}

} // namespace vantora
