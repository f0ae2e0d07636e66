#pragma once
// "Dial the Internet": picks a phonebook entry, shows and stores its user
// name and password, and dials it through the dial-up state.
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantora {

class DialSession;
class Dialogs;

class Dialupthing : public QDialog {
    Q_OBJECT
  public:
    Dialupthing(DialSession& session, Dialogs& dialogs, QWidget* parent = nullptr);

    QComboBox* DialList;
    QLineEdit* UsernameEdit;
    QLineEdit* PasswordEdit;
    QPushButton* DialButton;
    QPushButton* CloseButton;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Populate();
    void EntryChosen(int index);
    void UpdateEnabled();
    void StoreUserName();
    void StorePassword();
    void DialClicked();
    void CloseClicked();

    DialSession& Session;
    Dialogs& Boxes;
    QLabel* UsernameLabel;
    QLabel* PasswordLabel;
    QString StoredUserName;
    QString StoredPassword;
    bool Filling = false;
};

} // namespace vantora
