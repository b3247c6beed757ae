#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QTest>

#include <memory>

namespace eventwait {

// Waits until everything queued on the event loop so far has been handled:
// a marker is queued behind it and awaited. For checks that a handling
// deferred to the event loop (a message told "once the edit has been handled")
// did or did not happen. False when the marker did not come within `ms`.
inline bool queuedEventsRun(int ms = 5000)
{
    auto reached = std::make_shared<bool>(false);
    QObject marker;
    QMetaObject::invokeMethod(&marker, [reached] { *reached = true; }, Qt::QueuedConnection);
    return QTest::qWaitFor([&] { return *reached; }, ms);
}

} // namespace eventwait
