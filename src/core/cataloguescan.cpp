#include "core/cataloguescan.h"

#include <QElapsedTimer>
#include <QTimer>

#include <new>

#include "core/cataloguethumbnails.h"
#include "imaging/filesize.h"

namespace {

// Jobs queued ahead of the item being applied. Bounds the memory of results that
// wait while a modal window holds the scan.
constexpr int JobsAhead = 64;
// Longest stretch the driver applies results before it lets the event loop run.
constexpr int DriveBudgetMs = 8;
// How often the driver looks again while a modal window holds the scan.
constexpr int HeldPollMs = 50;

} // namespace

CatalogueScan::CatalogueScan(JobRunner *runner, Hooks hooks, QObject *parent)
    : QObject(parent), m_runner(runner), m_hooks(std::move(hooks)), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_driveScheduled = false;
        driveNow();
    });
}

CatalogueScan::~CatalogueScan()
{
    stopJobs();
}

CatalogueScan::Item CatalogueScan::makeItem(const QString &path)
{
    Item item;
    try {
        item.sizeText = FileSizeText(path);
        item.picture = CatalogueThumbnails::render(path, &item.status);
    } catch (const std::bad_alloc &) {
        // Out of memory inside the job: the item keeps the placeholder without a
        // message, and the scan goes on.
        item.quiet = true;
    }
    return item;
}

bool CatalogueScan::start(std::vector<QString> paths)
{
    if (scanning)
        return false;
    scanning = true;
    stopRequested = false;
    m_scan.next();
    m_ready.clear();
    m_paths = std::move(paths);
    m_nextApply = 0;
    m_nextSubmit = 0;
    submitJobs();
    drive(0);
    return true;
}

void CatalogueScan::requestStop()
{
    if (!scanning)
        return;
    stopRequested = true;
    drive(0);
}

bool CatalogueScan::stopNow()
{
    if (scanning) {
        stopRequested = true;
        driveNow();
    }
    return !scanning;
}

void CatalogueScan::abandon()
{
    scanning = false;
    stopRequested = false;
    m_scan.cancel();
    m_runner->cancelQueued();
    m_ready.clear();
    m_paths.clear();
}

void CatalogueScan::stopJobs()
{
    m_scan.cancel();
    m_runner->cancelQueued();
    m_runner->waitForRunning();
}

void CatalogueScan::drive(int delayMs)
{
    if (m_driveScheduled && m_timer->remainingTime() <= delayMs)
        return;
    m_driveScheduled = true;
    m_timer->start(delayMs);
}

void CatalogueScan::submitJobs()
{
    const int total = int(m_paths.size());
    const Request scan = m_scan.current();
    while (m_nextSubmit < total && m_nextSubmit < m_nextApply + JobsAhead) {
        const int row = m_nextSubmit++;
        const QString path = m_paths[size_t(row)];
        CatalogueScan *self = this;
        // The job touches nothing but its own result; the scan waits for running
        // jobs before it goes away, so `self` outlives them.
        m_runner->start([self, path, row, scan] {
            if (scan.isCancelled())
                return;
            Item item = makeItem(path);
            item.scan = scan.number;
            item.row = row;
            if (scan.isCancelled())
                return;
            postTo(self, [self, item]() mutable { self->resultReady(std::move(item)); });
        });
    }
}

void CatalogueScan::resultReady(Item item)
{
    if (!scanning || !m_scan.isCurrent(item.scan))
        return;
    m_ready[item.row] = std::move(item);
    driveNow();
}

void CatalogueScan::driveNow()
{
    // One driver at a time: a result arriving while the driver waits in an error
    // box only queues up.
    if (m_driving || !scanning)
        return;
    m_driving = true;
    try {
        driveItems();
    } catch (const std::bad_alloc &) {
        m_driving = false;
        abandon();
        if (m_hooks.failed)
            m_hooks.failed();
        return;
    }
    m_driving = false;
}

bool CatalogueScan::driveItems()
{
    QElapsedTimer budget;
    budget.start();
    for (;;) {
        if (m_hooks.held && m_hooks.held()) {
            drive(HeldPollMs);
            return false;
        }
        if (stopRequested || m_nextApply >= int(m_paths.size())
            || (m_hooks.rowCount && m_nextApply >= m_hooks.rowCount())) {
            end();
            return true;
        }
        auto it = m_ready.find(m_nextApply);
        if (it == m_ready.end())
            return false; // its job is still running
        Item item = std::move(it->second);
        m_ready.erase(it);
        const int scan = m_scan.current().number;
        m_hooks.apply(m_nextApply, item);
        if (!scanning || m_scan.current().number != scan)
            return false; // stopped (the window closed) while an error box was open
        ++m_nextApply;
        submitJobs();
        emit progressed();
        if (budget.elapsed() >= DriveBudgetMs) {
            drive(0);
            return false;
        }
    }
}

void CatalogueScan::end()
{
    // A finished scan and a stopped one end alike. Jobs still running are not
    // waited for: their results carry the old scan's number and are dropped.
    abandon();
    if (m_hooks.ended)
        m_hooks.ended();
}
