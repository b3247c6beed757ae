#pragma once

// Lets the user interface process its events from inside a handler.
class EventPump
{
public:
    virtual ~EventPump() = default;

    // Processes pending events once. When none is pending, sleeps until at least
    // one arrives (serial data, a click, a timer), so a caller that loops on it
    // does not spin; the sleep is bounded so a loop can never hang for good.
    virtual void processOnceWaiting() = 0;

    // Processes the pending events without waiting for new ones.
    virtual void processPending() = 0;
};
