// The "导出为动画" dialog: chosen frames written in the chosen format and order
// and read back by the engine; a cancelled run leaves no file.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "common/gifwriter.h"
#include "common/manualrunner.h"
#include "controls/seams.h"
#include "dialogs/animatedlg.h"
#include "imaging/engine/image.h"

namespace {

// Four frames of one colour each: red, green, blue, white.
const QRgb Colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};

class FakeSavePicker final : public seams::SaveFilePicker {
public:
    QString answer, title;
    QString pickSaveFile(QWidget *, const QString &t, const QString &, const QString &) override
    {
        title = t;
        return answer;
    }
};

class RecordingBoxes final : public seams::MessageBoxes {
public:
    QStringList texts;
    seams::MsgResult show(QWidget *, const QString &text, const QString &, seams::MsgIcon,
                          seams::MsgButtons) override
    {
        texts << text;
        return seams::MsgResult::Ok;
    }
};

// The colour of each frame of the picture at `path`, as the engine plays it.
QList<QRgb> frameColours(const QString &path)
{
    QList<QRgb> colours;
    auto image = engine::Image::load(path);
    if (!image)
        return colours;
    for (std::uint32_t i = 0; i < image->frameCount(); ++i) {
        image->selectFrame(image->frameDimension(), i);
        colours << (image->activeFrame().pixel(1, 1) | 0xFF000000u);
    }
    return colours;
}

} // namespace

class TestAnimateDlg : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        fgtest::GifSpec spec;
        spec.width = spec.height = 4;
        for (QRgb c : Colours)
            spec.globalPalette.push_back(
                {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))});
        for (int i = 0; i < 4; ++i) {
            fgtest::GifFrame f;
            f.indexes = fgtest::filled(16, std::uint8_t(i));
            f.delay = 10;
            spec.frames.push_back(f);
        }
        m_source = m_dir.filePath(QStringLiteral("four.gif"));
        QVERIFY(fgtest::writeGif(m_source, spec));
        seams::setSaveFilePicker(&m_picker);
        seams::setMessageBoxes(&m_boxes);
    }
    void cleanupTestCase()
    {
        seams::setSaveFilePicker(nullptr);
        seams::setMessageBoxes(nullptr);
    }

    void writesChosenFramesInOrder_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QList<int>>("frames");
        const char *formats[] = {"gif", "webp", "png"};
        const char *orders[] = {"forward", "reverse", "pingpong"};
        const QList<int> played[] = {{1, 2, 3}, {3, 2, 1}, {1, 2, 3, 2}};
        for (int f = 0; f < 3; ++f)
            for (int o = 0; o < 3; ++o)
                QTest::addRow("%s-%s", formats[f], orders[o])
                    << f << o << QString::fromLatin1(formats[f]) << played[o];
    }
    void writesChosenFramesInOrder()
    {
        QFETCH(int, format);
        QFETCH(int, order);
        QFETCH(QString, suffix);
        QFETCH(QList<int>, frames);
        m_boxes.texts.clear();
        TAnimateDlg dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("导出为动画"));
        dialog.setSource(m_source, {1, 2, 3}, 4);
        dialog.FormatBox->setCurrentIndex(format);
        dialog.OrderBox->setCurrentIndex(order);
        dialog.PathEdit->clear();
        const QString target = m_dir.filePath(QStringLiteral("out-%1-%2.%3")
                                                  .arg(format).arg(order).arg(suffix));
        m_picker.answer = target;
        m_picker.title.clear();
        QSignalSpy finished(&dialog, &TAnimateDlg::runFinished);
        dialog.RunButton->click(); // no file yet: the picker asks for one
        QCOMPARE(m_picker.title, QStringLiteral("导出为动画"));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(m_boxes.texts.isEmpty());
        QList<QRgb> expected;
        for (int i : frames)
            expected << Colours[i];
        QCOMPARE(frameColours(target), expected);
    }

    void cancelLeavesNoFile()
    {
        m_boxes.texts.clear();
        fgtest::ManualRunner runner;
        TAnimateDlg dialog(nullptr);
        dialog.setJobRunner(&runner);
        dialog.ProgressDelayMs = 0;
        dialog.setSource(m_source, {}, 4);
        dialog.OrderBox->setCurrentIndex(2);
        const QString target = m_dir.filePath(QStringLiteral("cancelled.gif"));
        dialog.PathEdit->setText(target);
        dialog.show();
        dialog.RunButton->click();
        QVERIFY(dialog.running());
        QVERIFY(!dialog.RunButton->isEnabled());
        QTRY_VERIFY(dialog.progressWindow()->isVisible());
        QCOMPARE(dialog.progressWindow()->Label1->text(), QStringLiteral("正在写入第1帧, 共6帧"));
        QCOMPARE(dialog.progressWindow()->CancelButton->text(), QStringLiteral("取消"));
        QSignalSpy finished(&dialog, &TAnimateDlg::runFinished);
        dialog.progressWindow()->CancelButton->click();
        QVERIFY(runner.runOne());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!dialog.running());
        QVERIFY(!dialog.progressWindow()->isVisible());
        QVERIFY(dialog.RunButton->isEnabled());
        QVERIFY(!QFile::exists(target));
        QVERIFY(m_boxes.texts.isEmpty());
    }

private:
    QTemporaryDir m_dir;
    QString m_source;
    FakeSavePicker m_picker;
    RecordingBoxes m_boxes;
};

QTEST_MAIN(TestAnimateDlg)
#include "tst_animatedlg.moc"
