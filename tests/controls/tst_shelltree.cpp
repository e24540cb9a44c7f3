// The folder tree: start-up, lazy filling, order, renaming by label editing,
// the context menu's verbs, refreshing, roots and awkward folders.
#include "shell/shelltestenv.h"

#include "common/manualrunner.h"
#include "controls/fonts.h"
#include "controls/seams.h"
#include "controls/shell/shelltreeview.h"
#include "shell/icons.h"
#include "shell/shellfolder.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace shell;

namespace {

struct Box {
    QString text, caption;
    seams::MsgIcon icon;
};

class Boxes final : public seams::MessageBoxes {
public:
    QList<Box> shown;
    seams::MsgResult answer = seams::MsgResult::Yes;
    seams::MsgResult show(QWidget *, const QString &text, const QString &caption, seams::MsgIcon icon,
                          seams::MsgButtons buttons) override
    {
        shown.append({text, caption, icon});
        return buttons == seams::MsgButtons::YesNo ? answer : seams::MsgResult::Ok;
    }
};

class Opener final : public seams::UrlOpener {
public:
    QList<QUrl> opened;
    bool open(const QUrl &url) override { opened << url; return true; }
};

class Modal final : public seams::ModalRunner {
public:
    int shown = 0;
    int exec(QDialog *) override { ++shown; return 1; }
};

// Picks the menu entry whose text is `choose` (nothing when empty) and records the texts.
class Tracker final : public shellmenu::MenuTracker {
public:
    QString choose;
    QStringList texts;
    unsigned track(QWidget *, const PopupMenu &menu, const QPoint &) override
    {
        texts.clear();
        unsigned id = 0;
        for (const auto &e : menu.entries) {
            if (e.id == 0)
                continue;
            texts << e.text;
            if (e.text == choose && e.enabled)
                id = e.id;
        }
        return id;
    }
};

int g_listings = 0;
void countListing(const QByteArray &) { ++g_listings; }

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &name)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == name)
            return parent->child(i);
    return nullptr;
}

QStringList childNames(QTreeWidgetItem *parent)
{
    QStringList out;
    for (int i = 0; parent && i < parent->childCount(); ++i)
        out << parent->child(i)->text(0);
    return out;
}

} // namespace

class TestShellTree : public QObject {
    Q_OBJECT
    ShellTestEnv env;
    Boxes boxes;
    Opener opener;
    Modal modal;
    Tracker tracker;
    std::unique_ptr<TShellTreeView> tree;
    std::unique_ptr<QSignalSpy> changes;

    // A tree as the main window makes it, rooted at `root`.
    void makeTree(const QString &root = QString())
    {
        tree = std::make_unique<TShellTreeView>();
        tree->setIndent(19);
        tree->setRightClickSelect(true);
        tree->setAutoRefresh(false);
        tree->setShowRoot(false);
        if (!root.isEmpty())
            tree->setRoot(root);
        changes = std::make_unique<QSignalSpy>(tree.get(), &TShellTreeView::OnChange);
        tree->resize(300, 500);
        tree->Loaded();
        tree->show();
    }

