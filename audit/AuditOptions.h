#pragma once
// The choices of the audit options dialog that the audit report reads: which
// sections to write and the thresholds, engine and dates that filter them.
#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace vantora {

struct AuditOptions {
    // Site map sections.
    bool Broken = false;
    bool Mailto = false;
    bool ShowXtal = false;
    bool ListPages = false;
    // Stored-result sections.
    bool Spam = false;
    bool LessEffective = false;
    bool Remote = false;
    bool Ranking = false;
    bool PrevSub = false;
    bool Submited = false;
    bool Limit = false;

    QString Effective = QStringLiteral("80"); // percent, as typed
    QString Rank = QStringLiteral("5");       // search engine position, as typed
    QString SearchEngine = QStringLiteral("Infoseek");
    QString SubmitType = QStringLiteral("before"); // "before", "on" or "after"
    QDate SubmitDate;
    QDate ScopeDate;
};

// The items of the engine list, "(All Search Engines)" last.
const QStringList& AuditSearchEngineItems();
extern const QString AllSearchEngines; // "(All Search Engines)"
// "before", "on", "after".
const QStringList& AuditSubmitTypes();

// The text after "Audit contents: ": every checked box's phrase in dialog
// order, the last ", " replaced by "."; "." alone when nothing is checked.
QString AuditContentsText(const AuditOptions& options, const QLocale& locale);

} // namespace vantora
