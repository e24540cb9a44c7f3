#pragma once
// JobRunner: where the catalogue's thumbnail jobs run. The program uses a
// private thread pool; tests install a runner that runs the jobs only when the
// test says so, which makes a scan deterministic. All three calls come from the
// GUI thread; the jobs themselves must not touch widgets.

#include <QThreadPool>

#include <functional>

class JobRunner {
public:
    virtual ~JobRunner() = default;
    // Queues `job`; jobs start in the order they were queued.
    virtual void start(std::function<void()> job) = 0;
    // Drops the jobs that have not started yet.
    virtual void cancelQueued() = 0;
    // Blocks until no job is running (after cancelQueued: until all are done).
    virtual void waitForRunning() = 0;
};

// The program's runner: a thread pool of its own, one thread per core.
class PoolJobRunner final : public JobRunner {
public:
    PoolJobRunner();
    ~PoolJobRunner() override;
    void start(std::function<void()> job) override;
    void cancelQueued() override;
    void waitForRunning() override;

private:
    QThreadPool m_pool;
};
