#include "batch.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <utility>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"
#include "common/filepath.h"
#include "core/batch.h"
#include "core/exportrun.h"
#include "core/factsjson.h"
#include "core/picturefacts.h"
#include "imaging/engine/atomicfile.h"
#include "imaging/filesize.h"
#include "imaging/engine/image.h"
#include "imaging/exportnames.h"

namespace cli {

namespace {

// The first file of a run that failed with the cause that stopped it.
QString firstStopped(const ExportResult &result)
{
    for (const ExportFailure &f : result.failures)
        if (f.cause == result.stoppedBy && !f.reading)
            return f.path;
    return {};
}

// How often the progress line is redrawn at most, in milliseconds.
constexpr qint64 ProgressRedrawMs = 100;

// The report's name for a failure cause: the cause list's own identifiers.
QString causeName(engine::Cause cause)
{
    using engine::Cause;
    switch (cause) {
    case Cause::None: return QStringLiteral("None");
    case Cause::NotFound: return QStringLiteral("NotFound");
    case Cause::NotAPicture: return QStringLiteral("NotAPicture");
    case Cause::NoFrames: return QStringLiteral("NoFrames");
    case Cause::PictureTooLarge: return QStringLiteral("PictureTooLarge");
    case Cause::FrameUnreadable: return QStringLiteral("FrameUnreadable");
    case Cause::SourceChanged: return QStringLiteral("SourceChanged");
    case Cause::NoEncoder: return QStringLiteral("NoEncoder");
    case Cause::EncodeFailed: return QStringLiteral("EncodeFailed");
    case Cause::PermissionDenied: return QStringLiteral("PermissionDenied");
    case Cause::ReadOnlyFileSystem: return QStringLiteral("ReadOnlyFileSystem");
    case Cause::DiskFull: return QStringLiteral("DiskFull");
    case Cause::NameTooLong: return QStringLiteral("NameTooLong");
    case Cause::FolderMissing: return QStringLiteral("FolderMissing");
    case Cause::NotAFolder: return QStringLiteral("NotAFolder");
    case Cause::FolderInTheWay: return QStringLiteral("FolderInTheWay");
    case Cause::SymlinkInTheWay: return QStringLiteral("SymlinkInTheWay");
    case Cause::OutOfMemory: return QStringLiteral("OutOfMemory");
    case Cause::IoError: return QStringLiteral("IoError");
    }
    return QStringLiteral("IoError");
}

// Reasons that belong to a run over many files rather than to one file.
const QString NameClash = QStringLiteral("NameClash");
const QString Interrupted = QStringLiteral("Interrupted");
const QString NoSuchFrame = QStringLiteral("NoSuchFrame");

// The report file: opened by its name's bytes and appended to, one whole line
// per input, every write checked.
class Report {
public:
    Report() = default;
    ~Report()
    {
        if (m_own && m_fd >= 0)
            ::close(m_fd);
    }
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;

    // Opens `path` ("-": standard output). A symbolic link there is refused
    // (it could lead anywhere, a file of another user's included) unless it
    // leads to something that is not a regular file: /dev/stdout, a terminal,
    // a pipe. A report that does not end in a newline (a run stopped while
    // writing) gets one, so that no line is glued onto a cut one.
    engine::Cause open(const QString &path)
    {
        if (path == QLatin1String("-")) {
            m_fd = STDOUT_FILENO;
            return engine::Cause::None;
        }
        const QByteArray name = filepath::pathToBytes(path);
        m_fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno == ELOOP) {
            struct stat target {};
            if (::stat(name.constData(), &target) != 0 || S_ISREG(target.st_mode))
                return engine::Cause::SymlinkInTheWay;
            m_fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        }
        if (m_fd < 0)
            return engine::causeFromErrno(errno);
        m_own = true;
        if (!endsInNewline(name))
            return write(QByteArrayLiteral("\n"));
        return engine::Cause::None;
    }

