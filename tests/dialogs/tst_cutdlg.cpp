// The export dialog: folder choice, the export run and its file names, the
// failure report, and what lasts between showings.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

#include "common/gifwriter.h"
#include "common/manualrunner.h"
#include "controls/flat/flatcombobox.h"
#include "controls/flat/flatedit.h"
#include "controls/fonts.h"
#include "controls/iconlist.h"
#include "controls/picturelist.h"
#include "controls/seams.h"
#include "dialogs/cutdlg.h"
#include "imaging/thumbnail.h"
#include "core/exportrun.h"
#include "dialogs/exportwords.h"
#include "imaging/exportnames.h"
#include "imaging/gdiplus.h"

namespace {

struct Box {
    QString text, caption;
    seams::MsgIcon icon;
    bool runButtonEnabled;
};

class RecordingBoxes final : public seams::MessageBoxes {
public:
    std::vector<Box> boxes;
    TCUTDlg *dialog = nullptr;
    seams::MsgResult show(QWidget *, const QString &text, const QString &caption,
                          seams::MsgIcon icon, seams::MsgButtons) override
    {
        boxes.push_back({text, caption, icon, dialog && dialog->SpeedButton1->isEnabled()});
        return seams::MsgResult::Ok;
    }
};

class FakePicker final : public seams::FolderPicker {
public:
    QString answer;
    QString title, start;
    int calls = 0;
    QString pickFolder(QWidget *, const QString &t, const QString &s) override
    {
        ++calls;
        title = t;
        start = s;
        return answer;
    }
};

class FakeModal final : public seams::ModalRunner {
public:
    std::function<void(QDialog *)> during;
    int calls = 0;
    int exec(QDialog *dialog) override
    {
        ++calls;
        seams::ModalScope scope;
        if (during)
            during(dialog);
        return QDialog::Rejected;
    }
};

// Palette colour of frame i of the fixtures: frame i is filled with index i + 1.
const std::vector<fgtest::GifRgb> kColours = {
    {0, 0, 0}, {200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {220, 200, 40}, {40, 200, 220},
    {200, 40, 220}, {128, 128, 128}};

QRgb frameColour(int i)
{
    const fgtest::GifRgb c = kColours[size_t(i + 1)];
    return qRgb(c.r, c.g, c.b);
}

bool writeFrames(const QString &path, int frames, int firstColour = 0)
{
    fgtest::GifSpec spec;
    spec.width = 6;
    spec.height = 4;
    spec.globalPalette = kColours;
    for (int i = 0; i < frames; ++i) {
        fgtest::GifFrame f;
        f.indexes = fgtest::filled(24, std::uint8_t((firstColour + i) % 7 + 1));
        f.delay = 10 * (i + 1);
        spec.frames.push_back(f);
    }
    return fgtest::writeGif(path, spec);
}

// The main window's frame list for `path` as the inspection fills it.
struct FrameList {
    PictureList pictures{QSize(ThumbnailSize, ThumbnailSize)};
    IconListView view;

    void load(const QString &path, int minimumItems = 0)
    {
        view.setPictureList(&pictures);
        view.items()->clear();
        pictures.clear();
        TGPImage image(path);
        Guid dim{};
        image.GetFrameDimensionsList(&dim, 1);
        int n = int(image.GetFrameCount(FrameDimensionTime));
        n = std::max(n, minimumItems);
        for (int i = 0; i < n; ++i) {
            QImage thumb(120, 120, QImage::Format_RGB32);
            thumb.fill(Qt::white);
            const int index = pictures.add(thumb);
            IconItem item;
            item.caption = QStringLiteral("第%1帧 (%2毫秒)").arg(i + 1).arg(10 * (i + 1));
            item.subItems = {path, QString::number(10 * (i + 1))};
            item.imageIndex = index;
            view.items()->append(item);
        }
    }
};

QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                            | QDir::NoDotAndDotDot, QDir::Name);
    return names;
}

QStringList expectedNames(const QString &base, const QList<int> &numbers, const QString &ext)
{
    QStringList names;
    for (int n : numbers)
        names << base + QLatin1Char('_') + QString::number(n) + ext;
    names.sort();
    return names;
}

// 8-bit RGBA with fully transparent pixels zeroed, as the references compare.
QImage normalised(const QImage &in)
{
    QImage img = in.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < img.height(); ++y) {
        auto *p = reinterpret_cast<quint32 *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((reinterpret_cast<const uchar *>(p + x))[3] == 0)
                p[x] = 0;
    }
    return img;
}

} // namespace

class TestCutDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void dropDownItems();
    void tabOrder();
    void keyboard_data();
    void keyboard();
    void loadFrameListCopiesItemsAndSharesPictures();
    void refusals_data();
    void refusals();
    void allFramesInEachFormat_data();
    void allFramesInEachFormat();
    void selectedFramesKeepTheirNumbers();
    void baseNames_data();
    void baseNames();
    void folderSeparator_data();
    void folderSeparator();
    void exportingTwiceReplacesTheFiles();
    void allFramesGoBeyondTheListLimit();
    void failuresAreReported_data();
    void failuresAreReported();
    void cancelKeepsWrittenFiles();
    void progressWindowAfterTheThreshold_data();
    void progressWindowAfterTheThreshold();
    void folderChoice();
    void choicesLastBetweenShowings();
    void centredOverMainWindow();
    void sameFilesAsTheCommandLine_data();
    void sameFilesAsTheCommandLine();
    void pngFramesMatchTheCorpus_data();
    void pngFramesMatchTheCorpus();

private:
    QString gif(const QString &name) const { return m_dir->filePath(name); }
    QString out(const QString &name) const { return m_out + QLatin1Char('/') + name; }
    // Writes the GIF, fills the frame list from it as the inspection does and
    // loads the dialog with the output folder and `format` chosen.
    bool prepare(const QString &name, int frames, int format = 4)
    {
        if (!writeFrames(gif(name), frames))
            return false;
        m_frames->load(gif(name));
        m_dlg->LoadFrameList(&m_frames->view);
        m_dlg->FlatEdit1->setText(m_out);
        m_dlg->FlatComboBox1->setCurrentIndex(format);
        return true;
    }
    // Clicks "分解图片" and waits for the run the click started, if any.
    void exportNow()
    {
        QSignalSpy done(m_dlg, &TCUTDlg::exportFinished);
        m_dlg->SpeedButton1->click();
        if (m_dlg->exportRunning())
            done.wait(30000);
    }
    // The text of the one error box shown, or what was wrong with the boxes.
    QString onlyErrorText() const
    {
        if (m_boxes.boxes.size() != 1)
            return QStringLiteral("<%1 boxes>").arg(m_boxes.boxes.size());
        const Box &b = m_boxes.boxes.front();
        if (b.caption != QStringLiteral("错误") || b.icon != seams::MsgIcon::Error)
            return QStringLiteral("<not an error box>");
        if (!b.runButtonEnabled)
            return QStringLiteral("<shown while the run button was disabled>");
        return b.text;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_out;
    std::unique_ptr<QWidget> m_main;
    TCUTDlg *m_dlg = nullptr;
    std::unique_ptr<FrameList> m_frames;
    RecordingBoxes m_boxes;
    FakePicker m_picker;
    FakeModal m_modal;
};

void TestCutDlg::initTestCase()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
    StartImaging();
    seams::setMessageBoxes(&m_boxes);
    seams::setFolderPicker(&m_picker);
    seams::setModalRunner(&m_modal);
}

void TestCutDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_out = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_out));
    m_main = std::make_unique<QWidget>();
    m_main->setGeometry(20, 10, 760, 560);
    m_dlg = new TCUTDlg(m_main.get());
    m_boxes.boxes.clear();
    m_boxes.dialog = m_dlg;
    m_picker = FakePicker();
    m_modal.during = nullptr;
    m_frames = std::make_unique<FrameList>();
}

void TestCutDlg::cleanup()
{
    m_frames.reset();
    m_main.reset();
    m_dlg = nullptr;
    m_dir.reset();
}

