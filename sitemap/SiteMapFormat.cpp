#include "SiteMapFormat.h"

#include "ProjectFile.h"

#include <QFile>
#include <QLocale>
#include <QStringDecoder>

#include <limits>

namespace vantora {

const QString SiteMapMarker = QStringLiteral("WEBCHARTER");
const QString RootTag = QStringLiteral("<ROOT>");
const QString UnspecifiedHost = QStringLiteral("Unspecified Host");
const QString EndLine = QStringLiteral("<END>");
const QString MsgUnspecifiedHost =
    QStringLiteral("An error occurred while retrieving the SiteMap from the Server.\r"
                   "The Webcharter had trouble analysing the specified Site, check the Root URL.");
const QString MsgInvalidData =
    QStringLiteral("An error occurred while retrieving the SiteMap from the Server, the data "
                   "received was invalid.\rPlease contact Korvane Ltd. about this problem.");

MapLine ParseMapLine(const QString& line) {
    MapLine result;
    const qsizetype open = line.indexOf(QLatin1Char('<'));
    const qsizetype close = line.indexOf(QLatin1Char('>'));
    if (close >= 0)
        result.Value = line.mid(close + 1);
    if (open < 0 || close <= open)
        return result;
    const QStringView tag = QStringView(line).mid(open + 1, close - open - 1);
    static const struct {
        const char* Name;
        LineTag Tag;
    } tags[] = {{"PAGE", LineTag::Page},     {"LINK", LineTag::Link},   {"MAILTO", LineTag::Mailto},
                {"BROKEN", LineTag::Broken}, {"ERROR", LineTag::Error}, {"PUSH", LineTag::Push},
                {"POP", LineTag::Pop},       {"END", LineTag::End}};
    for (const auto& t : tags) {
        if (tag == QLatin1String(t.Name)) {
            result.Tag = t.Tag;
            break;
        }
    }
    return result;
}

bool NodeFromLine(const QString& line, const MapLine& parsed, QString& caption, NodeKind& kind) {
    caption = parsed.Value;
    switch (parsed.Tag) {
    case LineTag::Page:
        kind = NodeKind::Page;
        return true;
    case LineTag::Link:
        kind = NodeKind::ExternalLink;
        return true;
    case LineTag::Mailto:
        kind = NodeKind::Mail;
        return true;
    case LineTag::Broken:
        kind = NodeKind::BrokenLink;
        return true;
    case LineTag::Error:
        break;
    default:
        return false;
    }
    // The status is cut from the line's first blank on; the URL is the value
    // up to its first blank.
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return false;
    const QString statusText = line.mid(blank);
    QStringView trimmed = QStringView(statusText);
    while (!trimmed.isEmpty() && trimmed.front() == QLatin1Char(' '))
        trimmed = trimmed.mid(1);
    while (!trimmed.isEmpty() && trimmed.back() == QLatin1Char(' '))
        trimmed.chop(1);
    bool ok = false;
    const int status = trimmed.toInt(&ok, 10);
    if (!ok || trimmed.isEmpty() || trimmed.front().isSpace() || trimmed.back().isSpace())
        return false;
    const qsizetype valueBlank = parsed.Value.indexOf(QLatin1Char(' '));
    const QString url = valueBlank < 0 ? parsed.Value : parsed.Value.left(valueBlank);
    if (status == 404) {
        kind = NodeKind::BrokenLink;
        caption = url;
    } else {
        kind = NodeKind::ServerError;
        caption = QStringLiteral("Server ERROR") + statusText + QStringLiteral(" - ") + url;
    }
    return true;
}

QString ProgressPercent(int lineIndex, int lineCount) {
    const double p = double(lineIndex) / double(lineCount - 1) * 100.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(p, 'g', 15).left(4);
}

QString ProgressStatusText(int lineIndex, int lineCount) {
    return QStringLiteral("Calculating Site Map Tree View (") +
           ProgressPercent(lineIndex, lineCount) + QStringLiteral("% complete)...");
}

namespace {

// Splits bytes into lines, each decoded on its own (a line break is one
// byte in either encoding, never part of a longer UTF-8 sequence). Stops
// with false when maxLines would be passed or progress asks to.
bool SplitLines(QByteArrayView bytes, bool utf8, qint64 maxLines, QStringList& lines,
                const std::function<bool(qint64 done)>& progress) {
    const char* const begin = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    const auto take = [&](qsizetype end) {
        if (qint64(lines.size()) >= maxLines)
            return false;
        const QByteArrayView line(begin + start, end - start);
        lines.append(utf8 ? QString::fromUtf8(line) : DecodeWindows1252(line));
        return !progress || lines.size() % 8192 != 0 || progress(end);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char c = begin[i];
        if (c == '\r' || c == '\n') {
            if (!take(i))
                return false;
            if (c == '\r' && i + 1 < n && begin[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    return start >= n || take(n);
}

} // namespace

QStringList SplitMapFile(const QByteArray& bytes) {
    QStringList lines;
    SplitLines(bytes, IsValidUtf8(bytes), std::numeric_limits<qint64>::max(), lines, {});
    return lines;
}

namespace {

// How many bytes of piece end in a whole line: up to its last line break, a
// CR at the very end held back (an LF in the next piece makes one break of
// the two). The last piece is whole.
qsizetype WholeLines(QByteArrayView piece, bool last) {
    if (last)
        return piece.size();
    qsizetype at = piece.size() - 1;
    if (at >= 0 && piece[at] == '\r')
        --at;
    while (at >= 0 && piece[at] != '\n' && piece[at] != '\r')
        --at;
    return at + 1;
}

} // namespace

MapReadResult ReadMapFile(const QString& path, const MapLimits& limits,
                          const std::function<bool(qint64 done, qint64 total)>& progress,
                          qint64 pieceBytes) {
    MapReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.Status = MapReadStatus::CannotOpen;
        result.Error = QStringLiteral("Cannot open file %1").arg(path);
        return result;
    }
    // What the file holds when it is opened is read; a file that shrinks
    // meanwhile gives what is left of it.
    const qint64 size = file.size();
    if (size > limits.MaxBytes) {
        result.Status = MapReadStatus::TooLarge;
        result.Error =
            FileTooLargeMessage(QStringLiteral("The site map file"), path, size, limits.MaxBytes);
        return result;
    }
    pieceBytes = qMax<qint64>(pieceBytes, 1);
    const auto fail = [&](MapReadStatus status, const QString& error) {
        result.Lines = QStringList();
        result.Status = status;
        result.Error = error;
        return result;
    };
    // Read a piece at a time and split as it goes, so that the file's bytes
    // and its lines are not held at once. The lines are UTF-8 while every
    // piece is; a piece that is not means the file is read again as
    // Windows-1252, as a file that is not UTF-8 throughout is.
    for (const bool utf8 : {true, false}) {
        result.Lines = QStringList();
        if (!file.seek(0))
            return fail(MapReadStatus::CannotOpen, QStringLiteral("Cannot read file %1").arg(path));
        QByteArray carry;
        qint64 done = 0;
        bool other = false;
        for (bool last = size == 0; !last;) {
            if (progress && !progress(done, size))
                return fail(MapReadStatus::Stopped, {});
            const qint64 want = qMin(pieceBytes, size - done);
            // The piece goes on from what the one before left over; a line
            // longer than a piece grows it (in steps that double).
            QByteArray piece = std::move(carry);
            carry = QByteArray();
            const qsizetype kept = piece.size();
            piece.resize(kept + want);
            const qint64 got = want > 0 ? file.read(piece.data() + kept, want) : 0;
            if (got < 0)
                return fail(MapReadStatus::CannotOpen,
                            QStringLiteral("Cannot read file %1").arg(path));
            piece.truncate(kept + got);
            const qint64 before = done - kept; // where piece starts in the file
            done += got;
            last = got == 0 || done >= size;
            const qsizetype whole = WholeLines(piece, last);
            const QByteArrayView lines(piece.constData(), whole);
            if (utf8 && !IsValidUtf8(lines)) {
                other = true;
                break;
            }
            bool halted = false;
            if (!SplitLines(lines, utf8, limits.MaxLines, result.Lines, [&](qint64 at) {
                    halted = progress && !progress(before + at, size);
                    return !halted;
                })) {
                if (halted)
                    return fail(MapReadStatus::Stopped, {});
                return fail(MapReadStatus::TooLarge,
                            QStringLiteral("The site map file '%1' has more than %2 lines; the "
                                           "program holds site maps of up to %2 lines.")
                                .arg(path, QLocale(QLocale::English).toString(limits.MaxLines)));
            }
            if (whole == 0)
                carry = std::move(piece);
            else
                carry = piece.mid(whole);
        }
        if (!other)
            break;
    }
    return result;
}

} // namespace vantora
