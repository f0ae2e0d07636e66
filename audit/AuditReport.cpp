#include "AuditReport.h"

#include "ReportFrame.h"
#include "ResultChecks.h"
#include "SiteTree.h"
#include "SiteUrlIndex.h"
#include "TimeStamps.h"

#include <QCollator>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <exception>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <functional>
#include <future>
#include <optional>
#include <vector>

namespace vantora {

namespace {

const QString Bullet = QStringLiteral("\u2022 ");

// Something stored or typed could not be read: the report ends truncated.
struct Unreadable : std::exception {};

// The four columns of an archive that the sections read; Values is the
// percentage column (Wordweigh only).
struct Records {
    const QStringList& Pages;
    const QStringList& Stamps;
    const QStringList& Values;
    const QStringList& Bodies;
    int Count() const { return int(Pages.size()); }
};

Records RecordsOf(const ToolArchive& archive) {
    return {archive.Pages(), archive.Dates(), archive.Percentages(), archive.Bodies()};
}

// A whole number typed into the dialog or stored as a rank.
qint64 WholeNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw Unreadable();
    return value;
}

// A stored percentage: its leading digits, so that texts written by older
// versions with a character after the number read as the number.
qint64 LeadingNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype digits = 0;
    while (digits < trimmed.size() && digits < 18 && trimmed.at(digits).isDigit())
        ++digits;
    if (digits == 0)
        throw Unreadable();
    return WholeNumber(trimmed.left(digits));
}

// Reads each record's stamp at most once; a stamp that does not read ends
// the report.
class StampCache {
  public:
    StampCache(const Records& records, const StampReader& reader)
        : Reader(reader), Set(records.Stamps, reader), Moments(size_t(records.Count())) {}

    QDate Date(int index) {
        const std::optional<QDate> date = Set.Date(index);
        if (!date)
            throw Unreadable();
        return *date;
    }
    const StampMoments& When(int index) {
        std::optional<StampMoments>& moments = Moments[size_t(index)];
        if (!moments) {
            const std::optional<StampTime> time = Set.Read(index);
            if (!time)
                throw Unreadable();
            moments = Reader.Moments(*time);
        }
        return *moments;
    }

  private:
    const StampReader& Reader;
    StampSet Set;
    std::vector<std::optional<StampMoments>> Moments;
};

// Decides which record is the latest of its page in one pass over the
// archive (among the members, when a filter is given). Records are added
// at the end of an archive, so going down it a record takes over from the
// one before unless its stamp is plainly earlier: between stamps that read
// alike (the same time, or times in the hour the clocks repeat) the later
// record wins. The stamps of a page are read only when it has more than
// one record.
class LatestRecords {
  public:
    LatestRecords(const Records& records, StampCache& stamps,
                  const std::function<bool(int)>& member = {})
        : Data(records), Stamps(stamps) {
        for (int i = 0; i < records.Count(); ++i)
            if (!member || member(i))
                Groups[records.Pages.at(i)].Members.append(i);
    }

    bool IsLatest(int index) {
        Group& group = Groups[Data.Pages.at(index)];
        if (group.Members.size() < 2)
            return true;
        if (group.Latest < 0) {
            int latest = group.Members.first();
            for (const int member : group.Members)
                if (Stamps.When(member).Latest >= Stamps.When(latest).Earliest)
                    latest = member;
            group.Latest = latest;
        }
        return index == group.Latest;
    }

  private:
    struct Group {
        QList<int> Members;
        int Latest = -1;
    };
    const Records& Data;
    StampCache& Stamps;
    QHash<QString, Group> Groups;
};

// What a writer wrote, held to be written to another sink later in the same
// order.
class HeldLines : public ReportSink {
  public:
    void ClearReport() override { Items.push_back({Kind::Clear, {}, {}}); }
    void SetFormat(const ReportFormat& format) override {
        Items.push_back({Kind::Format, format, {}});
    }
    void AppendLine(const QString& text) override { Items.push_back({Kind::Line, {}, text}); }

