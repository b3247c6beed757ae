#pragma once

#include "platform/eventpump.h"

#include <QTimer>

#include <chrono>

// Event processing through the application's event loop. processOnceWaiting
// sleeps in the loop until an event comes (serial data wakes it through the
// port's read notifier) and at most kMaxSleep.
class QtEventPump : public EventPump
{
public:
    static constexpr std::chrono::milliseconds kMaxSleep{250};

    QtEventPump();

    void processOnceWaiting() override;
    void processPending() override;

private:
    // A member timer, stopped after every wait, so no stale wake-up is left
    // queued behind the caller.
    QTimer m_wakeUp;
};
