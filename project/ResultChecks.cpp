#include "ResultChecks.h"

#include <QStringList>

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList ItemsOf(const QString& body) {
    QStringList items = body.split("<br>"_L1);
    if (!items.isEmpty() && items.last().isEmpty())
        items.removeLast();
    return items;
}

// The text of a note item after its opening words, without the full stop.
QString ReasonOf(QString text, qsizetype skip) {
    text = text.mid(skip).trimmed();
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QString WordweighUnchecked(const QStringList& items) {
    // A page too complex to read is answered with a score of 0 and one
    // problem whose code is LIMIT: no score was really given.
    for (qsizetype i = 3; i + 3 < items.size(); i += 4)
        if (items[i + 3] == "LIMIT"_L1)
            return ReasonOf(items[i + 1], 0);
    return QString();
}

QString StuffwatchUnchecked(const QStringList& items) {
    const QString verdict = items.value(1);
    if (verdict.startsWith("VERDICT: not checked"_L1))
        return ReasonOf(verdict, 21);
    // A cut page with nothing found in the part read is not called clean,
    // nor is it a finding: only the CUT group follows the verdict.
    if (verdict.startsWith("VERDICT: incomplete"_L1) && items.size() <= 6 &&
        items.value(5) == "CUT"_L1)
        return ReasonOf(items.value(2), 0) + u", and nothing was found in them"_s;
    return QString();
}

QString BackwatchUnchecked(const QStringList& items) {
    // Only an answer without link-backs can be unchecked: a link-back found
    // is a finding whatever else failed.
    if (items.value(2) != "END"_L1)
        return QString();
    static const auto said = "Not checked, so pages that link back may have been missed:"_L1;
    for (const QString& item : items)
        if (item.startsWith(said))
            return ReasonOf(item, said.size());
    // Answers of servers that only noted the missing search service.
    static const auto none = "no search service is configured for link-backs"_L1;
    const QString last = items.isEmpty() ? QString() : items.last();
    if (last.startsWith("Note: "_L1) && last.contains(none))
        return none + u" on this server"_s;
    return QString();
}

} // namespace

bool RankEngineUnchecked(const QString& body, qsizetype engineAt) {
    const qsizetype match = body.indexOf("<MATCH>"_L1, engineAt);
    if (match < 0)
        return false;
    const qsizetype note = body.indexOf("<NOTE>Not checked"_L1, engineAt);
    return note >= 0 && note < match;
}

QString UncheckedReason(ToolKind kind, const QString& body) {
    const QStringList items = ItemsOf(body);
    switch (kind) {
    case ToolKind::Wordweigh:
        return WordweighUnchecked(items);
    case ToolKind::Stuffwatch:
        return StuffwatchUnchecked(items);
    case ToolKind::Rankscout: {
        QString reason;
        int engines = 0;
        for (qsizetype at = body.indexOf("<ENGINE>"_L1); at >= 0;
             at = body.indexOf("<ENGINE>"_L1, at + 8)) {
            ++engines;
            if (!RankEngineUnchecked(body, at))
                return QString();
            if (reason.isEmpty()) {
                const qsizetype note = body.indexOf("<NOTE>Not checked:"_L1, at);
                const qsizetype end = body.indexOf("<br>"_L1, note);
                reason = ReasonOf(body.mid(note, end - note), 18);
            }
        }
        return engines > 0 ? reason : QString();
    }
    case ToolKind::Enginepost:
        // A submission that did not happen is never read as one.
        return QString();
    case ToolKind::Backwatch:
        return BackwatchUnchecked(items);
    }
    return QString();
}

} // namespace vantora