    // Appends `bytes`; the cause when they could not all be written.
    engine::Cause write(const QByteArray &bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? engine::causeFromErrno(errno) : engine::Cause::IoError;
            done += n;
        }
        return engine::Cause::None;
    }

    // Closes the file: the last chance for the system to say that the lines
    // did not reach it (a network file system reports late).
    engine::Cause close()
    {
        if (!m_own || m_fd < 0)
            return engine::Cause::None;
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 || errno == EINTR ? engine::Cause::None : engine::causeFromErrno(errno);
    }

private:
    // Whether the file opened as m_fd is empty or ends in a newline (or is no
    // regular file, which has no end to look at).
    bool endsInNewline(const QByteArray &name) const
    {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            return true;
        // Written only through m_fd; read through a descriptor of its own,
        // checked to be the same file.
        const int reader = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (reader < 0)
            return true;
        struct stat again {};
        char last = '\n';
        if (::fstat(reader, &again) == 0 && again.st_dev == st.st_dev && again.st_ino == st.st_ino
            && ::pread(reader, &last, 1, again.st_size - 1) != 1)
            last = '\n';
        ::close(reader);
        return last == '\n';
    }

    int m_fd = -1;
    bool m_own = false; // standard output is not ours to close
};

// The one line on a terminal's stderr: files done, frames written, elapsed.
class BatchProgress {
public:
    BatchProgress(int files, bool quiet)
        : m_files(files), m_enabled(!quiet && isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }
    ~BatchProgress()
    {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
    }
    BatchProgress(const BatchProgress &) = delete;
    BatchProgress &operator=(const BatchProgress &) = delete;

    void fileDone()
    {
        m_done.fetch_add(1);
        draw(true);
    }
    void framesWritten(int n)
    {
        m_frames.fetch_add(std::uint64_t(n));
        draw(false);
    }
    int filesDone() const { return m_done.load(); }
    std::uint64_t frames() const { return m_frames.load(); }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

private:
    void draw(bool always)
    {
        if (!m_enabled)
            return;
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.elapsed();
        if (!always && m_drawn && now - m_lastDraw < ProgressRedrawMs)
            return;
        m_lastDraw = now;
        std::fprintf(stderr, "\r\033[Kexport: %d/%d files, %llu frames, %.1f s", m_done.load(),
                     m_files, static_cast<unsigned long long>(m_frames.load()), double(now) / 1000.0);
        std::fflush(stderr);
        m_drawn = true;
    }

    const int m_files;
    const bool m_enabled;
    QElapsedTimer m_clock;
    std::atomic_int m_done{0};
    std::atomic<std::uint64_t> m_frames{0};
    QMutex m_mutex;
    qint64 m_lastDraw = 0;
    bool m_drawn = false;
};

// What one input came to: the report line and whether it counts as failed.
struct Outcome {
    QJsonObject line;
    bool failed = false;
    bool interrupted = false;
    // A failure every later file would meet too (no space left, read-only).
    engine::Cause haltCause = engine::Cause::None;
};

// One export over a plan: its workers, the report and progress line they
// share, and the stop flag the signals set.
class BatchRun {
public:
    BatchRun(const BatchOptions &options, const BatchPlan &plan, int encoderThreads, Report *report)
        : m_options(options), m_plan(plan), m_encoderThreads(encoderThreads), m_report(report),
          m_memory(options.memoryBytes), m_progress(int(plan.items.size()), options.quiet),
          m_extension(QString::fromLatin1(exportFormats()[size_t(options.formatIndex)].extension))
    {
    }

    std::atomic_bool *stopFlag() { return m_stop.get(); }

    // Runs the plan on `jobs` workers; returns how many inputs failed.
    int run(int jobs)
    {
        std::vector<std::thread> workers;
        workers.reserve(size_t(jobs));
        for (int i = 0; i < jobs; ++i)
            workers.emplace_back([this] { work(); });
        for (std::thread &t : workers)
            t.join();
        return m_failed.load();
    }

