#pragma once
// The site map's line format: the marker line, the "<ROOT>" line and the
// entry lines with their tags, plus the texts the tree builder shows.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "ProjectFile.h"

#include <functional>

namespace vantora {

// The kind of a tree node; its value is the node's image index.
enum class NodeKind : qint8 {
    Page = 0,
    ExternalLink = 1,
    Mail = 2,
    BrokenLink = 3,
    ServerError = 4
};
constexpr int NodeKindCount = 5;

enum class LineTag { Page, Link, Mailto, Broken, Error, Push, Pop, End, Invalid };

struct MapLine {
    LineTag Tag = LineTag::Invalid;
    QString Value; // everything after the first ">"
};

extern const QString SiteMapMarker;      // "WEBCHARTER"
extern const QString RootTag;            // "<ROOT>"
extern const QString UnspecifiedHost;    // the applet's whole-map failure text
extern const QString EndLine;            // "<END>"
extern const QString MsgUnspecifiedHost; // M1
extern const QString MsgInvalidData;     // M2

// The tag is the text between the first "<" and the first ">"; anything but
// the eight known upper-case tags (including an empty tag) is Invalid.
MapLine ParseMapLine(const QString& line);

// A node line's caption and kind. For "ERROR" lines the status decides: 404
// is a broken link showing the URL alone, other statuses a server error with
// the caption "Server ERROR <status> - <url>". False when the status part is
// missing or not a decimal integer.
bool NodeFromLine(const QString& line, const MapLine& parsed, QString& caption, NodeKind& kind);

// The percentage shown while building: lineIndex / (lineCount - 1) * 100 in
// the shortest general form with up to 15 significant digits, cut to four
// characters.
QString ProgressPercent(int lineIndex, int lineCount);
// "Calculating Site Map Tree View (" + ProgressPercent + "% complete)...".
QString ProgressStatusText(int lineIndex, int lineCount);

// Splits a map file's bytes into lines (CR LF, LF or CR). A final line break
// does not make an empty last line. UTF-8 when valid, otherwise
// Windows-1252 (DecodeUtf8OrWindows1252).
QStringList SplitMapFile(const QByteArray& bytes);

// The largest site map the program takes from a file (MaxSiteMapLines):
// these keep a map of a few million pages within a couple of gigabytes.
struct MapLimits {
    qint64 MaxBytes = qint64(256) << 20;
    qint64 MaxLines = MaxSiteMapLines;
};

enum class MapReadStatus { Ok, CannotOpen, TooLarge, Stopped };

struct MapReadResult {
    MapReadStatus Status = MapReadStatus::Ok;
    QStringList Lines;
    QString Error; // for CannotOpen and TooLarge: what went wrong, in words
};

// Reads and splits a map file as SplitMapFile does, a piece of pieceBytes at
// a time so that the file's bytes are never held whole beside its lines,
// telling progress (bytes done of the file's size); it may stop the read. A
// file beyond the limits is refused with a message naming the limit, read no
// further than the limit. Touches nothing but its arguments, so it may run on
// a thread of its own.
MapReadResult ReadMapFile(const QString& path, const MapLimits& limits,
                          const std::function<bool(qint64 done, qint64 total)>& progress = {},
                          qint64 pieceBytes = qint64(8) << 20);

} // namespace vantora
