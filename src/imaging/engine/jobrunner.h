#pragma once
// JobRunner: where background jobs run, the one interface all background work
// of the program goes through (the export pipeline's encoders, the catalogue's
// thumbnails, the inspection, the export dialog's run, the command line). The
// program uses thread pools; tests install runners that run jobs when the test
// says so. core/jobs.h adds the requests and cancel flags the jobs carry.
//
// Threads: a runner's calls come from the thread that owns it; jobs run on the
// runner's threads and must not touch widgets or objects other threads change.

#include <QThreadPool>

#include <functional>

// Where jobs run. The program uses a thread pool; tests install a runner that
// runs the jobs only when the test says so.
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

// A thread pool of its own, one thread per core (`threads` < 1).
class PoolJobRunner final : public JobRunner {
public:
    explicit PoolJobRunner(int threads = 0);
    ~PoolJobRunner() override;
    void start(std::function<void()> job) override;
    void cancelQueued() override;
    void waitForRunning() override;

private:
    QThreadPool m_pool;
};
