#pragma once

// Waiting on a condition with a deadline while the event loop runs, for tests of every layer
// that has a Qt application (with or without widgets).

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace zr40_test {

// Keeps the event loop running until done() holds (true) or ms have passed (false).
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace zr40_test
