#include "SiteMapFormat.h"

#include "ProjectFile.h"

#include <QLocale>
#include <QStringDecoder>

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

QStringList SplitMapFile(const QByteArray& bytes) {
    const QString text = DecodeUtf8OrWindows1252(bytes);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

} // namespace vantora
