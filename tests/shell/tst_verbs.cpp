// The context menu's verbs: clipboard formats, paste rules, new folders,
// delete to the trash, and the verbs virtual places and mount points refuse.
#include "shelltestenv.h"

#include "shell/contextmenu.h"
#include "shell/fileops.h"
#include "shell/folders.h"
#include "shell/shellfolder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace shell;

namespace {

class Host final : public IVerbHost {
public:
    bool answer = true;
    QStringList confirmations, errors, created;
    QList<QUrl> opened;
    int properties = 0;
    FolderProperties last;
    bool confirm(const QString &text) override { confirmations << text; return answer; }
    void showError(const QString &text) override { errors << text; }
    bool openUrl(const QUrl &url) override { opened << url; return true; }
    void showProperties(const FolderProperties &p) override { ++properties; last = p; }
    void folderCreated(const QString &path) override { created << path; }
    void setBusy(bool) override {}
};

QByteArray enc(const QString &s) { return QFile::encodeName(s); }

// The menu of the item at `path` (a full path, or a list given directly).
std::shared_ptr<IContextMenu> menuFor(const ItemIdList *fullId)
{
    std::shared_ptr<IUnknown> out;
    SHGetDesktopFolder()->GetUIObjectOf(nullptr, 1, &fullId, IID::IContextMenu, out);
    return std::dynamic_pointer_cast<IContextMenu>(out);
}
std::shared_ptr<IContextMenu> menuFor(const QString &path)
{
    IdListPtr id = idListForPath(enc(path), true);
    return menuFor(id.get());
}

QStringList verbsOf(const std::shared_ptr<IContextMenu> &menu)
{
    PopupMenu popup;
    menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_EXPLORE | CMF_CANRENAME);
    QStringList verbs;
    for (const auto &e : popup.entries) {
        if (e.id == 0)
            continue;
        QByteArray v;
        menu->GetCommandString(e.id - 1, GCS_VERBA, v);
        verbs << QString::fromLatin1(v);
    }
    return verbs;
}

HRESULT invoke(const std::shared_ptr<IContextMenu> &menu, MenuVerb verb, Host &host)
{
    CMINVOKECOMMANDINFO info;
    info.host = &host;
    info.verb = int(verb);
    return menu->InvokeCommand(info);
}

} // namespace

class TestVerbs : public QObject {
    Q_OBJECT
    ShellTestEnv env;

private slots:
    void initTestCase() { QVERIFY(env.setUp()); }

