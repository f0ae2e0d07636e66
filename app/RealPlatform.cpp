#include "RealPlatform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace vantora {

namespace {

QMessageBox::Icon IconOf(MsgKind kind, MsgButtons buttons) {
    if (buttons != MsgButtons::Ok && (kind == MsgKind::Confirm))
        return QMessageBox::Question;
    switch (kind) {
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Information:
        return QMessageBox::Information;
    case MsgKind::Confirm:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MsgAnswer WidgetDialogs::Message(MsgKind kind, const QString& text, MsgButtons buttons) {
    QMessageBox box(IconOf(kind, buttons), MsgCaption(kind), QString(text).replace('\r', '\n'),
                    QMessageBox::NoButton, Parent);
    QAbstractButton* ok = nullptr;
    QAbstractButton* yes = nullptr;
    QAbstractButton* no = nullptr;
    QAbstractButton* cancel = nullptr;
    switch (buttons) {
    case MsgButtons::Ok:
        ok = box.addButton(QMessageBox::Ok);
        box.setDefaultButton(static_cast<QPushButton*>(ok));
        box.setEscapeButton(ok);
        break;
    case MsgButtons::YesNo:
        yes = box.addButton(QMessageBox::Yes);
        no = box.addButton(QMessageBox::No);
        box.setDefaultButton(static_cast<QPushButton*>(yes));
        box.setEscapeButton(no);
        break;
    case MsgButtons::YesNoCancel:
        yes = box.addButton(QMessageBox::Yes);
        no = box.addButton(QMessageBox::No);
        cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(static_cast<QPushButton*>(yes));
        box.setEscapeButton(cancel);
        break;
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return EscapeAnswer(buttons);
    if (clicked == yes)
        return MsgAnswer::Yes;
    if (clicked == no)
        return MsgAnswer::No;
    if (clicked == cancel)
        return MsgAnswer::Cancel;
    return MsgAnswer::Ok;
}

QString QtFileFilter(const QString& filter) {
    // "A (*.x)|*.x|B (*.y)|*.y" -> "A (*.x);;B (*.y)"
    const QStringList parts = filter.split('|');
    QStringList shown;
    for (int i = 0; i < parts.size(); i += 2)
        shown << parts[i];
    return shown.join(QStringLiteral(";;"));
}

QString WidgetDialogs::OpenFileName(const FileDialogOptions& options) {
    QFileDialog dialog(Parent, options.Title);
    dialog.setNameFilter(QtFileFilter(options.Filter));
    dialog.setDefaultSuffix(options.DefaultExt);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

QString FilterSuffix(const QString& shownFilter) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("\\(\\*\\.(\\w+)\\)")).match(shownFilter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString WidgetDialogs::SaveFileName(const FileDialogOptions& options) {
    QFileDialog dialog(Parent, options.Title);
    dialog.setNameFilter(QtFileFilter(options.Filter));
    dialog.setDefaultSuffix(options.DefaultExt);
    // A name typed without an extension takes the one of the chosen file type.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &options](const QString& shown) {
                         const QString suffix = FilterSuffix(shown);
                         dialog.setDefaultSuffix(suffix.isEmpty() ? options.DefaultExt : suffix);
                     });
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.ConfirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void WidgetDialogs::GeneralError(const QString& text) {
    QMessageBox box(QMessageBox::Critical,
                    QApplication::applicationName().isEmpty() ? QStringLiteral("Vantora")
                                                              : QApplication::applicationName(),
                    text, QMessageBox::Ok, Parent);
    box.exec();
}

void SetApplicationIdentity() {
    QCoreApplication::setApplicationName(QStringLiteral("Vantora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane Ltd."));
}

QtSettingsStore::QtSettingsStore() = default;
QtSettingsStore::~QtSettingsStore() = default;

bool QtSettingsStore::OpenKey(bool create) {
    if (!Store)
        Store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Korvane Ltd."), QStringLiteral("ZEPH"));
    else
        Store->sync();
    if (Store->status() != QSettings::NoError)
        return false;
    if (!create && !QFileInfo::exists(Store->fileName()))
        return !Store->allKeys().isEmpty();
    return true;
}

bool QtSettingsStore::Contains(const QString& name) const {
    return Store && Store->contains(name);
}

QVariant QtSettingsStore::Value(const QString& name) const {
    return Store ? Store->value(name) : QVariant();
}

bool QtSettingsStore::SetValue(const QString& name, const QVariant& value) {
    if (!Store || !Store->isWritable())
        return false;
    Store->setValue(name, value);
    return true;
}

void QtSettingsStore::CloseKey() {
    if (Store)
        Store->sync();
}

QString PrimaryLocalAddress(const QList<InterfaceAddresses>& interfaces) {
    // An IPv4 address is preferred, as before; a machine with only IPv6 is
    // on line through a global or unique-local IPv6 address. Link-local
    // addresses exist on every interface and say nothing about a network.
    QString firstIPv6;
    for (const InterfaceAddresses& iface : interfaces) {
        if (!iface.Up || !iface.Running || iface.Loopback)
            continue;
        for (const QHostAddress& ip : iface.Addresses) {
            if (ip.isLoopback() || ip.isNull())
                continue;
            if (ip.protocol() == QAbstractSocket::IPv4Protocol)
                return ip.toString();
            if (ip.protocol() == QAbstractSocket::IPv6Protocol && firstIPv6.isEmpty() &&
                !ip.isLinkLocal() && !ip.isMulticast() && ip != QHostAddress::AnyIPv6)
                firstIPv6 = ip.toString();
        }
    }
    return firstIPv6.isEmpty() ? QStringLiteral("0.0.0.0") : firstIPv6;
}

QString NetworkLocalAddress::LocalIPv4() {
    QList<InterfaceAddresses> found;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        InterfaceAddresses entry;
        entry.Up = flags.testFlag(QNetworkInterface::IsUp);
        entry.Running = flags.testFlag(QNetworkInterface::IsRunning);
        entry.Loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry& address : iface.addressEntries())
            entry.Addresses << address.ip();
        found << entry;
    }
    return PrimaryLocalAddress(found);
}

namespace {

bool WriteWhole(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return false; // already registered: nothing to refresh
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

// Runs a desktop cache tool, waiting a bounded time and discarding its output.
void RunQuietly(const QString& tool, const QString& folder) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(tool, {folder});
    if (process.waitForStarted(2000) && !process.waitForFinished(10000))
        process.kill();
}

QString DesktopQuoted(QString path) {
    // Desktop entry Exec arguments: quote and escape the reserved characters.
    path.replace('\\', QStringLiteral("\\\\"))
        .replace('"', QStringLiteral("\\\""))
        .replace('`', QStringLiteral("\\`"))
        .replace('$', QStringLiteral("\\$"));
    return '"' + path + '"';
}

} // namespace

void XdgFileTypeRegistrar::Register(const QString& programPath) {
    QString dataHome = DataHome;
    if (dataHome.isEmpty())
        dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return;

    const QByteArray mime =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-zeph-project\">\n"
        "    <comment>ZEPH Project</comment>\n"
        "    <glob pattern=\"*.zpr\" case-sensitive=\"false\"/>\n"
        "    <magic priority=\"60\"><match type=\"string\" value=\"ZEPHProject\\r\" "
        "offset=\"0\"/></magic>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    const QString mimeDir = dataHome + QStringLiteral("/mime");
    if (WriteWhole(mimeDir + QStringLiteral("/packages/ZEPH_Project.xml"), mime)) {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
        if (!tool.isEmpty())
            RunQuietly(tool, mimeDir);
    }

    const QByteArray desktop = QByteArray("[Desktop Entry]\n"
                                          "Type=Application\n"
                                          "Name=Vantora\n"
                                          "Comment=Web site search-engine toolkit\n"
                                          "Exec=") +
                               DesktopQuoted(programPath).toUtf8() +
                               " %f\n"
                               "MimeType=application/x-zeph-project;\n"
                               "Terminal=false\n"
                               "Categories=Network;WebDevelopment;\n";
    const QString appDir = dataHome + QStringLiteral("/applications");
    if (WriteWhole(appDir + QStringLiteral("/vantora.desktop"), desktop)) {
        const QString tool =
            QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
        if (!tool.isEmpty())
            RunQuietly(tool, appDir);
    }
}

} // namespace vantora