    void Forget() { Items.clear(); }
    void WriteTo(ReportSink& sink) const {
        for (const Item& item : Items) {
            switch (item.What) {
            case Kind::Clear:
                sink.ClearReport();
                break;
            case Kind::Format:
                sink.SetFormat(item.Format);
                break;
            case Kind::Line:
                sink.AppendLine(item.Text);
                break;
            }
        }
    }

  private:
    enum class Kind { Clear, Format, Line };
    struct Item {
        Kind What;
        ReportFormat Format;
        QString Text;
    };
    std::vector<Item> Items;
};

// The collation keys (without regard to case) of count texts, the second
// half made on a second thread.
std::vector<QCollatorSortKey>
CollationKeys(size_t count, const std::function<QStringView(size_t)>& text, const QLocale& locale) {
    const auto make = [&](size_t from, size_t to) {
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(to - from);
        for (size_t i = from; i < to; ++i) {
            const QStringView view = text(i);
            // A key of the text where it lies.
            keys.push_back(collator.sortKey(
                QString::fromRawData(reinterpret_cast<const QChar*>(view.data()), view.size())));
        }
        return keys;
    };
    std::future<std::vector<QCollatorSortKey>> second =
        std::async(std::launch::async, make, count / 2, count);
    std::vector<QCollatorSortKey> keys = make(0, count / 2);
    keys.reserve(count);
    for (QCollatorSortKey& key : second.get())
        keys.push_back(std::move(key));
    return keys;
}

struct Engine {
    const char* Name;
    const char* Selector; // the marker (ranking) or the dialog item (submissions)
};

constexpr Engine RankEngines[] = {{"Infoseek", "<ENGINE>INFOSEEK"},
                                  {"AltaVista", "<ENGINE>ALTAVISTA"},
                                  {"Excite", "<ENGINE>EXCITE"},
                                  {"Webcrawler", "<ENGINE>WEBCRAWLER"},
                                  {"Lycos", "<ENGINE>LYCOS"},
                                  {"Hotbot", "<ENGINE>HOTBOT"},
                                  {"Northern Light", "<ENGINE>NORTHERNLIGHT"},
                                  {"Yahoo", "<ENGINE>YAHOO"},
                                  {"Linkstar", "<ENGINE>LINKSTAR"}};

constexpr Engine SubmitEngines[] = {{"Infoseek", "Infoseek"},
                                    {"Webcrawler", "Webcrawler"},
                                    {"Excite", "Excite"},
                                    {"Lycos", "Lycos"},
                                    {"AltaVista", "AltaVista"},
                                    {"HotBot", "HotBot"},
                                    {"PlanetSearch", "PlanetSearch"},
                                    {"NetFind", "NetFind"},
                                    {"ScrubTheWeb", "ScrubTheWeb"},
                                    {"SiteFinder", "SiteFinder"},
                                    {"Moshix2", "Moshix2"},
                                    {"QuestFinder", "QuestFinder"},
                                    {"Xerus", "Xerus"},
                                    {"Zap", "Zap"},
                                    {"What-u-Seek", "What-U-Seek"},
                                    {"Megallan", "Megallan"}};

class AuditWriter {
  public:
    AuditWriter(const ProjectData& project, const AuditOptions& options, const QDateTime& now,
                const QLocale& locale, ReportSink& sink, const SiteTree* built = nullptr)
        : Project(project), Options(options), Now(now), Locale(locale), Out(sink),
          Stamps(locale, now.date().year()), Built(built) {}

    void Run() {
        // The stored-result sections read nothing of the site map: they are
        // written on a second thread while the site map's are, held, and
        // passed on after them.
        HeldLines results;
        std::future<bool> resultsWritten = std::async(std::launch::async, [&] {
            AuditWriter writer(Project, Options, Now, Locale, results);
            // The format its frame opens with is the one in force here then.
            results.Forget();
            try {
                writer.ResultSections();
                return true;
            } catch (const std::exception&) {
                return false;
            }
        });
        try {
            Out.Heading(AuditTitle(Now, Locale));
            Out.Line(QStringLiteral("Audit contents: ") + AuditContentsText(Options, Locale));
            SiteMapSections();
            const bool complete = resultsWritten.get();
            results.WriteTo(Out.Sink());
            if (!complete)
                throw Unreadable();
            Out.End();
        } catch (const std::exception&) {
            Out.Truncated();
        }
    }