void TestCutDlg::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("place"); // width -1: a label sized to its text
    QTest::addColumn<QString>("text");
    QTest::newRow("ListView1") << "ListView1" << "CUTDlg" << QRect(0, 0, 685, 313) << "";
    QTest::newRow("GroupBox1") << "GroupBox1" << "CUTDlg" << QRect(2, 313, 511, 75) << "";
    QTest::newRow("Label1") << "Label1" << "GroupBox1" << QRect(8, 18, -1, -1)
                            << "文件存放目录          ";
    QTest::newRow("FlatEdit1") << "FlatEdit1" << "GroupBox1" << QRect(104, 14, 321, 19) << "";
    QTest::newRow("SpeedButton3") << "SpeedButton3" << "GroupBox1" << QRect(440, 13, 57, 22)
                                  << "浏览";
    QTest::newRow("Label2") << "Label2" << "GroupBox1" << QRect(8, 48, -1, -1)
                            << "文件保存格式          ";
    QTest::newRow("FlatComboBox1") << "FlatComboBox1" << "GroupBox1" << QRect(104, 44, 121, 21)
                                   << "GIF 格式";
    QTest::newRow("Label3") << "Label3" << "GroupBox1" << QRect(248, 48, -1, -1) << "分解出      ";
    QTest::newRow("FlatComboBox2") << "FlatComboBox2" << "GroupBox1" << QRect(304, 44, 121, 21)
                                   << "全部的GIF帧";
    QTest::newRow("SpeedButton1") << "SpeedButton1" << "CUTDlg" << QRect(528, 320, 65, 62)
                                  << "分解图片";
    QTest::newRow("SpeedButton2") << "SpeedButton2" << "CUTDlg" << QRect(608, 320, 65, 62)
                                  << "退出";
}

void TestCutDlg::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("GIF分解"));
    QCOMPARE(m_dlg->size(), QSize(685, 390));
    QCOMPARE(m_dlg->minimumSize(), m_dlg->maximumSize());
    auto *w = m_dlg->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->parentWidget()->objectName(), parent);
    if (place.width() < 0)
        QCOMPARE(w->pos(), place.topLeft());
    else
        QCOMPARE(w->geometry(), place);
    QString shown;
    if (auto *l = qobject_cast<QLabel *>(w))
        shown = l->text();
    else if (auto *b = qobject_cast<QToolButton *>(w)) {
        shown = b->text();
        // The pictures come from the compiled-in resources, even when no other
        // dialog has been made in this process.
        QVERIFY2(!b->icon().pixmap(16).isNull(), qPrintable(name));
    } else if (auto *e = qobject_cast<QLineEdit *>(w))
        shown = e->text();
    else if (auto *c = qobject_cast<QComboBox *>(w))
        shown = c->currentText();
    QCOMPARE(shown, text);
}

void TestCutDlg::dropDownItems()
{
    QStringList formats, frames;
    for (int i = 0; i < m_dlg->FlatComboBox1->count(); ++i)
        formats << m_dlg->FlatComboBox1->itemText(i);
    for (int i = 0; i < m_dlg->FlatComboBox2->count(); ++i)
        frames << m_dlg->FlatComboBox2->itemText(i);
    QCOMPARE(formats, QStringList({"GIF 格式", "BMP 格式", "JPG 格式", "TIFF 格式", "PNG 格式"}));
    QCOMPARE(frames, QStringList({"全部的GIF帧", "选中的GIF帧"}));
    QVERIFY(!m_dlg->FlatComboBox1->isEditable());
    QVERIFY(!m_dlg->FlatComboBox2->isEditable());
    QVERIFY(m_dlg->FlatEdit1->isReadOnly());
    QCOMPARE(m_dlg->ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(m_dlg->ListView1->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::ToolTipBase));
    QCOMPARE(m_dlg->palette().color(QPalette::Window), QColor(210, 233, 255));
}

void TestCutDlg::tabOrder()
{
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dlg));
    m_dlg->ListView1->setFocus();
    QTRY_VERIFY(m_dlg->ListView1->hasFocus());
    QStringList order;
    for (int i = 0; i < 8; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"ListView1", "FlatEdit1", "SpeedButton3", "FlatComboBox1",
                                 "FlatComboBox2", "SpeedButton1", "SpeedButton2", "ListView1"}));
    m_dlg->hide();
}

void TestCutDlg::keyboard_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("pickerCalls");
    QTest::addColumn<bool>("exports");
    QTest::newRow("Esc") << "ListView1" << int(Qt::Key_Escape) << true << 0 << false;
    QTest::newRow("Enter on 退出") << "SpeedButton2" << int(Qt::Key_Return) << true << 0 << false;
    QTest::newRow("Enter on 浏览") << "SpeedButton3" << int(Qt::Key_Enter) << false << 1 << false;
    QTest::newRow("Enter on 分解图片") << "SpeedButton1" << int(Qt::Key_Return) << false << 0 << true;
    QTest::newRow("space on 分解图片") << "SpeedButton1" << int(Qt::Key_Space) << false << 0 << true;
    // Enter elsewhere must not start a run by accident.
    QTest::newRow("Enter in the list") << "ListView1" << int(Qt::Key_Return) << false << 0 << false;
    QTest::newRow("Enter in the folder") << "FlatEdit1" << int(Qt::Key_Return) << false << 0 << false;
}

