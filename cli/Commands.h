#pragma once
// The commands of vantora-cli. Exit status: 0 success, 1 the work could not
// be done (with a one-line reason on standard error), 2 bad arguments,
// 3 findings at or above the --fail-on severity, 130 stopped by a signal.

#include <QStringList>

namespace vantora::cli {

int Run(const QStringList& arguments);

} // namespace vantora::cli
