#pragma once
// The desktop client's reading of analysis answers, copied rule for rule so
// the tests read answers exactly as the program will: marker checks, the
// characters skipped after the marker, item cutting at "<br>", the
// percentage read, the not-opened tests and the report loops' group counts.

#include <QString>
#include <QStringList>

namespace clientrules {

// Characters 1 to 31 are removed from every answer before it is read.
inline QString StripControls(QString s) {
    QString out;
    for (QChar c : s)
        if (c.unicode() == 0 || c.unicode() > 31)
            out += c;
    return out;
}

// Item 0 is the text before the first "<br>"; the rest is cut again while
// more than 3 characters remain; a remainder without "<br>" gives an empty
// item and loses its first 4 characters.
inline QStringList SplitItems(QString body) {
    QStringList items;
    for (;;) {
        const int at = body.indexOf("<br>");
        if (at < 0) {
            items << QString();
            body = body.mid(4);
        } else {
            items << body.left(at);
            body = body.mid(at + 4);
        }
        if (body.length() <= 3)
            break;
    }
    return items;
}

struct Wordweigh {
    bool MarkerOk = false;
    bool NotOpened = false;
    QString Body;
    QString Url;
    QString Percent;
    QStringList Items;
    int ProblemGroups = 0;  // groups the report writes
    bool Truncated = false; // the report would end with the truncation warning
};

inline Wordweigh ReadWordweigh(const QString& raw) {
    Wordweigh w;
    const QString answer = StripControls(raw);
    if (answer.contains("<HTML>") || !answer.startsWith("WORDWEIGH-v1.1"))
        return w;
    w.MarkerOk = true;
    w.Body = answer.mid(QString("WORDWEIGH-v1.1").length() + 4);
    if (w.Body.left(17) == "ERROR-OPENING-URL") {
        w.NotOpened = true;
        return w;
    }
    w.Url = w.Body.left(w.Body.indexOf("<br>"));
    if (w.Body.contains("PERCENTAGE: 100"))
        w.Percent = "100";
    else if (w.Body.contains("PERCENTAGE:"))
        w.Percent = w.Body.mid(w.Body.indexOf("PERCENTAGE:") + 12, 2);
    w.Items = SplitItems(w.Body);
    if (w.Body.contains("PROBLEM:")) {
        for (int k = 3;; k += 4) {
            if (k + 2 >= w.Items.size()) {
                w.Truncated = true;
                break;
            }
            ++w.ProblemGroups;
            if (!(k + 4 < w.Items.size() - 1))
                break;
        }
    }
    return w;
}

struct Stuffwatch {
    bool NotOpened = false;
    bool MarkerOk = false;
    QString Body;
    QString Url;
    QStringList Items;
    bool NoSpam = false;
    int FindingGroups = 0;
    bool Truncated = false;
};

inline Stuffwatch ReadStuffwatch(const QString& raw) {
    Stuffwatch s;
    const QString answer = StripControls(raw);
    if (answer.contains("ERROR")) {
        s.NotOpened = true;
        return s;
    }
    if (answer.contains("<HTML>") || !answer.startsWith("STUFFWATCH-v1.1"))
        return s;
    s.MarkerOk = true;
    s.Body = answer.mid(QString("STUFFWATCH-v1.1").length() + 1);
    s.Url = s.Body.left(s.Body.indexOf("<br>"));
    s.Items = SplitItems(s.Body);
    if (s.Items.size() > 2 && s.Items[2] == "NO-SPAM") {
        s.NoSpam = true;
        return s;
    }
    for (int k = 2;; k += 4) {
        if (k + 2 >= s.Items.size()) {
            s.Truncated = true;
            break;
        }
        ++s.FindingGroups;
        if (!(k + 4 < s.Items.size() - 1))
            break;
    }
    return s;
}

// Rankscout: marker, not-opened phrase, then engine blocks up to "<MATCH>".
struct RankBlock {
    QString Engine;        // the engine item without its first 8 characters
    QStringList Details;   // detail items without their first 6 characters
    QString Position;      // the 3 characters after "<MATCH>"
    bool HasMatch = false; // false: the report ends with the truncation warning
};

struct Rankscout {
    bool MarkerOk = false;
    bool NotOpened = false;
    QString Body;
    QString Url;
    QString Phrase;
    QList<RankBlock> Blocks;
};

inline Rankscout ReadRankscout(const QString& raw) {
    Rankscout r;
    const QString answer = StripControls(raw);
    if (!answer.startsWith("RANKSCOUT"))
        return r;
    r.MarkerOk = true;
    if (answer.contains("Unspecified Host or Keywords")) {
        r.NotOpened = true;
        return r;
    }
    r.Body = answer.mid(QString("RANKSCOUT").length() + 4);
    const int root = r.Body.indexOf("<ROOT>");
    r.Url = r.Body.mid(root + 6, r.Body.indexOf("<br>") - root - 6);
    const QStringList items = SplitItems(r.Body);
    if (items.size() > 1)
        r.Phrase = items[1].mid(10);
    int k = 2;
    for (bool first = true; first || k < items.size() - 2; first = false) {
        if (k >= items.size())
            break;
        RankBlock block;
        block.Engine = items[k].mid(8);
        ++k;
        while (k < items.size() && !items[k].startsWith("<MATCH>"))
            block.Details << items[k++].mid(6);
        if (k < items.size()) {
            block.HasMatch = true;
            block.Position = items[k].mid(7, 3);
            ++k;
        }
        r.Blocks << block;
        if (!block.HasMatch)
            break;
    }
    return r;
}

// The audit's reading of a stored Rankscout body for one engine: what
// follows the first "<MATCH>" after the engine's marker, up to "<br>".
inline QString AuditRank(const QString& body, const QString& engineMarker) {
    const int at = body.indexOf(engineMarker);
    if (at < 0)
        return {};
    const QString rest = body.mid(at);
    const int match = rest.indexOf("<MATCH>");
    if (match < 0)
        return {};
    const QString after = rest.mid(match + 7);
    return after.left(after.indexOf("<br>"));
}

// Enginepost and Backwatch share the frame: marker, 4 characters, then the
// not-opened test on the first 17 characters and the page URL as item 0.
struct Listing {
    bool MarkerOk = false;
    bool NotOpened = false;
    QString Body;
    QString Url;
    QStringList Items;
    QStringList Lines; // what the report lists
};

inline Listing ReadListing(const QString& raw, const QString& marker, int first, int step) {
    Listing l;
    const QString answer = StripControls(raw);
    if (!answer.startsWith(marker))
        return l;
    l.MarkerOk = true;
    l.Body = answer.mid(marker.length() + 4);
    if (l.Body.left(17) == "ERROR-INVALID-URL") {
        l.NotOpened = true;
        return l;
    }
    l.Url = l.Body.left(l.Body.indexOf("<br>"));
    l.Items = SplitItems(l.Body);
    for (int i = first;; i += step) {
        l.Lines << (i < l.Items.size() ? l.Items[i] : QString());
        if (!(i + step < l.Items.size() - 1))
            break;
    }
    return l;
}

inline Listing ReadEnginepost(const QString& raw) {
    return ReadListing(raw, "ENGINEPOST-v1.1", 2, 2);
}

inline Listing ReadBackwatch(const QString& raw) {
    Listing l = ReadListing(raw, "BACKWATCH-v1.1", 2, 6);
    for (QString& line : l.Lines)
        if (line == "END")
            line = "(none)";
    return l;
}

// The audit's test for "has link-backs": the 12 characters of the body that
// begin at its first "<br>" are not "<br>.<br>END".
inline bool AuditHasLinkBacks(const QString& body) {
    return body.mid(body.indexOf("<br>"), 12) != "<br>.<br>END";
}

} // namespace clientrules