void TestCutDlg::keyboard()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);
    QFETCH(int, pickerCalls);
    QFETCH(bool, exports);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 2));
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dlg));
    auto *target = m_dlg->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keyClick(target, Qt::Key(key));
    QTRY_VERIFY(!m_dlg->exportRunning());
    QCOMPARE(m_dlg->isVisible(), !closes);
    QCOMPARE(m_picker.calls, pickerCalls);
    QCOMPARE(filesIn(m_out).size(), exports ? 2 : 0);
    m_dlg->hide();
}

void TestCutDlg::loadFrameListCopiesItemsAndSharesPictures()
{
    QVERIFY(prepare(QStringLiteral("walk.gif"), 3));
    IconListModel *items = m_dlg->ListView1->items();
    QCOMPARE(items->pictureList(), &m_frames->pictures);
    QCOMPARE(items->count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(items->item(i).caption, m_frames->view.items()->item(i).caption);
        QCOMPARE(items->item(i).subItems, m_frames->view.items()->item(i).subItems);
        QCOMPARE(items->item(i).imageIndex, i);
    }
    // Loading again replaces the items instead of adding to them.
    QVERIFY(prepare(QStringLiteral("two.gif"), 2));
    QCOMPARE(items->count(), 2);
    QCOMPARE(items->item(1).subItems.value(0), gif("two.gif"));
}

void TestCutDlg::refusals_data()
{
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("message");
    const QString noFolder = QStringLiteral("请选择图片保存位置!");
    QTest::newRow("empty folder") << QString() << 0 << noFolder;
    QTest::newRow("blank folder") << QStringLiteral("   ") << 0 << noFolder;
    QTest::newRow("control characters") << QStringLiteral("\t \n") << 0 << noFolder;
    QTest::newRow("empty folder before nothing selected") << QString() << 1 << noFolder;
    QTest::newRow("nothing selected") << QStringLiteral("out") << 1
                                      << QStringLiteral("请先选择要分解的GIF帧!");
}

void TestCutDlg::refusals()
{
    QFETCH(QString, folderText);
    QFETCH(int, which);
    QFETCH(QString, message);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 2));
    m_dlg->FlatEdit1->setText(folderText == QStringLiteral("out") ? m_out : folderText);
    m_dlg->FlatComboBox2->setCurrentIndex(which);
    exportNow();
    QCOMPARE(onlyErrorText(), message);
    QVERIFY(m_dlg->SpeedButton1->isEnabled());
    QVERIFY(filesIn(m_out).isEmpty());
}

void TestCutDlg::allFramesInEachFormat_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QByteArray>("readerFormat");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("GIF") << 0 << ".GIF" << QByteArray("gif") << 0;
    QTest::newRow("BMP") << 1 << ".BMP" << QByteArray("bmp") << 0;
    QTest::newRow("JPG") << 2 << ".JPG" << QByteArray("jpeg") << 6;
    QTest::newRow("TIFF") << 3 << ".TIF" << QByteArray("tiff") << 0;
    QTest::newRow("PNG") << 4 << ".png" << QByteArray("png") << 0;
}

void TestCutDlg::allFramesInEachFormat()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    QFETCH(QByteArray, readerFormat);
    QFETCH(int, tolerance);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 5, format));
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    QVERIFY(m_dlg->SpeedButton1->isEnabled());
    QCOMPARE(filesIn(m_out), expectedNames(QStringLiteral("walk"), {1, 2, 3, 4, 5}, extension));
    for (int i = 0; i < 5; ++i) {
        QImageReader reader(out(QStringLiteral("walk_%1").arg(i + 1) + extension));
        QCOMPARE(reader.format(), readerFormat);
        const QImage img = reader.read();
        QCOMPARE(img.size(), QSize(6, 4));
        const QRgb want = frameColour(i), got = img.pixel(3, 2);
        QVERIFY2(qAbs(qRed(got) - qRed(want)) <= tolerance
                     && qAbs(qGreen(got) - qGreen(want)) <= tolerance
                     && qAbs(qBlue(got) - qBlue(want)) <= tolerance,
                 qPrintable(QStringLiteral("frame %1: %2 instead of %3")
                                .arg(i + 1).arg(got, 8, 16).arg(want, 8, 16)));
    }
}

