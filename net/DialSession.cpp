#include "DialSession.h"

#include "Dialogs.h"
#include "Environment.h"

#include <QCoreApplication>

namespace vantora {

void DialHost::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

DialSession::DialSession(DialUp& layer, Dialogs& dialogs, DialHost& host)
    : LayerRef(layer), Boxes(dialogs), Host(host) {
    LayerRef.SetListener(this);
}

DialSession::~DialSession() {
    LayerRef.SetListener(nullptr);
}

bool DialSession::IsOffline(const QString& address) {
    return address == QLatin1String("127.0.0.1") || address == QLatin1String("0.0.0.0");
}

QString DialSession::ConnectionStateText(LocalAddress& localAddress) {
    return IsOffline(localAddress.LocalIPv4()) ? QStringLiteral("Not Connected.")
                                               : QStringLiteral("Connected.");
}

bool DialSession::CheckConnect(LocalAddress& localAddress, bool dialOption) {
    if (!IsOffline(localAddress.LocalIPv4()))
        return true;
    if (!dialOption)
        return true;
    if (Boxes.Message(MsgKind::Confirm,
                      QStringLiteral("You are not currently connected to the Internet,\rdo you "
                                     "want to dial the Internet now?"),
                      MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    DialCancelled = false;
    Host.ShowDialDialog();
    // The dial runs synchronously inside the dialog, so its events have
    // arrived by now. A dialog that closed without a dial (no phonebook
    // entries, closed from its title bar, unreadable entry) counts as a
    // cancelled dial rather than leaving the wait without an end.
    Host.ProcessPendingEvents();
    if (!DialledByUs && !DialCancelled)
        DialCancelled = true;
    if (DialCancelled) {
        Boxes.Message(MsgKind::Information,
                      QStringLiteral("Failed to connect to the Internet, operation aborted."),
                      MsgButtons::Ok);
        DialCancelled = false;
        return false;
    }
    return true;
}

void DialSession::DialMenuCommand() {
    Host.ShowDialDialog();
}

void DialSession::DialFromDialog() {
    Host.SetStatus(QStringLiteral("Dialing..."));
    Host.ProcessPendingEvents();
    Host.SetWaitCursor(true);
    Host.ProcessPendingEvents();
    try {
        LayerRef.Dial();
    } catch (...) {
        Host.SetWaitCursor(false);
        throw;
    }
    Host.SetWaitCursor(false);
    // After a failed dial "Dial the internet..." stays enabled so the user
    // can try again from the menu.
    if (DialledByUs)
        SetItems(false, HangUpItemEnabled);
}

void DialSession::HangUpMenuCommand() {
    if (Boxes.Message(MsgKind::Confirm, QStringLiteral("Hang-Up previously dialed connection?"),
                      MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    DialledByUs = false;
    SetItems(true, false);
    LayerRef.HangUp();
}

void DialSession::OfferHangUpAtExit() {
    if (!DialledByUs)
        return;
    if (Boxes.Message(MsgKind::Warning,
                      QStringLiteral("You are still Dialed-up to the Internet, do you want Hangup "
                                     "the connection before exiting?"),
                      MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    DialledByUs = false;
    SetItems(true, false);
    LayerRef.HangUp();
}

void DialSession::OnConnected() {
    SetItems(false, true);
    Host.SetStatus(QStringLiteral("Connected."));
    DialCancelled = false;
    Host.ProcessPendingEvents();
    DialledByUs = true;
}

void DialSession::OnNotConnected(int, const QString&) {
    Host.SetStatus(QStringLiteral("Not Connected."));
    SetItems(true, false);
    Host.ProcessPendingEvents();
    DialledByUs = false;
    DialCancelled = true;
}

void DialSession::OnDialError(int code, const QString& text) {
    Boxes.Message(MsgKind::Error,
                  QStringLiteral("A Dialup Networking error has occured,\r") +
                      QString::number(code) + QLatin1Char(':') + text,
                  MsgButtons::Ok);
    Host.SetStatus(QStringLiteral("Not Connected."));
}

void DialSession::SetItems(bool dialItem, bool hangUpItem) {
    DialItemEnabled = dialItem;
    HangUpItemEnabled = hangUpItem;
    Host.SetDialItemsEnabled(dialItem, hangUpItem);
}

} // namespace vantora