    bool interrupted() const { return m_stop->load() && !m_reportFailed.load(); }
    // The report could not be written: the run stopped (said on stderr).
    bool reportFailed() const { return m_reportFailed.load(); }

    // The report cannot take what the run does: the run stops, said once.
    void stopForReport(engine::Cause cause)
    {
        if (m_reportFailed.exchange(true))
            return;
        printError(QStringLiteral("%1: cannot write the report: %2; export stopped")
                       .arg(m_options.reportPath, causeText(cause)));
        m_stop->store(true);
    }

    // The cause that stopped the run early, or None.
    engine::Cause halted() const { return m_halted.load() ? m_haltCause : engine::Cause::None; }
    int filesDone() const { return m_progress.filesDone(); }
    std::uint64_t framesWritten() const { return m_progress.frames(); }
    qint64 elapsedMs() const { return m_progress.elapsedMs(); }

private:
    void work()
    {
        for (;;) {
            if (m_stop->load() || m_halted.load())
                return;
            const int i = m_next.fetch_add(1);
            if (i >= int(m_plan.items.size()))
                return;
            QElapsedTimer clock;
            clock.start();
            Outcome outcome = exportItem(m_plan.items[size_t(i)]);
            outcome.line[QStringLiteral("ms")] = clock.elapsed();
            if (outcome.failed)
                m_failed.fetch_add(1);
            if (outcome.haltCause != engine::Cause::None && !m_halted.exchange(true))
                m_haltCause = outcome.haltCause;
            writeReportLine(outcome.line);
            if (!outcome.interrupted)
                m_progress.fileDone();
        }
    }

    Outcome exportItem(const BatchItem &item)
    {
        Outcome out;
        QJsonObject &line = out.line;
        line[QStringLiteral("file")] = item.source;
        line[QStringLiteral("frames")] = 0;
        line[QStringLiteral("written")] = 0;
        line[QStringLiteral("failed")] = QJsonArray();
        line[QStringLiteral("damaged")] = QJsonArray();
        line[QStringLiteral("skipped")] = false;
        line[QStringLiteral("error")] = QJsonValue();
        auto fileFailed = [&](const QString &reason) {
            line[QStringLiteral("error")] = reason;
            out.failed = true;
        };

        if (item.clashWith >= 0) {
            const BatchItem &first = m_plan.items[size_t(item.clashWith)];
            printError(QStringLiteral("%1: not exported: its frames would have the same names as "
                                      "those of %2 (%3)")
                           .arg(item.source, first.source,
                                exportFrameName(item.folder, item.base, 0, m_extension, 0)));
            line[QStringLiteral("clashesWith")] = first.source;
            fileFailed(NameClash);
            return out;
        }

        // The frame count decides the names and which listed frames exist; the
        // run goes on with this same picture.
        engine::Status status = engine::Ok;
        std::unique_ptr<engine::Image> image;
        std::int64_t memory = 0;
        {
            // One file at a time loads and waits for room in the budget, so a
            // file waiting holds one canvas and no more than one file waits.
            QMutexLocker turn(&m_loadTurn);
            image = engine::Image::load(item.source, &status);
            if (!image) {
                const engine::Cause cause = loadFailureCause(status);
                printError(QStringLiteral("%1: cannot read the picture: %2").arg(item.source, causeText(cause)));
                fileFailed(causeName(cause));
                return out;
            }
            memory = exportMemoryBytes(image->width(), image->height(), m_encoderThreads);
            if (!m_memory.take(memory, *m_stop)) {
                out.interrupted = true;
                line[QStringLiteral("error")] = Interrupted;
                return out;
            }
        }
        const MemoryHeld held(m_memory, memory);
        const std::uint32_t count = image->frameCount();
        // Taken from this picture before the run goes on with it: the records
        // are the ones its frames are drawn by, not those of a second load.
        const PictureFacts facts =
            m_options.timing || m_options.fps ? pictureFacts(*image, item.source) : PictureFacts{};

        ExportRequest request;
        request.source = item.source;
        request.folder = item.folder;
        request.formatIndex = m_options.formatIndex;
        request.numberWidth = m_options.pad ? numberWidthFor(count) : 0;
        request.hashes = m_options.timing;
        request.unique = m_options.unique;
        std::vector<Sample> samples;
        if (m_options.fps) {
            std::vector<std::int64_t> played;
            played.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i)
                played.push_back(engine::playedDelayMs(
                    i < facts.frames.size() ? facts.frames[i].delayMs : 0, facts.gif));
            samples = sampleByTime(played, *m_options.fps);
            for (const Sample &sample : samples)
                request.frames.push_back(int(sample.frame));
            request.numberByPosition = true;
            request.numberWidth = m_options.pad ? numberWidthFor(std::uint32_t(samples.size())) : 0;
        } else if (m_options.ranges.empty()) {
            request.allFrames = true;
            for (std::uint32_t i = 0; i < count; ++i)
                request.frames.push_back(int(i));
        } else {
            for (std::uint32_t i = 0; i < count; ++i)
                if (selected(std::uint64_t(i) + 1))
                    request.frames.push_back(int(i));
        }
        line[QStringLiteral("frames")] = qint64(request.frames.size());