void TestCutDlg::selectedFramesKeepTheirNumbers()
{
    QVERIFY(prepare(QStringLiteral("walk.gif"), 6));
    m_dlg->FlatComboBox2->setCurrentIndex(1);
    auto *sel = m_dlg->ListView1->selectionModel();
    sel->select(m_dlg->ListView1->items()->index(4), QItemSelectionModel::Select);
    sel->select(m_dlg->ListView1->items()->index(1), QItemSelectionModel::Select);
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    QCOMPARE(filesIn(m_out), expectedNames(QStringLiteral("walk"), {2, 5}, QStringLiteral(".png")));
    QCOMPARE(QImage(out(QStringLiteral("walk_2.png"))).pixel(0, 0), frameColour(1));
    QCOMPARE(QImage(out(QStringLiteral("walk_5.png"))).pixel(0, 0), frameColour(4));
}

void TestCutDlg::baseNames_data()
{
    QTest::addColumn<QString>("gifName");
    QTest::addColumn<QString>("base");
    QTest::newRow("several dots") << "walk.cycle.gif" << "walk.cycle";
    QTest::newRow("a.b.c") << "a.b.c.gif" << "a.b.c";
    QTest::newRow("no dot") << "walk" << "walk";
    QTest::newRow("only a dot and an extension") << ".gif" << "";
    QTest::newRow("blanks and Chinese") << "走 路.GIF" << "走 路";
}

void TestCutDlg::baseNames()
{
    QFETCH(QString, gifName);
    QFETCH(QString, base);
    QVERIFY(prepare(gifName, 2, 0));
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    QCOMPARE(filesIn(m_out), expectedNames(base, {1, 2}, QStringLiteral(".GIF")));
}

void TestCutDlg::folderSeparator_data()
{
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<QString>("firstFile");
    QTest::newRow("root") << "/" << "/walk_1.GIF";
    QTest::newRow("no trailing separator") << "/home/u/out" << "/home/u/out/walk_1.GIF";
    QTest::newRow("trailing separator") << "/home/u/out/" << "/home/u/out/walk_1.GIF";
    QTest::newRow("backslash is a name character") << "/tmp/a\\" << "/tmp/a\\/walk_1.GIF";
    QTest::newRow("blanks kept") << "/tmp/out " << "/tmp/out /walk_1.GIF";
}

void TestCutDlg::folderSeparator()
{
    QFETCH(QString, folderText);
    QFETCH(QString, firstFile);
    QCOMPARE(exportFileName(exportFolder(folderText), QStringLiteral("walk"), 0,
                            QStringLiteral(".GIF")),
             firstFile);
}

void TestCutDlg::exportingTwiceReplacesTheFiles()
{
    QVERIFY(prepare(QStringLiteral("walk.gif"), 3));
    exportNow();
    QCOMPARE(QImage(out(QStringLiteral("walk_1.png"))).pixel(0, 0), frameColour(0));
    // The same GIF, now with other colours, exported again to the same folder.
    QVERIFY(writeFrames(gif("walk.gif"), 3, 3));
    m_frames->load(gif("walk.gif"));
    m_dlg->LoadFrameList(&m_frames->view);
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    QCOMPARE(filesIn(m_out), expectedNames(QStringLiteral("walk"), {1, 2, 3}, QStringLiteral(".png")));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(QImage(out(QStringLiteral("walk_%1.png").arg(i + 1))).pixel(0, 0),
                 frameColour(i + 3));
}

void TestCutDlg::allFramesGoBeyondTheListLimit()
{
    // The frame list stops at its limit; "全部的GIF帧" still writes every frame of
    // the file. Here the list shows three of the five frames.
    QVERIFY(prepare(QStringLiteral("walk.gif"), 3));
    QVERIFY(writeFrames(gif("walk.gif"), 5));
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    QCOMPARE(filesIn(m_out), expectedNames(QStringLiteral("walk"), {1, 2, 3, 4, 5}, QStringLiteral(".png")));
    QCOMPARE(QImage(out(QStringLiteral("walk_5.png"))).pixel(0, 0), frameColour(4));
}

enum class Trap { FolderInTheWay, FramesGone, GifGone, FolderGone };

