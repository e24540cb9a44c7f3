#pragma once
// A JobRunner that runs jobs only when the test says so (or at once in
// `immediate` mode), on the test's own thread.

#include <deque>
#include <functional>

#include "core/jobs.h"

namespace fgtest {

class ManualRunner final : public JobRunner {
public:
    void start(std::function<void()> job) override
    {
        ++started;
        if (immediate)
            job();
        else
            queue.push_back(std::move(job));
    }
    void cancelQueued() override
    {
        cancelled += int(queue.size());
        queue.clear();
    }
    void waitForRunning() override { ++waits; }
    // Runs the oldest queued job; false when none is queued.
    bool runOne()
    {
        if (queue.empty())
            return false;
        auto job = std::move(queue.front());
        queue.pop_front();
        job();
        return true;
    }
    int runAll()
    {
        int n = 0;
        while (runOne())
            ++n;
        return n;
    }

    std::deque<std::function<void()>> queue;
    bool immediate = false;
    int started = 0;
    int cancelled = 0;
    int waits = 0;
};

} // namespace fgtest
