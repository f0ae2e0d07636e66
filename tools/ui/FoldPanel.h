#pragma once
// An input panel that folds under its toggle button. The caption begins
// "-  " while the panel is open and "+  " while it is folded; pressing the
// button switches and moves the focus to the panel's group box.
#include <QWidget>

class QGroupBox;
class QPushButton;

namespace vantora {

class FoldPanel : public QWidget {
    Q_OBJECT
  public:
    // title follows the "-  " or "+  " of the toggle's caption.
    FoldPanel(const QString& title, QWidget* parent = nullptr);

    QPushButton* Toggle() const { return Button; }
    // The group box the panel's controls go in.
    QGroupBox* Box() const { return Group; }
    bool IsOpen() const { return Open; }
    void SetOpen(bool open);

  signals:
    void Folded(bool open);

  private:
    QString Title;
    QPushButton* Button;
    QGroupBox* Group;
    bool Open = true;
};

} // namespace vantora