void TestCutDlg::failuresAreReported_data()
{
    QTest::addColumn<Trap>("trap");
    QTest::addColumn<QString>("report"); // %1: the output folder
    QTest::addColumn<QList<int>>("written");
    // A folder standing where a frame would go stops that save, for root too;
    // the other frames are still written.
    QTest::newRow("folder where a file would go")
        << Trap::FolderInTheWay
        << QStringLiteral("共4个文件, 其中1个保存失败:\n%1/walk_2.png\n已有同名的文件夹。")
        << QList<int>{1, 3, 4};
    // The list shows four frames, the file now holds two: frames 3 and 4 cannot
    // be selected, and must not be written as copies of frame 2.
    QTest::newRow("frames gone from the file")
        << Trap::FramesGone
        << QStringLiteral("共4个文件, 其中2个保存失败:\n%1/walk_3.png\n无法读取这一帧。")
        << QList<int>{1, 2};
    QTest::newRow("GIF gone")
        << Trap::GifGone
        << QStringLiteral("共4个文件, 其中4个保存失败:\n%1/walk_1.png\n找不到GIF文件。")
        << QList<int>{};
    // A target folder gone stops the run: one failure, the rest not tried.
    QTest::newRow("folder gone")
        << Trap::FolderGone
        << QStringLiteral("共4个文件, 其中1个保存失败:\n%1/walk_1.png\n文件夹不存在。\n其余3个文件未保存。")
        << QList<int>{};
}

void TestCutDlg::failuresAreReported()
{
    QFETCH(Trap, trap);
    QFETCH(QString, report);
    QFETCH(QList<int>, written);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 4));
    // A file already standing under a name that fails keeps its contents.
    const QByteArray earlier("earlier file");
    QVERIFY(fgtest::writeBytes(out(QStringLiteral("walk_4.png")), earlier));
    switch (trap) {
    case Trap::FolderInTheWay:
        QVERIFY(QDir().mkpath(out(QStringLiteral("walk_2.png"))));
        break;
    case Trap::FramesGone:
        QVERIFY(writeFrames(gif("walk.gif"), 2));
        break;
    case Trap::GifGone:
        QVERIFY(QFile::remove(gif("walk.gif")));
        break;
    case Trap::FolderGone:
        QVERIFY(QDir(m_out).removeRecursively());
        break;
    }
    exportNow();
    QCOMPARE(onlyErrorText(), report.arg(m_out));

    // Written frames hold their own pictures; nothing stray is left behind.
    QStringList expected = expectedNames(QStringLiteral("walk"), written, QStringLiteral(".png"));
    if (trap == Trap::FolderInTheWay)
        expected << QStringLiteral("walk_2.png");
    if (!written.contains(4) && trap != Trap::FolderGone)
        expected << QStringLiteral("walk_4.png");
    expected.sort();
    QCOMPARE(filesIn(m_out), expected);
    for (int n : written)
        QCOMPARE(QImage(out(QStringLiteral("walk_%1.png").arg(n))).pixel(0, 0), frameColour(n - 1));
    if (!written.contains(4) && trap != Trap::FolderGone) {
        QFile old(out(QStringLiteral("walk_4.png")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), earlier);
    }
}

void TestCutDlg::cancelKeepsWrittenFiles()
{
    QVERIFY(prepare(QStringLiteral("walk.gif"), 5));
    fgtest::ManualRunner runner;
    m_dlg->setJobRunner(&runner);
    m_dlg->ProgressDelayMs = 0;
    // The third file's frame is being selected when "取消" is pressed: it is
    // still written, the rest are not.
    m_dlg->beforeExportFrame = [this](int k) {
        if (k == 2)
            m_dlg->progressWindow()->CancelButton->click();
    };
    m_dlg->SpeedButton1->click();
    QVERIFY(m_dlg->exportRunning());
    QVERIFY(!m_dlg->SpeedButton2->isEnabled());
    QSignalSpy done(m_dlg, &TCUTDlg::exportFinished);
    QVERIFY(runner.runOne());
    QTRY_COMPARE(done.count(), 1);
    m_dlg->setJobRunner(nullptr);
    m_dlg->beforeExportFrame = nullptr;
    QCOMPARE(int(m_boxes.boxes.size()), 1);
    QCOMPARE(m_boxes.boxes[0].text, QStringLiteral("已取消: 已保存3个文件, 其余2个文件未保存。"));
    QCOMPARE(m_boxes.boxes[0].caption, QStringLiteral("提示"));
    QCOMPARE(m_boxes.boxes[0].icon, seams::MsgIcon::Information);
    // Nothing half-written: only the three files, whole.
    QCOMPARE(filesIn(m_out), expectedNames(QStringLiteral("walk"), {1, 2, 3}, QStringLiteral(".png")));
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(QImage(out(QStringLiteral("walk_%1.png").arg(n))).pixel(0, 0), frameColour(n - 1));
    QVERIFY(m_dlg->SpeedButton1->isEnabled());
    QVERIFY(!m_dlg->progressWindow()->isVisible());
}

