#pragma once
// Reads a site map as the program does (tags, PUSH/POP nesting) and resolves page
// captions with the program's full-URL rule, for the crawl tests.

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

struct MapNode {
    QString Tag;
    QString Caption;
    int Parent = -1;
    int Depth = 0;
};

struct ReadMap {
    QStringList Lines;
    QList<MapNode> Nodes;
    QString Problem; // empty when the map is well formed
};

inline ReadMap ReadSiteMap(const QString& path) {
    ReadMap map;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        map.Problem = "no map file";
        return map;
    }
    const QByteArray bytes = file.readAll();
    if (!bytes.endsWith("\r\n")) {
        map.Problem = "map does not end with CR LF";
        return map;
    }
    for (const QByteArray& line : bytes.left(bytes.size() - 1).split('\n')) {
        if (!line.endsWith('\r') || line.count('\r') != 1) {
            map.Problem = "a line is not ended by exactly one CR LF: " + QString::fromUtf8(line);
            return map;
        }
        map.Lines << QString::fromUtf8(line.left(line.size() - 1));
    }
    if (map.Lines.size() < 2 || !map.Lines.first().startsWith("<ROOT>") ||
        map.Lines.last() != "<END>") {
        map.Problem = "no <ROOT> first or no <END> last";
        return map;
    }
    if (map.Lines.join("\n").contains("Unspecified Host"))
        return map;
    QList<int> parents{-1};
    int last = -1;
    for (int i = 1; i < map.Lines.size() - 1; ++i) {
        const QString& line = map.Lines[i];
        const int open = line.indexOf('<'), close = line.indexOf('>');
        if (open != 0 || close < 0) {
            map.Problem = "line without a tag: " + line;
            return map;
        }
        const QString tag = line.mid(1, close - 1), value = line.mid(close + 1);
        if (tag == "PUSH") {
            if (last < 0 || parents.size() > 255) {
                map.Problem = "PUSH before a node or nested too deep";
                return map;
            }
            parents << last;
        } else if (tag == "POP") {
            if (parents.size() == 1) {
                map.Problem = "POP at the top level";
                return map;
            }
            parents.removeLast();
        } else if (QStringList{"PAGE", "LINK", "MAILTO", "BROKEN", "ERROR"}.contains(tag)) {
            if (value.isEmpty() || (tag != "ERROR" && value.contains(' '))) {
                map.Problem = "empty or blank caption: " + line;
                return map;
            }
            if (tag == "ERROR") {
                const QStringList parts = value.split(' ');
                bool number = false;
                if (parts.size() != 2 || (parts[1].toInt(&number), !number)) {
                    map.Problem = "ERROR line is not URL, blank, status: " + line;
                    return map;
                }
            }
            map.Nodes.append({tag, value, parents.last(), static_cast<int>(parents.size() - 1)});
            last = map.Nodes.size() - 1;
        } else {
            map.Problem = "unknown tag: " + line;
            return map;
        }
    }
    if (parents.size() != 1)
        map.Problem = "PUSH and POP do not balance";
    return map;
}

// The program's full-URL rule (node n asked for target t), written from its
// description, recursion and all.
inline QString SiteTreeGetFullURL(const QList<MapNode>& nodes, int n, int t) {
    const QString c = nodes[n].Caption;
    QString p = c;
    if (c.contains('/') && n != t)
        p = c.left(c.lastIndexOf('/') + 1);
    if (c.contains("http://") || nodes[n].Parent < 0)
        return p;
    const QString r = SiteTreeGetFullURL(nodes, nodes[n].Parent, t);
    return r.endsWith('/') ? r + p : r + "/" + p;
}
