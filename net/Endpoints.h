#pragma once
// Request URLs of the analysis server, one builder per request kind. Each
// returns "http://" + serverAddress + the script's path and query, every
// query value percent-encoded.
#include <QString>
#include <QStringList>

namespace vantora {

// Request tags besides the tools' own (a tool's tag is its ToolKind number):
// the requests that stop automatic bulletins.
enum RequestKind {
    StopRankscoutBulletinsTag = 7,
    StopBackwatchBulletinsTag = 8,
};

// A query value percent-encoded as RFC 3986 has it: every character but the
// unreserved ones (letters, digits, "-", ".", "_", "~") as the %XX escapes
// of its UTF-8 bytes. The server decodes them all.
QString QueryValue(const QString& text);
// A page URL as a request parameter (QueryValue).
QString PageParameter(const QString& page);

// A value the user typed: trimmed of the characters up to and including the
// blank at both ends, each inner blank replaced by blankCode ("%20" or "+")
// and everything else encoded as QueryValue does.
QString EncodeTypedText(const QString& text, const QString& blankCode);

// The page a request was made for: its decoded "url" (or "Search_URL")
// parameter; empty when it has none.
QString RequestedPage(const QString& requestUrl);

// The queue entry for a request: the tag digit followed by the URL.
QString QueueEntry(int tag, const QString& url);

QString WordweighUrl(const QString& serverAddress, const QString& page, const QString& keyWords);
QString StuffwatchUrl(const QString& serverAddress, const QString& page);
// engines: the chosen engines' parameter names ("altavista"), each sent as
// "&name=1"; keyPhrase blanks become "+".
QString RankscoutUrl(const QString& serverAddress, const QString& page, const QString& keyPhrase,
                     const QStringList& engines, bool detail);
// engines: the chosen engines' parameter names, each sent as "&name=on";
// title, description and key words have their blanks as "%20".
QString EnginepostUrl(const QString& serverAddress, const QString& page, const QStringList& engines,
                      const QString& title, const QString& description, const QString& keyWords,
                      const QString& email);
QString BackwatchUrl(const QString& serverAddress, const QString& page);
// Where a batch of page addresses (one a line) is posted for IndexNow.
QString IndexNowBatchUrl(const QString& serverAddress);
// Tag 7: stop automatic Rankscout bulletins for the project on rootHost.
QString StopRankscoutBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost);
// Tag 8: stop automatic Backwatch bulletins for the project on rootHost.
QString StopBackwatchBulletinsUrl(const QString& serverAddress, const QString& userId,
                                  const QString& rootHost);

} // namespace vantora