void TestCutDlg::progressWindowAfterTheThreshold_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("appears");
    QTest::newRow("a run shorter than the threshold shows none") << 3600000 << false;
    QTest::newRow("a run longer than the threshold shows it") << 0 << true;
}

void TestCutDlg::progressWindowAfterTheThreshold()
{
    QFETCH(int, delayMs);
    QFETCH(bool, appears);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 5));
    fgtest::ManualRunner runner;
    m_dlg->setJobRunner(&runner);
    m_dlg->ProgressDelayMs = delayMs;
    m_dlg->SpeedButton1->click();
    QVERIFY(m_dlg->exportRunning());
    // The threshold's timer fires (or not) while the run has not moved yet.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    TRunProgress *progress = m_dlg->progressWindow();
    QVERIFY(progress);
    QCOMPARE(progress->isVisible(), appears);
    if (appears) {
        QCOMPARE(progress->windowTitle(), QStringLiteral("分解GIF帧"));
        QCOMPARE(progress->Label1->text(), QStringLiteral("正在保存第1个文件, 共5个文件"));
        QCOMPARE(progress->CancelButton->text(), QStringLiteral("取消"));
    }
    QSignalSpy done(m_dlg, &TCUTDlg::exportFinished);
    QVERIFY(runner.runOne());
    QTRY_COMPARE(done.count(), 1);
    m_dlg->setJobRunner(nullptr);
    m_dlg->ProgressDelayMs = 500;
    QVERIFY(!progress->isVisible());
    QVERIFY(m_boxes.boxes.empty());
    QCOMPARE(filesIn(m_out).size(), 5);
}

void TestCutDlg::sameFilesAsTheCommandLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("key");
    QTest::newRow("GIF") << 0 << "gif";
    QTest::newRow("BMP") << 1 << "bmp";
    QTest::newRow("JPG") << 2 << "jpg";
    QTest::newRow("TIFF") << 3 << "tif";
    QTest::newRow("PNG") << 4 << "png";
}

void TestCutDlg::sameFilesAsTheCommandLine()
{
    // A separate process, as users run it: an in-process export would share
    // whatever state (the screen's resolution, say) differs between the two.
    QFETCH(int, format);
    QFETCH(QString, key);
    QVERIFY(prepare(QStringLiteral("walk.gif"), 4, format));
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    const QString cliOut = m_dir->filePath(QStringLiteral("cli-out"));
    QProcess cli;
    cli.start(QStringLiteral(FG_CLI_PATH), {QStringLiteral("export"), gif(QStringLiteral("walk.gif")),
                                            QStringLiteral("--to"), cliOut, QStringLiteral("--format"), key});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList names = filesIn(m_out);
    QCOMPARE(names.size(), 4);
    QCOMPARE(filesIn(cliOut), names);
    for (const QString &name : names) {
        QFile a(out(name));
        QFile b(cliOut + QLatin1Char('/') + name);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestCutDlg::folderChoice()
{
    // The picker starts at the desktop folder when there is one, else at home.
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QString home = m_dir->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    });

    m_picker.answer = m_out;
    m_dlg->SpeedButton3->click();
    QCOMPARE(m_picker.calls, 1);
    QCOMPARE(m_picker.title, QStringLiteral("请选择"));
    QCOMPARE(m_picker.start, home);
    QCOMPARE(m_dlg->FlatEdit1->text(), m_out);

    QVERIFY(QDir().mkpath(home + QStringLiteral("/Desktop")));
    m_picker.answer.clear(); // cancelled
    m_dlg->SpeedButton3->click();
    QCOMPARE(m_picker.start, home + QStringLiteral("/Desktop"));
    QCOMPARE(m_dlg->FlatEdit1->text(), m_out);
    QVERIFY(m_dlg->FlatEdit1->isReadOnly());
}