    // Right click on a node and pick `entry` from its menu.
    void menuOn(QTreeWidgetItem *node, const QString &entry)
    {
        tree->scrollToItem(node);
        const QPoint p = tree->visualItemRect(node).center();
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, p);
        tracker.choose = entry;
        QContextMenuEvent e(QContextMenuEvent::Mouse, p, tree->viewport()->mapToGlobal(p));
        QApplication::sendEvent(tree->viewport(), &e);
    }

    QTreeWidgetItem *root() { return tree->topLevelItem(0); }

    QTreeWidgetItem *expandPath(const QStringList &names)
    {
        QTreeWidgetItem *n = root();
        for (const QString &name : names) {
            tree->expandItem(n);
            n = childNamed(n, name);
            if (!n)
                return nullptr;
        }
        return n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(env.setUp());
        installFontSubstitutions();
        seams::setMessageBoxes(&boxes);
        seams::setUrlOpener(&opener);
        seams::setModalRunner(&modal);
        shellmenu::setMenuTracker(&tracker);
        QDir d(env.desktop());
        d.mkpath(QStringLiteral("Pictures/2024/summer"));
        d.mkpath(QStringLiteral("Pictures/.thumbs"));
        d.mkpath(QStringLiteral("img10"));
        d.mkpath(QStringLiteral("img2"));
        d.mkpath(QStringLiteral(".secret/inside"));
    }
    void init()
    {
        boxes.shown.clear();
        boxes.answer = seams::MsgResult::Yes;
        tracker.choose.clear();
    }
    void cleanup()
    {
        changes.reset();
        tree.reset();
    }
    void cleanupTestCase()
    {
        seams::setMessageBoxes(nullptr);
        seams::setUrlOpener(nullptr);
        seams::setModalRunner(nullptr);
        shellmenu::setMenuTracker(nullptr);
    }

    void startsAtTheDesktop()
    {
        g_listings = 0;
        setListingObserver(countListing);
        makeTree();
        setListingObserver(nullptr);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QVERIFY(root()->isExpanded());
        QCOMPARE(tree->currentItem(), root());
        QCOMPARE(changes->count(), 1);
        QCOMPARE(changes->at(0).at(0).value<QTreeWidgetItem *>(), root());
        QCOMPARE(tree->SelectedFolderPath(), env.desktop());
        QCOMPARE(root()->text(0), QStringLiteral("桌面"));
        // Virtual places first, then the folders in name order; hidden ones left out.
        QCOMPARE(childNames(root()), QStringList({"主文件夹", "计算机", "网络", "回收站", "img2", "img10", "Pictures"}));
        // Only the desktop was listed: no child is listed to decide on its expand button.
        QCOMPARE(g_listings, 1);
        QTreeWidgetItem *pictures = childNamed(root(), QStringLiteral("Pictures"));
        QCOMPARE(pictures->childCount(), 0);
        QCOMPARE(pictures->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        // Settings of the program.
        QCOMPARE(tree->Indent(), 19);
        QVERIFY(!tree->ShowRoot());
        QVERIFY(!tree->AutoRefresh());
        QVERIFY(tree->AutoContextMenus());
        QCOMPARE(tree->ObjectTypes(), TShellObjectTypes(otFolders));
        QCOMPARE(TShellTreeView::ImageIndex(childNamed(root(), QStringLiteral("计算机"))), int(IconComputer));
    }

    void virtualFolderPathIsItsName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("computer") << "计算机" << "计算机";
        QTest::newRow("network") << "网络" << "网络";
        QTest::newRow("trash") << "回收站" << "回收站";
        QTest::newRow("home") << "主文件夹" << "$HOME";
    }
    void virtualFolderPathIsItsName()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        makeTree();
        tree->setCurrentItem(childNamed(root(), name));
        QCOMPARE(changes->count(), 2);
        QCOMPARE(tree->SelectedFolderPath(), path.replace(QLatin1String("$HOME"), env.home()));
    }

    void expandButtonGoesWhenNothingIsFound()
    {
        makeTree();
        // Pictures/.thumbs makes the link count say "has subfolders"; 2024 is the only visible one.
        QTreeWidgetItem *pictures = expandPath({"Pictures"});
        tree->expandItem(pictures);
        QCOMPARE(childNames(pictures), QStringList({"2024"}));
        QTreeWidgetItem *y2024 = childNamed(pictures, QStringLiteral("2024"));
        tree->expandItem(y2024);
        QTreeWidgetItem *summer = childNamed(y2024, QStringLiteral("summer"));
        QVERIFY(summer);
        if (env.countsLinks())
            QCOMPARE(summer->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        // A folder holding only a hidden folder shows the button until it is expanded.
        QTreeWidgetItem *secretParent = expandPath({"Pictures"});
        QVERIFY(secretParent->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
        QDir(env.desktop()).mkpath(QStringLiteral("onlyhidden/.x"));
        tree->RefreshNode(root());
        QTreeWidgetItem *onlyHidden = childNamed(root(), QStringLiteral("onlyhidden"));
        QVERIFY(onlyHidden);
        QCOMPARE(onlyHidden->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        tree->expandItem(onlyHidden);
        QCOMPARE(onlyHidden->childCount(), 0);
        QCOMPARE(onlyHidden->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(boxes.shown.isEmpty());
        QDir(env.desktop() + QStringLiteral("/onlyhidden")).removeRecursively();
    }

    void childrenReadByAJob_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("refreshedMeanwhile");
        QTest::addColumn<QStringList>("children");
        QTest::newRow("children appear when the job answers") << "Pictures" << false << QStringList{"2024"};
        QTest::newRow("none found: the expander goes when the job answers")
            << "onlyhidden" << false << QStringList{};
        QTest::newRow("node rebuilt meanwhile: read again at once, the late answer dropped")
            << "Pictures" << true << QStringList{"2024"};
    }
    void childrenReadByAJob()
    {
        QFETCH(QString, folder);
        QFETCH(bool, refreshedMeanwhile);
        QFETCH(QStringList, children);
        QVERIFY(QDir(env.desktop()).mkpath(QStringLiteral("onlyhidden/.x")));
        fgtest::ManualRunner runner;
        makeTree();
        tree->setJobRunner(&runner);
        struct Detach {
            TShellTreeView *tree;
            ~Detach() { tree->setJobRunner(nullptr); }
        } detach{tree.get()};

        QTreeWidgetItem *node = childNamed(root(), folder);
        tree->expandItem(node);
        QVERIFY(tree->isReading());
        QVERIFY(node->isExpanded());
        QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(node->childCount(), 0);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        if (refreshedMeanwhile) {
            tree->RefreshNode(root());
            node = childNamed(root(), folder);
            QCOMPARE(childNames(node), children);
        }
        QCOMPARE(runner.runAll(), 1);
        QTRY_VERIFY(!tree->isReading());
        QCOMPARE(childNames(node), children);
        QCOMPARE(node->childIndicatorPolicy(), children.isEmpty() ? QTreeWidgetItem::DontShowIndicator
                                                                  : QTreeWidgetItem::ShowIndicator);
        QCOMPARE(node->isExpanded(), !children.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(boxes.shown.isEmpty());
        QDir(env.desktop() + QStringLiteral("/onlyhidden")).removeRecursively();
    }

    void caseAndLeadingZeros()
    {
        const QString dir = env.makeFolder(QStringLiteral("alike"));
        for (const char *n : {"a1", "A1", "a01", "a001", "b"})
            QVERIFY(QDir(dir).mkdir(QLatin1String(n)));
        makeTree(dir);
        QCOMPARE(root()->text(0), QStringLiteral("alike"));
        QCOMPARE(childNames(root()).size(), 5);
        QCOMPARE(childNames(root()).last(), QStringLiteral("b"));
        QTreeWidgetItem *a01 = childNamed(root(), QStringLiteral("a01"));
        tree->setCurrentItem(a01);
        tree->RefreshNode(root());
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("a01"));
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/a01"));
    }

    void refreshKeepsExpansionSelectionAndTop()
    {
        const QString dir = env.makeFolder(QStringLiteral("many"));
        for (int i = 0; i < 80; ++i)
            QDir(dir).mkpath(QStringLiteral("f%1/sub/deeper").arg(i));
        makeTree(dir);
        QTreeWidgetItem *f5 = childNamed(root(), QStringLiteral("f5"));
        tree->expandItem(f5);
        tree->expandItem(childNamed(f5, QStringLiteral("sub")));
        QTreeWidgetItem *f40 = childNamed(root(), QStringLiteral("f40"));
        tree->expandItem(f40);
        QTreeWidgetItem *deeper = childNamed(childNamed(f5, QStringLiteral("sub")), QStringLiteral("deeper"));
        tree->setCurrentItem(deeper);
        tree->scrollToItem(childNamed(root(), QStringLiteral("f30")), QAbstractItemView::PositionAtTop);
        const QString topBefore = tree->itemAt(1, 1)->text(0);
        const int changesBefore = changes->count();
        QDir(dir).mkpath(QStringLiteral("f5/new"));
        tree->RefreshNode(root());
        f5 = childNamed(root(), QStringLiteral("f5"));
        QVERIFY(f5->isExpanded());
        QVERIFY(childNamed(f5, QStringLiteral("sub"))->isExpanded());
        QVERIFY(childNamed(f5, QStringLiteral("new")));
        QVERIFY(childNamed(root(), QStringLiteral("f40"))->isExpanded());
        QVERIFY(!childNamed(root(), QStringLiteral("f41"))->isExpanded());
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/f5/sub/deeper"));
        QCOMPARE(tree->itemAt(1, 1)->text(0), topBefore);
        // The selection was rebuilt: the owner hears of it once.
        QCOMPARE(changes->count(), changesBefore + 1);
    }

    void refreshSelectedFolderShowsOutsideChanges_data()
    {
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("children");
        QTest::newRow("a folder made outside appears")
            << QStringLiteral("b2") << QString() << QStringList({"a", "b", "b2", "c"});
        QTest::newRow("a folder removed outside vanishes")
            << QString() << QStringLiteral("b") << QStringList({"a", "c"});
        QTest::newRow("both at once")
            << QStringLiteral("0new") << QStringLiteral("c") << QStringList({"0new", "a", "b"});
    }

    void refreshSelectedFolderShowsOutsideChanges()
    {
        QFETCH(QString, made);
        QFETCH(QString, removed);
        QFETCH(QStringList, children);
        const QString dir = env.makeFolder(QStringLiteral("refresh-%1").arg(QTest::currentDataTag()));
        QDir(dir).mkpath(QStringLiteral("sel/a/inner"));
        QDir(dir).mkpath(QStringLiteral("sel/b"));
        QDir(dir).mkpath(QStringLiteral("sel/c"));
        QDir(dir).mkpath(QStringLiteral("other"));
        makeTree(dir);
        QTreeWidgetItem *sel = childNamed(root(), QStringLiteral("sel"));
        tree->expandItem(sel);
        tree->expandItem(childNamed(sel, QStringLiteral("a")));
        tree->setCurrentItem(sel);
        const int changesBefore = changes->count();
        if (!made.isEmpty())
            QVERIFY(QDir(dir).mkpath(QStringLiteral("sel/") + made));
        if (!removed.isEmpty())
            QVERIFY(QDir(dir + QStringLiteral("/sel/") + removed).removeRecursively());

        tree->refreshSelectedFolder();
        sel = childNamed(root(), QStringLiteral("sel"));
        QVERIFY(sel);
        QCOMPARE(childNames(sel), children);
        QCOMPARE(tree->currentItem(), sel);
        QVERIFY(sel->isExpanded());
        QVERIFY(childNamed(sel, QStringLiteral("a"))->isExpanded());
        QVERIFY(childNamed(root(), QStringLiteral("other")));
        // The same folder stays selected: the owner is not told of a change.
        QCOMPARE(changes->count(), changesBefore);
    }

    void refreshOfAFolderWithoutSubfoldersGivesItsArrow()
    {
        const QString dir = env.makeFolder(QStringLiteral("refresh-arrow"));
        QDir(dir).mkpath(QStringLiteral("leaf"));
        makeTree(dir);
        QTreeWidgetItem *leaf = childNamed(root(), QStringLiteral("leaf"));
        tree->setCurrentItem(leaf);
        QDir(dir).mkpath(QStringLiteral("leaf/grown"));
        tree->refreshSelectedFolder();
        leaf = tree->currentItem();
        QCOMPARE(leaf->text(0), QStringLiteral("leaf"));
        QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        tree->expandItem(leaf);
        QCOMPARE(childNames(leaf), QStringList({"grown"}));
    }

    void selectFolderPathExpandsDownToIt_data()
    {
        QTest::addColumn<QString>("where");     // "home", "desktop" or "outside"
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QStringList>("chain"); // node texts below the root
        QTest::newRow("under the home folder, through 主文件夹")
            << "home" << "相册/2024" << QStringList({"主文件夹", "相册", "2024"});
        QTest::newRow("the home folder itself") << "home" << "" << QStringList({"主文件夹"});
        QTest::newRow("under the desktop folder, as the desktop shows it")
            << "desktop" << "Pictures/2024/summer" << QStringList({"Pictures", "2024", "summer"});
        QTest::newRow("the desktop folder itself is the root") << "desktop" << "" << QStringList();
        QTest::newRow("outside the home folder, through 计算机")
            << "outside" << "x/y" << QStringList({"计算机", "文件系统"});
    }

    void selectFolderPathExpandsDownToIt()
    {
        QFETCH(QString, where);
        QFETCH(QString, relative);
        QFETCH(QStringList, chain);
        QTemporaryDir outside;
        QString base = where == QLatin1String("home")      ? env.home()
                       : where == QLatin1String("desktop") ? env.desktop()
                                                           : outside.path();
        if (!relative.isEmpty())
            QVERIFY(QDir(base).mkpath(relative));
        const QString path = relative.isEmpty() ? base : base + QLatin1Char('/') + relative;
        if (where == QLatin1String("outside")) {
            // Every folder from the file-system root down to it.
            const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
            chain += parts;
        }
        makeTree();
        const int changesBefore = changes->count();
        QVERIFY(tree->selectFolderPath(path));
        QCOMPARE(tree->SelectedFolderPath(), path);
        QStringList texts;
        for (QTreeWidgetItem *n = tree->currentItem(); n && n->parent(); n = n->parent())
            texts.prepend(n->text(0));
        QCOMPARE(texts, chain);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(root()->text(0), QStringLiteral("桌面"));
        QCOMPARE(changes->count(), changesBefore + (chain.isEmpty() ? 0 : 1));
        QVERIFY(boxes.shown.empty());
    }

    void selectFolderPathRefusesWhatTheTreeCannotShow_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");
        QTest::newRow("a hidden folder") << QString() << "/.secret/inside";
        QTest::newRow("a folder that does not exist") << QString() << "/Pictures/none";
        QTest::newRow("a relative path") << QString() << "Pictures";
        QTest::newRow("outside the tree's root") << "/img2" << "/Pictures";
    }

    void selectFolderPathRefusesWhatTheTreeCannotShow()
    {
        QFETCH(QString, root);
        QFETCH(QString, path);
        const QString absolute = path.startsWith(QLatin1Char('/')) ? env.desktop() + path : path;
        makeTree(root.isEmpty() ? QString() : env.desktop() + root);
        QTreeWidgetItem *before = tree->currentItem();
        const int changesBefore = changes->count();
        QVERIFY(!tree->selectFolderPath(absolute));
        QCOMPARE(tree->currentItem(), before);
        QCOMPARE(changes->count(), changesBefore);
    }

    void renameByLabelEdit()
    {
        const QString dir = env.makeFolder(QStringLiteral("edit"));
        QDir(dir).mkpath(QStringLiteral("old/child/grandchild"));
        QDir(dir).mkpath(QStringLiteral("taken/theirs"));
        makeTree(dir);
        QTreeWidgetItem *old = childNamed(root(), QStringLiteral("old"));
        // Refused: the name exists. Nothing moves and the label stays.
        tree->setCurrentItem(old);
        tree->editItem(old, 0);
        auto *editor = tree->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("taken"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Rename to taken failed"));
        QCOMPARE(boxes.shown[0].caption, QStringLiteral("错误"));
        QCOMPARE(boxes.shown[0].icon, seams::MsgIcon::Error);
        QCOMPARE(old->text(0), QStringLiteral("old"));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/old/child/grandchild")));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/taken/theirs")));
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/taken/child")));

        // Accepted on an expanded folder: its descendants follow the new path.
        tree->expandItem(old);
        tree->expandItem(childNamed(old, QStringLiteral("child")));
        tree->setCurrentItem(childNamed(childNamed(old, QStringLiteral("child")), QStringLiteral("grandchild")));
        const int changesBefore = changes->count();
        tree->editItem(old, 0);
        editor = tree->findChild<QLineEdit *>();
        editor->setText(QStringLiteral("new"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(childNamed(root(), QStringLiteral("new")));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/new/child/grandchild")));
        QTreeWidgetItem *renamed = childNamed(root(), QStringLiteral("new"));
        QVERIFY(renamed->isExpanded());
        QTreeWidgetItem *child = childNamed(renamed, QStringLiteral("child"));
        QVERIFY(child && child->isExpanded());
        QCOMPARE(TShellTreeView::Folder(child)->PathText(), dir + QStringLiteral("/new/child"));
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/new/child/grandchild"));
        QCOMPARE(changes->count(), changesBefore + 1);
        QCOMPARE(boxes.shown.size(), 1);
    }

    void menuRenameStartsTheLabelEdit()
    {
        const QString dir = env.makeFolder(QStringLiteral("menurename"));
        QDir(dir).mkpath(QStringLiteral("a"));
        QDir(dir).mkpath(QStringLiteral("b"));
        makeTree(dir);
        QTreeWidgetItem *b = childNamed(root(), QStringLiteral("b"));
        const int before = changes->count();
        menuOn(b, QStringLiteral("重命名"));
        // The right click selected it first, and the owner heard of that.
        QCOMPARE(tree->currentItem(), b);
        QCOMPARE(changes->count(), before + 1);
        QVERIFY(tracker.texts.contains(QStringLiteral("删除")));
        QVERIFY(tree->isEditingLabel());
        auto *editor = tree->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(b->text(0), QStringLiteral("b"));
    }

    void deleteFromTheMenu()
    {
        const QString dir = env.makeFolder(QStringLiteral("deleting"));
        QDir(dir).mkpath(QStringLiteral("keep"));
        QDir(dir).mkpath(QStringLiteral("goner/inside"));
        makeTree(dir);
        QTreeWidgetItem *goner = childNamed(root(), QStringLiteral("goner"));
        boxes.answer = seams::MsgResult::No;
        menuOn(goner, QStringLiteral("删除"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].icon, seams::MsgIcon::Question);
        QVERIFY(childNamed(root(), QStringLiteral("goner")));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/goner/inside")));
        boxes.answer = seams::MsgResult::Yes;
        menuOn(goner, QStringLiteral("删除"));
        QVERIFY(!childNamed(root(), QStringLiteral("goner")));
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/goner")));
        QVERIFY(QFileInfo::exists(env.trashFiles() + QStringLiteral("/goner/inside")));
        QVERIFY(childNamed(root(), QStringLiteral("keep")));

        // The Delete key asks the same; when the trash cannot take it, the node stays.
        const QString trash = env.home() + QStringLiteral("/.local/share/Trash");
        QVERIFY(QDir(trash).removeRecursively());
        QVERIFY(ShellTestEnv::touch(trash));  // a file where the trash folder should be
        QTreeWidgetItem *keep = childNamed(root(), QStringLiteral("keep"));
        tree->setCurrentItem(keep);
        boxes.shown.clear();
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QCOMPARE(boxes.shown.size(), 2);
        QCOMPARE(boxes.shown[1].caption, QStringLiteral("错误"));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/keep")));
        QCOMPARE(childNamed(root(), QStringLiteral("keep")), keep);
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + QStringLiteral("/files/keep")));
        QVERIFY(QFile::remove(trash));
        QTest::keyClick(tree.get(), Qt::Key_Delete);
        QVERIFY(!childNamed(root(), QStringLiteral("keep")));
        QVERIFY(QFileInfo::exists(env.trashFiles() + QStringLiteral("/keep")));
    }

    void trashEntriesAndVirtualPlacesOfferNoDiskVerbs()
    {
        QDir(env.trashFiles()).mkpath(QStringLiteral("trashed"));
        makeTree();
        QTreeWidgetItem *trash = childNamed(root(), QStringLiteral("回收站"));
        tree->expandItem(trash);
        QVERIFY(trash->childCount() > 0);
        for (QTreeWidgetItem *node : {trash->child(0), trash, childNamed(root(), QStringLiteral("计算机"))}) {
            menuOn(node, QString());
            for (const char *entry : {"剪切", "粘贴", "删除", "重命名", "新建文件夹"})
                QVERIFY2(!tracker.texts.contains(QString::fromUtf8(entry)), entry);
            QVERIFY(!(node->flags() & Qt::ItemIsEditable));
        }
        QTreeWidgetItem *computer = childNamed(root(), QStringLiteral("计算机"));
        tree->expandItem(computer);
        QTreeWidgetItem *slash = computer->child(0);
        QCOMPARE(slash->text(0), QStringLiteral("文件系统"));
        menuOn(slash, QString());
        QVERIFY(!tracker.texts.contains(QStringLiteral("删除")));
        QVERIFY(!tracker.texts.contains(QStringLiteral("重命名")));
        QVERIFY(tracker.texts.contains(QStringLiteral("打开")));
    }

    void copyAndPaste()
    {
        const QString dir = env.makeFolder(QStringLiteral("clip"));
        QDir(dir).mkpath(QStringLiteral("src/deep"));
        QDir(dir).mkpath(QStringLiteral("dst/src"));
        makeTree(dir);
        menuOn(childNamed(root(), QStringLiteral("src")), QStringLiteral("复制"));
        QTreeWidgetItem *dst = childNamed(root(), QStringLiteral("dst"));
        tree->expandItem(dst);
        menuOn(dst, QStringLiteral("粘贴"));
        QVERIFY(boxes.shown.isEmpty());
        dst = childNamed(root(), QStringLiteral("dst"));
        QCOMPARE(childNames(dst), QStringList({"src", "src (2)"}));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/dst/src (2)/deep")));
        // Into its own subfolder: refused with a box, nothing written.
        tree->expandItem(childNamed(root(), QStringLiteral("src")));
        menuOn(childNamed(childNamed(root(), QStringLiteral("src")), QStringLiteral("deep")), QStringLiteral("粘贴"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].caption, QStringLiteral("错误"));
        QCOMPARE(QDir(dir + QStringLiteral("/src/deep")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);
        // A cut moves it, and the node of the old place goes.
        menuOn(childNamed(root(), QStringLiteral("src")), QStringLiteral("剪切"));
        menuOn(childNamed(root(), QStringLiteral("dst")), QStringLiteral("粘贴"));
        QVERIFY(!childNamed(root(), QStringLiteral("src")));
        QCOMPARE(childNames(childNamed(root(), QStringLiteral("dst"))), QStringList({"src", "src (2)", "src (3)"}));
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/dst/src/")));
    }

    void newFolderStartsEditing()
    {
        const QString dir = env.makeFolder(QStringLiteral("fresh"));
        QDir(dir).mkpath(QStringLiteral("here"));
        makeTree(dir);
        menuOn(childNamed(root(), QStringLiteral("here")), QStringLiteral("新建文件夹"));
        QVERIFY(QFileInfo(dir + QStringLiteral("/here/新建文件夹")).isDir());
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/here/新建文件夹"));
        QVERIFY(tree->isEditingLabel());
        menuOn(childNamed(root(), QStringLiteral("here")), QStringLiteral("属性"));
        QCOMPARE(modal.shown, 1);
        menuOn(childNamed(root(), QStringLiteral("here")), QStringLiteral("打开"));
        QCOMPARE(opener.opened.last(), QUrl::fromLocalFile(dir + QStringLiteral("/here")));
    }

    void failedRootKeepsThePreviousOne_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::newRow("missing") << "/no/such/folder";
        QTest::newRow("drive letter") << "C:";
        QTest::newRow("no counterpart") << "rfPrinters";
    }
    void failedRootKeepsThePreviousOne()
    {
        QFETCH(QString, bad);
        const QString dir = env.makeFolder(QStringLiteral("goodroot"));
        QDir(dir).mkpath(QStringLiteral("x"));
        makeTree(dir);
        QVERIFY(!tree->setRoot(bad));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Error setting path: \"%1\"").arg(bad));
        QCOMPARE(boxes.shown[0].caption, QStringLiteral("错误"));
        QCOMPARE(tree->Root(), dir);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->SelectedFolderPath(), dir);
        QVERIFY(tree->setRoot(QStringLiteral("RFDESKTOP")));
        QCOMPARE(tree->SelectedFolderPath(), env.desktop());
    }

    void failedRootWhileLoadingFallsBack()
    {
        // Set before the tree was built: the tree still comes up at the previous root.
        makeTree(QStringLiteral("/no/such/folder"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Error setting path: \"/no/such/folder\""));
        QCOMPARE(tree->Root(), QStringLiteral("rfDesktop"));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(changes->count(), 1);
        QCOMPARE(tree->SelectedFolderPath(), env.desktop());
    }

    void thePickedFolderStaysSelected_data()
    {
        QTest::addColumn<bool>("onEmptySpace");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("click on empty space") << true << int(Qt::NoModifier);
        QTest::newRow("ctrl+click on the node") << false << int(Qt::ControlModifier);
    }
    void thePickedFolderStaysSelected()
    {
        QFETCH(bool, onEmptySpace);
        QFETCH(int, modifiers);
        const QString dir = env.makeFolder(QStringLiteral("staysselected"));
        QDir(dir).mkpath(QStringLiteral("a"));
        makeTree(dir);
        QTreeWidgetItem *a = childNamed(root(), QStringLiteral("a"));
        const QPoint p = tree->visualItemRect(a).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, p);
        QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>({a}));
        const int before = changes->count();
        const QPoint second = onEmptySpace ? QPoint(p.x(), tree->viewport()->height() - 2) : p;
        QVERIFY(!onEmptySpace || !tree->itemAt(second));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers), second);
        QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>({a}));
        QCOMPARE(changes->count(), before);
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/a"));
    }

    void loopsAndVanishedFolders()
    {
        const QString dir = env.makeFolder(QStringLiteral("loops"));
        QVERIFY(QFile::link(dir, dir + QStringLiteral("/again")));
        QVERIFY(QFile::link(dir + QStringLiteral("/me"), dir + QStringLiteral("/me")));
        QDir(dir).mkpath(QStringLiteral("vanish/sub"));
        makeTree(dir);
        QCOMPARE(childNames(root()), QStringList({"again", "vanish"}));
        QTreeWidgetItem *n = root();
        for (int level = 0; level < 6; ++level) {
            n = childNamed(n, QStringLiteral("again"));
            QVERIFY(n);
            tree->expandItem(n);
        }
        QTreeWidgetItem *vanish = childNamed(root(), QStringLiteral("vanish"));
        QDir(dir + QStringLiteral("/vanish")).removeRecursively();
        tree->expandItem(vanish);
        QCOMPARE(vanish->childCount(), 0);
        QCOMPARE(vanish->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(boxes.shown.isEmpty());
        if (::geteuid() != 0) {  // root reads every folder
            QDir(dir).mkpath(QStringLiteral("locked/inner"));
            tree->RefreshNode(root());
            QTreeWidgetItem *locked = childNamed(root(), QStringLiteral("locked"));
            QFile::setPermissions(dir + QStringLiteral("/locked"), QFileDevice::Permissions());
            tree->expandItem(locked);
            QFile::setPermissions(dir + QStringLiteral("/locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QCOMPARE(locked->childCount(), 0);
            QVERIFY(boxes.shown.isEmpty());
        }
    }

    void autoRefreshWatchesTheSelectedFolder()
    {
        const QString dir = env.makeFolder(QStringLiteral("watched"));
        QDir(dir).mkpath(QStringLiteral("w/first"));
        makeTree(dir);
        QTreeWidgetItem *w = childNamed(root(), QStringLiteral("w"));
        tree->expandItem(w);
        tree->setCurrentItem(w);
        tree->setAutoRefresh(true);
        tree->setCurrentItem(root());
        tree->setCurrentItem(childNamed(root(), QStringLiteral("w")));
        QDir(dir).mkpath(QStringLiteral("w/second"));
        QTRY_VERIFY(childNamed(childNamed(root(), QStringLiteral("w")), QStringLiteral("second")));
        QCOMPARE(tree->SelectedFolderPath(), dir + QStringLiteral("/w"));
    }

    void hooks()
    {
        const QString dir = env.makeFolder(QStringLiteral("hooked"));
        QDir(dir).mkpath(QStringLiteral("skip/x"));
        QDir(dir).mkpath(QStringLiteral("keep/x"));
        tree = std::make_unique<TShellTreeView>();
        tree->setRoot(dir);
        tree->setOnAddFolder([](TShellTreeView *, TShellFolder *f, bool &canAdd) {
            canAdd = f->DisplayText() != QLatin1String("skip");
        });
        tree->Loaded();
        QCOMPARE(childNames(root()), QStringList({"keep"}));
        int asked = 0;
        tree->setOnExpanding([&](TShellTreeView *, QTreeWidgetItem *, bool &allow) {
            ++asked;
            allow = false;
        });
        QTreeWidgetItem *keep = childNamed(root(), QStringLiteral("keep"));
        tree->expandItem(keep);
        QCOMPARE(asked, 1);
        QVERIFY(!keep->isExpanded());
        QCOMPARE(keep->childCount(), 0);
    }
};

QTEST_MAIN(TestShellTree)
#include "tst_shelltree.moc"
