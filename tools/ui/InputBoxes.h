#pragma once
// One-line input boxes that refuse some characters as they are typed (or
// pasted) and hold at most a given number of characters.
#include <QLineEdit>
#include <QValidator>

namespace vantora {

class RefusingValidator : public QValidator {
    Q_OBJECT
  public:
    RefusingValidator(const QString& refused, QObject* parent)
        : QValidator(parent), Refused(refused) {}
    State validate(QString& input, int&) const override {
        for (const QChar c : input)
            if (Refused.contains(c))
                return Invalid;
        return Acceptable;
    }

  private:
    QString Refused;
};

// A line edit named objectName that refuses the characters of refused.
inline QLineEdit* RefusingLineEdit(const QString& objectName, const QString& refused, int maxLength,
                                   QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setValidator(new RefusingValidator(refused, edit));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

} // namespace vantora
