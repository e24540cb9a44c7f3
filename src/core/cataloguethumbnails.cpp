#include "core/cataloguethumbnails.h"

#include <algorithm>
#include <new>

#include "imaging/thumbnail.h"

namespace {

// Remake jobs handed to the runner at once: enough to keep both cores of a
// small machine busy, few enough that a scan's jobs and newer requests are not
// queued behind a long line of rows scrolled past.
constexpr int RemakeJobs = 2;
// Indexes waiting for a remake; older requests beyond this are forgotten (their
// rows have long been scrolled past and are asked for again when painted).
constexpr int MaxWanted = 512;

// Reports a remake job back to the store exactly once: with its picture when it
// ran, as dropped when the runner let it go unrun.
class RemakeTicket {
public:
    using Report = void (*)(QObject *store, int generation, int index, const QImage &picture, bool ran);

    RemakeTicket(QObject *store, std::shared_ptr<std::atomic_bool> open, int generation, int index,
                 Report report)
        : m_store(store), m_open(std::move(open)), m_generation(generation), m_index(index),
          m_report(report)
    {
    }
    RemakeTicket(const RemakeTicket &) = delete;
    RemakeTicket &operator=(const RemakeTicket &) = delete;
    ~RemakeTicket()
    {
        // Dropped unrun: the runner's cancelQueued() runs on the store's thread.
        if (!m_ran && m_open->load())
            m_report(m_store, m_generation, m_index, QImage(), false);
    }

    // The job ran and made `picture` (null when the file gives none).
    void ran(const QImage &picture)
    {
        m_ran = true;
        m_report(m_store, m_generation, m_index, picture, true);
    }

private:
    QObject *m_store;
    std::shared_ptr<std::atomic_bool> m_open;
    int m_generation;
    int m_index;
    Report m_report;
    bool m_ran = false;
};

} // namespace

QImage CatalogueThumbnails::render(const QString &path, engine::Status *status)
{
    QImage picture = renderThumbnail(path, nullptr, status);
    if (!picture.isNull())
        picture.convertTo(QImage::Format_RGB888);
    return picture;
}

CatalogueThumbnails::CatalogueThumbnails(JobRunner *runner, QObject *parent)
    : QObject(parent), m_runner(runner)
{
}

CatalogueThumbnails::~CatalogueThumbnails()
{
    m_open->store(false);
    m_generation.cancel();
    m_runner->cancelQueued();
    m_runner->waitForRunning();
}

void CatalogueThumbnails::clear(const QImage &placeholder)
{
    m_generation.next();
    m_placeholder = placeholder;
    m_entries.clear();
    m_entries.push_back({QString(), true});
    m_held.clear();
    m_notAsked.clear();
    m_asked.clear();
    m_wanted.clear();
    m_remaking.clear();
    m_peakHeld = 0;
}

int CatalogueThumbnails::add(const QString &path, const QImage &thumbnail)
{
    if (m_entries.empty())
        clear(m_placeholder);
    const int index = count();
    m_entries.push_back({path, thumbnail.isNull()});
    if (!thumbnail.isNull())
        hold(index, thumbnail, false);
    return index;
}

QImage CatalogueThumbnails::picture(int index)
{
    if (index < 0 || index >= count())
        return {};
    if (m_entries[size_t(index)].placeholder)
        return m_placeholder;
    auto it = m_held.find(index);
    if (it == m_held.end()) {
        want(index);
        return m_placeholder;
    }
    Held &held = it->second;
    if (held.asked) {
        m_asked.splice(m_asked.begin(), m_asked, held.at);
    } else {
        m_notAsked.erase(held.at);
        m_asked.push_front(index);
        held.at = m_asked.begin();
        held.asked = true;
    }
    return held.picture;
}

void CatalogueThumbnails::setOnScreen(std::function<bool(int index)> onScreen)
{
    m_onScreen = std::move(onScreen);
}

void CatalogueThumbnails::setCapacity(int capacity)
{
    m_capacity = std::max(1, capacity);
    evict();
}

void CatalogueThumbnails::hold(int index, const QImage &picture, bool asked)
{
    std::list<int> &order = asked ? m_asked : m_notAsked;
    order.push_front(index);
    m_held[index] = Held{picture, asked, order.begin()};
    evict();
    m_peakHeld = std::max(m_peakHeld, heldCount());
}

void CatalogueThumbnails::evict()
{
    while (heldCount() > m_capacity) {
        std::list<int> &order = m_notAsked.empty() ? m_asked : m_notAsked;
        m_held.erase(order.back());
        order.pop_back();
    }
}

void CatalogueThumbnails::want(int index)
{
    if (m_remaking.count(index))
        return;
    auto it = std::find(m_wanted.begin(), m_wanted.end(), index);
    if (it != m_wanted.end())
        m_wanted.splice(m_wanted.begin(), m_wanted, it);
    else
        m_wanted.push_front(index);
    if (int(m_wanted.size()) > MaxWanted)
        m_wanted.pop_back();
    startRemakes();
}

void CatalogueThumbnails::startRemakes()
{
    while (int(m_remaking.size()) < RemakeJobs && !m_wanted.empty()) {
        const int index = m_wanted.front();
        m_wanted.pop_front();
        // Scrolled past since it was asked for: it is asked again when painted.
        if (m_onScreen && !m_onScreen(index))
            continue;
        m_remaking.insert(index);
        auto ticket = std::make_shared<RemakeTicket>(
            this, m_open, m_generation.current().number, index,
            [](QObject *store, int generation, int index, const QImage &picture, bool ran) {
                auto *self = static_cast<CatalogueThumbnails *>(store);
                postTo(self, [self, generation, index, picture, ran] {
                    self->remade(generation, index, picture, ran);
                });
            });
        const Request request = m_generation.current();
        const QString path = m_entries[size_t(index)].path;
        // The job touches nothing but its own picture; the store waits for
        // running jobs before it goes away.
        m_runner->start([ticket, request, path] {
            QImage picture;
            if (!request.isCancelled()) {
                try {
                    picture = render(path);
                } catch (const std::bad_alloc &) {
                    // Out of memory: the item shows the placeholder.
                    picture = QImage();
                }
            }
            ticket->ran(picture);
        });
    }
}

void CatalogueThumbnails::remade(int generation, int index, const QImage &picture, bool ran)
{
    if (generation != m_generation.current().number || index >= count())
        return;
    m_remaking.erase(index);
    if (ran) {
        if (picture.isNull())
            m_entries[size_t(index)].placeholder = true;
        else if (!isHeld(index))
            hold(index, picture, true);
    }
    // Dropped unrun: the repaint asks again while the row is on screen.
    emit pictureReady(index);
    startRemakes();
}
