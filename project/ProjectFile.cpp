#include "ProjectFile.h"
#include "ProjectExtras.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringConverter>

#include <array>
#include <cstring>
#include <functional>

namespace vantora {

namespace {

constexpr char16_t Cr = u'\r';

constexpr size_t BlockCount = 21;
constexpr QLatin1StringView WatchMarker("VantoraWatches");

// The 21 lists in file order: the site map, the five archives' columns in
// ToolKind order (only Wordweigh has a percentage column), the bulletins.
std::array<const QStringList*, BlockCount> Blocks(const ProjectData& p) {
    std::array<const QStringList*, BlockCount> out{};
    size_t n = 0;
    out[n++] = &p.SiteMapLines;
    for (const ToolInfo& tool : AllTools()) {
        const ToolArchive& archive = p.Archive(tool.Kind);
        out[n++] = &archive.Pages();
        out[n++] = &archive.Dates();
        if (archive.HasPercentages())
            out[n++] = &archive.Percentages();
        out[n++] = &archive.Bodies();
    }
    const BulletinList& messages = p.BulletinMessages;
    for (const QStringList* column :
         {&messages.Bodies(), &messages.Senders(), &messages.Pages(), &messages.ReadStates()})
        out[n++] = column;
    return out;
}

// Moves blocks read in file order into the project. False when the columns
// of an archive or of the bulletins do not pair up: such a file cannot be
// paired by index and is not one this program wrote.
bool TakeBlocks(std::array<QStringList, BlockCount>& blocks, ProjectData& p) {
    size_t n = 0;
    p.SiteMapLines = std::move(blocks[n++]);
    for (const ToolInfo& tool : AllTools()) {
        ToolArchive& archive = p.Archive(tool.Kind);
        QStringList& pages = blocks[n++];
        QStringList& dates = blocks[n++];
        QStringList percentages;
        if (archive.HasPercentages())
            percentages = std::move(blocks[n++]);
        QStringList& bodies = blocks[n++];
        if (!archive.SetColumns(std::move(pages), std::move(dates), std::move(percentages),
                                std::move(bodies)))
            return false;
    }
    QStringList& bodies = blocks[n++];
    QStringList& senders = blocks[n++];
    QStringList& pages = blocks[n++];
    QStringList& reads = blocks[n++];
    return p.BulletinMessages.SetColumns(std::move(bodies), std::move(senders), std::move(pages),
                                         std::move(reads));
}

bool NeedsCleaning(QStringView value) {
    for (QChar c : value)
        if (c.unicode() == Cr || c.unicode() == 0)
            return true;
    return false;
}

// Encodes lines into a buffer of about one megabyte and hands each full
// buffer to a sink, so even a large project never needs its whole file in
// memory at once.
class LineWriter {
  public:
    using Sink = std::function<bool(QByteArrayView)>;
    explicit LineWriter(Sink sink) : Out(std::move(sink)) { Buffer.resize(ChunkSize); }

    void Line(QStringView value) {
        if (NeedsCleaning(value)) {
            const QString clean = ProjectLineText(value.toString());
            Line(QStringView(clean));
            return;
        }
        const qsizetype need = Encoder.requiredSpace(value.size()) + 1;
        if (Used + need > Buffer.size()) {
            Flush();
            if (need > Buffer.size())
                Buffer.resize(need);
        }
        char* start = Buffer.data() + Used;
        char* end = Encoder.appendToBuffer(start, value);
        *end++ = '\r';
        Used += end - start;
    }
    void Number(qint64 value) { Line(QString::number(value)); }

    // Hands over what is left; false once any hand-over failed.
    bool Flush() {
        if (Used > 0 && Ok)
            Ok = Out(QByteArrayView(Buffer.constData(), Used));
        Used = 0;
        return Ok;
    }

  private:
    static constexpr qsizetype ChunkSize = 1 << 20;
    Sink Out;
    QStringEncoder Encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QByteArray Buffer;
    qsizetype Used = 0;
    bool Ok = true;
};

// Hands out the lines after the marker. A line ends at a CR; the last line
// of the file may lack its CR. Returns false at the end of the file.
class LineReader {
  public:
    LineReader(QByteArrayView bytes, qsizetype start) : Bytes(bytes), Pos(start) {}

    bool Next(QByteArrayView& line) {
        if (Pos >= Bytes.size())
            return false;
        const char* begin = Bytes.data() + Pos;
        const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', Bytes.size() - Pos));
        const qsizetype length = cr ? cr - begin : Bytes.size() - Pos;
        line = QByteArrayView(begin, length);
        Pos += length + 1;
        return true;
    }
    qsizetype Position() const { return Pos; }

  private:
    QByteArrayView Bytes;
    qsizetype Pos;
};

} // namespace

bool IsValidUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const uchar* end = p + bytes.size();
    while (p < end) {
        // Eight ASCII bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uchar lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += extra + 1;
    }
    return true;
}

