// The decoder against real GIFs: a few small files kept in tests/data with the
// hashes of their reference frames, and, when the shared corpus is present next
// to the repository, every file of it (reference frames where it has them, no
// crash and every counted frame selectable everywhere else).

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "imaging/engine/image.h"

using engine::Image;

namespace {

// SHA-256 of a frame as 8-bit RGBA with every fully transparent pixel set to
// (0, 0, 0, 0), so the colour under transparency does not matter.
QByteArray frameHash(const QImage &frame)
{
    QImage rgba = frame.convertToFormat(QImage::Format_RGBA8888);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < rgba.height(); ++y) {
        uchar *p = rgba.scanLine(y);
        for (int x = 0; x < rgba.width(); ++x, p += 4)
            if (p[3] == 0)
                p[0] = p[1] = p[2] = 0;
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(rgba.constScanLine(y)),
                                    qsizetype(rgba.width()) * 4));
    }
    return hash.result().toHex();
}

// Loads `path` and compares every frame with `hashes`; returns an empty string
// or what went wrong.
QString compareFrames(const QString &path, const QStringList &hashes)
{
    auto img = Image::load(path);
    if (!img)
        return QStringLiteral("does not load");
    if (img->frameCount() != std::uint32_t(hashes.size()))
        return QStringLiteral("%1 frames instead of %2").arg(img->frameCount()).arg(hashes.size());
    for (std::uint32_t i = 0; i < img->frameCount(); ++i) {
        if (img->selectFrame(img->frameDimension(), i) != engine::Ok)
            return QStringLiteral("frame %1 cannot be selected").arg(i);
        if (frameHash(img->activeFrame()) != hashes[int(i)].toLatin1())
            return QStringLiteral("frame %1 differs").arg(i);
    }
    return {};
}

} // namespace

class TestDecoderCorpus : public QObject {
    Q_OBJECT

private slots:
    void keptFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("hashes");
        QTest::addColumn<std::vector<std::uint32_t>>("delays");

        // Hashes of the reference frames (see tests/data/README.md).
        QTest::newRow("previous disposal on the first frame")
            << QStringLiteral("previous-disposal-first-frame.gif")
            << QStringList{"e4ac4fb4de441401da3ee0107b7db07934a2a939e794960be5a96f20bcfbe37e",
                           "587d49c2feb5fcd60ec0e78f46b0ac51a6e6ce926f1efa4a2dfd1ffefcab7e21"}
            << std::vector<std::uint32_t>{100, 100};
        QTest::newRow("LZW code size 11") << QStringLiteral("lzw-code-size-11.gif")
            << QStringList{"d152b8b01a024758f1c920c55fe6777ca101e9f78ef52c1eb03e842386d2f337"}
            << std::vector<std::uint32_t>{0};
        QTest::newRow("second GIF after a missing trailer")
            << QStringLiteral("appended-without-trailer.gif")
            << QStringList{"869ed904c16375f570ddac4b544936b94dca27dda7f31eaaab814c09606a2e34",
                           "869ed904c16375f570ddac4b544936b94dca27dda7f31eaaab814c09606a2e34"}
            << std::vector<std::uint32_t>{0, 0};
        QTest::newRow("frame partly outside the screen") << QStringLiteral("frame-outside-screen.gif")
            << QStringList{"869ed904c16375f570ddac4b544936b94dca27dda7f31eaaab814c09606a2e34",
                           "869ed904c16375f570ddac4b544936b94dca27dda7f31eaaab814c09606a2e34"}
            << std::vector<std::uint32_t>{0, 0};
        QTest::newRow("no palette after a local one") << QStringLiteral("no-palette-after-local.gif")
            << QStringList{"ae0c359ec39763b63fab5028b9c20bdc187b02cf0b81eed343de9b44a84c32c1",
                           "e3820096cb82366b860b8a4e668453a7aaaf423af03bdf289fa308ea03a79332",
                           "e3820096cb82366b860b8a4e668453a7aaaf423af03bdf289fa308ea03a79332"}
            << std::vector<std::uint32_t>{500, 500, 500};
    }
    void keptFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, hashes);
        QFETCH(std::vector<std::uint32_t>, delays);
        const QString path = QStringLiteral(FG_TEST_DATA "/") + file;
        const QString why = compareFrames(path, hashes);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        auto img = Image::load(path);
        QVERIFY(img);
        QCOMPARE(img->frameDelays(), delays);
    }

    void corpus()
    {
        const QString root = QStringLiteral(FG_SHARED_DIR "/corpus");
        QFile index(root + QStringLiteral("/corpus.json"));
        if (!index.open(QIODevice::ReadOnly))
            QSKIP("the shared GIF corpus is not available");
        const QJsonArray files = QJsonDocument::fromJson(index.readAll()).object().value("files").toArray();
        QVERIFY(!files.isEmpty());
        QStringList failures;
        int checked = 0;
        for (const QJsonValue &v : files) {
            const QJsonObject e = v.toObject();
            const QString path = root + QLatin1Char('/') + e.value("file").toString();
            const QJsonObject ref = e.value("reference").toObject();
            if (ref.value("status").toString() == QLatin1String("ok")) {
                QStringList hashes;
                for (const QJsonValue &h : ref.value("frame_sha256_rgba").toArray())
                    hashes << h.toString();
                const QString why = compareFrames(path, hashes);
                if (!why.isEmpty())
                    failures << e.value("file").toString() + QStringLiteral(": ") + why;
                auto img = Image::load(path);
                if (img) {
                    std::vector<std::uint32_t> delays;
                    for (const QJsonValue &d : ref.value("delays_cs").toArray())
                        delays.push_back(std::uint32_t(d.toInt()));
                    if (img->frameDelays() != delays)
                        failures << e.value("file").toString() + QStringLiteral(": delays differ");
                    const int loop = ref.value("loop").isNull() ? -1 : ref.value("loop").toInt();
                    if (img->loopCount() != loop)
                        failures << e.value("file").toString() + QStringLiteral(": loop count differs");
                }
                ++checked;
            } else {
                // Robustness: whatever loads has every counted frame selectable
                // (a frame of which nothing decodes says so and is passed over).
                auto img = Image::load(path);
                if (!img)
                    continue;
                for (std::uint32_t i = 0; i < img->frameCount(); ++i)
                    if (const engine::Status s = img->selectFrame(img->frameDimension(), i);
                        (s != engine::Ok && s != engine::FrameCorrupt) || img->activeFrameIndex() != i) {
                        failures << e.value("file").toString()
                                + QStringLiteral(": frame %1 cannot be selected").arg(i);
                        break;
                    }
            }
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
        QVERIFY(checked > 0);
    }
};

QTEST_GUILESS_MAIN(TestDecoderCorpus)
#include "tst_decoder_corpus.moc"
