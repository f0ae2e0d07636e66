#pragma once
// Names a control for screen readers. On Linux the accessibility bridge
// names a combo box after the item it shows; a screen reader then takes the
// control's name from the label that points at it, so a combo box without a
// visible label gets a hidden one.
#include <QComboBox>
#include <QLabel>

namespace vantora {

inline void SetScreenReaderName(QWidget* control, const QString& name) {
    control->setAccessibleName(name);
    if (auto* box = qobject_cast<QComboBox*>(control)) {
        auto* label = new QLabel(name, box->parentWidget());
        label->setBuddy(box);
        label->hide();
    }
}

} // namespace vantora