        QJsonArray failed;
        // Frames asked for that the picture does not have.
        for (const FrameRange &r : m_options.ranges) {
            if (r.last <= count)
                continue;
            const std::uint64_t from = std::max<std::uint64_t>(r.first, std::uint64_t(count) + 1);
            if (from == r.last)
                printError(QStringLiteral("%1: there is no frame %2 (the picture has %3)")
                               .arg(item.source).arg(from).arg(count));
            else
                printError(QStringLiteral("%1: there are no frames %2-%3 (the picture has %4)")
                               .arg(item.source).arg(from).arg(r.last).arg(count));
            QJsonObject f;
            f[QStringLiteral("frame")] = qint64(from);
            if (from != r.last)
                f[QStringLiteral("lastFrame")] = qint64(r.last);
            f[QStringLiteral("reason")] = NoSuchFrame;
            failed.append(f);
            out.failed = true;
        }

        if (m_options.skipExisting && upToDate(item, request)) {
            line[QStringLiteral("skipped")] = true;
            line[QStringLiteral("failed")] = failed;
            return out;
        }

        if (const engine::Cause cause = makeFolder(item.folder); cause != engine::Cause::None) {
            line[QStringLiteral("failed")] = failed;
            fileFailed(causeName(cause));
            return out;
        }

        ExportControl control;
        control.cancel = m_stop;
        control.encoderThreads = m_encoderThreads;
        int reported = 0;
        control.progress = [&](int done, int) {
            m_progress.framesWritten(done - reported);
            reported = done;
        };
        const ExportResult result = runExport(request, control, std::move(image), status);

