#include "DocumentSink.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

namespace vantora {

namespace {
// The user state of a first paragraph that holds a line.
constexpr int LineTaken = 1;
} // namespace

void DocumentSink::ClearReport() {
    Document.clear();
}

void DocumentSink::SetFormat(const ReportFormat& format) {
    Current = format;
}

void DocumentSink::AppendLine(const QString& text) {
    QTextCursor cursor(&Document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat chars;
    chars.setFontFamilies({Current.FontName});
    chars.setFontPointSize(Current.PointSize);
    chars.setFontWeight(Current.Bold ? QFont::Bold : QFont::Normal);
    chars.setFontItalic(Current.Italic);
    chars.setFontUnderline(Current.Underline);
    QTextBlockFormat block;
    switch (Current.Align) {
    case ParagraphAlign::Left:
    case ParagraphAlign::Bullet:
        block.setAlignment(Qt::AlignLeft);
        break;
    case ParagraphAlign::Centre:
        block.setAlignment(Qt::AlignHCenter);
        break;
    case ParagraphAlign::Right:
        block.setAlignment(Qt::AlignRight);
        break;
    }
    // An empty document still has one empty paragraph: the first line goes
    // there, and marks it taken so that a first line that is empty stays.
    const bool firstLine = Document.isEmpty() && Document.blockCount() == 1 &&
                           Document.firstBlock().userState() != LineTaken;
    if (firstLine) {
        cursor.setBlockFormat(block);
        cursor.setBlockCharFormat(chars);
        cursor.block().setUserState(LineTaken);
    } else {
        cursor.insertBlock(block, chars);
    }
    if (Current.Align == ParagraphAlign::Bullet) {
        QTextListFormat list;
        list.setStyle(QTextListFormat::ListDisc);
        cursor.createList(list);
    }
    // A line is one paragraph: line and paragraph breaks inside it would
    // start others.
    QString line = text;
    for (QChar& c : line)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::ParagraphSeparator ||
            c == QChar::LineSeparator)
            c = QLatin1Char(' ');
    cursor.insertText(line, chars);
}

} // namespace vantora
