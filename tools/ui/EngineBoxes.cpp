#include "EngineBoxes.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vantora {

EngineBoxes::EngineBoxes(const QStringList& captions, const QString& idPrefix, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Scroller = new QScrollArea(this);
    Scroller->setObjectName(idPrefix + QStringLiteral("EngineScroller"));
    Scroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Scroller->setFrameShape(QFrame::NoFrame);
    auto* row = new QWidget(Scroller);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(2, 2, 2, 2);
    AllBox = new QCheckBox(QStringLiteral("All Search Engines"), row);
    AllBox->setObjectName(idPrefix + QStringLiteral("AllEngines"));
    rowLayout->addWidget(AllBox);
    for (const QString& caption : captions) {
        auto* box = new QCheckBox(caption, row);
        box->setObjectName(idPrefix +
                           QString(caption).remove(QLatin1Char(' ')).remove(QLatin1Char('-')));
        rowLayout->addWidget(box);
        EngineBoxList << box;
    }
    rowLayout->addStretch(1);
    Scroller->setWidget(row);
    Scroller->setWidgetResizable(true);
    Scroller->setFixedHeight(row->sizeHint().height() +
                             Scroller->horizontalScrollBar()->sizeHint().height());
    layout->addWidget(Scroller);
    Hint = new QLabel(QStringLiteral("Scroll to see more Search Engines"), this);
    Hint->setObjectName(idPrefix + QStringLiteral("ScrollHint"));
    layout->addWidget(Hint);
    Scroller->viewport()->installEventFilter(this);
    row->installEventFilter(this);
    connect(AllBox, &QCheckBox::toggled, this, [this] { ApplyAll(); });
    UpdateHint();
}

bool EngineBoxes::AnyChecked() const {
    if (AllBox->isChecked())
        return true;
    for (const QCheckBox* box : EngineBoxList)
        if (box->isChecked())
            return true;
    return false;
}

void EngineBoxes::CheckAll() {
    AllBox->setChecked(true);
    ApplyAll();
}

void EngineBoxes::ApplyAll() {
    for (QCheckBox* box : EngineBoxList)
        box->setEnabled(!AllBox->isChecked());
}

bool EngineBoxes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize)
        UpdateHint();
    return QWidget::eventFilter(watched, event);
}

void EngineBoxes::UpdateHint() {
    const int content = Scroller->widget()->minimumSizeHint().width();
    Hint->setVisible(Scroller->viewport()->width() < content);
}

} // namespace vantora
