#include "Endpoints.h"

namespace vantora {

namespace {

QString Base(const QString& serverAddress, const char* script) {
    return QStringLiteral("http://") + serverAddress + QLatin1String("/cgi-bin/zeph/") +
           QLatin1String(script);
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
    QString trimmed = text.trimmed();
    return trimmed.replace(QLatin1Char(' '), blankCode);
}

QString QueueEntry(int tag, const QString& url) {
    return QString::number(tag % 10) + url;
}

QString WordweighUrl(const QString& serverAddress, const QString& page, const QString& keyWords) {
    return Base(serverAddress, "text_output/wordweigh-pt.cgi?url=") + PageParameter(page) +
           QLatin1String("&keywords=") + EncodeBlanks(keyWords, QStringLiteral("%20"));
}

QString StuffwatchUrl(const QString& serverAddress, const QString& page) {
    return Base(serverAddress, "text_output/spam-pt.cgi?url=") + PageParameter(page);
}

QString RankscoutUrl(const QString& serverAddress, const QString& page, const QString& keyPhrase,
                     const QStringList& engines, bool detail) {
    return Base(serverAddress, "text_output/rankscout-pt.cgi?Search_URL=") + PageParameter(page) +
           QLatin1String("&Search_Text=") + EncodeBlanks(keyPhrase, QStringLiteral("+")) +
           EngineParameters(engines, "1") +
           (detail ? QLatin1String("&Detail=1") : QLatin1String("&Detail=0"));
}

QString EnginepostUrl(const QString& serverAddress, const QString& page, const QStringList& engines,
                      const QString& title, const QString& description, const QString& keyWords,
                      const QString& email) {
    const QString blank = QStringLiteral("%20");
    return Base(serverAddress, "text_output/submit-pt.cgi?url=") + PageParameter(page) +
           EngineParameters(engines, "on") + QLatin1String("&title=") + EncodeBlanks(title, blank) +
           QLatin1String("&desc=") + EncodeBlanks(description, blank) +
           QLatin1String("&keywords=") + EncodeBlanks(keyWords, blank) + QLatin1String("&email=") +
           email;
}

QString BackwatchUrl(const QString& serverAddress, const QString& page) {
    return Base(serverAddress, "text_output/backwatch-pt.cgi?url=") + PageParameter(page);
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
