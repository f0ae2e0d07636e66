#pragma once
// A report laid down the way report writers do: a title in Arial 14
// underlined, bold headings, italic summaries, bullet lines, a centred and a
// right-aligned paragraph, and text beyond ASCII.
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

namespace vantora::test {

struct SampleLine {
    QString Text;
    int Points = 10;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    Qt::Alignment Align = Qt::AlignLeft;
    bool Bullet = false;
};

inline QList<SampleLine> SampleLines() {
    return {
        {QStringLiteral("Wordweigh Report"), 14, false, false, true},
        {QStringLiteral("Key words: caf\u00e9 prices"), 10, true},
        {QStringLiteral("The page uses the key words well."), 10, false, true},
        {QStringLiteral("First advice point"), 10, false, false, false, Qt::AlignLeft, true},
        {QStringLiteral("Second advice point"), 10, false, false, false, Qt::AlignLeft, true},
        {QStringLiteral("A centred paragraph"), 10, false, false, false, Qt::AlignHCenter},
        {QStringLiteral("A right-aligned paragraph"), 10, false, false, false, Qt::AlignRight},
        {QStringLiteral("Caf\u00e9 costs 5 \u20ac \u2014 \u65e5\u672c"), 10},
        {QStringLiteral("Braces {x} and a back\\slash"), 10},
        {QStringLiteral("End of Report"), 10, false, true},
    };
}

inline void AppendSampleLine(QTextDocument& document, const SampleLine& line) {
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat chars;
    chars.setFontFamilies({QStringLiteral("Arial")});
    chars.setFontPointSize(line.Points);
    chars.setFontWeight(line.Bold ? QFont::Bold : QFont::Normal);
    chars.setFontItalic(line.Italic);
    chars.setFontUnderline(line.Underline);
    QTextBlockFormat block;
    block.setAlignment(line.Align);
    if (document.isEmpty()) {
        cursor.setBlockFormat(block);
        cursor.setBlockCharFormat(chars);
    } else {
        cursor.insertBlock(block, chars);
    }
    if (line.Bullet) {
        QTextListFormat list;
        list.setStyle(QTextListFormat::ListDisc);
        cursor.createList(list);
    }
    cursor.insertText(line.Text, chars);
}

inline void WriteSample(QTextDocument& document) {
    for (const SampleLine& line : SampleLines())
        AppendSampleLine(document, line);
}

// The first block whose text is text, or an invalid block.
inline QTextBlock FindBlock(const QTextDocument& document, const QString& text) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.text().trimmed() == text)
            return block;
    return {};
}

} // namespace vantora::test
