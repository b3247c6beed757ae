#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (log-out, a service manager, Ctrl+C in a
// terminal) into a Qt signal delivered on the thread that made the object, so
// that the program can end the way its own Exit does.
//
// The handler only writes the signal's number into a socket pair; the event
// loop reads it. After the first signal the default actions are back, so a
// second Ctrl+C ends a program whose orderly close does not finish.
//
// One object at a time; it restores the default actions when destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // False when the handlers could not be installed.
    bool isActive() const { return m_active; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    bool m_active = false;
};
