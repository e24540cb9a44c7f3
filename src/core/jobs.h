#pragma once
// The one way background work runs: catalogue thumbnails, the inspection, the
// export run and the command line's thumbnails all hand plain jobs to a
// JobRunner, stop them with a CancelFlag, and tag what they send back with the
// number of the Request they answer, so that a late result of an old request is
// recognised and dropped.
//
// Threads: a runner's three calls come from the thread that owns it (the GUI
// thread in the program); jobs run on the runner's threads and must not touch
// widgets or any object another thread changes. Results go back to a QObject's
// thread with postTo().

#include <QMetaObject>
#include <QObject>

#include "imaging/engine/jobrunner.h"

#include <atomic>
#include <functional>
#include <memory>

// Set once by the requesting thread, read by jobs: stop at the next file or frame.
using CancelFlag = std::shared_ptr<std::atomic_bool>;

// One piece of requested work: its number and its cancel flag.
struct Request {
    int number = 0;
    CancelFlag cancelled = std::make_shared<std::atomic_bool>(false);
    bool isCancelled() const { return cancelled->load(std::memory_order_relaxed); }
};

// Numbers the requests of one kind; starting a new one cancels the previous.
// Owner's thread only.
class RequestSequence {
public:
    Request next()
    {
        cancel();
        m_current = Request{m_current.number + 1, std::make_shared<std::atomic_bool>(false)};
        return m_current;
    }
    void cancel() { m_current.cancelled->store(true); }
    const Request &current() const { return m_current; }
    bool isCurrent(int number) const
    {
        return number == m_current.number && !m_current.isCancelled();
    }

private:
    Request m_current;
};

// Runs `fn` on `receiver`'s thread, queued; dropped when the receiver is gone.
template <typename Fn>
void postTo(QObject *receiver, Fn &&fn)
{
    QMetaObject::invokeMethod(receiver, std::forward<Fn>(fn), Qt::QueuedConnection);
}
