#pragma once
// The about box.
#include <QDialog>

namespace vantora {

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

} // namespace vantora
