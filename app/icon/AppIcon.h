#pragma once

#include <QImage>

namespace vantora {

// The program's icon, drawn at any pixel size: a globe of the web under a
// magnifying glass on a rounded blue tile. Used for the window icon and for
// the PNG files installed into the desktop's icon theme.
QImage DrawAppIcon(int size);

} // namespace vantora
