#pragma once
// The project file: CR-separated lines, a marker line, six header lines and
// 21 list blocks (a count line followed by that many item lines). Written as
// UTF-8; read as UTF-8 when the bytes are valid UTF-8, otherwise as
// Windows-1252 so that files from older installations open.
#include "ProjectData.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QFile;

namespace vantora {

enum class ProjectFileStatus {
    Ok,
    NotProjectFile, // wrong marker, or a file that ends before its layout is complete
    Failed,         // open/create/write failure, a bad number, a file too large; see Error
    Cancelled       // the progress callback asked to stop; nothing was read
};

struct ProjectFileResult {
    ProjectFileStatus Status = ProjectFileStatus::Ok;
    QString Error; // for Failed: the text for the general error box
    // For Ok: what of the file beside the project could not be read, in words.
    QString Warning;

    bool IsOk() const { return Status == ProjectFileStatus::Ok; }
    static ProjectFileResult Success() { return {}; }
    static ProjectFileResult NotProject() { return {ProjectFileStatus::NotProjectFile, {}, {}}; }
    static ProjectFileResult Stopped() { return {ProjectFileStatus::Cancelled, {}, {}}; }
    static ProjectFileResult Failure(const QString& text) {
        return {ProjectFileStatus::Failed, text, {}};
    }
};

// Told how far a long read has got (done of total, in one unit), on the
// thread that reads; returns false to stop the read.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// The largest site map the program holds, in lines: its lines are kept twice
// (the lines and the tree's captions), at some 300 bytes a line.
inline constexpr qint64 MaxSiteMapLines = 5000000;

// What a project file may hold to be opened. Its lists are held in memory,
// at about three times the file's size while it is read.
struct ProjectReadLimits {
    qint64 MaxBytes = qint64(1) << 30;
    qint64 MaxSiteMapLines = vantora::MaxSiteMapLines;
};

// Reads all of an open file into bytes in chunks of a few megabytes,
// telling progress (bytes read of the file's size) after each. False on a
// read error or when progress asked to stop (then stopped is set).
bool ReadFileInChunks(QFile& file, QByteArray& bytes, const ReadProgress& progress, bool& stopped);

// "<what> '<path>' is N MB; the program opens files of this kind of up to M MB."
QString FileTooLargeMessage(const QString& what, const QString& path, qint64 size, qint64 limit);

// The first line of every project file.
inline constexpr char ProjectMarker[] = "ZEPHProject";

// The error box text for ProjectFileStatus::NotProjectFile.
QString NotProjectFileMessage();

// Writes the project to path through a temporary file that replaces the old
// file only once it is complete, so a failed write leaves the previous file
// as it was; then the file beside it (ProjectExtras.h). Failure texts:
// "Cannot create file <path>".
ProjectFileResult WriteProjectFile(const QString& path, const ProjectData& project);

// Reads the file into project (which is cleared first); only a regular file
// is opened. On any result but Ok
// the project is left empty. NotProjectFile: a wrong marker, a file that ends
// before its 28-line minimum layout or inside a block, or archive columns of
// unequal length (they could not be paired by index). The last line may lack
// its CR; anything after the last block is ignored. Failure texts:
// "Cannot open file <path>" and "'<line>' is not a valid integer value".
// Then the file beside it is read (ProjectExtras.h); what of it could not
// be read is in Warning. A file beyond the limits is refused, unread when
// it has too many bytes ("The project file '<path>' is N MB; ..."), as soon
// as the count of its site map's lines is read when that is beyond them.
// progress, when given, is told
// the bytes read and then the bytes parsed, each of twice the file's size
// (reading is the first half); it may stop the read (Cancelled). The work
// touches nothing but its arguments, so it may run on a thread of its own.
ProjectFileResult ReadProjectFile(const QString& path, ProjectData& project,
                                  const ReadProgress& progress = {},
                                  const ProjectReadLimits& limits = {});

// The exact bytes WriteProjectFile puts on disk.
QByteArray SerializeProject(const ProjectData& project);
// The parsing half of ReadProjectFile, on bytes already in memory; progress
// as there, from the file's size on.
ProjectFileResult ParseProject(QByteArrayView bytes, ProjectData& project,
                               const ReadProgress& progress = {},
                               qint64 maxSiteMapLines = MaxSiteMapLines);

// A value as the writer stores it: every carriage return (with a line feed
// directly after it) becomes "<br>", the line break the program's texts use,
// and zero characters are dropped. Any other text is returned unchanged.
QString ProjectLineText(const QString& value);

// Converts a number field of the file or the port field of the settings
// dialog. Accepted: optional leading blanks, an optional "+" or "-", then one
// or more decimal digits, and nothing after them; the value must fit a signed
// 32-bit integer. Everything else ("", "0x10", "$10", "5 ", "\n5", "1e3",
// "2147483648") is rejected.
bool ParseDecimalInt(const QString& text, qint32& value);
// "'<text>' is not a valid integer value", quoting at most the first 60
// characters of text (then "...") with every unprintable character as "?".
QString NotIntegerMessage(const QString& text);
// The short, printable form of text that NotIntegerMessage quotes.
QString QuotedExcerpt(const QString& text);

// Windows-1252 bytes to text (the five unassigned bytes map to the control
// characters of the same value, as the old platform's conversion does).
QString DecodeWindows1252(QByteArrayView bytes);
// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(QByteArrayView bytes);
// The program's one rule for text files of unknown encoding: UTF-8 when the
// bytes are valid (strict) UTF-8, else Windows-1252.
QString DecodeUtf8OrWindows1252(QByteArrayView bytes);

} // namespace vantora