bool ReadFileInChunks(QFile& file, QByteArray& bytes, const ReadProgress& progress, bool& stopped) {
    stopped = false;
    constexpr qint64 Chunk = qint64(8) << 20;
    // What the file holds when it is opened is read; a file that shrinks
    // meanwhile gives what is left of it.
    const qint64 size = file.size();
    bytes = QByteArray(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        if (progress && !progress(done, size)) {
            stopped = true;
            bytes.clear();
            return false;
        }
        const qint64 got = file.read(bytes.data() + done, qMin(Chunk, size - done));
        if (got < 0) {
            bytes.clear();
            return false;
        }
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return true;
}

QString FileTooLargeMessage(const QString& what, const QString& path, qint64 size, qint64 limit) {
    const auto megabytes = [](qint64 bytes) {
        return QLocale(QLocale::English).toString((bytes + (1 << 20) - 1) >> 20);
    };
    return QStringLiteral("%1 '%2' is %3 MB; the program opens files of this kind of up to %4 MB.")
        .arg(what, path, megabytes(size), megabytes(limit));
}

QString NotProjectFileMessage() {
    return QStringLiteral("The specified file does not appear to be a valid ZEPH Project file, "
                          "operation aborted.");
}

QString QuotedExcerpt(const QString& text) {
    // A hostile file can put megabytes of binary where a number belongs; the
    // message box shows a short line that can be read.
    constexpr qsizetype MaxShown = 60;
    QString shown;
    const qsizetype n = qMin(text.size(), MaxShown);
    shown.reserve(n + 3);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        shown += c.isPrint() && !c.isSurrogate() ? c : QChar(u'?');
    }
    if (text.size() > MaxShown)
        shown += QLatin1String("...");
    return shown;
}

QString NotIntegerMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(QuotedExcerpt(text));
}

QString ProjectLineText(const QString& value) {
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

bool ParseDecimalInt(const QString& text, qint32& value) {
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

QString DecodeWindows1252(QByteArrayView bytes) {
    // 0x80..0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90 and 0x9D keep their value.
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char ch : bytes) {
        const uchar b = uchar(ch);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? High[b - 0x80] : char16_t(b));
    }
    return out;
}

QString DecodeUtf8OrWindows1252(QByteArrayView bytes) {
    return IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : DecodeWindows1252(bytes);
}

namespace {

bool WriteLines(const ProjectData& project, const LineWriter::Sink& sink) {
    LineWriter out(sink);
    out.Line(u"ZEPHProject");
    out.Line(project.RootHost);
    out.Line(project.RootPath);
    out.Line(project.ProxyServer);
    out.Number(project.ProxyPort);
    out.Line(project.RankscoutBulletins);
    out.Line(project.BackwatchBulletins);
    for (const QStringList* list : Blocks(project)) {
        out.Number(list->size());
        for (const QString& item : *list)
            out.Line(item);
    }
    if (!project.Watches.isEmpty()) {
        out.Line(QString(WatchMarker));
        out.Number(project.Watches.size());
        for (const QString& item : project.Watches)
            out.Line(item);
    }
    return out.Flush();
}

} // namespace

QByteArray SerializeProject(const ProjectData& project) {
    // Room for the all-ASCII case; other text grows the buffer.
    qsizetype expected =
        64 + project.RootHost.size() + project.RootPath.size() + project.ProxyServer.size();
    for (const QStringList* list : Blocks(project)) {
        expected += 12;
        for (const QString& item : *list)
            expected += item.size() + 1;
    }
    QByteArray bytes;
    bytes.reserve(expected);
    WriteLines(project, [&bytes](QByteArrayView chunk) {
        bytes.append(chunk);
        return true;
    });
    return bytes;
}

