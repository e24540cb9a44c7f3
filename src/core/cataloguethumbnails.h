#pragma once
// CatalogueThumbnails: the catalogue's pictures in bounded memory. Picture 0 is
// the placeholder every item shows until the scan applies it; each applied item
// adds one picture, its thumbnail or, for a file that is no picture, the
// placeholder again (held once, whatever the number of such items).
//
// At most capacity() thumbnails are held (MaxHeld unless a test lowers it). A
// thumbnail no view has asked for since it was added goes first, oldest first
// (a scan adds thousands that nobody looks at); then the one asked for longest
// ago. A view asks for a picture when it paints its item, so the rows on screen
// are the last to go. A dropped thumbnail is made again on demand: picture()
// answers the placeholder meanwhile and queues the index; a remake job on the
// runner renders the file's thumbnail again, the index asked for last first (the
// rows being painted before rows scrolled past; rows no longer on screen are
// skipped), and pictureReady tells when it is back. A file that no longer gives
// a picture shows the placeholder from then on; no box is shown.
//
// Memory: the held thumbnails (120 x 120 x 3 bytes each, about 86 MB at
// MaxHeld) and, per picture, its path (shared with the caller's copy) and a
// flag: about 32 bytes, whatever the folder's size.
//
// GUI thread only. Remake jobs read only their own path and send back their
// picture; every job reports back once, run or dropped unrun by the runner's
// cancelQueued(), so no index stays asked for ever.

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/jobs.h"
#include "imaging/engine/records.h"

class CatalogueThumbnails : public QObject {
    Q_OBJECT
public:
    // Thumbnails held at once: far more than any window shows, and a folder of
    // 50,000 files stays within a few hundred megabytes.
    static constexpr int MaxHeld = 2000;

    // The catalogue's thumbnail of the file at `path`, as the scan's and the
    // remake jobs make it: renderThumbnail's picture in 24-bit RGB (a thumbnail
    // is opaque; a quarter less memory than 32 bits). Null, with *status saying
    // why (when given), when the file gives no picture. Any thread.
    static QImage render(const QString &path, engine::Status *status = nullptr);

    // `runner` is not owned and must outlive this object.
    explicit CatalogueThumbnails(JobRunner *runner, QObject *parent = nullptr);
    ~CatalogueThumbnails() override;

    // Empties the list down to picture 0, `placeholder`; remakes under way are dropped.
    void clear(const QImage &placeholder);
    // Adds the picture of the file at `path` and returns its index; a null
    // `thumbnail` stands for the placeholder.
    int add(const QString &path, const QImage &thumbnail);
    int count() const { return int(m_entries.size()); }
    // Picture `index` (null when out of range). A dropped thumbnail answers the
    // placeholder and is made again; pictureReady(index) follows.
    QImage picture(int index);

    bool isHeld(int index) const { return m_held.count(index) != 0; }
    int heldCount() const { return int(m_held.size()); }
    // Most thumbnails held at any moment since the last clear() (tests).
    int peakHeld() const { return m_peakHeld; }
    int capacity() const { return m_capacity; }
    // Lowers (or raises) the bound; tests lower it to keep their folders small.
    void setCapacity(int capacity);
    // Whether picture `index` is on screen now; a remake waiting for a job is
    // skipped once its item has been scrolled out of view. Unset: all are.
    void setOnScreen(std::function<bool(int index)> onScreen);

signals:
    // Picture `index` changed (a remade thumbnail arrived) or a remake was
    // dropped unrun: a view repaints it, asking again while it is on screen.
    void pictureReady(int index);

private:
    struct Entry {
        QString path;
        bool placeholder = false;
    };
    struct Held {
        QImage picture;
        bool asked = false; // a view has asked for it since it was added
        std::list<int>::iterator at;
    };

    void hold(int index, const QImage &picture, bool asked);
    void evict();
    void want(int index);
    void startRemakes();
    void remade(int generation, int index, const QImage &picture, bool ran);

    JobRunner *m_runner;
    std::function<bool(int)> m_onScreen;
    int m_capacity = MaxHeld;
    RequestSequence m_generation; // a clear() drops the remakes of the list before
    QImage m_placeholder;
    std::vector<Entry> m_entries;
    std::unordered_map<int, Held> m_held;
    std::list<int> m_notAsked; // newest first
    std::list<int> m_asked;    // asked for most recently first
    std::list<int> m_wanted;   // waiting for a remake job, asked for most recently first
    std::unordered_set<int> m_remaking; // handed to a job that has not reported back
    int m_peakHeld = 0;
    // Cleared before the object goes: jobs dropped afterwards report nothing.
    std::shared_ptr<std::atomic_bool> m_open = std::make_shared<std::atomic_bool>(true);
};
