#include "Dialogs.h"

namespace vantora {

QString MsgCaption(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return QStringLiteral("Warning");
    case MsgKind::Error:
        return QStringLiteral("Error");
    case MsgKind::Information:
        return QStringLiteral("Information");
    case MsgKind::Confirm:
        return QStringLiteral("Confirm");
    }
    return {};
}

MsgAnswer EscapeAnswer(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::YesNoCancel:
        return MsgAnswer::Cancel;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    }
    return MsgAnswer::Ok;
}

} // namespace vantora
