#pragma once
// The items of a stored answer body: the texts between its "<br>"
// separators. The text after the last "<br>" is the last item whole; an
// empty one (a body ending in "<br>") is no item.
#include <QString>
#include <QStringList>

namespace vantora {

// Thrown when a report reads an item its body does not have: the answer was
// shorter than its format, and the report ends with the truncation warning.
struct MissingItem {
    int Index;
};

class AnswerItems {
  public:
    explicit AnswerItems(const QString& body);

    int Count() const { return Items.size(); }
    bool Has(int index) const { return index >= 0 && index < Items.size(); }
    // Item index; throws MissingItem when there is none.
    const QString& At(int index) const;
    const QString& operator[](int index) const { return At(index); }

  private:
    QStringList Items;
};

} // namespace vantora
