#pragma once
// The input checks and request URLs of the five on-line tools, without
// their windows: what Start sends for a set of pages, or the message that
// stops it and the box that gets the focus.
#include "ToolKind.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace vantora {

// A search engine box: its caption and its request parameter's name.
struct EngineInfo {
    QLatin1StringView Caption;
    QLatin1StringView Parameter;
};

// Rankscout's nine engines and Enginepost's sixteen, in request order.
const std::array<EngineInfo, 9>& RankscoutEngines();
const std::array<EngineInfo, 16>& EnginepostEngines();
// Enginepost's engine boxes in their on-screen order (after "All Search
// Engines"), as indexes into EnginepostEngines().
const std::array<int, 16>& EnginepostScreenOrder();
// The engines Enginepost checks when Show from the site map finds none checked.
const QList<int>& EnginepostDefaultEngines();

// The boxes a failed check gives the focus to.
enum class InputField { None, KeyPhrase, Engines, Title, Description, KeyWords, Email };

struct CheckedRequests {
    QString Message; // empty when the checks passed
    InputField Focus = InputField::None;
    QStringList Urls; // one per page, in page order
    bool Failed() const { return !Message.isEmpty(); }
};

CheckedRequests WordweighRequests(const QString& server, const QStringList& pages,
                                  const QString& keyWords);
CheckedRequests StuffwatchRequests(const QString& server, const QStringList& pages);
CheckedRequests BackwatchRequests(const QString& server, const QStringList& pages);

struct RankscoutInput {
    QString KeyPhrase;
    QList<bool> Engines; // checked, in RankscoutEngines() order
    bool AllEngines = false;
    bool Detail = false;
};
CheckedRequests RankscoutRequests(const QString& server, const QStringList& pages,
                                  const RankscoutInput& input);

struct EnginepostInput {
    QList<bool> Engines; // checked, in EnginepostEngines() order
    bool AllEngines = false;
    QString Title;
    QString Description;
    QString KeyWords;
    QString Email;
};
CheckedRequests EnginepostRequests(const QString& server, const QStringList& pages,
                                   const EnginepostInput& input);

// Asked before Enginepost submits more than one page.
QString EnginepostManyPagesQuestion();

} // namespace vantora
