#include "platform/qteventpump.h"

#include <QCoreApplication>
#include <QEventLoop>

QtEventPump::QtEventPump()
{
    m_wakeUp.setSingleShot(true);
    m_wakeUp.setTimerType(Qt::CoarseTimer);
    m_wakeUp.setInterval(kMaxSleep);
}

void QtEventPump::processOnceWaiting()
{
    m_wakeUp.start();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wakeUp.stop();
}

void QtEventPump::processPending()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
