#include "SiteMapHost.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace vantora {

WaitCursor::WaitCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        Active = true;
    }
}

WaitCursor::~WaitCursor() {
    if (Active)
        QGuiApplication::restoreOverrideCursor();
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

} // namespace vantora
