#pragma once
// The real implementations of the platform edge on a Linux desktop.
#include "Dialogs.h"
#include "Environment.h"
#include "Settings.h"

#include <QHostAddress>
#include <QList>

#include <memory>

class QSettings;
class QWidget;

namespace vantora {

// Message boxes and file dialogs through QMessageBox and QFileDialog.
class WidgetDialogs : public Dialogs {
  public:
    void SetParent(QWidget* parent) { Parent = parent; }
    MsgAnswer Message(MsgKind kind, const QString& text, MsgButtons buttons) override;
    QString OpenFileName(const FileDialogOptions& options) override;
    QString SaveFileName(const FileDialogOptions& options) override;
    void GeneralError(const QString& text) override;

  private:
    QWidget* Parent = nullptr;
};

// The per-user settings through QSettings under "Korvane Ltd."/"ZEPH".
class QtSettingsStore : public SettingsStore {
  public:
    QtSettingsStore();
    ~QtSettingsStore() override;
    bool OpenKey(bool create) override;
    bool Contains(const QString& name) const override;
    QVariant Value(const QString& name) const override;
    bool SetValue(const QString& name, const QVariant& value) override;
    void CloseKey() override;

  private:
    std::unique_ptr<QSettings> Store;
};

class SystemClock : public Clock {
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

// One network interface as the connection check sees it.
struct InterfaceAddresses {
    bool Up = false;
    bool Running = false;
    bool Loopback = false;
    QList<QHostAddress> Addresses;
};

// The machine's primary address among up, running, non-loopback interfaces:
// the first IPv4 address, else the first IPv6 address that is not
// link-local, else "0.0.0.0".
QString PrimaryLocalAddress(const QList<InterfaceAddresses>& interfaces);

// PrimaryLocalAddress over the machine's interfaces.
class NetworkLocalAddress : public LocalAddress {
  public:
    QString LocalIPv4() override;
};

// Registers "*.zpr" with the desktop: a shared-mime-info package and a
// desktop entry under the user's XDG data folder, then refreshes the caches
// when the tools for it exist. Every failure is silent.
class XdgFileTypeRegistrar : public FileTypeRegistrar {
  public:
    explicit XdgFileTypeRegistrar(QString dataHome = QString()) : DataHome(std::move(dataHome)) {}
    void Register(const QString& programPath) override;

  private:
    QString DataHome;
};

// Names the application "Vantora" (the general error box's caption and the
// settings' organisation). No display name is set: the desktop would append
// it to every window caption.
void SetApplicationIdentity();

// The text a file filter of the form "Description (*.ext)|*.ext" shows in a
// Qt file dialog.
QString QtFileFilter(const QString& filter);
// The extension of a shown filter with one pattern ("PDF documents (*.pdf)"
// gives "pdf"); empty when it has none or several.
QString FilterSuffix(const QString& shownFilter);

} // namespace vantora
