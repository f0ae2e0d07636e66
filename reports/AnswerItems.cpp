#include "AnswerItems.h"

namespace vantora {

AnswerItems::AnswerItems(const QString& body) : Items(body.split(QStringLiteral("<br>"))) {
    if (!Items.isEmpty() && Items.last().isEmpty())
        Items.removeLast();
}

const QString& AnswerItems::At(int index) const {
    if (!Has(index))
        throw MissingItem{index};
    return Items[index];
}

} // namespace vantora