        if (result.sourceError != engine::Cause::None) {
            printError(QStringLiteral("%1: cannot read the picture: %2")
                           .arg(item.source, causeText(result.sourceError)));
            line[QStringLiteral("error")] = causeName(result.sourceError);
            out.failed = true;
        }
        QSet<QString> failedPaths;
        for (const ExportFailure &f : result.failures)
            failedPaths.insert(f.path);
        for (const ExportFailure &f : result.failures) {
            QJsonObject o;
            o[QStringLiteral("frame")] = f.frame + 1;
            o[QStringLiteral("reason")] = causeName(f.cause);
            failed.append(o);
            out.failed = true;
            if (f.reading && result.sourceError != engine::Cause::None)
                continue; // said once above
            const int number = f.frame + 1;
            if (result.stoppedBy != engine::Cause::None && f.cause == result.stoppedBy && !f.reading) {
                // A stop is one line, however many files were in flight when it came.
                if (f.path != firstStopped(result))
                    continue;
                const int unwritten = result.notAttempted
                                      + int(std::count_if(result.failures.begin(), result.failures.end(),
                                                          [&](const ExportFailure &g) {
                                                              return g.cause == f.cause && !g.reading;
                                                          }))
                                      - 1;
                printError(QStringLiteral("%1: cannot save frame %2: %3; stopped, %4 more files not written")
                               .arg(f.path).arg(number).arg(causeText(f.cause)).arg(unwritten));
                continue;
            }
            if (f.cause == engine::Cause::FrameUnreadable)
                // Never another frame under this number.
                printError(QStringLiteral("%1: frame %2 cannot be decoded (%3); %4 not written")
                               .arg(item.source).arg(number).arg(statusText(f.status), f.path));
            else if (f.reading)
                printError(QStringLiteral("%1: frame %2: %3; %4 not written")
                               .arg(item.source).arg(number).arg(causeText(f.cause), f.path));
            else
                printError(QStringLiteral("%1: cannot save frame %2: %3")
                               .arg(f.path).arg(number).arg(causeText(f.cause)));
        }
        QJsonArray damaged;
        for (int frame : result.damaged) {
            const int number = frame + 1;
            damaged.append(number);
            printError(QStringLiteral("%1: frame %2 is damaged (corrupt or cut short); written as far as "
                                      "it decodes")
                           .arg(item.source)
                           .arg(number));
            out.failed = true;
        }
        // Every later file would fail alike: the whole run stops after this one.
        if (result.stoppedBy != engine::Cause::None)
            out.haltCause = result.stoppedBy;
        line[QStringLiteral("written")] = result.written;
        line[QStringLiteral("failed")] = failed;
        line[QStringLiteral("damaged")] = damaged;
        line[QStringLiteral("duplicates")] = result.duplicates;

