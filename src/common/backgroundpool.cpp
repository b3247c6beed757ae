#include "common/backgroundpool.h"

#include "common/releasedwork.h"

#include <QThreadPool>

BackgroundPool::BackgroundPool(int maxThreads) : m_threads(new QThreadPool)
{
    m_threads->setMaxThreadCount(maxThreads);
}

BackgroundPool::~BackgroundPool()
{
    ReleasedWork::adopt(m_threads);
}

int BackgroundPool::activeJobs() const
{
    return m_threads->activeThreadCount();
}

void BackgroundPool::start(std::function<void()> job)
{
    m_threads->start(std::move(job));
}
