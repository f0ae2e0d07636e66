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

} // namespace clientrules
