#include "Tagsmith.h"

#include "ReportFrame.h"

namespace vantora {

const QStringList& TagsmithCategories() {
    static const QStringList items{
        "Document",   "Homepage", "World",        "Realworld",    "FAQ",     "RFC",
        "Magazine",   "Index",    "Database",     "Catalog",      "HOWTO",   "Mall",
        "Dictionary", "Archive",  "SearchEngine", "Hypercatalog", "KeyBank", "Manual",
        "Book",       "Journal",  "Linecard",     "Other"};
    return items;
}

const QStringList& TagsmithRatings() {
    static const QStringList items{"General", "Mature", "Restricted", "14 Years"};
    return items;
}

QStringList MetaTagLines(const TagsmithFields& f) {
    const auto tag = [](const char* name, const QString& value) {
        QString content = value.trimmed();
        content.replace(QLatin1Char('"'), QLatin1String("&quot;"));
        return QStringLiteral("<meta name=\"") + QLatin1String(name) +
               QStringLiteral("\" content=\"") + content + QStringLiteral("\">");
    };
    return {tag("Description", f.Description),
            tag("Keywords", f.KeyWords),
            tag("Review", f.KeyWords),
            tag("Rating", f.Rating),
            tag("ObjectType", f.Category),
            tag("Copyright", f.Copyright),
            tag("Owner", f.Owner)};
}

void WriteMetaTags(const TagsmithFields& fields, ReportSink& sink) {
    const QStringList tags = MetaTagLines(fields);
    const QString arial = QStringLiteral("Arial");
    const QString courier = QStringLiteral("Courier");
    ReportFrame out(sink);
    out.SetFont(arial, 14);
    out.SetUnderline(true);
    out.Line(QStringLiteral("Here are your meta tags..."));
    out.SetFont(courier, 8);
    out.SetUnderline(false);
    out.EmptyLine();
    for (const QString& tag : tags)
        out.Line(tag);
    out.SetFont(arial, 10);
    out.EmptyLine();
    out.Line(QStringLiteral(
        "You can copy and paste the above HTML into your HTML source code yourself as shown "
        "below. This will substantially increase the number of hits your Web page receives. "
        "Remember to add meta-tags to all of the HTML pages that you are going to submit."));
    out.EmptyLine();
    out.Line(QStringLiteral("Here is an example HTML document containing your meta-tags..."));
    out.EmptyLine();
    out.SetFont(courier, 8);
    for (const char* line : {"<HTML>", "<HEAD>", "<TITLE>Example document</TITLE>"})
        out.Line(QLatin1String(line));
    for (const QString& tag : tags)
        out.Line(QStringLiteral("  ") + tag);
    for (const char* line :
         {"</HEAD>", "<BODY BGCOLOR=#FFFFFF>", "This is an example HTML page with meta tags...",
          "</BODY>", "</HTML>"})
        out.Line(QLatin1String(line));
}

} // namespace vantora
