#include "FoldPanel.h"

#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

FoldPanel::FoldPanel(const QString& title, QWidget* parent)
    : QWidget(parent), Title(title), Button(new QPushButton(this)), Group(new QGroupBox(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    Button->setStyleSheet(QStringLiteral("text-align: left; padding: 3px 6px;"));
    Button->setFocusPolicy(Qt::TabFocus);
    Group->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(Button);
    layout->addWidget(Group);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    connect(Button, &QPushButton::clicked, this, [this] {
        SetOpen(!Open);
        Group->setFocus();
    });
    SetOpen(true);
}

void FoldPanel::SetOpen(bool open) {
    Open = open;
    Button->setText((open ? QStringLiteral("-  ") : QStringLiteral("+  ")) + Title);
    Group->setVisible(open);
    emit Folded(open);
}

} // namespace vantora