ProjectFileResult ParseProject(QByteArrayView bytes, ProjectData& project,
                               const ReadProgress& progress, qint64 maxSiteMapLines) {
    project.Clear();
    // A file that is nothing but the marker (or less) has no layout at all.
    const qsizetype markerEnd = bytes.indexOf('\r');
    if (markerEnd < 0 || bytes.first(markerEnd) != QByteArrayView(ProjectMarker))
        return ProjectFileResult::NotProject();

    // One encoding for the whole file: UTF-8 when every byte sequence is
    // valid UTF-8, else Windows-1252.
    const bool utf8 = IsValidUtf8(bytes);
    auto text = [utf8](QByteArrayView line) {
        return utf8 ? QString::fromUtf8(line) : DecodeWindows1252(line);
    };
    LineReader lines(bytes, markerEnd + 1);
    auto fail = [&project](ProjectFileResult result) {
        project.Clear();
        return result;
    };

    QByteArrayView header[6];
    for (QByteArrayView& line : header)
        if (!lines.Next(line))
            return fail(ProjectFileResult::NotProject());
    qint32 port = 0;
    if (!ParseDecimalInt(text(header[3]), port))
        return fail(ProjectFileResult::Failure(NotIntegerMessage(text(header[3]))));
    project.RootHost = text(header[0]);
    project.RootPath = text(header[1]);
    project.ProxyServer = text(header[2]);
    project.ProxyPort = port;
    project.RankscoutBulletins = text(header[4]);
    project.BackwatchBulletins = text(header[5]);

    std::array<QStringList, BlockCount> blocks;
    for (QStringList& list : blocks) {
        QByteArrayView line;
        if (!lines.Next(line))
            return fail(ProjectFileResult::NotProject());
        qint32 count = 0;
        if (!ParseDecimalInt(text(line), count))
            return fail(ProjectFileResult::Failure(NotIntegerMessage(text(line))));
        // A count the rest of the file cannot hold is a cut or broken file,
        // told below when its lines run out.
        if (&list == &blocks.front() && count > maxSiteMapLines &&
            count <= bytes.size() - lines.Position() + 1) {
            const QLocale english(QLocale::English);
            return fail(ProjectFileResult::Failure(
                QStringLiteral("The site map in this project file has %1 lines; the program "
                               "holds site maps of up to %2 lines.")
                    .arg(english.toString(count), english.toString(maxSiteMapLines))));
        }
        // No reservation by the count: a huge count in a short file runs
        // out of lines long before it could cost memory.
        for (qint32 i = 0; i < count; ++i) {
            if (!lines.Next(line))
                return fail(ProjectFileResult::NotProject());
            list.append(text(line));
            if (progress && i % 8192 == 0 &&
                !progress(bytes.size() + lines.Position(), 2 * bytes.size()))
                return fail(ProjectFileResult::Stopped());
        }
    }
    if (!TakeBlocks(blocks, project))
        return fail(ProjectFileResult::NotProject());
    // The watch list follows the last block behind its own marker; a file
    // without it, or with anything else there, has none.
    QByteArrayView line;
    if (lines.Next(line) && text(line) == WatchMarker && lines.Next(line)) {
        qint32 count = 0;
        if (ParseDecimalInt(text(line), count))
            for (qint32 i = 0; i < count && lines.Next(line); ++i)
                project.Watches.append(text(line));
    }
    return ProjectFileResult::Success();
}

ProjectFileResult WriteProjectFile(const QString& path, const ProjectData& project) {
    const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return ProjectFileResult::Failure(cannotCreate);
    const bool written = WriteLines(project, [&file](QByteArrayView chunk) {
        return file.write(chunk.data(), chunk.size()) == chunk.size();
    });
    if (!written) {
        file.cancelWriting();
        return ProjectFileResult::Failure(cannotCreate);
    }
    if (!file.commit())
        return ProjectFileResult::Failure(cannotCreate);
    QString error;
    if (!WriteProjectExtras(path, project, error))
        return ProjectFileResult::Failure(error);
    return ProjectFileResult::Success();
}

ProjectFileResult ReadProjectFile(const QString& path, ProjectData& project,
                                  const ReadProgress& progress, const ProjectReadLimits& limits) {
    project.Clear();
    const QString cannotOpen = QStringLiteral("Cannot open file %1").arg(path);
    QFile file(path);
    // Only a regular file: opening a named pipe or a device would block or
    // read without end.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return ProjectFileResult::Failure(cannotOpen);
    // A file that does not start with the marker is refused before it is
    // read whole: a large file of something else costs no time or memory.
    const QByteArray start = file.read(QByteArrayView(ProjectMarker).size() + 1);
    if (!start.startsWith(QByteArrayView(ProjectMarker)) || !file.seek(0))
        return file.error() != QFileDevice::NoError ? ProjectFileResult::Failure(cannotOpen)
                                                    : ProjectFileResult::NotProject();
    // Its lists are held in memory: a file beyond what the program can hold
    // is refused before it is read.
    if (file.size() > limits.MaxBytes)
        return ProjectFileResult::Failure(FileTooLargeMessage(QStringLiteral("The project file"),
                                                              path, file.size(), limits.MaxBytes));
    // Read whole rather than mapped: a mapped file that another program
    // truncates meanwhile would bring the process down.
    QByteArray bytes;
    bool stopped = false;
    const bool read = ReadFileInChunks(file, bytes,
                                       progress ? ReadProgress([&](qint64 done, qint64 total) {
                                           return progress(done, 2 * total);
                                       })
                                                : ReadProgress(),
                                       stopped);
    if (stopped)
        return ProjectFileResult::Stopped();
    if (!read || file.error() != QFileDevice::NoError)
        return ProjectFileResult::Failure(cannotOpen);
    ProjectFileResult result = ParseProject(bytes, project, progress, limits.MaxSiteMapLines);
    if (result.IsOk())
        result.Warning = ReadProjectExtras(path, project);
    return result;
}

} // namespace vantora
