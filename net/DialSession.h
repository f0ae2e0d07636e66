#pragma once
// The connection check and the dial-up state of the main window: the flags
// DialledByUs and DialCancelled, the reactions to the dial-up layer's
// events, the Tools menu's "Dial the internet..." and "Hang-up connection"
// enabled states and the hang-up question at exit.
#include "DialUp.h"

namespace vantora {

class Dialogs;
class LocalAddress;

// What the dial-up state needs from the main window.
class DialHost {
  public:
    virtual ~DialHost() = default;
    virtual void SetStatus(const QString& text) = 0;
    // The Tools menu items "Dial the internet..." and "Hang-up connection".
    virtual void SetDialItemsEnabled(bool dialItem, bool hangUpItem) = 0;
    // Shows the dial dialog modally and returns when it has closed.
    virtual void ShowDialDialog() = 0;
    virtual void SetWaitCursor(bool on) { (void)on; }
    virtual void ProcessPendingEvents();
};

class DialSession : public DialUpListener {
  public:
    DialSession(DialUp& layer, Dialogs& dialogs, DialHost& host);
    ~DialSession() override;

    bool DialledByUs = false;
    bool DialCancelled = false;
    // The enabled states of the two Tools items, as last given to the host.
    bool DialItemEnabled = true;
    bool HangUpItemEnabled = false;

    DialUp& Layer() { return LayerRef; }

    // True when the caller may go on line; may ask to dial and show the dial
    // dialog. False means stop without a further message.
    bool CheckConnect(LocalAddress& localAddress, bool dialOption);
    // "Connected." or "Not Connected." from the local address, for start-up.
    static QString ConnectionStateText(LocalAddress& localAddress);
    static bool IsOffline(const QString& address);

    // Tools "Dial the internet...".
    void DialMenuCommand();
    // Tools "Hang-up connection": asks, then hangs up on Yes.
    void HangUpMenuCommand();
    // Shut-down: offers to hang up a connection the program dialled.
    void OfferHangUpAtExit();

    // The dialog's "Dial" button after it has hidden itself.
    void DialFromDialog();
    // The dialog's "Close" button.
    void DialDialogClosed() { DialCancelled = true; }

    void OnConnected() override;
    void OnNotConnected(int code, const QString& text) override;
    void OnDialError(int code, const QString& text) override;

  private:
    void SetItems(bool dialItem, bool hangUpItem);

    DialUp& LayerRef;
    Dialogs& Boxes;
    DialHost& Host;
};

} // namespace vantora
