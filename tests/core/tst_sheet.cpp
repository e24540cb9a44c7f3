// Sprite sheets read back the way a game reads them: each frame cut out of
// its sheet by the atlas's `frame`, put at `spriteSourceSize` within a
// transparent `sourceSize` picture, is the exported frame; frames sharing a
// cell share its rectangle; no sheet passes the size limit; a too-large cell
// writes nothing; the writing holds one row of cells.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include "common/gifwriter.h"
#include "core/animate.h"
#include "core/framehash.h"
#include "core/sheet.h"
#include "imaging/engine/framerecord.h"

Q_DECLARE_METATYPE(AtlasForm)

namespace {

constexpr int W = 12, H = 9;

// A box of palette colour `colour` (1..3) on transparent; colour 0: nothing.
fgtest::GifFrame box(int x0, int y0, int x1, int y1, std::uint8_t colour, int delay)
{
    fgtest::GifFrame f;
    f.indexes.assign(std::size_t(W * H), 0);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            f.indexes[std::size_t(y * W + x)] = std::uint8_t(colour + ((x + y) % 2 ? 3 : 0));
    f.transparent = 0;
    f.disposal = 2;
    f.delay = delay;
    return f;
}

struct Atlas {
    QJsonObject frame, spriteSourceSize, sourceSize;
    bool trimmed = false;
    int duration = 0;
    QString image;
};

// Every frame entry of the sheets' atlas files, by name.
std::map<QString, Atlas> readAtlases(const QStringList &jsonFiles, AtlasForm form)
{
    std::map<QString, Atlas> out;
    for (const QString &path : jsonFiles) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
        const QString image = root.value(QStringLiteral("meta")).toObject().value(QStringLiteral("image")).toString();
        auto take = [&](const QString &name, const QJsonObject &o) {
            Atlas a;
            a.frame = o.value(QStringLiteral("frame")).toObject();
            a.spriteSourceSize = o.value(QStringLiteral("spriteSourceSize")).toObject();
            a.sourceSize = o.value(QStringLiteral("sourceSize")).toObject();
            a.trimmed = o.value(QStringLiteral("trimmed")).toBool();
            a.duration = o.value(QStringLiteral("duration")).toInt();
            a.image = QFileInfo(path).dir().filePath(image);
            out[name] = a;
        };
        if (form == AtlasForm::Hash) {
            const QJsonObject frames = root.value(QStringLiteral("frames")).toObject();
            for (auto it = frames.begin(); it != frames.end(); ++it)
                take(it.key(), it.value().toObject());
        } else {
            for (const QJsonValue &v : root.value(QStringLiteral("frames")).toArray())
                take(v.toObject().value(QStringLiteral("filename")).toString(), v.toObject());
        }
    }
    return out;
}

QRect rectOf(const QJsonObject &o)
{
    return QRect(o.value(QStringLiteral("x")).toInt(), o.value(QStringLiteral("y")).toInt(),
                 o.value(QStringLiteral("w")).toInt(), o.value(QStringLiteral("h")).toInt());
}

} // namespace

