#include "imaging/engine/jobrunner.h"

#include <QThread>

#include <algorithm>

PoolJobRunner::PoolJobRunner(int threads)
{
    m_pool.setMaxThreadCount(threads > 0 ? threads : std::max(1, QThread::idealThreadCount()));
}

PoolJobRunner::~PoolJobRunner()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void PoolJobRunner::start(std::function<void()> job)
{
    m_pool.start(std::move(job));
}

void PoolJobRunner::cancelQueued()
{
    m_pool.clear();
}

void PoolJobRunner::waitForRunning()
{
    m_pool.waitForDone();
}
