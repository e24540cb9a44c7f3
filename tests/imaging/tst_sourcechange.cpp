// A GIF that changes on disk while its frames are being selected: from the first
// change on (rewritten in place, truncated, replaced, removed; noticed before or
// right after a frame is composed) every selection fails with SourceChanged and
// no pixel composed from the changed file is handed out.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include "common/gifwriter.h"
#include "engineseams.h"
#include "imaging/engine/failure.h"
#include "imaging/engine/image.h"

using namespace engine;

Q_DECLARE_METATYPE(engine::Status)

namespace {

constexpr int Side = 8;
constexpr int Frames = 3;

// Three full frames of one colour each; `shade` changes every colour but not
// the file's size.
QByteArray gifBytes(std::uint8_t shade)
{
    fgtest::GifSpec spec;
    spec.width = Side;
    spec.height = Side;
    spec.globalPalette = {{shade, 0, 0}, {0, shade, 0}, {0, 0, shade}, {shade, shade, 0}};
    for (int i = 0; i < Frames; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(Side * Side, std::uint8_t(i));
        f.delay = 4;
        spec.frames.push_back(f);
    }
    return fgtest::gifBytes(spec);
}

// File systems stamp writes with a coarse clock: a rewrite within the same tick
// keeps the old time. Move it on as a write a moment later would.
void laterModificationTime(const QString &path)
{
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_nsec = (times[1].tv_nsec + 1000) % 1000000000;
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

enum class Change { None, RewriteSameSize, Truncate, Replace, Remove };

void change(const QString &path, Change how)
{
    switch (how) {
    case Change::None:
        return;
    case Change::RewriteSameSize: {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite)); // in place: same inode, same size
        const QByteArray other = gifBytes(77);
        QCOMPARE(other.size(), f.size());
        QCOMPARE(f.write(other), other.size());
        f.close();
        laterModificationTime(path);
        return;
    }
    case Change::Truncate:
        QVERIFY(QFile::resize(path, 20));
        return;
    case Change::Replace: {
        const QString next = path + QStringLiteral(".new");
        QVERIFY(fgtest::writeBytes(next, gifBytes(77)));
        QVERIFY(::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) == 0);
        return;
    }
    case Change::Remove:
        QVERIFY(QFile::remove(path));
        return;
    }
}

QString hookedPath;
std::atomic<bool> hookDone{false};

void rewriteOnce()
{
    if (!hookDone.exchange(true))
        change(hookedPath, Change::RewriteSameSize);
}

} // namespace

class TestSourceChange : public QObject {
    Q_OBJECT
private slots:
    void changeBeforeComposing_data();
    void changeBeforeComposing();
    void changeRightAfterComposing();
    void changeWhileLoading();
    void causeOfTheStatus();
};

void TestSourceChange::changeBeforeComposing_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<Status>("status");
    QTest::newRow("unchanged file selects every frame") << int(Change::None) << Ok;
    QTest::newRow("rewritten in place, same size") << int(Change::RewriteSameSize) << SourceChanged;
    QTest::newRow("truncated") << int(Change::Truncate) << SourceChanged;
    QTest::newRow("replaced by another file") << int(Change::Replace) << SourceChanged;
    QTest::newRow("removed") << int(Change::Remove) << SourceChanged;
}

void TestSourceChange::changeBeforeComposing()
{
    QFETCH(int, how);
    QFETCH(Status, status);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(fgtest::writeBytes(path, gifBytes(200)));
    Status loaded = GenericError;
    const auto image = Image::load(path, &loaded);
    QCOMPARE(loaded, Ok);
    QCOMPARE(image->selectFrame(FrameDimensionTime, 0), Ok);
    const QImage frame0 = image->activeFrame().copy();

    change(path, Change(how));
    QCOMPARE(image->selectFrame(FrameDimensionTime, 1), status);
    // Sticky: later frames, and going back, fail alike.
    QCOMPARE(image->selectFrame(FrameDimensionTime, 2), status);
    QCOMPARE(image->selectFrame(FrameDimensionTime, 0), status);
    if (status != Ok) {
        // Noticed before anything was read: the last good frame stays.
        QCOMPARE(image->activeFrameIndex(), 0u);
        QCOMPARE(image->activeFrame(), frame0);
    }
    // Argument errors still come first.
    QCOMPARE(image->selectFrame(FrameDimensionTime, Frames), InvalidParameter);
}

void TestSourceChange::changeRightAfterComposing()
{
    QTemporaryDir dir;
    hookedPath = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(fgtest::writeBytes(hookedPath, gifBytes(200)));
    const auto image = Image::load(hookedPath);
    QVERIFY(image);
    hookDone = false;
    {
        fgtest::AfterComposeScope hook(&rewriteOnce);
        QCOMPARE(image->selectFrame(FrameDimensionTime, 1), SourceChanged);
    }
    QVERIFY(hookDone);
    // The canvas may hold the new bytes: nothing of it is shown.
    QCOMPARE(image->activeFrameIndex(), 0u);
    QImage transparent(Side, Side, QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    QCOMPARE(image->activeFrame(), transparent);
    QCOMPARE(image->selectFrame(FrameDimensionTime, 2), SourceChanged);
    QCOMPARE(image->selectFrame(FrameDimensionTime, 0), SourceChanged);
}

void TestSourceChange::changeWhileLoading()
{
    QTemporaryDir dir;
    hookedPath = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY(fgtest::writeBytes(hookedPath, gifBytes(200)));
    hookDone = false;
    fgtest::AfterComposeScope hook(&rewriteOnce);
    Status s = Ok;
    QVERIFY(!Image::load(hookedPath, &s));
    QCOMPARE(s, SourceChanged);
}

void TestSourceChange::causeOfTheStatus()
{
    QCOMPARE(causeFromStatus(SourceChanged), Cause::SourceChanged);
}

QTEST_GUILESS_MAIN(TestSourceChange)
#include "tst_sourcechange.moc"
