#include "Endpoints.h"

#include "ToolKind.h"

namespace vantora {

namespace {

QString Base(const QString& serverAddress, const char* script) {
    return QStringLiteral("http://") + serverAddress + QLatin1String("/cgi-bin/zeph/") +
           QLatin1String(script);
}

QString ToolBase(const QString& serverAddress, ToolKind kind, const char* firstParameter) {
    return QStringLiteral("http://") + serverAddress + ScriptPath(kind) + QLatin1Char('?') +
           QLatin1String(firstParameter) + QLatin1Char('=');
}

QString EngineParameters(const QStringList& engines, const char* value) {
    QString result;
    for (const QString& engine : engines)
        result += QLatin1Char('&') + engine + QLatin1Char('=') + QLatin1String(value);
    return result;
}

} // namespace

QString PageParameter(const QString& page) {
    QString escaped;
    escaped.reserve(page.size() + 8);
    for (const QChar c : page) {
        switch (c.unicode()) {
        case '%':
            escaped += QLatin1String("%25");
            break;
        case '?':
            escaped += QLatin1String("%3F");
            break;
        case '&':
            escaped += QLatin1String("%26");
            break;
        case '#':
            escaped += QLatin1String("%23");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString EncodeBlanks(const QString& text, const QString& blankCode) {
    // Trim the characters up to and including the blank at both ends.
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= ' ')
        ++from;
    while (to > from && text.at(to - 1).unicode() <= ' ')
        --to;
    QString encoded;
    encoded.reserve(to - from + 8);
    for (qsizetype i = from; i < to; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(' '))
            encoded += blankCode;
        else if (c == QLatin1Char('#'))
            encoded += QLatin1String("%23"); // would end the request at a fragment
        else
            encoded += c;
    }
    return encoded;
}

QString QueueEntry(int tag, const QString& url) {
    return QString::number(tag % 10) + url;
}

QString WordweighUrl(const QString& serverAddress, const QString& page, const QString& keyWords) {
    return ToolBase(serverAddress, ToolKind::Wordweigh, "url") + PageParameter(page) +
           QLatin1String("&keywords=") + EncodeBlanks(keyWords, QStringLiteral("%20"));
}

QString StuffwatchUrl(const QString& serverAddress, const QString& page) {
    return ToolBase(serverAddress, ToolKind::Stuffwatch, "url") + PageParameter(page);
}

QString RankscoutUrl(const QString& serverAddress, const QString& page, const QString& keyPhrase,
                     const QStringList& engines, bool detail) {
    return ToolBase(serverAddress, ToolKind::Rankscout, "Search_URL") + PageParameter(page) +
           QLatin1String("&Search_Text=") + EncodeBlanks(keyPhrase, QStringLiteral("+")) +
           EngineParameters(engines, "1") +
           (detail ? QLatin1String("&Detail=1") : QLatin1String("&Detail=0"));
}

QString EnginepostUrl(const QString& serverAddress, const QString& page, const QStringList& engines,
                      const QString& title, const QString& description, const QString& keyWords,
                      const QString& email) {
    const QString blank = QStringLiteral("%20");
    return ToolBase(serverAddress, ToolKind::Enginepost, "url") + PageParameter(page) +
           EngineParameters(engines, "on") + QLatin1String("&title=") + EncodeBlanks(title, blank) +
           QLatin1String("&desc=") + EncodeBlanks(description, blank) +
           QLatin1String("&keywords=") + EncodeBlanks(keyWords, blank) + QLatin1String("&email=") +
           QString(email).replace(QLatin1Char('#'), QLatin1String("%23"));
}

QString BackwatchUrl(const QString& serverAddress, const QString& page) {
    return ToolBase(serverAddress, ToolKind::Backwatch, "url") + PageParameter(page);
}

QString StopRankscoutBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost) {
    return Base(serverAddress, "register/kpreguser.cgi?action=del&uid=") + userId +
           QLatin1String("&project=http://") + rootHost;
}

QString StopBackwatchBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost) {
    return Base(serverAddress, "register/unreguser.cgi?uid=") + userId +
           QLatin1String("&project=http://") + rootHost;
}

} // namespace vantora
