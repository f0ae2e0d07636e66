#include "SiteMapHost.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

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

void WaitWhileHandlingMessages(int ms, const std::function<bool()>& stop) {
    if (stop && stop())
        return;
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (stop && stop())
            loop.quit();
    });
    done.start(qMax(0, ms));
    check.start(qMin(20, qMax(1, ms)));
    loop.exec();
}

} // namespace vantora
