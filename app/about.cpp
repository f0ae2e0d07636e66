#include "about.h"

#include "splash.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Vantora"));
    auto* picture = new QLabel(this);
    picture->setPixmap(DrawSplashPicture());
    auto* text = new QLabel(QStringLiteral("The Vantora, version %1\nCopyright Korvane Ltd.")
                                .arg(QStringLiteral(VANTORA_VERSION)),
                            this);
    text->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(text);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vantora
