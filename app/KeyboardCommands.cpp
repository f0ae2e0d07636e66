// Keys for the commands that only the tool bar offers: the report editor's
// text formats, alignments and font boxes, and Stop. Each key is a window
// action of its own beside the tool bar button, so the button keeps its
// caption and hint, and the key does exactly what a click on the button
// does (nothing while the button is disabled).
#include "Main.h"

#include <QComboBox>

namespace vantora {

const std::vector<KeyboardCommand>& KeyboardCommands() {
    static const std::vector<KeyboardCommand> commands = {
        {"tbBold", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"tbItalic", QKeySequence(Qt::CTRL | Qt::Key_I)},
        {"tbUnderline", QKeySequence(Qt::CTRL | Qt::Key_U)},
        {"tbLeftJustify", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {"tbCenter", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"tbRightJustify", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {"tbBullets", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)},
        {"tbStop", QKeySequence(Qt::Key_Escape)},
        {"FontName", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
        {"FontSize", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)},
    };
    return commands;
}

void MainWindow::BuildKeyboardCommands() {
    for (const KeyboardCommand& command : KeyboardCommands()) {
        const QString target = QString::fromLatin1(command.Target);
        auto* key = new QAction(this);
        key->setObjectName(QStringLiteral("key") + target);
        key->setShortcut(command.Keys);
        // Only while the main window is active: a dialog keeps its own keys.
        key->setShortcutContext(Qt::WindowShortcut);
        addAction(key);
        connect(key, &QAction::triggered, this, [this, target] {
            if (QAction* button = FindAction(target)) {
                if (button->isEnabled())
                    button->trigger();
            } else if (auto* box = findChild<QComboBox*>(target); box && box->isEnabled()) {
                box->setFocus(Qt::ShortcutFocusReason);
            }
        });
    }
}

} // namespace vantora
