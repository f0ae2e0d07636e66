#include "NmcliDialUp.h"

#include <QProcess>

namespace vantora {

QStringList NmcliDialUp::SplitTerse(const QString& line) {
    QStringList fields;
    QString current;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            current.append(line.at(++i));
        } else if (c == QLatin1Char(':')) {
            fields.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    fields.append(current);
    return fields;
}

QStringList NmcliDialUp::CredentialFields(const QString& type) {
    if (type == QLatin1String("gsm") || type == QLatin1String("cdma") ||
        type == QLatin1String("pppoe"))
        return {type + QLatin1String(".username"), type + QLatin1String(".password")};
    return {};
}

NmcliDialUp::Result NmcliDialUp::Run(const QStringList& arguments, int timeoutMs,
                                     const QByteArray& input) const {
    Result result;
    QProcess process;
    process.setProgram(Program);
    process.setArguments(arguments);
    if (input.isNull())
        process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(5000))
        return result;
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        result.ExitCode = -2;
        result.Err = QStringLiteral("nmcli did not answer in time");
        return result;
    }
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return result;
}

int NmcliDialUp::GetEntries() {
    Entries.clear();
    const Result r = Run({QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("NAME,TYPE"),
                          QStringLiteral("connection"), QStringLiteral("show")});
    if (r.ExitCode == -1)
        return 0; // no NetworkManager: an empty phonebook
    if (r.ExitCode != 0)
        return r.ExitCode;
    const QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList fields = SplitTerse(line);
        if (fields.value(0).isEmpty() || fields.value(1) == QLatin1String("loopback"))
            continue;
        Entries.append(fields.value(0));
    }
    return 0;
}

QString NmcliDialUp::ReadField(const QString& field, int* code) const {
    const Result r =
        Run({QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("-g"), field,
             QStringLiteral("connection"), QStringLiteral("show"), QStringLiteral("id"), Entry});
    *code = r.ExitCode == 0 ? 0 : (r.ExitCode < 0 ? 1 : r.ExitCode);
    if (*code != 0)
        return QString();
    QString out = r.Out;
    if (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    return SplitTerse(out).join(QLatin1Char(':'));
}

QString NmcliDialUp::TypeOf(const QString& entry) const {
    if (entry.isEmpty())
        return QString();
    int code = 0;
    return ReadField(QStringLiteral("connection.type"), &code);
}

int NmcliDialUp::GetUserName(QString& name) {
    const QStringList fields = CredentialFields(TypeOf(Entry));
    if (fields.isEmpty()) {
        name.clear();
        return 0;
    }
    int code = 0;
    const QString value = ReadField(fields.at(0), &code);
    if (code == 0)
        name = value;
    return code;
}

QString NmcliDialUp::GetPassword() {
    const QStringList fields = CredentialFields(TypeOf(Entry));
    if (fields.isEmpty())
        return QString();
    int code = 0;
    return ReadField(fields.at(1), &code);
}

int NmcliDialUp::SetUserName(const QString& name) {
    const QStringList fields = CredentialFields(TypeOf(Entry));
    if (fields.isEmpty())
        return 0;
    const Result r = Run({QStringLiteral("connection"), QStringLiteral("modify"),
                          QStringLiteral("id"), Entry, fields.at(0), name});
    return r.ExitCode < 0 ? 1 : r.ExitCode;
}

int NmcliDialUp::SetPassword(const QString& password) {
    const QStringList fields = CredentialFields(TypeOf(Entry));
    if (fields.isEmpty())
        return 0;
    // One editor command per line: a password holding a line break cannot be
    // told apart from the next command.
    if (password.contains(QLatin1Char('\n')) || password.contains(QLatin1Char('\r')))
        return 1;
    // nmcli's connection editor reads its commands from standard input.
    const QByteArray commands =
        "set " + fields.at(1).toUtf8() + ' ' + password.toUtf8() + "\nsave persistent\nquit\n";
    const Result r =
        Run({QStringLiteral("connection"), QStringLiteral("edit"), QStringLiteral("id"), Entry},
            15000, commands);
    return r.ExitCode < 0 ? 1 : r.ExitCode;
}

void NmcliDialUp::Dial() {
    HangUp();
    int code = 0;
    ReadField(QStringLiteral("connection.id"), &code);
    if (Entry.isEmpty() || code != 0) {
        if (Listener)
            Listener->OnDialError(code ? code : 1, QStringLiteral("GetEntryDialParams failed"));
        return;
    }
    const Result r =
        Run({QStringLiteral("--wait"), QString::number(DialTimeoutSeconds),
             QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("id"), Entry},
            (DialTimeoutSeconds + 15) * 1000);
    if (r.ExitCode == 0) {
        Dialled = Entry;
        if (Listener)
            Listener->OnConnected();
        return;
    }
    Dialled.clear();
    if (Listener)
        Listener->OnNotConnected(r.ExitCode < 0 ? 1 : r.ExitCode, r.Err.left(100));
}

void NmcliDialUp::HangUp() {
    if (Dialled.isEmpty())
        return;
    Run({QStringLiteral("connection"), QStringLiteral("down"), QStringLiteral("id"), Dialled});
    Dialled.clear();
}

} // namespace vantora
