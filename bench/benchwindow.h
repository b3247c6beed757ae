#pragma once

// What the benchmarks of the main window share: dialogs that only note their
// messages, and a wait that wakes the event loop only for the program's own
// events.

#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>

class QuietDialogs : public Dialogs
{
public:
    void showMessage(const QString &text, const QString &, Icon) override { messages << text; }
    void askSavePath(const SaveDialogSetup &, std::function<void(const SaveDialogResult &)> done) override
    {
        done(SaveDialogResult{});
    }
    QStringList messages;
};

// Runs the event loop until `done` or the limit. The loop wakes only for
// the program's own events and once at the limit, so that the figures hold
// no wake-ups of the measuring itself.
inline void waitUntil(const std::function<bool()> &done, std::chrono::seconds limit)
{
    bool expired = false;
    QTimer wake;
    wake.setSingleShot(true);
    QObject::connect(&wake, &QTimer::timeout, &wake, [&expired] { expired = true; });
    wake.start(limit);
    while (!done() && !expired)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