void TestCutDlg::choicesLastBetweenShowings()
{
    QVERIFY(writeFrames(gif("first.gif"), 4));
    QVERIFY(writeFrames(gif("second.gif"), 2));
    m_picker.answer = m_out;

    m_frames->load(gif("first.gif"));
    m_dlg->LoadFrameList(&m_frames->view);
    m_modal.during = [this](QDialog *d) {
        QCOMPARE(d, m_dlg);
        m_dlg->SpeedButton3->click();
        m_dlg->FlatComboBox1->setCurrentIndex(3);
        m_dlg->FlatComboBox2->setCurrentIndex(1);
        m_dlg->ListView1->selectRow(2);
        m_dlg->SpeedButton2->click();
    };
    seams::execModal(m_dlg);

    // The main window inspects another GIF and shows the dialog again.
    m_frames->load(gif("second.gif"));
    m_dlg->LoadFrameList(&m_frames->view);
    bool checked = false;
    m_modal.during = [&](QDialog *) {
        QCOMPARE(m_dlg->FlatEdit1->text(), m_out);
        QCOMPARE(m_dlg->FlatComboBox1->currentIndex(), 3);
        QCOMPARE(m_dlg->FlatComboBox2->currentIndex(), 1);
        QCOMPARE(m_dlg->ListView1->items()->count(), 2);
        QCOMPARE(m_dlg->ListView1->items()->item(0).subItems.value(0), gif("second.gif"));
        QCOMPARE(m_dlg->ListView1->items()->pictureList(), &m_frames->pictures);
        QVERIFY(m_dlg->ListView1->selectedRows().isEmpty());
        checked = true;
    };
    seams::execModal(m_dlg);
    QVERIFY(checked);
    QCOMPARE(m_modal.calls, 2);
}

void TestCutDlg::centredOverMainWindow()
{
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    QCOMPARE(m_dlg->size(), QSize(685, 390));
    QTRY_VERIFY((m_dlg->frameGeometry().center() - m_main->frameGeometry().center())
                    .manhattanLength() <= 2);
    m_dlg->hide();
}

void TestCutDlg::pngFramesMatchTheCorpus_data()
{
    QTest::addColumn<QString>("name");
    for (const char *n : {"pillow__dispose_prev", "pillow__dispose_bgnd_transparency",
                          "pillow__dispose_bgnd_rgba", "libnsgif__data__waves",
                          "imagegif__samples__moon_impact", "pillow__chi"})
        QTest::newRow(n) << QString::fromLatin1(n);
}

void TestCutDlg::pngFramesMatchTheCorpus()
{
    QFETCH(QString, name);
    const QString corpus = QStringLiteral(FG_SHARED_DIR "/corpus");
    const QString source = corpus + QStringLiteral("/gifs/") + name + QStringLiteral(".gif");
    const QString refs = corpus + QStringLiteral("/refs/") + name;
    if (!QFileInfo::exists(source) || !QFileInfo(refs).isDir())
        QSKIP("the GIF corpus is not available beside the repository");

    // Copy it under a short name first: the base name is not what is tested here.
    QVERIFY(QFile::copy(source, gif("c.gif")));
    m_frames->load(gif("c.gif"));
    const int n = m_frames->view.items()->count();
    QVERIFY(n > 0);
    QCOMPARE(QDir(refs).entryList({QStringLiteral("frame-*.png")}, QDir::Files).size(), n);
    m_dlg->LoadFrameList(&m_frames->view);
    m_dlg->FlatEdit1->setText(m_out);
    m_dlg->FlatComboBox1->setCurrentIndex(4);
    exportNow();
    QVERIFY(m_boxes.boxes.empty());
    for (int i = 0; i < n; ++i) {
        const QImage got(m_out + QStringLiteral("/c_%1.png").arg(i + 1));
        const QImage want(refs + QStringLiteral("/frame-%1.png").arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY2(!got.isNull() && !want.isNull(), qPrintable(QString::number(i + 1)));
        const QImage a = normalised(got), b = normalised(want);
        QCOMPARE(a.size(), b.size());
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    QFAIL(qPrintable(QStringLiteral("frame %1 differs at (%2, %3): %4 instead of %5")
                                         .arg(i + 1).arg(x).arg(y)
                                         .arg(a.pixel(x, y), 8, 16, QLatin1Char('0'))
                                         .arg(b.pixel(x, y), 8, 16, QLatin1Char('0'))));
    }
}

QTEST_MAIN(TestCutDlg)
#include "tst_cutdlg.moc"
