#include "ReportView.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

namespace vantora {

ReportView::ReportView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(true);
}

void ReportView::ClearReport() {
    clear();
}

void ReportView::SetFormat(const ReportFormat& format) {
    Current = format;
}

void ReportView::AppendLine(const QString& text) {
    QTextCursor cursor(document());
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
    const bool firstLine = document()->isEmpty();
    if (firstLine) {
        cursor.setBlockFormat(block);
        cursor.setBlockCharFormat(chars);
    } else {
        cursor.insertBlock(block, chars);
    }
    if (Current.Align == ParagraphAlign::Bullet) {
        QTextListFormat list;
        list.setStyle(QTextListFormat::ListDisc);
        cursor.createList(list);
    }
    cursor.insertText(text, chars);
}

} // namespace vantora