        if (result.cancelled) {
            out.interrupted = true;
            line[QStringLiteral("error")] = Interrupted;
            return out;
        }
        if (m_options.timing && result.sourceError == engine::Cause::None && result.stoppedBy == engine::Cause::None)
            writeTiming(item, facts, result, timingEntries(result, failedPaths, samples, count), &out);
        return out;
    }

    bool selected(std::uint64_t number) const
    {
        return std::any_of(m_options.ranges.begin(), m_options.ranges.end(),
                           [number](const FrameRange &r) { return number >= r.first && number <= r.last; });
    }

    // The timing file's entries: one per sample, or one per frame of the picture.
    static std::vector<TimingEntry> timingEntries(const ExportResult &result, const QSet<QString> &failedPaths,
                                                  const std::vector<Sample> &samples, std::uint32_t count)
    {
        // Per position of the run: the file written there, by a duplicate its original's.
        const int tried = result.attempted - result.notAttempted;
        std::vector<QString> files(result.files.size());
        for (int k = 0; k < tried && k < int(files.size()); ++k)
            if (!failedPaths.contains(result.files[size_t(k)]))
                files[size_t(k)] = filepath::fileName(result.files[size_t(k)]);
        auto duplicateOf = [&](size_t k) {
            return k < result.duplicateOf.size() ? result.duplicateOf[k] : -1;
        };
        for (size_t k = 0; k < files.size(); ++k)
            if (const int earlier = duplicateOf(k); earlier >= 0 && int(k) < tried)
                files[k] = files[size_t(earlier)];
        auto hashAt = [&](size_t k) {
            return k < result.hashes.size() ? result.hashes[k] : std::nullopt;
        };

        std::vector<TimingEntry> entries;
        if (!samples.empty()) {
            for (size_t k = 0; k < samples.size() && k < files.size(); ++k) {
                const int earlier = duplicateOf(k);
                entries.push_back({samples[k].frame, files[k], hashAt(k), earlier >= 0 ? earlier + 1 : 0,
                                   samples[k].timeMs});
            }
            return entries;
        }
        entries.resize(count);
        for (std::uint32_t i = 0; i < count; ++i)
            entries[i].frame = i;
        for (size_t k = 0; k < files.size() && k < result.frames.size(); ++k) {
            const int frame = result.frames[k];
            if (frame < 0 || frame >= int(count))
                continue;
            const int earlier = duplicateOf(k);
            entries[size_t(frame)] = {std::uint32_t(frame), files[k], hashAt(k),
                                      earlier >= 0 ? result.frames[size_t(earlier)] + 1 : 0, -1};
        }
        return entries;
    }

    // Every file this input would write is there and newer than the input.
    // With samples or duplicates left out the names are known only after
    // decoding: then its timing file says them.
    bool upToDate(const BatchItem &item, const ExportRequest &request) const
    {
        if (m_options.fps || m_options.unique) {
            const QString timing = timingFileName(item);
            std::optional<QStringList> files = filesOfTiming(timing, item.folder);
            return files && filesNewerThan(*files << timing, item.source);
        }
        QStringList paths;
        for (int frame : request.frames)
            paths << exportFrameName(item.folder, item.base, frame, m_extension, request.numberWidth);
        if (m_options.timing)
            paths << timingFileName(item);
        return filesNewerThan(paths, item.source);
    }

    void writeTiming(const BatchItem &item, const PictureFacts &facts, const ExportResult &result,
                     const std::vector<TimingEntry> &entries, Outcome *out)
    {
        const QString path = timingFileName(item);
        engine::Cause cause = engine::Cause::None;
        // The facts were taken when the file was loaded; from a change on they
        // describe another file.
        if (std::any_of(result.failures.begin(), result.failures.end(),
                        [](const ExportFailure &f) { return f.cause == engine::Cause::SourceChanged; })) {
            cause = engine::Cause::SourceChanged;
            printError(QStringLiteral("%1: timing file not written: %2").arg(path, causeText(cause)));
        } else if (engine::writeFileAtomically(path, timingJson(item.source, facts, entries), &cause)
                   != engine::Ok) {
            printError(QStringLiteral("%1: cannot save the timing file: %2").arg(path, causeText(cause)));
            if (engine::causeStopsRun(cause))
                out->haltCause = cause;
        }
        if (cause != engine::Cause::None) {
            out->line[QStringLiteral("error")] = causeName(cause);
            out->failed = true;
        }
    }

    engine::Cause makeFolder(const QString &folder)
    {
        // Two workers making the same subfolder at once must not fail each other.
        QMutexLocker lock(&m_mutex);
        return makeOutputFolder(folder);
    }

    void writeReportLine(const QJsonObject &line)
    {
        if (!m_report)
            return;
        QMutexLocker lock(&m_mutex);
        if (m_reportFailed.load())
            return;
        // Written at once, so each line is on disk as soon as its input is done.
        const engine::Cause cause = m_report->write(jsonText(line, true) + '\n');
        if (cause != engine::Cause::None)
            stopForReport(cause);
    }

    // Gives back a file's share of the memory budget when its export ends.
    class MemoryHeld {
    public:
        MemoryHeld(MemoryBudget &budget, std::int64_t bytes) : m_budget(budget), m_bytes(bytes) {}
        ~MemoryHeld() { m_budget.give(m_bytes); }
        MemoryHeld(const MemoryHeld &) = delete;
        MemoryHeld &operator=(const MemoryHeld &) = delete;

    private:
        MemoryBudget &m_budget;
        const std::int64_t m_bytes;
    };

    const BatchOptions &m_options;
    const BatchPlan &m_plan;
    const int m_encoderThreads;
    Report *m_report;
    MemoryBudget m_memory;
    QMutex m_loadTurn;
    std::atomic_bool m_reportFailed{false};
    BatchProgress m_progress;
    const QString m_extension;
    CancelFlag m_stop = std::make_shared<std::atomic_bool>(false);
    std::atomic_int m_next{0};
    std::atomic_int m_failed{0};
    std::atomic_bool m_halted{false};
    engine::Cause m_haltCause = engine::Cause::None; // set by the worker that set m_halted; read after all end
    QMutex m_mutex;
};

} // namespace

