#pragma once
// The dial-up layer over NetworkManager's connection profiles, driven through
// the nmcli command. Without nmcli (or NetworkManager) the phonebook is empty.
// User name and password live in the profile's own settings where its type
// has them (mobile broadband, PPPoE, 802.1X); for other types they read empty
// and writing them does nothing. A password is handed to nmcli on its
// standard input, never on its command line, where every local user could
// read it.
#include "DialUp.h"

namespace vantora {

class NmcliDialUp : public DialUp {
  public:
    // Program to run; tests may point it at a stand-in.
    QString Program = QStringLiteral("nmcli");
    int DialTimeoutSeconds = 90;

    int GetEntries() override;
    int GetUserName(QString& name) override;
    QString GetPassword() override;
    int SetUserName(const QString& name) override;
    int SetPassword(const QString& password) override;
    void Dial() override;
    void HangUp() override;

    // Splits one line of nmcli's terse output into fields ("\:" is a colon).
    static QStringList SplitTerse(const QString& line);
    // The setting names of user name and password for a profile type, empty
    // when the type carries none.
    static QStringList CredentialFields(const QString& type);

  private:
    struct Result {
        int ExitCode = -1; // -1: could not run
        QString Out;
        QString Err;
    };
    // Runs nmcli; input, when given, is written to its standard input.
    Result Run(const QStringList& arguments, int timeoutMs = 15000,
               const QByteArray& input = QByteArray()) const;
    QString TypeOf(const QString& entry) const;
    QString ReadField(const QString& field, int* code) const;

    QString Dialled; // the profile this layer brought up, empty when none
};

} // namespace vantora
