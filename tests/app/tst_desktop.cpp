// The main window on the desktop: Qt's own texts in Chinese in every window,
// dialog, menu and the folder picker; opening a path (command line or drop);
// the catalogue's Enter key; the toolbar's tips; "刷新" refreshing the tree.
#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "apptest.h"
#include "app/widgets.h"
#include "controls/aatext/aalabel.h"
#include "controls/flat/flatedit.h"
#include "controls/iconlist.h"
#include "controls/shell/itemcontextmenu.h"
#include "controls/translations.h"
#include "dialogs/about.h"
#include "dialogs/cutdlg.h"
#include "dialogs/help.h"

using namespace apptest;

namespace {

// Names a window may show in Latin letters: the program's and its maker's name,
// file formats and units, and key names of shortcuts.
const QStringList AllowedWords = {
    QStringLiteral("GIF"),  QStringLiteral("KB"),    QStringLiteral("FalorenGIF"),
    QStringLiteral("Faloren"), QStringLiteral("BMP"), QStringLiteral("JPG"),
    QStringLiteral("TIFF"), QStringLiteral("PNG"),   QStringLiteral("Ctrl"),
    QStringLiteral("Shift"), QStringLiteral("Del"),  QStringLiteral("Esc"),
    QStringLiteral("Alt"),  QStringLiteral("Ins"),   QStringLiteral("Backspace"),
};

// Records the tree's item menu instead of showing it.
class MenuRecorder final : public shellmenu::MenuTracker {
public:
    unsigned track(QWidget *, const shell::PopupMenu &menu, const QPoint &) override
    {
        for (const shell::PopupMenu::Entry &e : menu.entries)
            texts << e.text;
        return 0;
    }
    QStringList texts;
};

// Every text a user can see in `top` and its visible children.
class TextCollector {
public:
    void window(QWidget *top)
    {
        QList<QWidget *> widgets{top};
        widgets += top->findChildren<QWidget *>();
        for (QWidget *w : std::as_const(widgets)) {
            if (w != top && !w->isVisibleTo(top))
                continue;
            if (w->isWindow())
                add(w, w->windowTitle());
            add(w, w->toolTip());
            if (auto *l = qobject_cast<QLabel *>(w))
                add(w, QString(l->text()).remove(QRegularExpression(QStringLiteral("<[^>]*>"))));
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                add(w, b->text());
            if (auto *g = qobject_cast<QGroupBox *>(w))
                add(w, g->title());
            if (auto *t = qobject_cast<QTabBar *>(w))
                for (int i = 0; i < t->count(); ++i)
                    add(w, t->tabText(i) + QLatin1Char(' ') + t->tabToolTip(i));
            if (auto *e = qobject_cast<QLineEdit *>(w))
                add(w, e->placeholderText() + QLatin1Char(' ') + e->text());
            if (auto *e = qobject_cast<QTextEdit *>(w))
                add(w, e->toPlainText());
            if (auto *c = qobject_cast<QComboBox *>(w))
                for (int i = 0; i < c->count(); ++i)
                    add(w, c->itemText(i));
            if (auto *h = qobject_cast<QHeaderView *>(w))
                for (int i = 0; i < h->count(); ++i)
                    if (!h->isSectionHidden(i))
                        add(w, h->model()->headerData(i, h->orientation()).toString());
            if (auto *s = qobject_cast<TStatusBar *>(w))
                for (int i = 0; i < s->panelCount(); ++i)
                    add(w, s->panelText(i));
            if (auto *a = qobject_cast<aatext::TAALabel *>(w))
                add(w, a->Caption());
            if (auto *tree = qobject_cast<TShellTreeView *>(w)) {
                // Folder names are the file system's; the namespace's own places are ours.
                for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                    const shell::TShellFolder *f = TShellTreeView::Folder(*it);
                    if (f && !f->PathText().startsWith(QLatin1Char('/')))
                        add(w, (*it)->text(0));
                }
            } else if (auto *v = qobject_cast<QAbstractItemView *>(w); v && v->model()
                       && !qobject_cast<QHeaderView *>(w)) {
                // A file list's first column holds file names; its other columns
                // (size, type, date) and all other lists are ours.
                const bool fileList = qobject_cast<QFileDialog *>(top)
                                      && w->objectName() != QLatin1String("sidebar");
                const int columns = qobject_cast<QTreeView *>(w) ? v->model()->columnCount(v->rootIndex()) : 1;
                for (int r = 0; r < v->model()->rowCount(v->rootIndex()); ++r)
                    for (int c = fileList ? 1 : 0; c < columns; ++c)
                        add(w, v->model()->index(r, c, v->rootIndex()).data().toString());
            }
        }
    }

