#pragma once
// The secret the program and the analysis server it starts share, so that
// the server answers the program and no web page the user happens to visit:
// kept in a file under the user's configuration folder that only the user
// can read, made on first use.
#include <QByteArray>
#include <QString>

namespace vantora {

// <configuration folder>/vantora/server-key
QString DefaultServerKeyFile();

// The key kept in file; a file that is missing or holds no key gets a new
// one (32 random bytes written as hex). The file is readable by its owner
// only. Empty when the file cannot be read or made.
QByteArray LoadServerKey(const QString& file);

} // namespace vantora
