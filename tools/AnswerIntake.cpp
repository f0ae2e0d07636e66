#include "AnswerIntake.h"

namespace vantora {

using namespace Qt::Literals::StringLiterals;

QString InvalidDataMessage() {
    return u"An error occurred while retrieving data from the Server, the data received was "
           u"invalid.\rPlease contact Korvane Ltd. about this problem."_s;
}

QStringList NotOpenedLines(ToolKind kind, const QString& reason) {
    // Wordweigh and Stuffwatch are named with an article, the others without.
    const QString name = (kind == ToolKind::Wordweigh || kind == ToolKind::Stuffwatch)
                             ? "the "_L1 + Tool(kind).Caption
                             : QString(Tool(kind).Caption);
    QStringList lines = {"One of the selected URLs could not be opened by "_L1 + name +
                             ", either the SiteMap is out of date and needs updating, or the Web "
                             "Page URL could not be accessed."_L1,
                         u"(No report has been generated for this URL.)"_s, QString()};
    if (!reason.isEmpty())
        lines.insert(1, "The server's answer: "_L1 + reason);
    return lines;
}

QString WordweighPercentage(const QString& body) {
    if (body.contains("PERCENTAGE: 100"_L1))
        return u"100"_s;
    const qsizetype at = body.indexOf("PERCENTAGE: "_L1);
    if (at < 0)
        return QString();
    QString digits;
    for (qsizetype i = at + 12; i < body.size() && digits.size() < 3 && body.at(i).isDigit(); ++i)
        digits += body.at(i);
    return digits;
}

namespace {

QString TextBefore(const QString& text, QLatin1StringView separator) {
    const qsizetype at = text.indexOf(separator);
    return at < 0 ? text : text.left(at);
}

// The body's page URL: before the first "<br>", or for Rankscout between the
// first "<ROOT>" and the first "<br>".
QString PageOf(ToolKind kind, const QString& body) {
    if (kind != ToolKind::Rankscout)
        return TextBefore(body, "<br>"_L1);
    const qsizetype root = body.indexOf("<ROOT>"_L1);
    const qsizetype br = body.indexOf("<br>"_L1);
    const qsizetype from = root < 0 ? 0 : root + 6;
    const qsizetype to = br < 0 ? body.size() : br;
    return to > from ? body.mid(from, to - from) : QString();
}

bool NotOpened(ToolKind kind, const QString& answer, const QString& body) {
    switch (kind) {
    case ToolKind::Wordweigh:
        return body.startsWith("ERROR-OPENING-URL"_L1);
    case ToolKind::Stuffwatch:
        return answer.contains("ERROR"_L1);
    case ToolKind::Rankscout:
        return answer.contains("Unspecified Host or Keywords"_L1);
    case ToolKind::Enginepost:
    case ToolKind::Backwatch:
        return body.startsWith("ERROR-INVALID-URL"_L1);
    }
    return false;
}

// The server's reason for a page it could not open: the item after the
// not-opened word (Rankscout: after its not-opened phrase), up to "<br>".
QString NotOpenedReason(ToolKind kind, const QString& answer) {
    QLatin1StringView word = kind == ToolKind::Rankscout ? "Unspecified Host or Keywords: "_L1
                             : kind == ToolKind::Wordweigh || kind == ToolKind::Stuffwatch
                                 ? "ERROR-OPENING-URL"_L1
                                 : "ERROR-INVALID-URL"_L1;
    qsizetype at = answer.indexOf(word);
    if (at < 0)
        return QString();
    at += word.size();
    if (answer.mid(at, 4) == "<br>"_L1)
        at += 4;
    else if (answer.mid(at, 1) == " "_L1)
        at += 1;
    const qsizetype end = answer.indexOf("<br>"_L1, at);
    return answer.mid(at, end < 0 ? -1 : end - at).trimmed().left(500);
}

} // namespace

Intake ReadAnswer(ToolKind kind, const QString& answer) {
    const ToolInfo& tool = Tool(kind);
    Intake in;
    // Stuffwatch tests for a page it could not open before its marker.
    if (kind == ToolKind::Stuffwatch && NotOpened(kind, answer, QString())) {
        in.Outcome = IntakeOutcome::NotOpened;
        in.Reason = NotOpenedReason(kind, answer);
        return in;
    }
    if (!answer.startsWith(tool.Marker)) {
        in.Outcome = IntakeOutcome::Invalid;
        return in;
    }
    in.Body = answer.mid(tool.Marker.size() + tool.Skipped);
    if (NotOpened(kind, answer, in.Body)) {
        in.Outcome = IntakeOutcome::NotOpened;
        in.Reason = NotOpenedReason(kind, answer);
        in.Body.clear();
        return in;
    }
    in.Page = PageOf(kind, in.Body);
    if (kind == ToolKind::Wordweigh)
        in.Percentage = WordweighPercentage(in.Body);
    in.Outcome = IntakeOutcome::Stored;
    return in;
}

} // namespace vantora
