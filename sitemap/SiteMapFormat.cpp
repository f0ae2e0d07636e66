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
bool SplitLines(QByteArrayView bytes, qint64 maxLines, QStringList& lines,
                const std::function<bool(qint64 done)>& progress) {
    const bool utf8 = IsValidUtf8(bytes);
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
    SplitLines(bytes, std::numeric_limits<qint64>::max(), lines, {});
    return lines;
}

MapReadResult ReadMapFile(const QString& path, const MapLimits& limits,
                          const std::function<bool(qint64 done, qint64 total)>& progress) {
    MapReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.Status = MapReadStatus::CannotOpen;
        result.Error = QStringLiteral("Cannot open file %1").arg(path);
        return result;
    }
    const qint64 size = file.size();
    if (size > limits.MaxBytes) {
        result.Status = MapReadStatus::TooLarge;
        result.Error =
            FileTooLargeMessage(QStringLiteral("The site map file"), path, size, limits.MaxBytes);
        return result;
    }
    QByteArray bytes;
    bool stopped = false;
    const bool read = ReadFileInChunks(
        file, bytes,
        [&](qint64 done, qint64 total) { return !progress || progress(done, 2 * total); }, stopped);
    if (stopped || !read) {
        result.Status = stopped ? MapReadStatus::Stopped : MapReadStatus::CannotOpen;
        if (!stopped)
            result.Error = QStringLiteral("Cannot read file %1").arg(path);
        return result;
    }
    bool halted = false;
    const bool whole = SplitLines(bytes, limits.MaxLines, result.Lines, [&](qint64 done) {
        halted = progress && !progress(bytes.size() + done, 2 * bytes.size());
        return !halted;
    });
    if (!whole) {
        result.Lines.clear();
        result.Status = halted ? MapReadStatus::Stopped : MapReadStatus::TooLarge;
        if (!halted)
            result.Error = QStringLiteral("The site map file '%1' has more than %2 lines; the "
                                          "program holds site maps of up to %2 lines.")
                               .arg(path, QLocale(QLocale::English).toString(limits.MaxLines));
    }
    return result;
}

} // namespace vantora
