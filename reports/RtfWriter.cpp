#include "RtfWriter.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QUrl>

#include <cmath>

namespace vantora {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five the code page leaves
// undefined.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The character format of a run with everything the document leaves to its
// default font filled in.
struct RunFormat {
    QString Family;
    int HalfPoints = 20;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
};

double DefaultPointSize(const QFont& font) {
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    if (font.pixelSize() > 0)
        return font.pixelSize() * 72.0 / 96.0;
    return 10.0;
}

RunFormat Resolve(const QTextCharFormat& format, const QFont& defaultFont) {
    RunFormat run;
    const QStringList families = format.fontFamilies().toStringList();
    run.Family =
        families.isEmpty() || families.first().isEmpty() ? defaultFont.family() : families.first();
    double points = DefaultPointSize(defaultFont);
    if (format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0)
        points = format.fontPointSize();
    else if (format.hasProperty(QTextFormat::FontPixelSize))
        points = format.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0;
    run.HalfPoints = qMax(2, int(std::lround(points * 2)));
    const int weight = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight()
                                                                   : int(defaultFont.weight());
    run.Bold = weight >= QFont::DemiBold;
    run.Italic =
        format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : defaultFont.italic();
    run.Underline = format.hasProperty(QTextFormat::FontUnderline) ||
                            format.hasProperty(QTextFormat::TextUnderlineStyle)
                        ? format.fontUnderline()
                        : defaultFont.underline();
    return run;
}

// Text inside an RTF destination such as a font name: no group or escape
// characters, non-ASCII escaped.
void AppendEscaped(QByteArray& out, QStringView text) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += char(c);
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == QChar::LineSeparator || c == u'\n' || c == u'\r' ||
                   c == QChar::ParagraphSeparator) {
            out += "\\line ";
        } else if (c == QChar::ObjectReplacementCharacter) {
            // An embedded object (an image) has no text to write.
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            // Other control characters have no meaning in a report.
        } else {
            // \uN takes a signed 16-bit number; the one byte after it is what
            // readers without Unicode support show instead.
            out += "\\u";
            out += QByteArray::number(c > 0x7FFF ? int(c) - 0x10000 : int(c));
            const int byte = Windows1252Byte(c);
            if (byte >= 0)
                out += "\\'" + QByteArray::number(byte, 16).rightJustified(2, '0');
            else
                out += '?';
        }
    }
}

QByteArray AlignmentWord(Qt::Alignment align) {
    if (align & Qt::AlignHCenter)
        return "\\qc";
    if (align & Qt::AlignJustify)
        return "\\qj";
    if (align & Qt::AlignRight)
        return "\\qr";
    return "\\ql";
}

QByteArray CharacterWords(const RunFormat& run, int fontIndex) {
    QByteArray out =
        "\\plain\\f" + QByteArray::number(fontIndex) + "\\fs" + QByteArray::number(run.HalfPoints);
    if (run.Bold)
        out += "\\b";
    if (run.Italic)
        out += "\\i";
    if (run.Underline)
        out += "\\ul";
    return out;
}

bool IsBulletList(const QTextList* list) {
    if (!list)
        return false;
    const QTextListFormat::Style style = list->format().style();
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

} // namespace

int Windows1252Byte(char16_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return character;
    for (int i = 0; i < 32; ++i)
        if (Cp1252High[i] != 0 && Cp1252High[i] == character)
            return 0x80 + i;
    return -1;
}

QByteArray DocumentToRtf(const QTextDocument& document) {
    const QFont defaultFont = document.defaultFont();

    // The font table: every family the text uses, in order of first use.
    QStringList fonts{defaultFont.family()};
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString blockFamily = Resolve(block.charFormat(), defaultFont).Family;
        if (!fonts.contains(blockFamily))
            fonts << blockFamily;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString family = Resolve(it.fragment().charFormat(), defaultFont).Family;
            if (!fonts.contains(family))
                fonts << family;
        }
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        AppendEscaped(out, fonts[i]);
        out += ";}";
    }
    out += "}\n";
    // One bullet list definition that every bulleted paragraph refers to.
    out += "{\\*\\listtable{\\list\\listtemplateid1\\listsimple{\\listlevel\\levelnfc23"
           "\\levelnfcn23\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1\\levelspace0"
           "\\levelindent0{\\leveltext\\leveltemplateid1\\'01\\'95;}{\\levelnumbers;}"
           "\\fi-360\\li720\\lin720}\\listid1}}\n";
    out += "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}\n";
    out += "\\viewkind4\n";

    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat blockFormat = block.blockFormat();
        out += "\\pard" + AlignmentWord(blockFormat.alignment());
        const bool bullet = IsBulletList(block.textList());
        if (bullet) {
            const RunFormat mark = Resolve(block.charFormat(), defaultFont);
            out += "\\ls1\\ilvl0\\fi-360\\li720{\\listtext" +
                   CharacterWords(mark, int(fonts.indexOf(mark.Family))) + " \\'95\\tab}";
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat()) {
                // A picture the document holds as a resource goes in as PNG.
                const QTextImageFormat format = fragment.charFormat().toImageFormat();
                const QVariant resource =
                    document.resource(QTextDocument::ImageResource, QUrl(format.name()));
                const QImage image = resource.value<QImage>();
                if (!image.isNull()) {
                    QByteArray png;
                    QBuffer buffer(&png);
                    buffer.open(QIODevice::WriteOnly);
                    image.save(&buffer, "PNG");
                    // Goal sizes in twips, at 96 pixels to the inch.
                    out += "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
                           QByteArray::number(image.height()) + "\\picwgoal" +
                           QByteArray::number(image.width() * 15) + "\\pichgoal" +
                           QByteArray::number(image.height() * 15) + "\n";
                    const QByteArray hex = png.toHex();
                    for (qsizetype at = 0; at < hex.size(); at += 128)
                        out += hex.mid(at, 128) + '\n';
                    out += '}';
                }
                continue;
            }
            const RunFormat run = Resolve(fragment.charFormat(), defaultFont);
            out += '{' + CharacterWords(run, int(fonts.indexOf(run.Family))) + ' ';
            AppendEscaped(out, fragment.text());
            out += '}';
        }
        // The paragraph mark carries the block's own format, so that an empty
        // line keeps its height.
        const RunFormat mark = Resolve(block.charFormat(), defaultFont);
        out += CharacterWords(mark, int(fonts.indexOf(mark.Family)));
        out += "\\par\n";
    }
    out += "}\n";
    return out;
}

bool WriteRtfFile(const QString& path, const QTextDocument& document, QString* error) {
    const QByteArray rtf = DocumentToRtf(document);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(rtf) != rtf.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace vantora
