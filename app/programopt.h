#pragma once
// The Program Options dialog: edits the five program options, the tip mode,
// the site-health checks and the shared analysis server's token, and stores
// them in the settings store on "Ok".
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantora {

namespace health {
class HealthOptionsPage;
}
class Dialogs;
class SettingsStore;
struct ProgramOptions;

class ProgramOptionsDialog : public QDialog {
    Q_OBJECT
  public:
    ProgramOptionsDialog(SettingsStore* settings, Dialogs* dialogs, ProgramOptions* options,
                         QWidget* parent = nullptr);

    // Fills the controls from the current options, then shows the dialog modally.
    int ShowModal();
    // Fills the controls from the current options.
    void FillFromOptions();

    QCheckBox* DialBox;
    QCheckBox* ReportGenBox;
    QCheckBox* CheckMsgBox;
    QComboBox* MinutesField;
    QLabel* MinutesLabel;
    QCheckBox* ClearBox;
    QCheckBox* LeaveBox;
    QCheckBox* TipBox;
    QPushButton* OkButton;
    QPushButton* CancelButton;
    // The site-health checks' thresholds and switches, a page of their own.
    health::HealthOptionsPage* HealthOptions;
    // "Server token": the token of a shared analysis server, on a page of
    // its own; shown as dots.
    QLineEdit* ServerTokenField;

  signals:
    // After "Ok" changed the stored token (empty: none); the program sends
    // the new one from the next request on.
    void ServerTokenChanged(const QString& token);

  public slots:
    void OkClicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    SettingsStore* Settings;
    Dialogs* Messages;
    ProgramOptions* Options;
};

} // namespace vantora
