#pragma once
// The about box: the picture, the version and the support and sales
// addresses, each opening a new mail when clicked.
#include <QDialog>

class QLabel;

namespace vantora {

class ShellLauncher;

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    AboutBox(ShellLauncher& shell, QWidget* parent = nullptr);
    static QString Version() { return QStringLiteral("1.1.0.2"); }

    QLabel* SupportLink;
    QLabel* SalesLink;
};

} // namespace vantora
