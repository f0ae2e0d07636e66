#include "AuditOptions.h"

namespace vantora {

const QString AllSearchEngines = QStringLiteral("(All Search Engines)");

const QStringList& AuditSearchEngineItems() {
    static const QStringList items{QStringLiteral("Infoseek"),
                                   QStringLiteral("AltaVista"),
                                   QStringLiteral("Webcrawler"),
                                   QStringLiteral("Excite"),
                                   QStringLiteral("Lycos"),
                                   QStringLiteral("HotBot"),
                                   QStringLiteral("PlanetSearch"),
                                   QStringLiteral("NetFind"),
                                   QStringLiteral("ScrubTheWeb"),
                                   QStringLiteral("SiteFinder"),
                                   QStringLiteral("Moshix2"),
                                   QStringLiteral("QuestFinder"),
                                   QStringLiteral("Xerus"),
                                   QStringLiteral("Zap"),
                                   QStringLiteral("What-U-Seek"),
                                   QStringLiteral("Megallan"),
                                   AllSearchEngines};
    return items;
}

const QStringList& AuditSubmitTypes() {
    static const QStringList types{QStringLiteral("before"), QStringLiteral("on"),
                                   QStringLiteral("after")};
    return types;
}

QString AuditContentsText(const AuditOptions& o, const QLocale& locale) {
    QString text;
    if (o.Broken)
        text += QStringLiteral("pages with broken links, ");
    if (o.Mailto)
        text += QStringLiteral("pages with E-mail (mailto) links, ");
    if (o.ShowXtal)
        text += QStringLiteral("pages with external links, ");
    if (o.ListPages)
        text += QStringLiteral("a list of all web pages, ");
    if (o.Spam)
        text += QStringLiteral("pages that show spamming, ");
    if (o.LessEffective)
        text += QStringLiteral("pages less than ") + o.Effective + QStringLiteral("% effective, ");
    if (o.Remote)
        text += QStringLiteral("pages with reciprocal links, ");
    if (o.Ranking)
        text += QStringLiteral("pages ranking above ") + o.Rank +
                QStringLiteral(" on Search Engines, ");
    if (o.PrevSub)
        text += QStringLiteral("pages previously submitted to ") + o.SearchEngine +
                QStringLiteral(", ");
    if (o.Submited)
        text += QStringLiteral("pages submitted ") + o.SubmitType + QLatin1Char(' ') +
                locale.toString(o.SubmitDate, QLocale::ShortFormat) + QStringLiteral(", ");
    text.chop(2);
    return text + QLatin1Char('.');
}

} // namespace vantora
