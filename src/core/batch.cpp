#include "core/batch.h"
#include "common/filepath.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <utility>

#include "core/factsjson.h"
#include "core/framehash.h"
#include "imaging/engine/framesaver.h"
#include "imaging/exportnames.h"
#include "imaging/filesize.h"
#include "shell/nameorder.h"

namespace {


// A folder's identity, so that a link back to a folder already walked and the
// output folder are recognised whatever path leads to them.
using FolderId = std::pair<dev_t, ino_t>;

bool folderId(const QString &path, FolderId *id)
{
    struct stat st {};
    if (stat(filepath::pathToBytes(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

// The visible subfolders of `folder` (links to folders included), unsorted.
QStringList subfolders(const QString &folder, engine::Cause *error)
{
    QStringList out;
    const filepath::FolderHandle dir = filepath::openFolder(filepath::pathToBytes(folder));
    if (!dir) {
        *error = engine::causeFromErrno(errno);
        return out;
    }
    const int fd = dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                *error = engine::causeFromErrno(errno);
            break;
        }
        if (filepath::isVisibleSubfolder(fd, *entry))
            out << filepath::pathFromBytes(entry->d_name);
    }
    return out;
}

// Walks the inputs in order into a plan, noting each name clash as it meets it.
class Planner {
public:
    Planner(const QString &outputFolder, bool recursive)
        : m_output(exportFolder(outputFolder)), m_recursive(recursive)
    {
        m_haveOutput = folderId(outputFolder, &m_outputId);
    }

    void addFile(const QString &source, const QString &relative)
    {
        BatchItem item;
        item.source = source;
        item.folder = m_output + relative;
        item.base = StripExtension(filepath::fileName(source));
        const QString key = item.folder + QLatin1Char('\0') + item.base;
        const auto earlier = m_written.constFind(key);
        if (earlier != m_written.constEnd())
            item.clashWith = earlier.value();
        else
            m_written.insert(key, int(m_plan.items.size()));
        m_plan.items.push_back(std::move(item));
    }

    // `shown` is the folder as the user's paths spell it; `relative` is where
    // its files go below the output folder ("" or ending in "/").
    void addFolder(const QString &shown, const QString &relative)
    {
        const QString absolute = filepath::absolutePath(shown);
        FolderId id{};
        if (!folderId(absolute, &id)) {
            m_plan.problems.push_back({shown, engine::Cause::NotFound});
            return;
        }
        if (m_haveOutput && id == m_outputId) {
            if (relative.isEmpty())
                m_plan.inputIsOutput = true;
            return;
        }
        if (!m_visited.insert(id).second)
            return;
        const CatalogueListing listing = listCatalogue(absolute);
        if (listing.error != engine::Cause::None) {
            m_plan.problems.push_back({shown, listing.error});
            return;
        }
        for (const CatalogueListing::Skipped &s : listing.skipped)
            m_plan.problems.push_back({filepath::join(shown, s.name), engine::Cause::None, true, s.kind});

        QStringList folders;
        if (m_recursive) {
            engine::Cause error = engine::Cause::None;
            folders = subfolders(absolute, &error);
            if (error != engine::Cause::None)
                m_plan.problems.push_back({shown, error});
        }
        // Files and subfolders in one name order, as the folder lists them.
        struct Entry {
            QString name;
            bool folder;
        };
        std::vector<Entry> entries;
        entries.reserve(size_t(listing.names.size() + folders.size()));
        for (const QString &n : listing.names)
            entries.push_back({n, false});
        for (const QString &n : folders)
            entries.push_back({n, true});
        std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            return shell::fileNameLess(a.name, b.name);
        });
        for (const Entry &e : entries) {
            if (e.folder)
                addFolder(filepath::join(shown, e.name), relative + e.name + QLatin1Char('/'));
            else
                addFile(filepath::join(shown, e.name), relative);
        }
    }

    BatchPlan take() { return std::move(m_plan); }

private:
    QString m_output;
    bool m_recursive;
    bool m_haveOutput = false;
    FolderId m_outputId{};
    std::set<FolderId> m_visited;
    QHash<QString, int> m_written; // folder + base -> first item writing them
    BatchPlan m_plan;
};

} // namespace

BatchPlan planBatch(const QStringList &inputs, const QString &outputFolder, bool recursive)
{
    Planner planner(outputFolder, recursive);
    for (const QString &input : inputs) {
        if (filepath::isFolder(input))
            planner.addFolder(input, QString());
        else
            planner.addFile(input, QString()); // a missing file fails when it is read
    }
    return planner.take();
}

QString timingFileName(const BatchItem &item)
{
    return item.folder + item.base + QLatin1String("_timing.json");
}

int numberWidthFor(std::uint32_t frameCount)
{
    return int(QString::number(std::max<std::uint32_t>(frameCount, 1)).size());
}

