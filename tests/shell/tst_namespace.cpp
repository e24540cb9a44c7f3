// The namespace: desktop children, names, attributes, sort order, roots,
// renaming, and folders that cannot be listed.
#include "shelltestenv.h"

#include "common/filepath.h"
#include "shell/folders.h"
#include "shell/nameorder.h"
#include "shell/places.h"
#include "shell/shellfolder.h"

#include <QtTest>

#include <unistd.h>

using namespace shell;

namespace {

// A folder that answers GetDisplayNameOf with a prepared name result, to test
// ItemName's handling of the three kinds and its two text rules.
class NameStub final : public IShellFolder {
public:
    STRRET first;
    STRRET normal;
    std::uint32_t lastFlags = 0xFFFFFFFF;
    int calls = 0;
    HRESULT ParseDisplayName(HWND, const QString &, std::uint32_t *, IdListPtr &, std::uint32_t *) override { return E_NOTIMPL; }
    HRESULT EnumObjects(HWND, std::uint32_t, std::shared_ptr<IEnumIDList> &) override { return E_NOTIMPL; }
    HRESULT BindToObject(const ItemIdList *, IID, std::shared_ptr<IUnknown> &) override { return E_NOTIMPL; }
    HRESULT CompareIDs(std::intptr_t, const ItemIdList *, const ItemIdList *) override { return E_NOTIMPL; }
    HRESULT CreateViewObject(HWND, IID, std::shared_ptr<IUnknown> &) override { return E_NOTIMPL; }
    HRESULT GetAttributesOf(std::uint32_t, const ItemIdList *const *, std::uint32_t *) override { return E_NOTIMPL; }
    HRESULT GetUIObjectOf(HWND, std::uint32_t, const ItemIdList *const *, IID, std::shared_ptr<IUnknown> &) override { return E_NOTIMPL; }
    HRESULT GetDisplayNameOf(const ItemIdList *, std::uint32_t flags, STRRET &name) override
    {
        ++calls;
        lastFlags = flags;
        name = calls == 1 ? first : normal;
        return S_OK;
    }
    HRESULT SetNameOf(HWND, const ItemIdList *, const QString &, std::uint32_t, IdListPtr *) override { return E_NOTIMPL; }
};

STRRET wide(const QString &s)
{
    STRRET r;
    r.uType = STRRET::WSTR;
    r.hasWide = true;
    r.pOleStr = s;
    return r;
}

std::vector<IdListPtr> enumerate(const std::shared_ptr<IShellFolder> &folder, std::uint32_t flags)
{
    std::vector<IdListPtr> items;
    std::shared_ptr<IEnumIDList> e;
    if (SUCCEEDED(folder->EnumObjects(nullptr, flags, e)) && e)
        while (e->Next(1, items) == S_OK) {
        }
    return items;
}

QStringList names(const std::shared_ptr<IShellFolder> &folder, std::vector<IdListPtr> &items)
{
    std::sort(items.begin(), items.end(), [&](const IdListPtr &a, const IdListPtr &b) {
        return HRESULT_ORDER(folder->CompareIDs(0, a.get(), b.get())) < 0;
    });
    QStringList out;
    for (const IdListPtr &i : items)
        out << ItemName(folder, i.get(), SHGDN_INFOLDER);
    return out;
}

std::shared_ptr<IShellFolder> folderAt(const QString &path)
{
    std::unique_ptr<TShellFolder> root;
    QString text = path;
    OpenRootFolder(root, QString(), text);
    return root->FolderInterface();
}

int g_listings = 0;
void countListing(const QByteArray &) { ++g_listings; }

} // namespace

class TestNamespace : public QObject {
    Q_OBJECT
    ShellTestEnv env;

private slots:
    void initTestCase() { QVERIFY(env.setUp()); }