    void menu(const QString &where, const QMenu *menu)
    {
        for (const QAction *a : menu->actions())
            texts << where + QStringLiteral(": ") + a->text();
    }

    void add(QWidget *w, const QString &text)
    {
        if (!text.trimmed().isEmpty())
            texts << w->metaObject()->className() + QStringLiteral(" ") + w->objectName()
                         + QStringLiteral(": ") + text;
    }

    // The texts with an English word, after taking out the allowed names.
    QStringList english(QStringList allowedNames) const
    {
        std::sort(allowedNames.begin(), allowedNames.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
        QStringList bad;
        for (const QString &entry : texts) {
            // The part after ": " is the text; the widget's class and name come before.
            QString t = entry.mid(entry.indexOf(QStringLiteral(": ")) + 2);
            t.remove(QLatin1Char('&'));
            for (const QString &n : std::as_const(allowedNames))
                if (!n.isEmpty())
                    t.replace(n, QStringLiteral(" "));
            for (auto it = word.globalMatch(t); it.hasNext();) {
                if (!AllowedWords.contains(it.next().captured())) {
                    bad << entry;
                    break;
                }
            }
        }
        return bad;
    }

    QStringList texts;
};

QString desktopDir() { return QDir::homePath() + QStringLiteral("/Desktop"); }

// The node texts from below the tree's root down to its selected node.
QStringList selectedChain(TForm1 *form)
{
    QStringList chain;
    for (QTreeWidgetItem *n = form->ShellTreeView1->currentItem(); n && n->parent(); n = n->parent())
        chain.prepend(n->text(0));
    return chain;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initApp();
        QVERIFY(installChineseTranslations());
        QVERIFY(m_outside.isValid());
        // Under the home folder, and a folder outside it (the temporary home is
        // a folder of its own beside the test's other temporary folders).
        QVERIFY(QDir().mkpath(albumDir()));
        QVERIFY(writeSolidGif(albumDir() + QStringLiteral("/猫.gif"), 40, 30, {10, 20, 30}));
        QVERIFY(writeSolidGif(albumDir() + QStringLiteral("/dog.GIF"), 20, 20, {50, 50}));
        QVERIFY(writeText(albumDir() + QStringLiteral("/notes.txt"), "not a picture"));
        QVERIFY(writeText(albumDir() + QStringLiteral("/fake.png"), "not a picture either"));
        QVERIFY(QDir().mkpath(albumDir() + QStringLiteral("/sub")));
        QVERIFY(writeSolidGif(m_outside.filePath(QStringLiteral("far.gif")), 10, 10, {10, 10, 10, 10}));
    }

    // ---- Chinese everywhere -----------------------------------------------------