class TestSheet : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_source;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        fgtest::GifSpec spec;
        spec.width = W;
        spec.height = H;
        spec.loopCount = 0;
        spec.globalPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                              {128, 0, 0}, {0, 128, 0}, {0, 0, 128}, {9, 9, 9}};
        spec.frames = {box(2, 1, 6, 5, 1, 0),  box(4, 3, 12, 9, 2, 5), box(2, 1, 6, 5, 1, 7),
                       box(0, 0, 0, 0, 0, 3),  box(0, 0, 12, 9, 3, 4), box(4, 3, 12, 9, 2, 6),
                       box(7, 0, 9, 2, 1, 2),  box(0, 8, 1, 9, 3, 9), box(2, 1, 6, 5, 1, 1)};
        m_source = m_dir.filePath(QStringLiteral("walk.gif"));
        QVERIFY(fgtest::writeGif(m_source, spec));
    }

    void cutOut_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("strip");
        QTest::addColumn<int>("padding");
        QTest::addColumn<bool>("trim");
        QTest::addColumn<bool>("unique");
        QTest::addColumn<int>("maxSize");
        QTest::addColumn<AtlasForm>("form");
        QTest::addColumn<int>("sheets");
        QTest::addColumn<int>("cells");
        const auto Hash = AtlasForm::Hash, Array = AtlasForm::Array;
        QTest::newRow("square grid, hash") << 0 << false << 0 << false << false << 8192 << Hash << 1 << 9;
        QTest::newRow("padding, array") << 0 << false << 3 << false << false << 8192 << Array << 1 << 9;
        QTest::newRow("trim with padding, hash; the empty frame is 1 x 1") << 4 << false << 2 << true << false << 8192 << Hash << 1 << 9;
        QTest::newRow("trim, strip, array") << 0 << true << 1 << true << false << 8192 << Array << 1 << 9;
        QTest::newRow("unique frames share cells") << 0 << false << 1 << false << true << 8192 << Hash << 1 << 6;
        QTest::newRow("unique and trimmed, array") << 2 << false << 0 << true << true << 8192 << Array << 1 << 6;
        QTest::newRow("a 27-pixel limit splits into sheets of 2 x 2 cells") << 0 << false << 1 << false << false << 27 << Hash << 3 << 9;
        QTest::newRow("a strip wraps and splits at the limit") << 0 << true << 0 << false << true << 25 << Array << 2 << 6;
        QTest::newRow("trimmed cells fill a small limit") << 0 << false << 0 << true << false << 20 << Hash << 2 << 9;
    }

    void cutOut()
    {
        QFETCH(int, columns);
        QFETCH(bool, strip);
        QFETCH(int, padding);
        QFETCH(bool, trim);
        QFETCH(bool, unique);
        QFETCH(int, maxSize);
        QFETCH(AtlasForm, form);
        QFETCH(int, sheets);
        QFETCH(int, cells);
        QTemporaryDir out;
        SheetRequest request;
        request.target = out.filePath(QStringLiteral("sheet.png"));
        request.frameName = QStringLiteral("walk");
        request.columns = columns;
        request.strip = strip;
        request.padding = padding;
        request.trim = trim;
        request.unique = unique;
        request.maxSize = maxSize;
        request.form = form;
        auto image = engine::Image::load(m_source);
        QVERIFY(image);
        const SheetResult result = makeSheets(*image, true, request);
        QCOMPARE(int(result.cause), int(engine::Cause::None));
        QCOMPARE(result.written.size(), 2 * sheets);
        QStringList jsonFiles;
        for (const QString &f : result.written)
            if (f.endsWith(QLatin1String(".json")))
                jsonFiles << f;
        if (sheets == 1)
            QCOMPARE(jsonFiles, QStringList{out.filePath(QStringLiteral("sheet.json"))});
        else
            QCOMPARE(jsonFiles.back(), out.filePath(QStringLiteral("sheet-%1.json").arg(sheets)));

        const auto atlas = readAtlases(jsonFiles, form);
        QCOMPARE(int(atlas.size()), int(image->frameCount()));
        std::set<std::tuple<QString, int, int>> distinct;
        const auto delays = image->frameDelaysMs();
        for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
            const QString name = QStringLiteral("walk_%1").arg(i + 1);
            QVERIFY2(atlas.count(name), qPrintable(name));
            const Atlas &a = atlas.at(name);
            const QImage sheet(a.image);
            QVERIFY(!sheet.isNull());
            QVERIFY(sheet.width() <= maxSize && sheet.height() <= maxSize);
            const QRect cell = rectOf(a.frame);
            QVERIFY(cell.left() >= padding && cell.top() >= padding);
            QVERIFY(cell.right() < sheet.width() - padding && cell.bottom() < sheet.height() - padding);
            distinct.insert({a.image, cell.x(), cell.y()});

            QImage rebuilt(a.sourceSize.value(QStringLiteral("w")).toInt(),
                           a.sourceSize.value(QStringLiteral("h")).toInt(), QImage::Format_ARGB32);
            rebuilt.fill(Qt::transparent);
            QPainter p(&rebuilt);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(rectOf(a.spriteSourceSize).topLeft(), sheet.copy(cell));
            p.end();
            image->selectFrame(image->frameDimension(), i);
            QVERIFY2(frameHash(rebuilt) == frameHash(image->activeFrame()), qPrintable(name));
            QCOMPARE(a.trimmed, rectOf(a.spriteSourceSize) != QRect(0, 0, W, H));
            QCOMPARE(a.duration, int(engine::playedDelayMs(delays[i], true)));
        }
        QCOMPARE(int(distinct.size()), cells);
    }

    void tooLargeCellWritesNothing()
    {
        QTemporaryDir out;
        SheetRequest request;
        request.target = out.filePath(QStringLiteral("sheet.png"));
        request.frameName = QStringLiteral("walk");
        request.padding = 2;
        request.maxSize = W + 3; // the cell fits, not with padding on both sides
        auto image = engine::Image::load(m_source);
        const SheetResult result = makeSheets(*image, true, request);
        QCOMPARE(result.tooLargeCell, QSize(W, H));
        QVERIFY(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    // The writing holds one row of cells, never the sheet; a sheet of noise
    // goes out in several IDAT chunks.
    void holdsOneRowOfCells()
    {
        fgtest::GifSpec spec;
        spec.width = 40;
        spec.height = 30;
        for (int i = 0; i < 256; ++i)
            spec.globalPalette.push_back({std::uint8_t(i), std::uint8_t(i * 7), std::uint8_t(i * 13)});
        std::uint32_t seed = 1;
        for (int i = 0; i < 64; ++i) {
            fgtest::GifFrame f;
            for (int p = 0; p < 40 * 30; ++p) {
                seed = seed * 1103515245u + 12345u;
                f.indexes.push_back(std::uint8_t(seed >> 16));
            }
            spec.frames.push_back(f);
        }
        QTemporaryDir out;
        const QString source = out.filePath(QStringLiteral("many.gif"));
        QVERIFY(fgtest::writeGif(source, spec));
        SheetRequest request;
        request.target = out.filePath(QStringLiteral("sheet.png"));
        request.frameName = QStringLiteral("many");
        auto image = engine::Image::load(source);
        const SheetResult result = makeSheets(*image, true, request);
        QCOMPARE(int(result.cause), int(engine::Cause::None));
        QCOMPARE(result.peakCellRowsHeld, 1);
        QCOMPARE(result.peakBandPixels, std::int64_t(8 * 40) * 30);
        QFile file(request.target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().count("IDAT") > 1);
        const QImage sheet(request.target);
        QCOMPARE(sheet.size(), QSize(8 * 40, 8 * 30));
        for (std::uint32_t i = 0; i < 64; ++i) {
            image->selectFrame(image->frameDimension(), i);
            QVERIFY(frameHash(sheet.copy(int(i % 8) * 40, int(i / 8) * 30, 40, 30)) == frameHash(image->activeFrame()));
        }
    }
};

QTEST_GUILESS_MAIN(TestSheet)
#include "tst_sheet.moc"