bool filesNewerThan(const QStringList &paths, const QString &source)
{
    struct stat src {};
    if (stat(filepath::pathToBytes(source).constData(), &src) != 0)
        return false;
    for (const QString &path : paths) {
        struct stat st {};
        // A link planted at a frame's name is no finished frame: the export
        // refuses it, so skipping would hide that.
        if (lstat(filepath::pathToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        const bool newer = st.st_mtim.tv_sec > src.st_mtim.tv_sec
                           || (st.st_mtim.tv_sec == src.st_mtim.tv_sec
                               && st.st_mtim.tv_nsec > src.st_mtim.tv_nsec);
        if (!newer)
            return false;
    }
    return true;
}

QByteArray timingJson(const QString &source, const PictureFacts &facts,
                      const std::vector<TimingEntry> &entries)
{
    QJsonArray frames;
    std::int64_t totalPlayedMs = 0;
    for (std::uint32_t i = 0; i < facts.frameCount; ++i)
        totalPlayedMs += engine::playedDelayMs(i < facts.frames.size() ? facts.frames[i].delayMs : 0,
                                               facts.gif);
    for (const TimingEntry &e : entries) {
        QJsonObject o = frameJson(facts, e.frame);
        if (e.timeMs >= 0)
            o[QStringLiteral("timeMs")] = qint64(e.timeMs);
        o[QStringLiteral("file")] = e.file.isEmpty() ? QJsonValue() : QJsonValue(e.file);
        o[QStringLiteral("hash")] = e.hash ? QJsonValue(frameHashText(*e.hash)) : QJsonValue();
        o[QStringLiteral("duplicateOf")] = e.duplicateOf > 0 ? QJsonValue(e.duplicateOf) : QJsonValue();
        frames.append(o);
    }
    QJsonObject o;
    o[QStringLiteral("file")] = source;
    o[QStringLiteral("width")] = facts.width;
    o[QStringLiteral("height")] = facts.height;
    o[QStringLiteral("loopCount")] = facts.loopCount < 0 ? QJsonValue() : QJsonValue(facts.loopCount);
    o[QStringLiteral("totalMs")] = qint64(facts.totalMs);
    o[QStringLiteral("totalPlayedMs")] = qint64(totalPlayedMs);
    o[QStringLiteral("frames")] = frames;
    return jsonText(o, false);
}

std::optional<QStringList> filesOfTiming(const QString &timingPath, const QString &folder)
{
    // A timing file is small (a few hundred bytes a frame); anything far larger
    // is not one of ours.
    constexpr qint64 MaxTimingBytes = qint64(256) << 20;
    const QByteArray path = filepath::pathToBytes(timingPath);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxTimingBytes)
        return std::nullopt;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    if (done != bytes.size())
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue frames = doc.object().value(QStringLiteral("frames"));
    if (!frames.isArray())
        return std::nullopt;
    QStringList files;
    for (const QJsonValue &frame : frames.toArray()) {
        const QJsonValue file = frame.toObject().value(QStringLiteral("file"));
        // A name with a "/" was never written by us: refuse rather than look outside.
        if (file.isString() && !file.toString().contains(QLatin1Char('/')))
            files << filepath::join(folder, file.toString());
    }
    files.removeDuplicates();
    return files;
}

std::int64_t exportMemoryBytes(int width, int height, int encoderThreads)
{
    const std::int64_t canvas = std::int64_t(std::max(width, 0)) * std::max(height, 0) * 4;
    if (canvas == 0)
        return 0;
    const std::int64_t inFlight = std::clamp<std::int64_t>(engine::DefaultFrameSaverBudget / canvas, 1,
                                                           std::max(encoderThreads, 1));
    return canvas * (2 + inFlight);
}

bool fitsMemoryBudget(int running, std::int64_t inUse, std::int64_t wanted, std::int64_t budget)
{
    return running == 0 || inUse + wanted <= budget;
}

bool MemoryBudget::take(std::int64_t bytes, const std::atomic_bool &stop)
{
    // The stop flag is set from a signal handler, which cannot wake a wait:
    // look at it now and then.
    constexpr unsigned long StopPollMs = 100;
    QMutexLocker lock(&m_mutex);
    while (!fitsMemoryBudget(m_running, m_inUse, bytes, m_budget)) {
        if (stop.load())
            return false;
        m_changed.wait(&m_mutex, StopPollMs);
    }
    if (stop.load())
        return false;
    ++m_running;
    m_inUse += bytes;
    return true;
}

void MemoryBudget::give(std::int64_t bytes)
{
    {
        QMutexLocker lock(&m_mutex);
        --m_running;
        m_inUse -= bytes;
    }
    m_changed.wakeAll();
}
