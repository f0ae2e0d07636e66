#pragma once
// The tip-of-the-day window: not modal, stays on top, shown at start-up while
// the tip mode is above 0.
#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace vantora {

class TipOfTheDayWindow : public QDialog {
    Q_OBJECT
  public:
    // mode is the program's TipOfTheDayMode (0 none, 1 a random tip, 2 the
    // introductory tip next time); the window reads and sets it.
    explicit TipOfTheDayWindow(int& mode, QWidget* parent = nullptr);

    // Mode 2: the introductory tip, the check box checked and hidden, and the
    // mode becomes 1. Otherwise the check box checked and a random tip.
    void ShowTipOfTheDay();
    // Shows a random tip other than the one on show.
    void AnotherTip();
    // "Close" (and Escape): the mode becomes 1 when the box is checked, else 0.
    void reject() override;

    static QStringList Tips();
    static QString IntroTip();

    // Draws an index from 0 to count - 1 (tests replace it).
    std::function<int(int)> Draw;

    QLabel* TipText;
    QCheckBox* ShowNextTime;
    QPushButton* LaunchHelpButton;
    QPushButton* AnotherTipButton;
    QPushButton* CloseButton;

  signals:
    // "Launch Help": the main window opens the help contents.
    void HelpRequested();

  private:
    int& Mode;
};

} // namespace vantora
