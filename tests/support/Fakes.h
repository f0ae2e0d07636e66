#pragma once
// Test doubles for the platform edge. Each records what it was asked and
// answers from a script, so a whole main window can be driven in a test.
#include "Dialogs.h"
#include "Environment.h"
#include "Settings.h"

#include <QMap>
#include <QQueue>
#include <QStringList>

namespace vantora::test {

struct AskedMessage {
    MsgKind Kind;
    QString Text;
    MsgButtons Buttons;
};

class FakeDialogs : public Dialogs {
  public:
    // Answers given to the next message boxes, in order. With none queued a
    // box gets its default answer (Ok or Yes).
    QQueue<MsgAnswer> Answers;
    // File names returned by the next file dialogs; an empty one is Cancel.
    QQueue<QString> FileNames;
    QList<AskedMessage> Asked;
    QList<FileDialogOptions> FileDialogsShown;
    QStringList GeneralErrors;

    MsgAnswer Message(MsgKind kind, const QString& text, MsgButtons buttons) override;
    QString OpenFileName(const FileDialogOptions& options) override;
    QString SaveFileName(const FileDialogOptions& options) override;
    void GeneralError(const QString& text) override;

    QStringList Texts() const;
    void Clear();
};

class MemorySettings : public SettingsStore {
  public:
    QMap<QString, QVariant> Values;
    bool Openable = true;
    int Writes = 0;

    bool OpenKey(bool create) override;
    bool Contains(const QString& name) const override { return Values.contains(name); }
    QVariant Value(const QString& name) const override { return Values.value(name); }
    bool SetValue(const QString& name, const QVariant& value) override;
    void CloseKey() override {}
};

class FixedClock : public Clock {
  public:
    QDateTime Time = QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5));
    QDateTime Now() const override { return Time; }
};

class FakeLocalAddress : public LocalAddress {
  public:
    QString Address = QStringLiteral("192.168.1.20");
    QString LocalIPv4() override { return Address; }
};

class FakeRegistrar : public FileTypeRegistrar {
  public:
    QStringList Registered;
    void Register(const QString& programPath) override { Registered << programPath; }
};

class FakeShell : public ShellLauncher {
  public:
    QMap<QString, QString> Templates;
    QStringList Started;
    bool Fail = false;
    QString CommandTemplate(const QString& scheme) override { return Templates.value(scheme); }
    bool StartDetached(const QString& commandLine) override {
        if (Fail)
            return false;
        Started << commandLine;
        return true;
    }
};

} // namespace vantora::test
