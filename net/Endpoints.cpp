#include "Endpoints.h"

#include "ToolKind.h"

#include <QUrl>

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

QString QueryValue(const QString& text) {
    // Everything but the unreserved characters, as UTF-8 bytes.
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString PageParameter(const QString& page) {
    return QueryValue(page);
}

QString EncodeTypedText(const QString& text, const QString& blankCode) {
    // Trim the characters up to and including the blank at both ends.
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= ' ')
        ++from;
    while (to > from && text.at(to - 1).unicode() <= ' ')
        --to;
    const QStringList words = text.mid(from, to - from).split(QLatin1Char(' '));
    QStringList encoded;
    encoded.reserve(words.size());
    for (const QString& word : words)
        encoded << QueryValue(word);
    return encoded.join(blankCode);
}

QString RequestedPage(const QString& requestUrl) {
    const qsizetype query = requestUrl.indexOf(QLatin1Char('?'));
    if (query < 0)
        return QString();
    for (const QString& parameter :
         QStringView(requestUrl).mid(query + 1).toString().split(QLatin1Char('&'))) {
        for (const QLatin1String name : {QLatin1String("url="), QLatin1String("Search_URL=")})
            if (parameter.startsWith(name))
                return QUrl::fromPercentEncoding(parameter.mid(name.size()).toLatin1());
    }
    return QString();
}

QString QueueEntry(int tag, const QString& url) {
    return QString::number(tag % 10) + url;
}

QString WordweighUrl(const QString& serverAddress, const QString& page, const QString& keyWords) {
    return ToolBase(serverAddress, ToolKind::Wordweigh, "url") + PageParameter(page) +
           QLatin1String("&keywords=") + EncodeTypedText(keyWords, QStringLiteral("%20"));
}

QString IndexNowBatchUrl(const QString& serverAddress) {
    return QStringLiteral("http://") + serverAddress +
           QStringLiteral("/cgi-bin/zeph/indexnow-pt.cgi");
}

QString StuffwatchUrl(const QString& serverAddress, const QString& page) {
    return ToolBase(serverAddress, ToolKind::Stuffwatch, "url") + PageParameter(page);
}

QString RankscoutUrl(const QString& serverAddress, const QString& page, const QString& keyPhrase,
                     const QStringList& engines, bool detail) {
    return ToolBase(serverAddress, ToolKind::Rankscout, "Search_URL") + PageParameter(page) +
           QLatin1String("&Search_Text=") + EncodeTypedText(keyPhrase, QStringLiteral("+")) +
           EngineParameters(engines, "1") +
           (detail ? QLatin1String("&Detail=1") : QLatin1String("&Detail=0"));
}

QString EnginepostUrl(const QString& serverAddress, const QString& page, const QStringList& engines,
                      const QString& title, const QString& description, const QString& keyWords,
                      const QString& email) {
    const QString blank = QStringLiteral("%20");
    return ToolBase(serverAddress, ToolKind::Enginepost, "url") + PageParameter(page) +
           EngineParameters(engines, "on") + QLatin1String("&title=") +
           EncodeTypedText(title, blank) + QLatin1String("&desc=") +
           EncodeTypedText(description, blank) + QLatin1String("&keywords=") +
           EncodeTypedText(keyWords, blank) + QLatin1String("&email=") + QueryValue(email);
}

QString BackwatchUrl(const QString& serverAddress, const QString& page) {
    return ToolBase(serverAddress, ToolKind::Backwatch, "url") + PageParameter(page);
}

QString StopRankscoutBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost) {
    return Base(serverAddress, "register/kpreguser.cgi?action=del&uid=") + QueryValue(userId) +
           QLatin1String("&project=") + QueryValue(QStringLiteral("http://") + rootHost);
}

QString StopBackwatchBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost) {
    return Base(serverAddress, "register/unreguser.cgi?uid=") + QueryValue(userId) +
           QLatin1String("&project=") + QueryValue(QStringLiteral("http://") + rootHost);
}

} // namespace vantora
