#include "ToolRequests.h"

#include "Endpoints.h"

namespace vantora {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::array<EngineInfo, 9> Rankscout{{
    {"Altavista"_L1, "altavista"_L1},
    {"Hotbot"_L1, "hotbot"_L1},
    {"Lycos"_L1, "lycos"_L1},
    {"Excite"_L1, "excite"_L1},
    {"Infoseek"_L1, "infoseek"_L1},
    {"Webcrawler"_L1, "webcrawler"_L1},
    {"Northern Light"_L1, "northernlight"_L1},
    {"Yahoo"_L1, "yahoo"_L1},
    {"Linkstar"_L1, "linkstar"_L1},
}};

constexpr std::array<EngineInfo, 16> Enginepost{{
    {"AltaVista"_L1, "altavista"_L1},
    {"HotBot"_L1, "hotbot"_L1},
    {"Lycos"_L1, "lycos"_L1},
    {"Excite"_L1, "excite"_L1},
    {"Infoseek"_L1, "infoseek"_L1},
    {"Webcrawler"_L1, "webcrawler"_L1},
    {"PlanetSearch"_L1, "planetsearch"_L1},
    {"NetFind"_L1, "netfind"_L1},
    {"ScrubTheWeb"_L1, "scrubtheweb"_L1},
    {"SiteFinder"_L1, "sitefinder"_L1},
    {"Moshix2"_L1, "moshix2"_L1},
    {"QuestFinder"_L1, "questfinder"_L1},
    {"Xerus"_L1, "xerus"_L1},
    {"Zap"_L1, "zap"_L1},
    {"What-u-Seek"_L1, "whatuseek"_L1},
    {"Megallan"_L1, "megallan"_L1},
}};

// Lycos, HotBot, AltaVista, Excite, Webcrawler, Infoseek, then the rest in
// request order.
constexpr std::array<int, 16> EnginepostOnScreen{2, 1, 0,  3,  5,  4,  6,  7,
                                                 8, 9, 10, 11, 12, 13, 14, 15};

template <size_t N>
QStringList Chosen(const std::array<EngineInfo, N>& engines, const QList<bool>& checked, bool all) {
    QStringList names;
    for (size_t i = 0; i < N; ++i)
        if (all || checked.value(qsizetype(i)))
            names << QString(engines[i].Parameter);
    return names;
}

} // namespace

const std::array<EngineInfo, 9>& RankscoutEngines() {
    return Rankscout;
}

const std::array<EngineInfo, 16>& EnginepostEngines() {
    return Enginepost;
}

const std::array<int, 16>& EnginepostScreenOrder() {
    return EnginepostOnScreen;
}

const QList<int>& EnginepostDefaultEngines() {
    // AltaVista, Excite, HotBot, Infoseek and Lycos.
    static const QList<int> defaults{0, 3, 1, 4, 2};
    return defaults;
}

CheckedRequests WordweighRequests(const QString& server, const QStringList& pages,
                                  const QString& keyWords) {
    CheckedRequests out;
    for (const QString& page : pages)
        out.Urls << WordweighUrl(server, page, keyWords);
    return out;
}

CheckedRequests StuffwatchRequests(const QString& server, const QStringList& pages) {
    CheckedRequests out;
    for (const QString& page : pages)
        out.Urls << StuffwatchUrl(server, page);
    return out;
}

CheckedRequests BackwatchRequests(const QString& server, const QStringList& pages) {
    CheckedRequests out;
    for (const QString& page : pages)
        out.Urls << BackwatchUrl(server, page);
    return out;
}

CheckedRequests RankscoutRequests(const QString& server, const QStringList& pages,
                                  const RankscoutInput& input) {
    CheckedRequests out;
    if (EncodeTypedText(input.KeyPhrase, u"+"_s).isEmpty()) {
        out.Message = u"You must enter a Key Phrase to test your pages with, operation aborted."_s;
        out.Focus = InputField::KeyPhrase;
        return out;
    }
    const QStringList engines = Chosen(Rankscout, input.Engines, input.AllEngines);
    if (engines.isEmpty()) {
        out.Message = u"You must select at least one Search Engine to test, operation aborted."_s;
        out.Focus = InputField::Engines;
        return out;
    }
    for (const QString& page : pages)
        out.Urls << RankscoutUrl(server, page, input.KeyPhrase, engines, input.Detail);
    return out;
}

CheckedRequests EnginepostRequests(const QString& server, const QStringList& pages,
                                   const EnginepostInput& input) {
    CheckedRequests out;
    const QStringList engines = Chosen(Enginepost, input.Engines, input.AllEngines);
    const QString blank = u"%20"_s;
    if (engines.isEmpty()) {
        out.Message =
            u"You must select at least one Search Engine to submit to, operation aborted."_s;
        out.Focus = InputField::Engines;
    } else if (EncodeTypedText(input.Title, blank).isEmpty()) {
        out.Message = u"You must enter a Title for your Web Page as some search engines require "
                      u"it, operation aborted."_s;
        out.Focus = InputField::Title;
    } else if (EncodeTypedText(input.Description, blank).isEmpty()) {
        out.Message = u"You must enter a Description of your Web Page as some search engines "
                      u"require it, operation aborted."_s;
        out.Focus = InputField::Description;
    } else if (EncodeTypedText(input.KeyWords, blank).isEmpty()) {
        out.Message = u"You must enter some Key Words for your Web Page as some search engines "
                      u"require it, operation aborted."_s;
        out.Focus = InputField::KeyWords;
    } else if (input.Email.indexOf(u'@') < 1 || input.Email.size() <= 3) {
        out.Message = u"You must enter a valid Email address as some search engines require it, "
                      u"operation aborted."_s;
        out.Focus = InputField::Email;
    }
    if (out.Failed())
        return out;
    for (const QString& page : pages)
        out.Urls << EnginepostUrl(server, page, engines, input.Title, input.Description,
                                  input.KeyWords, input.Email);
    return out;
}

QString EnginepostManyPagesQuestion() {
    return u"Are you sure you want to Submit more than one URL? Although many Search Engines "
           u"permit this,\ryou are advised to lern more about individual submission "
           u"guidelines.\rSubmitting multiple URLs will result in the Web Page Information "
           u"entered being the same for each Page.\rPress F1 now to check our Help file on "
           u"Search Engine Tips."_s;
}

} // namespace vantora