    void clipboardFormats_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::addColumn<QString>("format");
        QTest::newRow("copy, gnome") << false << "x-special/gnome-copied-files";
        QTest::newRow("cut, gnome") << true << "x-special/gnome-copied-files";
        QTest::newRow("copy, kde") << false << "application/x-kde-cutselection";
        QTest::newRow("cut, kde") << true << "application/x-kde-cutselection";
    }
    void clipboardFormats()
    {
        QFETCH(bool, cut);
        QFETCH(QString, format);
        const QList<QByteArray> paths = {enc(env.home() + QStringLiteral("/a b/图 1")),
                                         QByteArray("/tmp/caf\xe9")};
        auto full = fileops::clipboardData(paths, cut);
        QCOMPARE(full->urls().size(), 2);
        // What another program would put there: only one of the two markers.
        QMimeData only;
        only.setUrls(full->urls());
        only.setData(format, full->data(format));
        if (format.startsWith(QLatin1String("x-special"))) {
            QVERIFY(full->data(format).startsWith(cut ? "cut\n" : "copy\n"));
            only.setUrls({});  // the gnome list alone carries the URLs
        }
        QList<QByteArray> back;
        bool wasCut = !cut;
        QVERIFY(fileops::readClipboard(&only, back, wasCut));
        QCOMPARE(wasCut, cut);
        QCOMPARE(back, paths);
        // Through the system clipboard and back.
        QGuiApplication::clipboard()->setMimeData(full.release());
        QVERIFY(fileops::readClipboard(QGuiApplication::clipboard()->mimeData(), back, wasCut));
        QCOMPARE(back, paths);
        QCOMPARE(wasCut, cut);
    }

    void uniqueNames()
    {
        const QString dir = env.makeFolder(QStringLiteral("unique"));
        QDir(dir).mkdir(QStringLiteral("name"));
        QVERIFY(ShellTestEnv::touch(dir + QStringLiteral("/pic.gif")));
        QVERIFY(ShellTestEnv::touch(dir + QStringLiteral("/pic (2).gif")));
        QCOMPARE(fileops::uniqueName(enc(dir), "name", false), QByteArray("name (2)"));
        QCOMPARE(fileops::uniqueName(enc(dir), "pic.gif", true), QByteArray("pic (3).gif"));
        QCOMPARE(fileops::uniqueName(enc(dir), "free", false), QByteArray("free"));
        QCOMPARE(fileops::uniqueName(enc(dir), ".hidden", true), QByteArray(".hidden"));
    }

    void pasteNeverOverwrites()
    {
        const QString root = env.makeFolder(QStringLiteral("paste"));
        QDir(root).mkpath(QStringLiteral("src/inner"));
        QVERIFY(ShellTestEnv::touch(root + QStringLiteral("/src/inner/f.gif")));
        QVERIFY(QFile::link(QStringLiteral("inner/f.gif"), root + QStringLiteral("/src/link")));
        QDir(root).mkpath(QStringLiteral("dst/src"));
        QVERIFY(ShellTestEnv::touch(root + QStringLiteral("/dst/src/theirs")));
        const auto r = fileops::paste({enc(root + QStringLiteral("/src"))}, false, enc(root + QStringLiteral("/dst")));
        QVERIFY2(r.ok(), qPrintable(r.errors.join('\n')));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/dst/src/theirs")));
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/dst/src/inner")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/dst/src (2)/inner/f.gif")));
        QCOMPARE(QFileInfo(root + QStringLiteral("/dst/src (2)/link")).symLinkTarget(),
                 root + QStringLiteral("/dst/src (2)/inner/f.gif"));
        QVERIFY(QFileInfo(root + QStringLiteral("/dst/src (2)/link")).isSymLink());
        // Copying into the same folder makes a second copy beside it.
        const auto again = fileops::paste({enc(root + QStringLiteral("/src"))}, false, enc(root));
        QVERIFY(again.ok());
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/src (2)/inner/f.gif")));
    }

    void pasteIntoItselfRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("cut");
        QTest::newRow("itself, copy") << "a" << false;
        QTest::newRow("itself, cut") << "a" << true;
        QTest::newRow("subfolder, copy") << "a/b/c" << false;
        QTest::newRow("subfolder, cut") << "a/b" << true;
    }
    void pasteIntoItselfRefused()
    {
        QFETCH(QString, target);
        QFETCH(bool, cut);
        const QString root = env.makeFolder(QStringLiteral("self"));
        QDir(root).mkpath(QStringLiteral("a/b/c"));
        const auto r = fileops::paste({enc(root + QStringLiteral("/a"))}, cut, enc(root + QLatin1Char('/') + target));
        QVERIFY(!r.ok());
        QCOMPARE(r.done, 0);
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/a/b/c")));
        QCOMPARE(QDir(root + QLatin1Char('/') + target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
                 target == QLatin1String("a") ? 1 : target == QLatin1String("a/b") ? 1 : 0);
    }

    void cutMovesOnlyAfterAWholeCopy()
    {
        const QString root = env.makeFolder(QStringLiteral("cut"));
        QDir(root).mkpath(QStringLiteral("src/deep"));
        QDir(root).mkpath(QStringLiteral("dst"));
        QVERIFY(ShellTestEnv::touch(root + QStringLiteral("/src/deep/x")));
        auto r = fileops::paste({enc(root + QStringLiteral("/src"))}, true, enc(root + QStringLiteral("/dst")));
        QVERIFY(r.ok());
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/src")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/dst/src/deep/x")));

        // A folder holding something that cannot be copied (a pipe) fails as a whole:
        // no half copy is left and the source stays.
        QDir(root).mkpath(QStringLiteral("odd"));
        QVERIFY(::mkfifo(enc(root + QStringLiteral("/odd/pipe")).constData(), 0600) == 0);
        QVERIFY(ShellTestEnv::touch(root + QStringLiteral("/odd/file")));
        r = fileops::paste({enc(root + QStringLiteral("/odd"))}, false, enc(root + QStringLiteral("/dst")));
        QVERIFY(!r.ok());
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/dst/odd")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/odd/pipe")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/odd/file")));
    }

    void menuOfAFolder()
    {
        const QString root = env.makeFolder(QStringLiteral("menu"));
        QDir(root).mkpath(QStringLiteral("item"));
        auto menu = menuFor(root + QStringLiteral("/item"));
        QVERIFY(menu);
        QCOMPARE(verbsOf(menu), QStringList({"open", "cut", "copy", "paste", "delete", "rename",
                                             "newfolder", "copypath", "properties"}));
        Host host;
        QVERIFY(SUCCEEDED(invoke(menu, VerbOpen, host)));
        QCOMPARE(host.opened, QList<QUrl>({QUrl::fromLocalFile(root + QStringLiteral("/item"))}));
        QVERIFY(SUCCEEDED(invoke(menu, VerbNewFolder, host)));
        QVERIFY(SUCCEEDED(invoke(menu, VerbNewFolder, host)));
        QCOMPARE(host.created, QStringList({root + QStringLiteral("/item/新建文件夹"),
                                            root + QStringLiteral("/item/新建文件夹 (2)")}));
        QVERIFY(SUCCEEDED(invoke(menu, VerbCopyPath, host)));
        QCOMPARE(QGuiApplication::clipboard()->text(), root + QStringLiteral("/item"));
        QVERIFY(SUCCEEDED(invoke(menu, VerbProperties, host)));
        QCOMPARE(host.last.items, qint64(2));
        QCOMPARE(host.last.folders, qint64(2));
        // Copy, then paste into a sibling through the menus.
        QDir(root).mkpath(QStringLiteral("target"));
        QVERIFY(SUCCEEDED(invoke(menu, VerbCopy, host)));
        QVERIFY(SUCCEEDED(invoke(menuFor(root + QStringLiteral("/target")), VerbPaste, host)));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/target/item/新建文件夹 (2)")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/item")));
        QVERIFY(host.errors.isEmpty());
    }

    void deleteGoesToTheTrash()
    {
        const QString root = env.makeFolder(QStringLiteral("del"));
        QDir(root).mkpath(QStringLiteral("victim/inside"));
        auto menu = menuFor(root + QStringLiteral("/victim"));
        Host host;
        host.answer = false;
        QCOMPARE(invoke(menu, VerbDelete, host), E_ABORT);
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/victim/inside")));
        host.answer = true;
        QCOMPARE(invoke(menu, VerbDelete, host), S_OK);
        QCOMPARE(host.confirmations.size(), 2);
        QVERIFY(host.confirmations.first().contains(QStringLiteral("victim")));
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/victim")));
        QVERIFY(QFileInfo::exists(env.trashFiles() + QStringLiteral("/victim/inside")));

        // 回收站 lists it under its original name, and takes no disk verbs on it.
        IdListPtr trash(makeItem(ItemKind::Trash, {}, HintFolder));
        auto trashFolder = BindChildFolder(SHGetDesktopFolder(), trash.get(), nullptr);
        std::shared_ptr<IEnumIDList> e;
        QVERIFY(SUCCEEDED(trashFolder->EnumObjects(nullptr, SHCONTF_FOLDERS, e)));
        std::vector<IdListPtr> items;
        e->Next(10, items);
        QCOMPARE(int(items.size()), 1);
        QCOMPARE(ItemName(trashFolder, items[0].get(), SHGDN_INFOLDER), QStringLiteral("victim"));
        IdListPtr entry = concatId(trash.get(), items[0].get());
        auto entryMenu = menuFor(entry.get());
        const QStringList verbs = verbsOf(entryMenu);
        for (const char *v : {"cut", "paste", "delete", "rename", "newfolder"})
            QVERIFY2(!verbs.contains(QLatin1String(v)), v);
        for (MenuVerb v : {VerbCut, VerbPaste, VerbDelete, VerbNewFolder})
            QCOMPARE(invoke(entryMenu, v, host), E_ACCESSDENIED);
        QVERIFY(QFileInfo::exists(env.trashFiles() + QStringLiteral("/victim/inside")));
        // Its subfolders are ordinary folders again.
        IdListPtr inside = concatId(entry.get(), IdListPtr(makeItem(ItemKind::FileSystem, "inside", HintFolder)).get());
        QVERIFY(verbsOf(menuFor(inside.get())).contains(QStringLiteral("delete")));
    }

    void trashNeverReplacesAndNeverStrays()
    {
        const QString root = env.makeFolder(QStringLiteral("trashing"));
        QDir(root).mkpath(QStringLiteral("one/same"));
        QDir(root).mkpath(QStringLiteral("two/same"));
        QVERIFY(ShellTestEnv::touch(root + QStringLiteral("/two/same/mark")));
        QString error;
        QByteArray first, second;
        QVERIFY(fileops::moveToTrash(enc(root + QStringLiteral("/one/same")), error, &first));
        QVERIFY(fileops::moveToTrash(enc(root + QStringLiteral("/two/same")), error, &second));
        QVERIFY(first != second);
        QVERIFY(QFileInfo::exists(QFile::decodeName(second) + QStringLiteral("/mark")));
        QVERIFY(!QFileInfo::exists(QFile::decodeName(first) + QStringLiteral("/mark")));
        QFile info(env.home() + QStringLiteral("/.local/share/Trash/info/") + QFileInfo(QFile::decodeName(second)).fileName()
                   + QStringLiteral(".trashinfo"));
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY(info.readAll().contains("Path=" + enc(root).toPercentEncoding("/") + "/two/same\n"));
        // No usable trash: the item stays, and nothing lands beside the working directory.
        const QString trash = env.home() + QStringLiteral("/.local/share/Trash");
        const QString saved = trash + QStringLiteral(".saved");
        QVERIFY(QDir().rename(trash, saved));
        QVERIFY(ShellTestEnv::touch(trash));
        QDir(root).mkpath(QStringLiteral("three"));
        QVERIFY(!fileops::moveToTrash(enc(root + QStringLiteral("/three")), error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(root + QStringLiteral("/three")).isDir());
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + QStringLiteral("/files/three")));
        QVERIFY(QFile::remove(trash));
        QVERIFY(QDir().rename(saved, trash));
    }

    void virtualPlacesTakeNoDiskVerbs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("computer") << int(ItemKind::Computer);
        QTest::newRow("network") << int(ItemKind::Network);
        QTest::newRow("trash") << int(ItemKind::Trash);
        QTest::newRow("root volume") << int(ItemKind::Volume);
        QTest::newRow("home") << int(ItemKind::Home);
    }
    void virtualPlacesTakeNoDiskVerbs()
    {
        QFETCH(int, kind);
        IdListPtr id;
        if (ItemKind(kind) == ItemKind::Volume)
            id = concatId(IdListPtr(makeItem(ItemKind::Computer, {}, HintFolder)).get(),
                          IdListPtr(makeItem(ItemKind::Volume, "/", HintFolder)).get());
        else
            id.reset(makeItem(ItemKind(kind), {}, HintFolder));
        auto menu = menuFor(id.get());
        QVERIFY(menu);
        const QStringList verbs = verbsOf(menu);
        for (const char *v : {"cut", "delete", "rename"})
            QVERIFY2(!verbs.contains(QLatin1String(v)), v);
        Host host;
        for (MenuVerb v : {VerbCut, VerbDelete, VerbRename})
            QCOMPARE(invoke(menu, v, host), E_ACCESSDENIED);
        if (ItemKind(kind) != ItemKind::Home) {
            QVERIFY(!verbs.contains(QStringLiteral("paste")));
            QVERIFY(!verbs.contains(QStringLiteral("newfolder")));
            QCOMPARE(invoke(menu, VerbPaste, host), E_ACCESSDENIED);
            QCOMPARE(invoke(menu, VerbNewFolder, host), E_ACCESSDENIED);
        }
        QVERIFY(verbs.contains(QStringLiteral("properties")));
        QVERIFY(host.confirmations.isEmpty());
    }
};

QTEST_MAIN(TestVerbs)
#include "tst_verbs.moc"