    void qtTextsAreChineseEverywhere()
    {
        Seams seams;
        MenuRecorder menus;
        shellmenu::setMenuTracker(&menus);
        TextCollector texts;
        QVERIFY(writeSolidGif(desktopDir() + QStringLiteral("/桌面动画.gif"), 30, 30, {10, 10}));
        {
            Window w(QString(), true);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
            QVERIFY(w.finishScan());
            w->ListView1->selectRow(0);
            QTRY_COMPARE(w->ListView2->items()->count(), 2);
            texts.window(w.form.get());
            w->PageControl1->setCurrentIndex(1);
            texts.window(w.form.get());
            w->PageControl1->setCurrentIndex(0);

            // The dialogs, shown as the commands show them.
            for (QDialog *d : {static_cast<QDialog *>(w->AboutDlg), static_cast<QDialog *>(w->helpDlg)}) {
                d->show();
                texts.window(d);
                d->hide();
            }
            w->CUTDlg->LoadFrameList(w->ListView2);
            w->CUTDlg->show();
            texts.window(w->CUTDlg);
            w->CUTDlg->hide();

            // The tree's item menu on a virtual place and on a folder, and the
            // properties window it opens.
            QTreeWidget *tree = w->ShellTreeView1;
            for (QTreeWidgetItem *node : {tree->topLevelItem(0), tree->topLevelItem(0)->child(0)}) {
                ShowItemContextMenu(w->ShellTreeView1, TShellTreeView::Folder(node), QPoint(5, 5));
                seams.modal.whileOpen = [&texts](QDialog *d) {
                    d->show();
                    texts.window(d);
                };
                InvokeItemVerb(w->ShellTreeView1, TShellTreeView::Folder(node), QStringLiteral("properties"));
                seams.modal.whileOpen = nullptr;
            }
            QVERIFY(menus.texts.size() > 4);
            for (const QString &t : std::as_const(menus.texts))
                texts.texts << QStringLiteral("tree menu: ") + t;

            // The standard menus of the information fields, the export folder and the help text.
            for (QLineEdit *e : {static_cast<QLineEdit *>(w->FlatEdit1), static_cast<QLineEdit *>(w->FlatEdit2),
                                 static_cast<QLineEdit *>(w->FlatEdit3), static_cast<QLineEdit *>(w->FlatEdit4),
                                 static_cast<QLineEdit *>(w->CUTDlg->FlatEdit1)}) {
                const std::unique_ptr<QMenu> menu(e->createStandardContextMenu());
                QVERIFY(menu->actions().size() >= 2);
                texts.menu(e->objectName(), menu.get());
            }
            const std::unique_ptr<QMenu> helpMenu(w->helpDlg->RichEdit1->createStandardContextMenu());
            texts.menu(QStringLiteral("help text"), helpMenu.get());

            // A real message box.
            const auto box = seams::makeMessageBox(w.form.get(), albumDir() + QStringLiteral("可能不是GIF文件"),
                                                   QStringLiteral("错误"), seams::MsgIcon::Error,
                                                   seams::MsgButtons::Ok);
            box->show();
            texts.window(box.get());
        }
        shellmenu::setMenuTracker(nullptr);

        // The folder picker, as the export dialog opens it: Qt's own dialog.
        QFileDialog *seen = nullptr;
        QTimer poll;
        poll.setInterval(20);
        int ticks = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            // Let the file list fill before reading it.
            if (!dialog || ++ticks < 10)
                return;
            poll.stop();
            seen = dialog;
            texts.window(dialog);
            // The detail view too, with its size, type and date columns.
            dialog->setViewMode(QFileDialog::Detail);
            QTRY_VERIFY(dialog->findChild<QTreeView *>(QStringLiteral("treeView"))->model()->rowCount(
                            dialog->findChild<QTreeView *>(QStringLiteral("treeView"))->rootIndex()) > 0);
            texts.window(dialog);
            dialog->reject();
        });
        poll.start();
        const QString picked =
            seams::folderPicker().pickFolder(nullptr, QStringLiteral("请选择"), albumDir());
        QVERIFY(seen);
        QVERIFY(picked.isEmpty());

        QStringList names = {QDir::homePath(), albumDir(), desktopDir(), TAboutDlg::kMakerUrl,
                             QDir(QDir::homePath()).dirName()};
        for (const QString &dir : {albumDir(), desktopDir(), QDir::homePath()})
            names += QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QStringList english = texts.english(names);
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QLatin1Char('\n'))));
        QVERIFY(texts.texts.size() > 50);
        QFile::remove(desktopDir() + QStringLiteral("/桌面动画.gif"));
    }

    // ---- opening a path -----------------------------------------------------------

    void openPath_data()
    {
        QTest::addColumn<QString>("path");      // "~" is the home folder, "@" the outside folder
        QTest::addColumn<QStringList>("chain"); // tree nodes down to the folder shown
        QTest::addColumn<int>("catalogue");
        QTest::addColumn<QString>("selected");  // the catalogue item selected, if any
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("box");       // the error box's text, "" for none

        const QStringList album{"主文件夹", "相册"};
        QTest::newRow("a folder under the home folder, through 主文件夹")
            << "~/相册" << album << 2 << "" << 0 << "";
        QTest::newRow("a GIF is selected and inspected in its folder")
            << "~/相册/猫.gif" << album << 2 << "猫.gif" << 3 << "";
        QTest::newRow("a GIF with an upper-case extension")
            << "~/相册/dog.GIF" << album << 2 << "dog.GIF" << 2 << "";
        QTest::newRow("a path with dots and doubled slashes")
            << "~/相册/sub/..//猫.gif" << album << 2 << "猫.gif" << 3 << "";
        QTest::newRow("a file the catalogue does not list gets the catalogue's box")
            << "~/相册/fake.png" << album << 2 << "" << 0 << "~/相册/fake.png可能不是GIF文件";
        QTest::newRow("a subfolder without GIFs")
            << "~/相册/sub" << QStringList{"主文件夹", "相册", "sub"} << 0 << "" << 0 << "";
        QTest::newRow("a GIF outside the home folder, through 计算机")
            << "@/far.gif" << QStringList{"计算机", "文件系统"} << 1 << "far.gif" << 4 << "";
        QTest::newRow("a missing file: the window stays on the desktop")
            << "~/相册/gone.gif" << QStringList() << 0 << "" << 0
            << "无法打开 ~/相册/gone.gif\n文件或文件夹不存在";
        QTest::newRow("a missing folder on the way")
            << "~/没有/猫.gif" << QStringList() << 0 << "" << 0
            << "无法打开 ~/没有/猫.gif\n文件或文件夹不存在";
        QTest::newRow("a file used as a folder")
            << "~/相册/notes.txt/x.gif" << QStringList() << 0 << "" << 0
            << "无法打开 ~/相册/notes.txt/x.gif\n文件或文件夹不存在";
        QTest::newRow("neither file nor folder")
            << "/dev/null" << QStringList() << 0 << "" << 0 << "无法打开 /dev/null\n不是文件或文件夹";
    }

    void openPath()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, chain);
        QFETCH(int, catalogue);
        QFETCH(QString, selected);
        QFETCH(int, frames);
        QFETCH(QString, box);
        auto expand = [this](QString s) {
            if (s.startsWith(QLatin1Char('~')))
                s.replace(0, 1, QDir::homePath());
            if (s.startsWith(QLatin1Char('@')))
                s.replace(0, 1, m_outside.path());
            s.replace(QStringLiteral(" ~/"), QLatin1Char(' ') + QDir::homePath() + QLatin1Char('/'));
            return s;
        };
        path = expand(path);
        box = expand(box);
        if (chain.startsWith(QStringLiteral("计算机")))
            chain += m_outside.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);

        Seams seams;
        Window w{QString()};
        QTreeWidgetItem *desktop = w->ShellTreeView1->topLevelItem(0);
        const bool opened = w->openPath(path);
        // Only a path that leaves the tree where it was fails at once.
        QCOMPARE(opened, !chain.isEmpty());
        QVERIFY(w.waitForFolders());
        QCOMPARE(int(seams.boxes.boxes.size()), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(seams.boxes.boxes[0].text, box);
            QCOMPARE(seams.boxes.boxes[0].caption, QStringLiteral("错误"));
            QCOMPARE(seams.boxes.boxes[0].icon, seams::MsgIcon::Error);
        }
        // The tree keeps the desktop as its root.
        QCOMPARE(w->ShellTreeView1->topLevelItemCount(), 1);
        QCOMPARE(w->ShellTreeView1->topLevelItem(0)->text(0), QStringLiteral("桌面"));
        QCOMPARE(selectedChain(w.form.get()), chain);
        if (chain.isEmpty()) {
            QCOMPARE(w->ShellTreeView1->currentItem(), desktop);
            return;
        }
        // The catalogue is listed; the selected GIF is inspected.
        QCOMPARE(w->ListView1->items()->count(), catalogue);
        if (selected.isEmpty()) {
            QCOMPARE(w->ListView1->selectedRow(), -1);
        } else {
            QVERIFY(w->ListView1->selectedRow() >= 0);
            QCOMPARE(w->ListView1->items()->item(w->ListView1->selectedRow()).caption, selected);
            QTRY_COMPARE(w->ListView2->items()->count(), frames);
        }
        QVERIFY(w.finishScan());
        QCOMPARE(int(seams.boxes.boxes.size()), box.isEmpty() ? 0 : 1);
    }

    void startPathIsTheFirstFolderListed_data()
    {
        QTest::addColumn<QString>("path");     // "~" is the home folder
        QTest::addColumn<QString>("selected"); // the catalogue item selected, if any
        QTest::addColumn<QString>("box");      // the first error box, "" for none

        QTest::newRow("a GIF: its folder is listed first, the broken desktop never")
            << "~/相册/猫.gif" << "猫.gif" << "";
        QTest::newRow("a missing path: its box alone, then the desktop is listed")
            << "~/相册/gone.gif" << "" << "无法打开 ~/相册/gone.gif\n文件或文件夹不存在";
    }

    void startPathIsTheFirstFolderListed()
    {
        QFETCH(QString, path);
        QFETCH(QString, selected);
        QFETCH(QString, box);
        path.replace(0, 1, QDir::homePath());
        box.replace(QStringLiteral(" ~/"), QLatin1Char(' ') + QDir::homePath() + QLatin1Char('/'));
        const QString broken = desktopDir() + QStringLiteral("/坏.gif");
        QVERIFY(writeText(broken, "GIF89a broken"));

        Seams seams;
        auto runner = std::make_unique<ManualRunner>();
        runner->immediate = true;
        auto folders = std::make_unique<ManualRunner>();
        ManualRunner *folderRunner = folders.get();
        TForm1::Options options;
        options.runner = std::move(runner);
        options.inspectionRunner = std::make_unique<ManualRunner>();
        static_cast<ManualRunner *>(options.inspectionRunner.get())->immediate = true;
        options.folderRunner = std::move(folders);
        options.startPath = path;
        TForm1 form(std::move(options));
        form.CreateDialogs();
        // Nothing is listed before the event loop opens the path.
        QVERIFY(!form.isListing());
        QTRY_VERIFY(folderRunner->runAll() == 0 && !form.isListing() && !form.Scanning
                    && !form.ShellTreeView1->isReading());

        QFile::remove(broken);
        if (box.isEmpty()) {
            QCOMPARE(int(seams.boxes.boxes.size()), 0);
            QCOMPARE(form.ShellTreeView1->SelectedFolderPath(), albumDir());
            QCOMPARE(form.ListView1->items()->item(form.ListView1->selectedRow()).caption, selected);
        } else {
            QVERIFY(!seams.boxes.boxes.empty());
            QCOMPARE(seams.boxes.boxes[0].text, box);
            QCOMPARE(seams.boxes.maxOpen, 1);
            QCOMPARE(form.ListView1->items()->count(), 1);
            QCOMPARE(form.ListView1->items()->item(0).caption, QStringLiteral("坏.gif"));
        }
    }

    void openRelativePath()
    {
        Seams seams;
        Window w{QString()};
        const QString before = QDir::currentPath();
        QDir::setCurrent(albumDir());
        const bool opened = w->openPath(QStringLiteral("猫.gif"));
        QDir::setCurrent(before);
        QVERIFY(opened);
        QVERIFY(w.waitForFolders());
        QCOMPARE(w->ShellTreeView1->SelectedFolderPath(), albumDir());
        QCOMPARE(w->ListView1->items()->item(w->ListView1->selectedRow()).caption, QStringLiteral("猫.gif"));
        QVERIFY(w.finishScan());
    }

    void openUnreadableFolder()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every folder");
        const QString locked = m_outside.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(locked));
        QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
        Seams seams;
        Window w{QString()};
        QVERIFY(!w->openPath(locked));
        ::chmod(QFile::encodeName(locked).constData(), 0700);
        QCOMPARE(int(seams.boxes.boxes.size()), 1);
        QCOMPARE(seams.boxes.boxes[0].text, QStringLiteral("无法打开 %1\n没有读取权限").arg(locked));
        QVERIFY(w.finishScan());
    }

    void openingTheShownFolderAgainRescansIt()
    {
        Seams seams;
        Window w{QString()};
        QVERIFY(w->openPath(albumDir()));
        QVERIFY(w.finishScan());
        QVERIFY(writeSolidGif(albumDir() + QStringLiteral("/新.gif"), 10, 10));
        QVERIFY(w->openPath(albumDir() + QStringLiteral("/新.gif")));
        QVERIFY(w.waitForFolders());
        QCOMPARE(w->ListView1->items()->count(), 3);
        QCOMPARE(w->ListView1->items()->item(w->ListView1->selectedRow()).caption, QStringLiteral("新.gif"));
        QVERIFY(w.finishScan());
        QFile::remove(albumDir() + QStringLiteral("/新.gif"));
    }

    void openFailureCause_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << ENOENT << "文件或文件夹不存在";
        QTest::newRow("a file on the way") << ENOTDIR << "文件或文件夹不存在";
        QTest::newRow("no permission") << EACCES << "没有读取权限";
        QTest::newRow("link loop") << ELOOP << "符号链接层数过多";
        QTest::newRow("too long") << ENAMETOOLONG << "路径太长";
        QTest::newRow("anything else names its code") << EBUSY << QStringLiteral("无法访问 (错误代码 %1)").arg(EBUSY);
    }

    void openFailureCause()
    {
        QFETCH(int, error);
        QFETCH(QString, cause);
        QCOMPARE(TForm1::openFailureCause(error), cause);
    }

    // ---- dropping ------------------------------------------------------------------

    void dropOpensTheFirstLocalPath_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("target"); // where it is dropped
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("selected");
        const QUrl cat = QUrl::fromLocalFile(albumDir() + QStringLiteral("/猫.gif"));
        const QUrl dog = QUrl::fromLocalFile(albumDir() + QStringLiteral("/dog.GIF"));
        QTest::newRow("one file") << QList<QUrl>{cat} << "ListView1" << true << "猫.gif";
        QTest::newRow("several files: the first counts")
            << QList<QUrl>{dog, cat} << "ListView1" << true << "dog.GIF";
        QTest::newRow("a web address before a file")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.com/a.gif")), cat} << "ListView1" << true
            << "猫.gif";
        QTest::newRow("a folder") << QList<QUrl>{QUrl::fromLocalFile(albumDir())} << "ListView1" << true << "";
        QTest::newRow("on the frame list") << QList<QUrl>{cat} << "ListView2" << true << "猫.gif";
        QTest::newRow("on an information field, not into it")
            << QList<QUrl>{cat} << "FlatEdit2" << true << "猫.gif";
        QTest::newRow("web addresses only")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.com/a.gif"))} << "ListView1" << false << "";
    }

    void dropOpensTheFirstLocalPath()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, target);
        QFETCH(bool, accepted);
        QFETCH(QString, selected);
        Seams seams;
        Window w{QString()};
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QMimeData data;
        data.setUrls(urls);
        data.setText(urls.first().toString());
        // The widget under the drop takes no files itself: the window gets them.
        QWidget *under = w->findChild<QWidget *>(target);
        QVERIFY(under);
        if (auto *view = qobject_cast<QAbstractScrollArea *>(under))
            under = view->viewport();
        const QPoint at(5, 5);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(under, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (!accepted)
            return;
        QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(under, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(w->ShellTreeView1->SelectedFolderPath(), albumDir());
        if (selected.isEmpty()) {
            QCOMPARE(w->ListView1->selectedRow(), -1);
        } else {
            QTRY_VERIFY(w->ListView1->selectedRow() >= 0);
            QCOMPARE(w->ListView1->items()->item(w->ListView1->selectedRow()).caption, selected);
        }
        if (auto *field = qobject_cast<QLineEdit *>(w->findChild<QWidget *>(target)))
            QVERIFY(!field->text().contains(QStringLiteral("file:")));
        QVERIFY(seams.boxes.boxes.empty());
        QVERIFY(w.finishScan());
    }

    void dropOfAMissingFileShowsOneBox()
    {
        Seams seams;
        Window w{QString()};
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        const QString gone = albumDir() + QStringLiteral("/gone.gif");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(gone)});
        // Dropped on the folder tree.
        QWidget *target = w->ShellTreeView1->viewport();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QTRY_COMPARE(int(seams.boxes.boxes.size()), 1);
        QCOMPARE(seams.boxes.boxes[0].text, QStringLiteral("无法打开 %1\n文件或文件夹不存在").arg(gone));
        QCOMPARE(seams.boxes.boxes[0].caption, QStringLiteral("错误"));
        QCOMPARE(w->ShellTreeView1->currentItem(), w->ShellTreeView1->topLevelItem(0));
        QVERIFY(w.finishScan());
    }

    // ---- keyboard ------------------------------------------------------------------

    void enterOnACatalogueItemDecomposesIt_data()
    {
        QTest::addColumn<int>("selectedBefore"); // -1: none
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("key");
        QTest::newRow("Enter on an item not yet selected") << -1 << 1 << int(Qt::Key_Return);
        QTest::newRow("Enter on the selected item") << 1 << 1 << int(Qt::Key_Return);
        QTest::newRow("keypad Enter moves the selection to the current item") << 0 << 1 << int(Qt::Key_Enter);
    }

    void enterOnACatalogueItemDecomposesIt()
    {
        QFETCH(int, selectedBefore);
        QFETCH(int, current);
        QFETCH(int, key);
        Seams seams;
        Window w(albumDir(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.finishScan());
        if (selectedBefore >= 0) {
            w->ListView1->selectRow(selectedBefore);
            QTRY_VERIFY(w->ListView2->items()->count() > 0);
        }
        w->ListView1->selectionModel()->setCurrentIndex(w->ListView1->items()->index(current),
                                                         QItemSelectionModel::NoUpdate);
        w->ListView1->setFocus();
        const int expectedFrames = w->ListView1->items()->item(current).caption == QStringLiteral("猫.gif") ? 3 : 2;
        seams.modal.whileOpen = [&](QDialog *) {
            // The export dialog opens on the frames of the item Enter was pressed on.
            QCOMPARE(w->ListView1->selectedRow(), current);
            QCOMPARE(w->ListView2->items()->count(), expectedFrames);
        };
        QTest::keyClick(w->ListView1, Qt::Key(key));
        QTRY_COMPARE(int(seams.modal.shown.size()), 1);
        QCOMPARE(seams.modal.shown[0], static_cast<QDialog *>(w->CUTDlg));
        QCOMPARE(w->ListView1->selectedRow(), current);
    }

    void toolbarTipsNameTheShortcuts_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("tip");
        QTest::newRow("分解") << "SpeedButton1" << "分解 (Ctrl+D)";
        QTest::newRow("刷新") << "SpeedButton8" << "刷新 (F5)";
        QTest::newRow("帮助") << "SpeedButton5" << "帮助 (F1)";
        QTest::newRow("关于 has no key") << "SpeedButton10" << "关于";
        QTest::newRow("退出") << "SpeedButton11" << "退出 (Ctrl+Q)";
    }

    void toolbarTipsNameTheShortcuts()
    {
        QFETCH(QString, button);
        QFETCH(QString, tip);
        Seams seams;
        Window w(m_outside.path(), true);
        auto *b = w->findChild<QToolButton *>(button);
        QVERIFY(b);
        QCOMPARE(b->toolTip(), tip);
        // The key in the tip is the one the window answers to.
        const qsizetype open = tip.indexOf(QLatin1Char('('));
        if (open < 0)
            return;
        const QKeySequence keys(tip.mid(open + 1, tip.size() - open - 2));
        bool found = false;
        for (QShortcut *s : w->findChildren<QShortcut *>())
            found = found || s->key() == keys;
        QVERIFY2(found, qPrintable(keys.toString()));
        QVERIFY(w.finishScan());
    }

    // ---- 刷新 ----------------------------------------------------------------------

    void refreshShowsFoldersMadeOrRemovedOutside_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("刷新 button") << false;
        QTest::newRow("F5") << true;
    }

    void refreshShowsFoldersMadeOrRemovedOutside()
    {
        QFETCH(bool, byKey);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("picked/old/deep")));
        QVERIFY(writeSolidGif(root.filePath(QStringLiteral("picked/a.gif")), 10, 10));
        Seams seams;
        Window w(root.path(), true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QVERIFY(w.finishScan());
        QVERIFY(selectTreeFolder(w.form.get(), QStringLiteral("picked")));
        QVERIFY(w.finishScan());
        QTreeWidgetItem *picked = w->ShellTreeView1->currentItem();
        w->ShellTreeView1->expandItem(picked);
        QVERIFY(w.waitForFolders());
        QCOMPARE(picked->childCount(), 1);
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("picked/new")));
        QVERIFY(QDir(root.filePath(QStringLiteral("picked/old"))).removeRecursively());
        QVERIFY(writeSolidGif(root.filePath(QStringLiteral("picked/b.gif")), 10, 10));

        if (byKey)
            QTest::keyClick(w.form.get(), Qt::Key_F5);
        else
            w->SpeedButton8->click();
        picked = w->ShellTreeView1->currentItem();
        QCOMPARE(picked->text(0), QStringLiteral("picked"));
        QVERIFY(picked->isExpanded());
        QCOMPARE(picked->childCount(), 1);
        QCOMPARE(picked->child(0)->text(0), QStringLiteral("new"));
        // The catalogue is scanned again, once.
        QVERIFY(w.finishScan());
        QCOMPARE(w->ListView1->items()->count(), 2);
        QVERIFY(seams.boxes.boxes.empty());
    }

private:
    static QString albumDir() { return QDir::homePath() + QStringLiteral("/相册"); }
    QTemporaryDir m_outside;
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
