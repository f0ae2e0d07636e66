#pragma once
// Writes a rich-text document as RTF: fonts, sizes, bold, italic, underline,
// paragraph alignment and bullet lists, and every character the text holds.
// The output is 7-bit ASCII; characters beyond it are written as RTF Unicode
// escapes followed by their Windows-1252 byte (or "?") for readers that do
// not know the escapes.
#include <QByteArray>
#include <QString>

class QTextDocument;

namespace vantora {

// The whole document as one RTF text.
QByteArray DocumentToRtf(const QTextDocument& document);

// Writes the document to path as RTF. The file is replaced only when the
// whole text was written; on failure the old file stays and error (when
// given) receives the reason.
bool WriteRtfFile(const QString& path, const QTextDocument& document, QString* error = nullptr);

// The Windows-1252 byte of a character, or -1 when the code page has none.
int Windows1252Byte(char16_t character);

} // namespace vantora