    void itemNameRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Bilder" << "Bilder";
        QTest::newRow("?digit drops every ?") << "?1a?b?" << "1ab";
        QTest::newRow("?9") << "?9" << "9";
        QTest::newRow("lone ?") << "?" << "?";
        QTest::newRow("?letter") << "?a?b" << "?a?b";
        QTest::newRow("digit first") << "1?" << "1?";
        QTest::newRow("clsid asks again") << "::{645FF040-5081-101B-9F08-00AA002F954E}" << "normal name";
        QTest::newRow("clsid asks only once") << "::{1}" << "::{2}";
    }
    void itemNameRules()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        auto stub = std::make_shared<NameStub>();
        stub->first = wide(text);
        stub->normal = wide(text == QLatin1String("::{1}") ? QStringLiteral("::{2}") : QStringLiteral("normal name"));
        IdListPtr id(makeItem(ItemKind::FileSystem, "x"));
        QCOMPARE(ItemName(stub, id.get(), SHGDN_FORPARSING), expected);
        if (text.startsWith(QLatin1String("::{")))
            QCOMPARE(stub->lastFlags, std::uint32_t(SHGDN_NORMAL));
    }

    void itemNameKinds()
    {
        QCOMPARE(ItemName(nullptr, nullptr, 0), QStringLiteral("parentfolder = nil"));
        IdListPtr id(makeItem(ItemKind::FileSystem, "name-bytes"));
        auto stub = std::make_shared<NameStub>();
        stub->first.uType = STRRET::WSTR;  // absent wide string
        QCOMPARE(ItemName(stub, id.get(), 0), QString());
        stub = std::make_shared<NameStub>();
        stub->first.uType = STRRET::OFFSET;
        stub->first.uOffset = kItemNameOffset + 5;
        QCOMPARE(ItemName(stub, id.get(), 0), QStringLiteral("bytes"));
        stub = std::make_shared<NameStub>();
        stub->first.uType = STRRET::CSTR;
        stub->first.cStr = QByteArray("narrow\0rest", 11);
        QCOMPARE(ItemName(stub, id.get(), 0), QStringLiteral("narrow"));
    }

    void desktopChildren()
    {
        QDir d(env.desktop());
        d.mkdir(QStringLiteral("img10"));
        d.mkdir(QStringLiteral("img2"));
        d.mkdir(QStringLiteral(".hidden"));
        QVERIFY(ShellTestEnv::touch(env.desktop() + QStringLiteral("/file.gif")));
        auto desktop = SHGetDesktopFolder();
        auto items = enumerate(desktop, SHCONTF_FOLDERS);
        QCOMPARE(names(desktop, items),
                 QStringList({"主文件夹", "计算机", "网络", "回收站", "img2", "img10"}));
        items = enumerate(desktop, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN);
        QVERIFY(names(desktop, items).contains(QStringLiteral(".hidden")));
        items = enumerate(desktop, SHCONTF_NONFOLDERS);
        QCOMPARE(names(desktop, items), QStringList({"file.gif"}));
    }

    void desktopObjectAndPaths()
    {
        TShellFolder *desk = DesktopShellFolder();
        QVERIFY(desk);
        QVERIFY(!desk->ParentFolder());
        QVERIFY(idlist::isEmpty(desk->FullId()));
        QCOMPARE(desk->PathText(), env.desktop());
        QCOMPARE(desk->DisplayText(), QStringLiteral("桌面"));

        std::unique_ptr<TShellFolder> root;
        QString text = QStringLiteral("rfDesktop");
        OpenRootFolder(root, QString(), text);
        QCOMPARE(root->ParentFolder(), desk);
        QCOMPARE(root->PathText(), env.desktop());
        QVERIFY(root->HasSubfolders());

        // Virtual folders: their path text is their display name.
        auto desktop = SHGetDesktopFolder();
        auto items = enumerate(desktop, SHCONTF_FOLDERS);
        QStringList paths;
        for (const IdListPtr &i : items) {
            TShellFolder child(root.get(), BindChildFolder(desktop, i.get(), nullptr), i.get());
            paths << child.PathText();
            QCOMPARE(child.Depth(), 1);
            QVERIFY(child.IsFolderItem());
            QVERIFY(!child.IsShared());
        }
        QVERIFY(paths.contains(QStringLiteral("计算机")));
        QVERIFY(paths.contains(QStringLiteral("网络")));
        QVERIFY(paths.contains(QStringLiteral("回收站")));
        QVERIFY(paths.contains(env.home()));
    }

    void naturalOrder()
    {
        const QString dir = env.makeFolder(QStringLiteral("order"));
        const QStringList made = {"b", "B", "a10", "a2", "A1", "a01", "img3", "Img20", "x"};
        for (const QString &n : made)
            QVERIFY(QDir(dir).mkdir(n));
        auto folder = folderAt(dir);
        auto items = enumerate(folder, SHCONTF_FOLDERS);
        QCOMPARE(int(items.size()), made.size());
        const QStringList sorted = names(folder, items);
        QCOMPARE(sorted.indexOf("a2") < sorted.indexOf("a10"), true);
        QCOMPARE(sorted.indexOf("img3") < sorted.indexOf("Img20"), true);
        QCOMPARE(sorted.indexOf("x"), sorted.size() - 1);
        // Names the collator calls equal are still different items, in a fixed order.
        for (std::size_t i = 0; i < items.size(); ++i)
            for (std::size_t j = 0; j < items.size(); ++j) {
                const int o = HRESULT_ORDER(folder->CompareIDs(0, items[i].get(), items[j].get()));
                QCOMPARE(o == 0, i == j);
                QCOMPARE(o, -HRESULT_ORDER(folder->CompareIDs(0, items[j].get(), items[i].get())));
            }
        QVERIFY(compareFileNames("a01", "a1") != 0);
        QVERIFY(compareFileNames("Foo", "foo") != 0);
        QCOMPARE(compareFileNames("foo", "foo"), 0);

        // Sorting by collation keys gives the pairwise order, ties and bytes included.
        QStringList keyed = made;
        keyed << "中文2.gif" << "中文10.gif" << "啊.gif" << "Foo" << "foo" << "img03"
              << filepath::pathFromBytes("\xff\xfe.gif") << filepath::pathFromBytes("\xfe.gif");
        QStringList pairwise = keyed;
        std::sort(pairwise.begin(), pairwise.end(), fileNameLess);
        sortFileNames(keyed);
        QCOMPARE(keyed, pairwise);
    }

    void roots_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");  // expected PathText; empty: must fail
        QTest::newRow("name") << "rfDesktop" << "$DESKTOP";
        QTest::newRow("name upper case") << "RFDESKTOP" << "$DESKTOP";
        QTest::newRow("name lower case") << "rfmycomputer" << "计算机";
        QTest::newRow("trash") << "rfRecycleBin" << "回收站";
        QTest::newRow("path") << "$HOME/rootdir" << "$HOME/rootdir";
        QTest::newRow("path with slash") << "$HOME/rootdir/" << "$HOME/rootdir";
        QTest::newRow("slash") << "/" << "/";
        QTest::newRow("drive letter") << "C:" << "";
        QTest::newRow("relative") << "rootdir" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("missing") << "$HOME/nothing-here" << "";
        QTest::newRow("file") << "$HOME/rootfile" << "";
        QTest::newRow("no counterpart") << "rfControlPanel" << "";
        QTest::newRow("unknown name") << "rfKitchen" << "";
    }
    void roots()
    {
        QFETCH(QString, root);
        QFETCH(QString, path);
        env.makeFolder(QStringLiteral("rootdir"));
        QVERIFY(ShellTestEnv::touch(env.home() + QStringLiteral("/rootfile")));
        root.replace(QLatin1String("$HOME"), env.home());
        path.replace(QLatin1String("$HOME"), env.home()).replace(QLatin1String("$DESKTOP"), env.desktop());

        std::unique_ptr<TShellFolder> object;
        QString text = QStringLiteral("rfNetwork");
        OpenRootFolder(object, QString(), text);
        TShellFolder *previous = object.get();
        text = root;
        try {
            OpenRootFolder(object, QStringLiteral("rfNetwork"), text);
            QVERIFY2(!path.isEmpty(), "should have failed");
            QCOMPARE(object->PathText(), path);
            // Its names, asked from the desktop with the whole list, are those of its last item.
            if (root.contains(QLatin1String("rootdir"))) {
                QCOMPARE(ItemName(SHGetDesktopFolder(), object->FullId(), SHGDN_NORMAL), QStringLiteral("rootdir"));
                QCOMPARE(object->DisplayText(), QStringLiteral("rootdir"));
            }
            QCOMPARE(text, root);
        } catch (const ShellError &e) {
            QVERIFY2(path.isEmpty(), qPrintable(e.message()));
            QCOMPARE(e.message(), QStringLiteral("Error setting path: \"%1\"").arg(root));
            QCOMPARE(text, QStringLiteral("rfNetwork"));
            QCOMPARE(object.get(), previous);
        }
    }

    void templatesFromUserDirs()
    {
        const QString dir = env.makeFolder(QStringLiteral("Vorlagen"));
        QFile f(env.home() + QStringLiteral("/.config/user-dirs.dirs"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# comment\nXDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
        f.close();
        IdListPtr id;
        QVERIFY(SUCCEEDED(SHGetSpecialFolderLocation(rfTemplates, id)));
        TShellFolder t(nullptr, BindChildFolder(SHGetDesktopFolder(), id.get(), nullptr), id.get());
        QCOMPARE(t.PathText(), dir);
        f.remove();
    }

    void hasSubfoldersWithoutListing()
    {
        const QString dir = env.makeFolder(QStringLiteral("sub"));
        QDir(dir).mkpath(QStringLiteral("withsub/inner"));
        QDir(dir).mkpath(QStringLiteral("empty"));
        QVERIFY(ShellTestEnv::touch(dir + QStringLiteral("/onlyfiles.txt")));
        QDir(dir).mkpath(QStringLiteral("filesonly"));
        QVERIFY(ShellTestEnv::touch(dir + QStringLiteral("/filesonly/a.gif")));
        std::unique_ptr<TShellFolder> parent;
        QString text = dir;
        OpenRootFolder(parent, QString(), text);
        auto items = enumerate(parent->FolderInterface(), SHCONTF_FOLDERS);
        QCOMPARE(int(items.size()), 3);
        g_listings = 0;
        setListingObserver(countListing);
        QMap<QString, bool> has;
        for (const IdListPtr &i : items) {
            TShellFolder child(parent.get(), BindChildFolder(parent->FolderInterface(), i.get(), nullptr), i.get());
            QVERIFY(child.IsFolderItem());
            QVERIFY(child.CanRename());
            has[child.DisplayText()] = child.HasSubfolders();
            SystemIconIndex(child.FullId(), false, false);
            QCOMPARE(child.Depth(), 1);
            QCOMPARE(child.PathText(), dir + QLatin1Char('/') + child.DisplayText());
        }
        setListingObserver(nullptr);
        QCOMPARE(g_listings, 0);
        QCOMPARE(has.value(QStringLiteral("withsub")), true);
        if (env.countsLinks()) {
            QCOMPARE(has.value(QStringLiteral("empty")), false);
            QCOMPARE(has.value(QStringLiteral("filesonly")), false);
        }
    }

    void rename_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<bool>("ok");
        QTest::newRow("new name") << "renamed" << true;
        QTest::newRow("case only") << "Old" << true;
        QTest::newRow("unicode") << "图片 2024" << true;
        QTest::newRow("clash") << "other" << false;
        QTest::newRow("clash with file") << "file.txt" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dotdot") << ".." << false;
        QTest::newRow("slash") << "a/b" << false;
    }
    void rename()
    {
        QFETCH(QString, newName);
        QFETCH(bool, ok);
        const QString dir = env.makeFolder(QStringLiteral("ren/deeper"));
        QDir(dir).mkpath(QStringLiteral("old/keep"));
        QDir(dir).mkpath(QStringLiteral("other/mine"));
        QVERIFY(ShellTestEnv::touch(dir + QStringLiteral("/file.txt")));
        std::unique_ptr<TShellFolder> parent;
        QString text = dir;
        OpenRootFolder(parent, QString(), text);
        IdListPtr id(makeItem(ItemKind::FileSystem, "old", HintFolder));
        TShellFolder child(parent.get(), BindChildFolder(parent->FolderInterface(), id.get(), nullptr), id.get());
        QVERIFY(child.CanRename());
        bool renamed = false;
        try {
            renamed = child.Rename(newName);
        } catch (const ShellError &e) {
            QCOMPARE(e.message(), QStringLiteral("Rename to %1 failed").arg(newName));
        }
        QCOMPARE(renamed, ok);
        if (ok) {
            QVERIFY(QFileInfo::exists(dir + QLatin1Char('/') + newName + QStringLiteral("/keep")));
            IdListPtr expected = concatId(parent->FullId(), child.LocalId());
            QVERIFY(idlist::equal(child.FullId(), expected.get()));
            QCOMPARE(child.PathText(), dir + QLatin1Char('/') + newName);
            QCOMPARE(child.DisplayText(), newName);
            // The folder interface follows the new name.
            auto inside = enumerate(child.FolderInterface(), SHCONTF_FOLDERS);
            QCOMPARE(int(inside.size()), 1);
        } else {
            // Neither item was touched.
            QVERIFY(QFileInfo::exists(dir + QStringLiteral("/old/keep")));
            QVERIFY(QFileInfo::exists(dir + QStringLiteral("/other/mine")));
            QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/other/keep")));
            QVERIFY(QFileInfo(dir + QStringLiteral("/file.txt")).isFile());
            QCOMPARE(child.PathText(), dir + QStringLiteral("/old"));
        }
    }

    void specialItemsCannotBeRenamed()
    {
        auto desktop = SHGetDesktopFolder();
        for (ItemKind k : {ItemKind::Home, ItemKind::Computer, ItemKind::Network, ItemKind::Trash}) {
            IdListPtr id(makeItem(k, {}, HintFolder));
            TShellFolder f(nullptr, BindChildFolder(desktop, id.get(), nullptr), id.get());
            QVERIFY(!f.CanRename());
            QVERIFY(!f.Rename(QStringLiteral("x")));
        }
    }

    void linksAndUnreadableFolders()
    {
        const QString dir = env.makeFolder(QStringLiteral("links"));
        QDir(dir).mkdir(QStringLiteral("real"));
        QVERIFY(QFile::link(dir, dir + QStringLiteral("/loop")));           // back to its parent
        QVERIFY(QFile::link(dir + QStringLiteral("/self"), dir + QStringLiteral("/self")));  // loops on itself
        QVERIFY(QFile::link(dir + QStringLiteral("/gone"), dir + QStringLiteral("/dangling")));
        auto folder = folderAt(dir);
        auto items = enumerate(folder, SHCONTF_FOLDERS);
        QCOMPARE(names(folder, items), QStringList({"loop", "real"}));
        // Following the loop a few levels deep is just more of the same folder.
        std::shared_ptr<IShellFolder> f = folder;
        for (int level = 0; level < 5; ++level) {
            IdListPtr loop(makeItem(ItemKind::FileSystem, "loop"));
            f = BindChildFolder(f, loop.get(), nullptr);
            QVERIFY(f);
            auto inner = enumerate(f, SHCONTF_FOLDERS);
            QCOMPARE(int(inner.size()), 2);
        }
        // A folder that vanished (or cannot be read) lists nothing and says so.
        const QString gone = env.makeFolder(QStringLiteral("vanishing"));
        auto vanishing = folderAt(gone);
        QDir(gone).removeRecursively();
        std::shared_ptr<IEnumIDList> e;
        QVERIFY(FAILED(vanishing->EnumObjects(nullptr, SHCONTF_FOLDERS, e)));
        if (::geteuid() != 0) {
            const QString locked = env.makeFolder(QStringLiteral("locked"));
            auto lockedFolder = folderAt(locked);
            QFile::setPermissions(locked, QFileDevice::Permissions());
            QVERIFY(FAILED(lockedFolder->EnumObjects(nullptr, SHCONTF_FOLDERS, e)));
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }

    void virtualPlacesClaimSubfoldersOnlyWhenTheyListSome_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("计算机 (always lists the root)") << int(ItemKind::Computer);
        QTest::newRow("网络 (lists network shares, often none)") << int(ItemKind::Network);
    }

    void virtualPlacesClaimSubfoldersOnlyWhenTheyListSome()
    {
        QFETCH(int, kind);
        IdListPtr id(makeItem(ItemKind(kind), {}, HintFolder));
        auto desktop = SHGetDesktopFolder();
        auto place = BindChildFolder(desktop, id.get(), nullptr);
        QVERIFY(place);
        const bool listsSome = !enumerate(place, SHCONTF_FOLDERS).empty();
        // As the desktop's child, and as the folder itself.
        std::uint32_t asChild = SFGAO_HASSUBFOLDER;
        const ItemIdList *item = id.get();
        desktop->GetAttributesOf(1, &item, &asChild);
        QCOMPARE(bool(asChild & SFGAO_HASSUBFOLDER), listsSome);
        std::uint32_t asSelf = SFGAO_HASSUBFOLDER;
        IdListPtr self(idlist::copy(nullptr));
        const ItemIdList *selfItem = self.get();
        place->GetAttributesOf(1, &selfItem, &asSelf);
        QCOMPARE(bool(asSelf & SFGAO_HASSUBFOLDER), listsSome);
        const std::vector<places::Volume> volumes = places::volumes();
        const bool networkShares = std::any_of(volumes.begin(), volumes.end(),
                                               [](const places::Volume &v) { return v.network; });
        if (ItemKind(kind) == ItemKind::Network)
            QCOMPARE(listsSome, networkShares);
    }

    void computerListsTheRootFirst()
    {
        IdListPtr id(makeItem(ItemKind::Computer, {}, HintFolder));
        auto computer = BindChildFolder(SHGetDesktopFolder(), id.get(), nullptr);
        QVERIFY(computer);
        auto items = enumerate(computer, SHCONTF_FOLDERS);
        QVERIFY(!items.empty());
        const QStringList n = names(computer, items);
        QCOMPARE(n.first(), QStringLiteral("文件系统"));
        IdListPtr full = concatId(id.get(), items.front().get());
        QCOMPARE(ItemName(SHGetDesktopFolder(), full.get(), SHGDN_FORPARSING), QStringLiteral("/"));
        // Mount points take no rename.
        std::uint32_t attrs = SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_DROPTARGET | SFGAO_FOLDER;
        const ItemIdList *item = items.front().get();
        computer->GetAttributesOf(1, &item, &attrs);
        QCOMPARE(attrs, std::uint32_t(SFGAO_FOLDER));
    }
};

QTEST_GUILESS_MAIN(TestNamespace)
#include "tst_namespace.moc"
