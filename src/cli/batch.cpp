#include "batch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"
#include "common/filepath.h"
#include "core/batch.h"
#include "core/exportrun.h"
#include "core/framerecords.h"
#include "core/giffacts.h"
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

// Set by SIGINT / SIGTERM; every run checks it before each frame. A plain
// lock-free atomic is all a signal handler may touch.
std::atomic_bool *g_stop = nullptr;

extern "C" void onStopSignal(int)
{
    if (g_stop)
        g_stop->store(true);
}

// Installs the stop handlers for the run's lifetime, and puts the previous
// ones back afterwards.
class StopSignals {
public:
    explicit StopSignals(std::atomic_bool *flag)
    {
        g_stop = flag;
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &m_oldInt);
        sigaction(SIGTERM, &sa, &m_oldTerm);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        g_stop = nullptr;
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

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
    BatchRun(const BatchOptions &options, const BatchPlan &plan, int encoderThreads,
             std::unique_ptr<QFile> report)
        : m_options(options), m_plan(plan), m_encoderThreads(encoderThreads),
          m_report(std::move(report)), m_progress(int(plan.items.size()), options.quiet),
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

    bool interrupted() const { return m_stop->load(); }
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
        std::unique_ptr<engine::Image> image = engine::Image::load(item.source, &status);
        if (!image) {
            const engine::Cause cause = loadFailureCause(status);
            printError(QStringLiteral("%1: cannot read the picture: %2").arg(item.source, causeText(cause)));
            fileFailed(causeName(cause));
            return out;
        }
        const std::uint32_t count = image->frameCount();

        ExportRequest request;
        request.source = item.source;
        request.folder = item.folder;
        request.formatIndex = m_options.formatIndex;
        request.numberWidth = m_options.pad ? numberWidthFor(count) : 0;
        if (m_options.ranges.empty()) {
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

        if (!makeFolder(item.folder)) {
            line[QStringLiteral("failed")] = failed;
            struct stat st {};
            fileFailed(causeName(::stat(filepath::pathToBytes(item.folder).constData(), &st) == 0
                                     ? engine::Cause::NotAFolder
                                     : engine::Cause::FolderMissing));
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
        QStringList written;
        written.resize(qsizetype(count));
        const int tried = result.attempted - result.notAttempted;
        for (int k = 0; k < tried && k < int(result.files.size()); ++k)
            if (result.frames[size_t(k)] < int(count))
                written[result.frames[size_t(k)]] = filepath::fileName(result.files[size_t(k)]);
        for (const ExportFailure &f : result.failures) {
            if (f.frame < int(count))
                written[f.frame] = QString();
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
        // Every later file would fail alike: the whole run stops after this one.
        if (result.stoppedBy != engine::Cause::None)
            out.haltCause = result.stoppedBy;
        line[QStringLiteral("written")] = result.written;
        line[QStringLiteral("failed")] = failed;

        if (result.cancelled) {
            out.interrupted = true;
            line[QStringLiteral("error")] = Interrupted;
            return out;
        }
        if (m_options.timing && result.sourceError == engine::Cause::None)
            writeTiming(item, written, &out);
        return out;
    }

    bool selected(std::uint64_t number) const
    {
        return std::any_of(m_options.ranges.begin(), m_options.ranges.end(),
                           [number](const FrameRange &r) { return number >= r.first && number <= r.last; });
    }

    // Every file this input would write is there and newer than the input.
    bool upToDate(const BatchItem &item, const ExportRequest &request) const
    {
        QStringList paths;
        for (int frame : request.frames)
            paths << exportFrameName(item.folder, item.base, frame, m_extension, request.numberWidth);
        if (m_options.timing)
            paths << timingFileName(item);
        return filesNewerThan(paths, item.source);
    }

    void writeTiming(const BatchItem &item, const QStringList &written, Outcome *out)
    {
        engine::Status status = engine::Ok;
        const GifFacts facts = readGifFacts(item.source, &status);
        const QString path = timingFileName(item);
        if (status != engine::Ok) {
            printError(QStringLiteral("%1: timing file not written: %2")
                           .arg(path, causeText(loadFailureCause(status))));
            out->line[QStringLiteral("error")] = causeName(loadFailureCause(status));
            out->failed = true;
            return;
        }
        const QByteArray json = timingJson(item.source, facts, readFrameRecords(item.source), written);
        const engine::Status s = engine::writeFileAtomically(path, json);
        if (s != engine::Ok) {
            printError(QStringLiteral("%1: cannot save the timing file: %2").arg(path, statusText(s)));
            out->line[QStringLiteral("error")] = causeName(engine::causeFromStatus(s));
            out->failed = true;
        }
    }

    bool makeFolder(const QString &folder)
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
        m_report->write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        // Each line stands on its own on disk as soon as its input is done.
        m_report->flush();
    }

    const BatchOptions &m_options;
    const BatchPlan &m_plan;
    const int m_encoderThreads;
    std::unique_ptr<QFile> m_report;
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

    std::unique_ptr<QFile> report;
    if (!options.reportPath.isEmpty()) {
        report = std::make_unique<QFile>(options.reportPath);
        // Appended, so that the runs resuming an interrupted one, or several
        // runs of one shard, add up to one report.
        if (!report->open(QIODevice::WriteOnly | QIODevice::Append)) {
            printError(QStringLiteral("%1: cannot write the report: %2")
                           .arg(options.reportPath, report->errorString()));
            return ExitFailed;
        }
    }

    // Files at once, and encoder threads per file so that together they fill
    // the cores without crowding them.
    const int cores = std::max(1, QThread::idealThreadCount());
    const int items = int(plan.items.size());
    const int jobs = std::max(1, std::min(options.jobs > 0 ? options.jobs : cores, items));
    const int encoderThreads = std::max(1, cores / jobs);

    BatchRun run(options, plan, encoderThreads, std::move(report));
    int failed = 0;
    {
        StopSignals stopSignals(run.stopFlag());
        failed = run.run(jobs);
    }
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
