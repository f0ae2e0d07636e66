#include "Dialupthing.h"

#include <stdexcept>

#include "DialSession.h"
#include "Dialogs.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace vantora {

Dialupthing::Dialupthing(DialSession& session, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), Session(session), Boxes(dialogs) {
    setWindowTitle(QStringLiteral("Dial the Internet"));
    setObjectName(QStringLiteral("DialDialog"));

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    picture->setFrameShape(QFrame::StyledPanel);
    picture->setMinimumWidth(72);

    auto* group = new QGroupBox(QStringLiteral("Phonebook entries"), this);
    DialList = new QComboBox(group);
    DialList->setObjectName(QStringLiteral("DialList"));
    DialList->setEditable(false);
    DialList->setMinimumWidth(200);
    auto* separator = new QFrame(group);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    UsernameLabel = new QLabel(QStringLiteral("Username:"), group);
    UsernameEdit = new QLineEdit(group);
    UsernameEdit->setObjectName(QStringLiteral("UsernameEdit"));
    UsernameEdit->setMaxLength(255);
    PasswordLabel = new QLabel(QStringLiteral("Password:"), group);
    PasswordEdit = new QLineEdit(group);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setMaxLength(255);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    UsernameLabel->setBuddy(UsernameEdit);
    PasswordLabel->setBuddy(PasswordEdit);

    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Dial:"), group), 0, 0);
    grid->addWidget(DialList, 0, 1);
    grid->addWidget(separator, 1, 0, 1, 2);
    grid->addWidget(UsernameLabel, 2, 0);
    grid->addWidget(UsernameEdit, 2, 1);
    grid->addWidget(PasswordLabel, 3, 0);
    grid->addWidget(PasswordEdit, 3, 1);

    DialButton = new QPushButton(QStringLiteral("Dial"), this);
    DialButton->setObjectName(QStringLiteral("DialButton"));
    DialButton->setDefault(true);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(DialButton);
    buttons->addWidget(CloseButton);

    auto* right = new QVBoxLayout;
    right->addWidget(group);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    UsernameEdit->installEventFilter(this);
    PasswordEdit->installEventFilter(this);
    connect(DialList, &QComboBox::activated, this, &Dialupthing::EntryChosen);
    connect(DialButton, &QPushButton::clicked, this, &Dialupthing::DialClicked);
    connect(CloseButton, &QPushButton::clicked, this, &Dialupthing::CloseClicked);
}

void Dialupthing::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Populate();
    DialList->setFocus();
}

void Dialupthing::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CloseClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool Dialupthing::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !Filling) {
        if (watched == UsernameEdit)
            StoreUserName();
        else if (watched == PasswordEdit)
            StorePassword();
    }
    return QDialog::eventFilter(watched, event);
}

void Dialupthing::Populate() {
    DialUp& layer = Session.Layer();
    Filling = true;
    DialList->clear();
    UsernameEdit->clear();
    PasswordEdit->clear();
    StoredUserName.clear();
    StoredPassword.clear();
    bool failed = false;
    try {
        // The layer reports a failure as an error code or, when it breaks,
        // as an exception; both end the dialog with the same message.
        failed = layer.GetEntries() != 0;
        if (!failed)
            DialList->addItems(layer.Entries);
        if (DialList->count() > 0) {
            DialList->setCurrentIndex(0);
            layer.Entry = DialList->currentText();
            QString name;
            failed = layer.GetUserName(name) != 0;
            StoredUserName = name;
            StoredPassword = layer.GetPassword();
            UsernameEdit->setText(StoredUserName);
            PasswordEdit->setText(StoredPassword);
        }
    } catch (const std::exception&) {
        failed = true;
    }
    Filling = false;
    UpdateEnabled();
    DialButton->setEnabled(DialList->count() > 0 && !DialList->currentText().isEmpty());
    if (failed || DialList->count() == 0) {
        // Closes once the dialog is up, so a modal exec() returns at once.
        QTimer::singleShot(0, this, [this, failed] {
            if (failed)
                Boxes.Message(MsgKind::Error,
                              QStringLiteral("An error occurred while trying to get the Phonebook "
                                             "entries, operation aborted."),
                              MsgButtons::Ok);
            reject();
        });
    }
}

void Dialupthing::UpdateEnabled() {
    const bool any = DialList->count() > 0;
    UsernameLabel->setEnabled(any);
    PasswordLabel->setEnabled(any);
    UsernameEdit->setEnabled(any);
    PasswordEdit->setEnabled(any);
    DialButton->setEnabled(any);
}

void Dialupthing::EntryChosen(int) {
    DialUp& layer = Session.Layer();
    UpdateEnabled();
    Filling = true;
    try {
        layer.Entry = DialList->currentText();
        if (!layer.Entry.isEmpty()) {
            QString name;
            if (layer.GetUserName(name) != 0)
                throw std::runtime_error("entry unreadable");
            StoredUserName = name;
            StoredPassword = layer.GetPassword();
            DialButton->setEnabled(true);
        } else {
            StoredUserName.clear();
            StoredPassword.clear();
            DialButton->setEnabled(false);
        }
        UsernameEdit->setText(StoredUserName);
        PasswordEdit->setText(StoredPassword);
    } catch (const std::exception&) {
        Boxes.Message(MsgKind::Error,
                      QStringLiteral("An error occurred while trying to retrieve the Phonebook "
                                     "entry, operation aborted."),
                      MsgButtons::Ok);
    }
    Filling = false;
}

void Dialupthing::StoreUserName() {
    try {
        if (Session.Layer().SetUserName(UsernameEdit->text()) != 0)
            throw std::runtime_error("user name not stored");
        StoredUserName = UsernameEdit->text();
    } catch (const std::exception&) {
        Boxes.Message(MsgKind::Error,
                      QStringLiteral("An error occurred while trying to set the Username, "
                                     "operation aborted."),
                      MsgButtons::Ok);
    }
}

void Dialupthing::StorePassword() {
    try {
        if (Session.Layer().SetPassword(PasswordEdit->text()) != 0)
            throw std::runtime_error("password not stored");
        StoredPassword = PasswordEdit->text();
    } catch (const std::exception&) {
        Boxes.Message(MsgKind::Error,
                      QStringLiteral("An error occurred while trying to set the Password, "
                                     "operation aborted."),
                      MsgButtons::Ok);
    }
}

void Dialupthing::DialClicked() {
    if (!DialButton->isEnabled())
        return;
    // Dial pressed with Enter from a box: what was typed there is stored as
    // if the box had been left.
    if (UsernameEdit->text() != StoredUserName)
        StoreUserName();
    if (PasswordEdit->text() != StoredPassword)
        StorePassword();
    Filling = true; // hiding moves the focus out of the boxes
    hide();
    Filling = false;
    try {
        Session.DialFromDialog();
    } catch (const std::exception&) {
        Session.OnNotConnected(-1, QString());
    }
    accept();
}

void Dialupthing::CloseClicked() {
    Session.DialDialogClosed();
    reject();
}

} // namespace vantora