int runBatch(const BatchOptions &options)
{
    const BatchPlan plan = planBatch(options.inputs, options.folder, options.recursive);
    int problems = 0;
    for (const BatchProblem &p : plan.problems) {
        if (p.skippedEntry) {
            const char *why = p.kind == CatalogueListing::Skipped::DanglingLink ? "a link to nowhere"
                              : p.kind == CatalogueListing::Skipped::LinkLoop   ? "a link loop"
                                                                                : "not a regular file";
            printError(QStringLiteral("%1: skipped: %2").arg(p.path, QLatin1String(why)));
        } else {
            printError(QStringLiteral("%1: cannot read the folder: %2").arg(p.path, causeText(p.cause)));
            ++problems;
        }
    }

    if (plan.items.empty() && plan.inputIsOutput) {
        printError(QStringLiteral("falorengif-cli: INPUT is the output folder; nothing to export"));
        return ExitUsage;
    }

    std::unique_ptr<Report> report;
    if (!options.reportPath.isEmpty()) {
        // A report into a pipe whose reader has gone fails its write (and
        // stops the run cleanly) instead of killing the program mid-file.
        std::signal(SIGPIPE, SIG_IGN);
        report = std::make_unique<Report>();
        // Appended, so that the runs resuming an interrupted one, or several
        // runs of one shard, add up to one report.
        if (const engine::Cause cause = report->open(options.reportPath); cause != engine::Cause::None) {
            printError(QStringLiteral("%1: cannot write the report: %2").arg(options.reportPath, causeText(cause)));
            return ExitFailed;
        }
    }

    // An output folder that cannot be made or written fails every input
    // alike: said once, before anything runs.
    if (!plan.items.empty()) {
        if (makeOutputFolder(options.folder) != engine::Cause::None)
            return ExitFailed;
        if (::access(filepath::pathToBytes(options.folder).constData(), W_OK | X_OK) != 0) {
            printError(QStringLiteral("%1: cannot write into the folder: %2")
                           .arg(options.folder, causeText(engine::causeFromErrno(errno))));
            return ExitFailed;
        }
    }

    // Files at once, and encoder threads per file so that together they fill
    // the cores without crowding them.
    const int cores = std::max(1, QThread::idealThreadCount());
    const int items = int(plan.items.size());
    const int jobs = std::max(1, std::min(options.jobs > 0 ? options.jobs : cores, items));
    const int encoderThreads = std::max(1, cores / jobs);

    BatchRun run(options, plan, encoderThreads, report.get());
    int failed = 0;
    {
        StopSignals stopSignals(run.stopFlag());
        failed = run.run(jobs);
    }
    if (report && !run.reportFailed())
        if (const engine::Cause cause = report->close(); cause != engine::Cause::None)
            run.stopForReport(cause);
    if (run.reportFailed())
        return ExitFailed;
    if (run.interrupted()) {
        printError(QStringLiteral("interrupted: %1 of %2 files done, %3 frames written in %4 s; "
                                  "run again with --skip-existing to finish")
                       .arg(run.filesDone())
                       .arg(items)
                       .arg(run.framesWritten())
                       .arg(double(run.elapsedMs()) / 1000.0, 0, 'f', 1));
        return ExitInterrupted;
    }
    if (const engine::Cause cause = run.halted(); cause != engine::Cause::None && items > 1) {
        // Every file after this one would fail alike: say so once. (With one
        // file its own stop line has said it.)
        printError(QStringLiteral("export stopped: %1; %2 of %3 files done, the others not tried; "
                                  "run again with --skip-existing once there is room")
                       .arg(causeText(cause))
                       .arg(run.filesDone())
                       .arg(items));
        return ExitFailed;
    }
    if (run.halted() != engine::Cause::None)
        return ExitFailed;
    return failed || problems ? ExitFailed : ExitOk;
}

} // namespace cli
