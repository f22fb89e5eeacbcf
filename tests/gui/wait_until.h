#pragma once

// Waiting for the window inside a GoogleTest test. QtTest's QTRY_* macros report to QtTest's
// own result log and return silently outside a QtTest run, so tests here use this instead:
// ASSERT_TRUE(WaitUntil([&] { return ...; }, 5000)).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

template <typename Condition>
bool WaitUntil(Condition condition, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}
