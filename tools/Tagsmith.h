#pragma once
// Tagsmith: HTML meta tags and an example page from the user's answers,
// written locally to a report sink.
#include "ReportSink.h"

#include <QString>
#include <QStringList>

namespace vantora {

struct TagsmithFields {
    QString Category;    // the chosen category item, empty if none
    QString Rating;      // the chosen rating item, empty if none
    QString Owner;       // at most 1023 characters
    QString Copyright;   // at most 1023 characters
    QString Description; // at most 4095 characters
    QString KeyWords;    // at most 4095 characters, separated with commas
};

// The items of the two pick lists, in their order.
const QStringList& TagsmithCategories();
const QStringList& TagsmithRatings();

// The seven meta tags in their order: Description, Keywords, Review,
// Rating, ObjectType, Copyright, Owner. Each field is trimmed; a double
// quote inside it is written as "&quot;" so that it cannot end the
// attribute early.
QStringList MetaTagLines(const TagsmithFields& fields);

// The tags, the advice and the example page, appended to the sink.
void WriteMetaTags(const TagsmithFields& fields, ReportSink& sink);

} // namespace vantora
