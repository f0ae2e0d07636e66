#pragma once
// The tip-of-the-day window: not modal, stays on top.
#include <QDialog>

class QCheckBox;
class QLabel;

namespace vantora {

class TipOfTheDayWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TipOfTheDayWindow(QWidget* parent = nullptr);
    // Shows the introductory tip for mode 2, a random one for mode 1, and
    // returns the mode the window leaves (2 turns into 1 once shown).
    void ShowTip(int mode);
    int Mode() const;
    static QStringList Tips();
    static QString IntroTip();

    QLabel* TipText;
    QCheckBox* ShowAtStartup;

  private:
    int CurrentMode = 0;
};

} // namespace vantora
