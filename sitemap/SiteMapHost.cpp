#include "SiteMapHost.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

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
    QElapsedTimer clock;
    clock.start();
    loop.exec();
    // Once the application is quitting (its last window closed) every loop
    // ends at once; the wait is slept out instead, so a caller that waits in
    // a loop does not spin.
    while (clock.elapsed() < ms && !(stop && stop()))
        std::this_thread::sleep_for(
            std::chrono::milliseconds(qMin<qint64>(20, ms - clock.elapsed())));
}

bool RunWhileHandlingMessages(const std::function<void()>& work, const std::function<void()>& tick,
                              int tickMs) {
    std::atomic<bool> done{false};
    bool ok = true;
    std::thread worker([&] {
        try {
            work();
        } catch (const std::exception&) {
            ok = false;
        }
        done.store(true);
    });
    while (!done.load()) {
        WaitWhileHandlingMessages(tickMs, [&] { return done.load(); });
        if (tick && !done.load())
            tick();
    }
    worker.join();
    return ok;
}

} // namespace vantora
