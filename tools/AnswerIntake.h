#pragma once
// A tool's answer in, its verdict out: invalid (wrong marker), not opened
// (the server could not open the page), or ready to be stored with its
// body, page URL and (Wordweigh) percentage.
#include "ToolKind.h"

#include <QString>
#include <QStringList>

namespace vantora {

enum class IntakeOutcome { Invalid, NotOpened, Stored };

struct Intake {
    IntakeOutcome Outcome = IntakeOutcome::Invalid;
    QString Body;       // the answer without its marker and the characters after it
    QString Page;       // the page URL as the server echoes it
    QString Percentage; // Wordweigh's effectiveness; empty for the others
    QString Reason;     // NotOpened: why, as the server put it; may be empty
};

Intake ReadAnswer(ToolKind kind, const QString& answer);

// The error box text for an answer that is not the tool's.
QString InvalidDataMessage();
// The lines appended to the report view for a page the server could not open.
// reason: the server's words for why, shown after the first line when given.
QStringList NotOpenedLines(ToolKind kind, const QString& reason = QString());

// Wordweigh's percentage: "100" when the body holds "PERCENTAGE: 100", else
// the one to three digits after the first "PERCENTAGE: "; empty without any.
QString WordweighPercentage(const QString& body);

} // namespace vantora
