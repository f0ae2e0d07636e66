#pragma once
// Message boxes and file dialogs. Nothing else in the program calls
// QMessageBox or QFileDialog: windows and logic ask through this interface so
// that tests can answer from a script and record what was asked.
#include <QString>

namespace vantora {

enum class MsgKind { Warning, Error, Information, Confirm };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

// The caption that belongs to a kind: "Warning", "Error", "Information", "Confirm".
QString MsgCaption(MsgKind kind);

struct FileDialogOptions {
    QString Title;
    QString Filter;     // "Description (*.ext)|*.ext" as the program writes it
    QString DefaultExt; // without the dot
    bool MustExist = false;
    bool ConfirmOverwrite = false;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A modal message box. The default button is Ok or Yes; Escape chooses
    // Cancel, else No, else Ok (see EscapeAnswer).
    virtual MsgAnswer Message(MsgKind kind, const QString& text, MsgButtons buttons) = 0;
    // The file-open dialog; an empty result means Cancel.
    virtual QString OpenFileName(const FileDialogOptions& options) = 0;
    // The file-save dialog; an empty result means Cancel.
    virtual QString SaveFileName(const FileDialogOptions& options) = 0;
    // The application's general error box: the failure's text, the
    // application title as caption, one OK button.
    virtual void GeneralError(const QString& text) = 0;
};

// What Escape chooses for a set of buttons.
MsgAnswer EscapeAnswer(MsgButtons buttons);

} // namespace vantora
