#include "Fakes.h"

namespace vantora::test {

MsgAnswer FakeDialogs::Message(MsgKind kind, const QString& text, MsgButtons buttons) {
    Asked.append({kind, text, buttons});
    if (!Answers.isEmpty())
        return Answers.dequeue();
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
}

QString FakeDialogs::OpenFileName(const FileDialogOptions& options) {
    FileDialogsShown.append(options);
    return FileNames.isEmpty() ? QString() : FileNames.dequeue();
}

QString FakeDialogs::SaveFileName(const FileDialogOptions& options) {
    FileDialogsShown.append(options);
    return FileNames.isEmpty() ? QString() : FileNames.dequeue();
}

void FakeDialogs::GeneralError(const QString& text) {
    GeneralErrors << text;
}

QStringList FakeDialogs::Texts() const {
    QStringList texts;
    for (const auto& m : Asked)
        texts << m.Text;
    return texts;
}

void FakeDialogs::Clear() {
    Asked.clear();
    FileDialogsShown.clear();
    GeneralErrors.clear();
}

bool MemorySettings::OpenKey(bool create) {
    Q_UNUSED(create);
    return Openable;
}

bool MemorySettings::SetValue(const QString& name, const QVariant& value) {
    if (!Openable)
        return false;
    Values[name] = value;
    ++Writes;
    return true;
}

} // namespace vantora::test