  private:
    // --- lines ---
    void Line(const QString& text) { Out.Line(text); }
    // A line with an empty line before it.
    void LineAfterGap(const QString& text) {
        Out.EmptyLine();
        Out.Line(text);
    }
    void BoldLine(const QString& text) {
        Out.SetBold(true);
        Out.Line(text);
        Out.SetBold(false);
    }

    // Writes the parts as one line, joined in a buffer that is kept from line
    // to line unless the sink holds on to it.
    void JoinedLine(QStringView a, QStringView b, QStringView c = {}) {
        if (!Buffer.isDetached())
            Buffer = QString();
        Buffer.resize(0);
        Buffer.reserve(a.size() + b.size() + c.size());
        Buffer += a;
        Buffer += b;
        Buffer += c;
        Out.Line(Buffer);
    }

    // The decimal digits of a number, as QString::number writes them, in a
    // buffer of the writer.
    QStringView Decimal(int number) {
        char digits[16];
        const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        std::copy(static_cast<const char*>(digits), end, Digits);
        return QStringView(Digits, end - digits);
    }

    // --- site map ---
    static bool IsBroken(NodeKind k) { return int(k) > int(NodeKind::Mail); }
    static bool IsMail(NodeKind k) { return k == NodeKind::Mail; }
    static bool IsExternal(NodeKind k) { return k == NodeKind::ExternalLink; }

    void SiteMapSections() {
        if (!(Options.Broken || Options.Mailto || Options.ShowXtal || Options.ListPages))
            return;
        // The tree the caller built from these lines is read as it is; a
        // million nodes are not built twice.
        const BuildResult built = Built ? CheckSiteMapHeader(Project.SiteMapLines)
                                        : ParseSiteMap(Project.SiteMapLines, OwnTree);
        if (Built && built.Outcome == BuildOutcome::Complete)
            Tree = Built;
        else if (built.Outcome != BuildOutcome::Complete &&
                 built.Outcome != BuildOutcome::InvalidData)
            OwnTree.Clear();
        Urls.emplace(*Tree);
        RootId = Urls->Add(built.RootUrl);
        RankUrls([&](NodeKind k) {
            return (Options.Broken && IsBroken(k)) || (Options.Mailto && IsMail(k)) ||
                   (Options.ShowXtal && IsExternal(k));
        });
        // The list of pages is put in order on a second thread while the
        // link sections are written, starting from the ranks' order.
        std::future<std::vector<SiteUrlEntry>> index;
        if (Options.ListPages) {
            std::vector<int> guess;
            for (const int id : ByRank)
                if (Urls->FirstNode(id) >= 0)
                    guess.push_back(id);
            index = std::async(std::launch::async,
                               [urls = &*Urls, locale = Locale, guess = std::move(guess)] {
                                   return BuildSiteUrlIndex(*urls, locale, guess);
                               });
        }
        if (Options.Broken)
            LinkSection(IsBroken, QStringLiteral("Pages with broken links,"),
                        QStringLiteral(" contains broken links to the following URLs,"));
        if (Options.Mailto)
            LinkSection(IsMail, QStringLiteral("Pages with E-mail (mailto) links,"),
                        QStringLiteral(" contains E-mail links to the following addresses,"));
        if (Options.ShowXtal)
            LinkSection(IsExternal, QStringLiteral("Pages with external links,"),
                        QStringLiteral(" contains external links to the following URLs,"));
        if (Options.ListPages)
            ListOfPages(index.get());
    }

    // The URL id of the page a link was found on: a link outside any page
    // was found on the site's root.
    int PageOf(int node) const {
        const int parent = Tree->Parent(node);
        return parent < 0 ? RootId : Urls->IdOfNode(parent);
    }

