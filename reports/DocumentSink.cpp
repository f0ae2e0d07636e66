#include "DocumentSink.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

namespace vantora {

namespace {

// The user state of a first paragraph that holds a line.
constexpr int LineTaken = 1;

bool BreaksLine(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// A bulleted line joins the list of the bulleted line before it: one list
// for a run of them looks and saves the same as a list each, and costs the
// document one list object instead of one a line.
bool IsPlainBulletList(const QTextList* list) {
    return list && list->format().style() == QTextListFormat::ListDisc &&
           list->format().indent() == 1;
}

// A line is one paragraph: line and paragraph breaks inside it would start
// others.
QString OneParagraph(const QString& text) {
    if (!std::any_of(text.begin(), text.end(), BreaksLine))
        return text;
    QString line = text;
    for (QChar& c : line)
        if (BreaksLine(c))
            c = QLatin1Char(' ');
    return line;
}

} // namespace

DocumentSink::DocumentSink(QTextDocument& document) : Document(document), End(&document) {
    SetFormat(Current);
}

void DocumentSink::ClearReport() {
    Document.clear();
}

void DocumentSink::SetFormat(const ReportFormat& format) {
    Current = format;
    Chars = QTextCharFormat();
    Chars.setFontFamilies({Current.FontName});
    Chars.setFontPointSize(Current.PointSize);
    Chars.setFontWeight(Current.Bold ? QFont::Bold : QFont::Normal);
    Chars.setFontItalic(Current.Italic);
    Chars.setFontUnderline(Current.Underline);
    Block = QTextBlockFormat();
    switch (Current.Align) {
    case ParagraphAlign::Left:
    case ParagraphAlign::Bullet:
        Block.setAlignment(Qt::AlignLeft);
        break;
    case ParagraphAlign::Centre:
        Block.setAlignment(Qt::AlignHCenter);
        break;
    case ParagraphAlign::Right:
        Block.setAlignment(Qt::AlignRight);
        break;
    }
}

void DocumentSink::AppendLine(const QString& text) {
    // Inside an edit block a cursor does not work out where it stands on
    // its line: that would make a layout object for every paragraph written,
    // a quarter of a kilobyte each that stays with the paragraph.
    End.beginEditBlock();
    End.setPosition(Document.characterCount() - 1);
    // An empty document still has one empty paragraph: the first line goes
    // there, and marks it taken so that a first line that is empty stays.
    const bool firstLine = Document.isEmpty() && Document.blockCount() == 1 &&
                           Document.firstBlock().userState() != LineTaken;
    if (firstLine) {
        End.setBlockFormat(Block);
        End.setBlockCharFormat(Chars);
        End.block().setUserState(LineTaken);
    } else {
        End.insertBlock(Block, Chars);
    }
    if (Current.Align == ParagraphAlign::Bullet) {
        QTextList* before = End.block().previous().textList();
        if (IsPlainBulletList(before)) {
            before->add(End.block());
        } else {
            QTextListFormat list;
            list.setStyle(QTextListFormat::ListDisc);
            End.createList(list);
        }
    }
    End.insertText(OneParagraph(text), Chars);
    End.endEditBlock();
}

void DocumentSink::AppendLines(const QString* first, const QString* last) {
    if (first == last)
        return;
    AppendLine(*first);
    qsizetype size = 0;
    for (const QString* line = first + 1; line != last; ++line)
        size += line->size() + 1;
    if (size == 0)
        return;
    // Paragraph separators in the text start paragraphs in the format of the
    // one before: the line's, a bulleted line's list included.
    QString joined;
    joined.reserve(size);
    for (const QString* line = first + 1; line != last; ++line) {
        joined += QChar::ParagraphSeparator;
        joined += OneParagraph(*line);
    }
    End.beginEditBlock();
    End.setPosition(Document.characterCount() - 1);
    End.insertText(joined, Chars);
    End.endEditBlock();
}

} // namespace vantora
