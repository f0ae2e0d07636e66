#pragma once
// "Webcharter - Information": the window shown while a site map is made,
// not modal and on top, with its "Show this message again this session." box.
#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace vantora {

class MapperInfoDialog : public QDialog {
    Q_OBJECT
  public:
    explicit MapperInfoDialog(QWidget* parent = nullptr);

    // Shows the window (not modal), the check box checked, centred on the screen.
    void ShowInfo();
    bool ShowAgain() const;
    // The mapper's progress, under the text; emptied when the window opens.
    void ShowProgress(const QString& text);

  signals:
    // "Launch Help": the main window opens the help contents.
    void HelpRequested();
    // "Ok" (or Escape): the check box's state, for ShowMapperInfo.
    void ShowAgainChosen(bool showAgain);

  protected:
    void reject() override;

  private:
    void Confirm();

    QCheckBox* ShowAgainBox;
    QLabel* Progress;
    QPushButton* OkButton;
};

} // namespace vantora