    // Ranks the URLs of the links of the kinds and of their pages (and,
    // for the list of pages, the URLs of all nodes) in the order of the link
    // sections: by collation key, then by text, so that equal ranks mean
    // equal texts. One collation key per URL.
    void RankUrls(const std::function<bool(NodeKind)>& linked) {
        std::vector<bool> needed(size_t(Urls->Count()));
        for (int id = 0; Options.ListPages && id < Urls->Count(); ++id)
            needed[size_t(id)] = Urls->FirstNode(id) >= 0;
        for (int node = 0; node < Tree->Count(); ++node) {
            if (linked(Tree->Kind(node))) {
                needed[size_t(Urls->IdOfNode(node))] = true;
                needed[size_t(PageOf(node))] = true;
            }
        }
        std::vector<int> ids;
        for (int id = 0; id < Urls->Count(); ++id)
            if (needed[size_t(id)])
                ids.push_back(id);
        const std::vector<QCollatorSortKey> keys = CollationKeys(
            ids.size(), [&](size_t i) { return Urls->Text(ids[i]); }, Locale);
        std::vector<int> order(ids.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            const int byKey = keys[size_t(a)].compare(keys[size_t(b)]);
            if (byKey != 0)
                return byKey < 0;
            return Urls->Text(ids[size_t(a)]).compare(Urls->Text(ids[size_t(b)])) < 0;
        });
        Ranks.assign(size_t(Urls->Count()), -1);
        ByRank.resize(order.size());
        for (size_t rank = 0; rank < order.size(); ++rank) {
            ByRank[rank] = ids[size_t(order[rank])];
            Ranks[size_t(ByRank[rank])] = int(rank);
        }
    }

    // Every page that holds links of the kinds, once, in URL order, each
    // with all of its links of those kinds, once each, in URL order.
    void LinkSection(bool (*takes)(NodeKind), const QString& heading, const QString& pageText) {
        Out.EmptyLine();
        BoldLine(heading);
        // The page's rank above the link's: sorting these (in node order
        // where they are equal) orders the links by page, then by URL.
        struct Link {
            quint64 Order;
            int Node;
        };
        std::vector<Link> links;
        for (int node = 0; node < Tree->Count(); ++node)
            if (takes(Tree->Kind(node)))
                links.push_back({quint64(Ranks[size_t(PageOf(node))]) << 32 |
                                     quint32(Ranks[size_t(Urls->IdOfNode(node))]),
                                 node});
        std::sort(links.begin(), links.end(), [](const Link& a, const Link& b) {
            return a.Order != b.Order ? a.Order < b.Order : a.Node < b.Node;
        });
        for (size_t i = 0; i < links.size(); ++i) {
            const Link& link = links[i];
            if (i == 0 || links[i - 1].Order >> 32 != link.Order >> 32) {
                Out.EmptyLine();
                JoinedLine(u"Page ", Urls->Text(PageOf(link.Node)), pageText);
            } else if (links[i - 1].Order == link.Order) {
                continue; // the same link again on the same page
            }
            JoinedLine(Bullet, Tree->Caption(link.Node));
        }
    }

    void ListOfPages(const std::vector<SiteUrlEntry>& index) {
        Out.EmptyLine();
        BoldLine(QStringLiteral("A list of all web pages,"));
        if (index.empty()) {
            Line(QStringLiteral("(No web pages found)"));
            return;
        }
        int counter = 1;
        for (const SiteUrlEntry& entry : index)
            if (Tree->Kind(entry.Node) == NodeKind::Page)
                JoinedLine(Decimal(counter++), u".", entry.Url);
    }

    // --- stored results ---
    void ResultSections() {
        if (Options.Spam)
            SpamSection();
        if (Options.LessEffective)
            EffectivenessSection();
        if (Options.Remote)
            ReciprocalSection();
        if (Options.Ranking)
            RankingSection();
        if (Options.PrevSub)
            SubmissionsSection();
    }

    QString ScopeText() const { return Locale.toString(Options.ScopeDate, QLocale::ShortFormat); }

    bool InScope(StampCache& stamps, int index) const {
        return !Options.Limit || stamps.Date(index) > Options.ScopeDate;
    }

    // The frame's opening: false (after the "There are no ..." line) when
    // the archive is empty.
    bool Opening(const Records& records, const QString& none, const QString& heading) {
        Line(QString());
        if (records.Count() == 0) {
            BoldLine(none);
            return false;
        }
        BoldLine(heading);
        Listed = Considered = 0;
        return true;
    }

    void Summary(const QString& text) {
        Out.SetItalic(true);
        Line(text);
        Out.SetItalic(false);
    }

    QString Counts() const {
        return Bullet + QString::number(Listed) + QStringLiteral(" from ") +
               QString::number(Considered);
    }

    // Scope, latest record, then the section's own test for every record.
    // Results the server could not check are neither findings nor absences:
    // they are left out, an older checked result of the page standing in.
    void PlainSection(const Records& records, ToolKind kind, const std::function<void(int)>& test) {
        StampCache stamps(records, Stamps);
        std::vector<bool> checked(size_t(records.Count()));
        for (int i = 0; i < records.Count(); ++i)
            checked[size_t(i)] = UncheckedReason(kind, records.Bodies.at(i)).isEmpty();
        LatestRecords latest(records, stamps, [&](int i) { return bool(checked[size_t(i)]); });
        Unchecked = 0;
        for (int i = 0; i < records.Count(); ++i) {
            if (!InScope(stamps, i))
                continue;
            if (!checked[size_t(i)]) {
                ++Unchecked;
                continue;
            }
            if (!latest.IsLatest(i))
                continue;
            ++Considered;
            test(i);
        }
    }

    // After a section's summary: how many results were left out unchecked.
    void UncheckedLine(const QString& what) {
        if (Unchecked == 0)
            return;
        Out.SetItalic(true);
        Line(Bullet + QString::number(Unchecked) + QLatin1Char(' ') + what +
             (Unchecked == 1 ? QStringLiteral(" could not be checked and is left out.")
                             : QStringLiteral(" could not be checked and are left out.")));
        Out.SetItalic(false);
    }

    void Listing(const QString& line) {
        Line(Bullet + line);
        ++Listed;
    }

    void SpamSection() {
        const Records records = RecordsOf(Project.StuffwatchArchive);
        if (!Opening(records, QStringLiteral("There are no Stuffwatched pages on record."),
                     QStringLiteral("Pages that show Spamming,")))
            return;
        PlainSection(records, ToolKind::Stuffwatch, [&](int i) {
            if (!records.Bodies.at(i).contains(QLatin1String("NO-SPAM")))
                Listing(records.Pages.at(i) + QStringLiteral(", last checked ") +
                        records.Stamps.at(i));
        });
        Summary(Options.Limit ? Counts() + QStringLiteral(" Stuffwatched pages after ") +
                                    ScopeText() + QStringLiteral(" show Spamming.")
                              : Counts() + QStringLiteral(" Stuffwatched pages show Spamming."));
        UncheckedLine(Unchecked == 1 ? QStringLiteral("result") : QStringLiteral("results"));
    }

    void EffectivenessSection() {
        const Records records = RecordsOf(Project.WordweighArchive);
        const QString& effective = Options.Effective;
        if (!Opening(records, QStringLiteral("There are no Wordweighed pages on record."),
                     QStringLiteral("Pages less than ") + effective +
                         QStringLiteral("% effective,")))
            return;
        PlainSection(records, ToolKind::Wordweigh, [&](int i) {
            // The line gives the percentage as read, so that a stored "7%"
            // shows as 7.
            const qint64 percent = LeadingNumber(records.Values.value(i));
            if (percent < WholeNumber(effective))
                Listing(records.Pages.at(i) + QStringLiteral(", was only ") +
                        QString::number(percent) + QStringLiteral("% effective, last checked ") +
                        records.Stamps.at(i));
        });
        Summary(Options.Limit ? Counts() + QStringLiteral(" Wordweighed pages after ") +
                                    ScopeText() + QStringLiteral(" were less than ") + effective +
                                    QStringLiteral("% effective.")
                              : Counts() + QStringLiteral(" were less than ") + effective +
                                    QStringLiteral("% effective."));
        UncheckedLine(Unchecked == 1 ? QStringLiteral("result") : QStringLiteral("results"));
    }

    void ReciprocalSection() {
        const Records records = RecordsOf(Project.BackwatchArchive);
        if (!Opening(records,
                     QStringLiteral("There are no pages analysed with Backwatch on record."),
                     QStringLiteral("Pages with reciprocal links,")))
            return;
        PlainSection(records, ToolKind::Backwatch, [&](int i) {
            const QString& body = records.Bodies.at(i);
            const qsizetype at = std::max<qsizetype>(body.indexOf(QLatin1String("<br>")), 0);
            if (body.mid(at, 12) != QLatin1String("<br>.<br>END"))
                Listing(records.Pages.at(i) + QStringLiteral(", last checked ") +
                        records.Stamps.at(i));
        });
        Summary(Options.Limit ? Counts() + QStringLiteral(" pages after ") + ScopeText() +
                                    QStringLiteral(" contained reciprocal links.")
                              : Counts() + QStringLiteral(" pages contain reciprocal links."));
        UncheckedLine(Unchecked == 1 ? QStringLiteral("result") : QStringLiteral("results"));
    }

    // The position after the engine's marker: the text after the first
    // "<MATCH>" up to the next "<br>".
    static qint64 RankAfter(const QString& body, qsizetype marker) {
        const qsizetype match = body.indexOf(QLatin1String("<MATCH>"), marker);
        if (match < 0)
            throw Unreadable();
        const qsizetype start = match + 7;
        const qsizetype end = body.indexOf(QLatin1String("<br>"), start);
        if (end < 0)
            throw Unreadable();
        return WholeNumber(body.mid(start, end - start));
    }

    void RankingSection() {
        const Records records = RecordsOf(Project.RankscoutArchive);
        const QString& rank = Options.Rank;
        if (!Opening(records,
                     QStringLiteral("There are no pages analysed with Rankscout on record."),
                     QStringLiteral("Pages ranking above ") + rank +
                         QStringLiteral(" on Search Engines,")))
            return;
        StampCache stamps(records, Stamps);
        std::vector<qsizetype> markerAt(size_t(records.Count()));
        Unchecked = 0;
        for (const Engine& engine : RankEngines) {
            Out.EmptyLine();
            Out.SetUnderline(true);
            Line(QLatin1String(engine.Name));
            Out.SetUnderline(false);
            const QLatin1String marker(engine.Selector);
            for (int i = 0; i < records.Count(); ++i) {
                markerAt[size_t(i)] = records.Bodies.at(i).indexOf(marker);
                // A position the server could not check is no position.
                if (markerAt[size_t(i)] >= 0 &&
                    RankEngineUnchecked(records.Bodies.at(i), markerAt[size_t(i)])) {
                    markerAt[size_t(i)] = -1;
                    if (InScope(stamps, i))
                        ++Unchecked;
                }
            }
            LatestRecords latest(records, stamps, [&](int i) { return markerAt[size_t(i)] >= 0; });
            for (int i = 0; i < records.Count(); ++i) {
                const qsizetype at = markerAt[size_t(i)];
                if (at < 0 || !InScope(stamps, i) || !latest.IsLatest(i))
                    continue;
                ++Considered;
                const qint64 position = RankAfter(records.Bodies.at(i), at);
                if (position > 0 && position < WholeNumber(rank))
                    Listing(records.Pages.at(i) + QStringLiteral(", ranked ") +
                            QString::number(position) + QStringLiteral(", last checked ") +
                            records.Stamps.at(i));
            }
        }
        Out.EmptyLine();
        Summary(Options.Limit
                    ? Counts() + QStringLiteral(" pages after ") + ScopeText() +
                          QStringLiteral(" ranked above ") + rank + QLatin1Char('.')
                    : Counts() + QStringLiteral(" pages ranked above ") + rank + QLatin1Char('.'));
        UncheckedLine(Unchecked == 1 ? QStringLiteral("position") : QStringLiteral("positions"));
    }

    // The condition compares days, so that stamps in any date length that
    // fall on the chosen day count as "on" it.
    bool MeetsSubmitCondition(StampCache& stamps, int index) const {
        const QDate date = stamps.Date(index);
        if (Options.SubmitType == QLatin1String("on"))
            return date == Options.SubmitDate;
        if (Options.SubmitType == QLatin1String("after"))
            return date > Options.SubmitDate;
        return date < Options.SubmitDate;
    }

    void SubmissionsSection() {
        const Records records = RecordsOf(Project.EnginepostArchive);
        const QString& engineItem = Options.SearchEngine;
        const QString submitDate = Locale.toString(Options.SubmitDate, QLocale::ShortFormat);
        const QString heading =
            Options.Submited
                ? QStringLiteral("Pages previously submitted to ") + engineItem + QLatin1Char(' ') +
                      Options.SubmitType + QLatin1Char(' ') + submitDate + QLatin1Char(',')
                : QStringLiteral("Pages previously submitted to ") + engineItem + QLatin1Char(',');
        if (!Opening(records,
                     QStringLiteral("There are no pages submitted with Enginepost on record."),
                     heading))
            return;
        const bool all = engineItem == AllSearchEngines;
        StampCache stamps(records, Stamps);
        QSet<QString> pagesListed;
        for (int i = 0; i < records.Count(); ++i) {
            const QString& stamp = records.Stamps.at(i);
            if (!InScope(stamps, i) || (Options.Submited && !MeetsSubmitCondition(stamps, i)))
                continue;
            const QString& page = records.Pages.at(i);
            // The answer names the page as its first item gives it, which
            // may differ from the URL the result is filed under.
            const QString& body = records.Bodies.at(i);
            const qsizetype br = body.indexOf(QLatin1String("<br>"));
            const QString answered = br < 0 ? body : body.left(br);
            for (const Engine& engine : SubmitEngines) {
                if (!all && engineItem != QLatin1String(engine.Selector))
                    continue;
                const QString name = QLatin1String(engine.Name);
                if (body.contains(QStringLiteral("Successfully submitted ") + answered +
                                  QStringLiteral(" to ") + name) ||
                    body.contains(QStringLiteral("Successfully submitted ") + page +
                                  QStringLiteral(" to ") + name)) {
                    Listing(page + QStringLiteral(", submitted ") + stamp + QStringLiteral(" to ") +
                            name);
                    pagesListed.insert(page);
                }
            }
        }
        Considered = int(pagesListed.size());
        const QString counts = Bullet + QString::number(Listed) +
                               QStringLiteral(" submissions to ") + engineItem +
                               QStringLiteral(" from ") + QString::number(Considered);
        Summary(Options.Limit
                    ? counts + QStringLiteral(" pages after ") + ScopeText() + QLatin1Char('.')
                    : counts + QStringLiteral(" pages."));
    }

    const ProjectData& Project;
    const AuditOptions& Options;
    QDateTime Now;
    QLocale Locale;
    ReportFrame Out;
    StampReader Stamps;
    const SiteTree* Built; // the caller's tree of the project's lines, if any
    SiteTree OwnTree;      // built here otherwise
    const SiteTree* Tree = &OwnTree;
    std::optional<SiteUrls> Urls;
    int RootId = -1;
    std::vector<int> Ranks;  // by URL id; -1 for a URL no section shows
    std::vector<int> ByRank; // the URL ids ranked
    QString Buffer;
    char16_t Digits[16];
    int Listed = 0;
    int Considered = 0;
    int Unchecked = 0; // results of the section left out: the server could not check them
};

} // namespace

QString AuditTitle(const QDateTime& now, const QLocale& locale) {
    QString text = QStringLiteral("Sitecensus - Report, created ") +
                   locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(now.time(), QLocale::LongFormat);
    return text;
}

void WriteAuditReport(const ProjectData& project, const AuditOptions& options, const QDateTime& now,
                      const QLocale& locale, ReportSink& sink, const SiteTree* tree) {
    AuditWriter(project, options, now, locale, sink, tree).Run();
#ifdef __GLIBC__
    // Over a large site map the audit has just freed hundreds of megabytes in
    // small blocks, some in the arenas of its threads, which the allocator
    // would otherwise keep: they go back to the system (in some tens of
    // milliseconds for a million pages).
    malloc_trim(0);
#endif
}

} // namespace vantora
