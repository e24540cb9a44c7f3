#include "shell/folders.h"
#include "common/filepath.h"

#include "shell/contextmenu.h"
#include "shell/places.h"
#include "shell/shellfolder.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QUrl>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace shell {
namespace {

// Called on the reading jobs' threads too.
std::atomic<ListingObserver> g_listingObserver{nullptr};

const char kComputerClsid[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
const char kNetworkClsid[] = "::{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}";
const char kTrashClsid[] = "::{645FF040-5081-101B-9F08-00AA002F954E}";

bool statPath(const QByteArray &path, struct stat &st)
{
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0;
}

bool isDirectory(const QByteArray &path)
{
    struct stat st {};
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isFileSystemKind(std::uint8_t kind)
{
    return kind == std::uint8_t(ItemKind::FileSystem) || kind == std::uint8_t(ItemKind::TrashEntry);
}

// Order of the kinds among siblings: the desktop's virtual items first.
int kindRank(std::uint8_t kind)
{
    switch (ItemKind(kind)) {
    case ItemKind::Home: return 0;
    case ItemKind::Computer: return 1;
    case ItemKind::Network: return 2;
    case ItemKind::Trash: return 3;
    case ItemKind::Volume: return 4;
    case ItemKind::FileSystem:
    case ItemKind::TrashEntry: return 5;
    }
    return 6;
}

QString volumeName(const QByteArray &path)
{
    if (path == "/")
        return QStringLiteral("文件系统");
    const QStorageInfo info(filepath::pathFromBytes(path));
    QString name = info.isValid() && info.rootPath() == filepath::pathFromBytes(path) ? info.name() : QString();
    if (name.isEmpty()) {
        const qsizetype slash = path.lastIndexOf('/');
        name = filepath::pathFromBytes(path.mid(slash + 1));
    }
    return name;
}

class ListEnumerator final : public IEnumIDList {
public:
    explicit ListEnumerator(std::vector<IdListPtr> items) : m_items(std::move(items)) {}
    HRESULT Next(std::uint32_t celt, std::vector<IdListPtr> &items) override
    {
        std::uint32_t n = 0;
        for (; n < celt && m_pos < m_items.size(); ++n, ++m_pos)
            items.push_back(std::move(m_items[m_pos]));
        return n == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(std::uint32_t celt) override
    {
        m_pos = std::min(m_items.size(), m_pos + celt);
        return m_pos < m_items.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        // Items handed out are gone; a reset enumeration yields what is left.
        return E_NOTIMPL;
    }

private:
    std::vector<IdListPtr> m_items;
    std::size_t m_pos = 0;
};

// Lists one directory: folders and/or other entries, hidden ones on request.
// The dirent type decides where it can; only links and unknown types are stat'ed.
bool listDirectory(const QByteArray &path, std::uint32_t flags, ItemKind kind,
                   std::vector<IdListPtr> &out)
{
    if (const ListingObserver observe = g_listingObserver.load())
        observe(path);
    const filepath::FolderHandle dir = filepath::openFolder(path);
    if (!dir)
        return false;
    const int fd = ::dirfd(dir.get());
    const bool wantFolders = flags & SHCONTF_FOLDERS;
    const bool wantOthers = flags & SHCONTF_NONFOLDERS;
    const bool wantHidden = flags & SHCONTF_INCLUDEHIDDEN;
    while (const dirent *e = ::readdir(dir.get())) {
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (filepath::isHiddenEntry(*e) && !wantHidden)
            continue;
        const bool folder = filepath::isFolderEntry(fd, *e);
        if (folder ? !wantFolders : !wantOthers)
            continue;
        IdListPtr item(makeItem(kind, QByteArray(name), folder ? HintFolder : HintNotFolder));
        if (item)
            out.push_back(std::move(item));
    }
    return true;
}

} // namespace

void setListingObserver(ListingObserver observer) { g_listingObserver = observer; }

QString trashEntryName(const QByteArray &fileName)
{
    QFile info(filepath::pathFromBytes(filepath::join(places::trashInfoDir(), fileName + ".trashinfo")));
    if (info.open(QIODevice::ReadOnly)) {
        while (!info.atEnd()) {
            const QByteArray line = info.readLine(8192).trimmed();
            if (line.startsWith("Path=")) {
                const QByteArray original = QByteArray::fromPercentEncoding(line.mid(5));
                const qsizetype slash = original.lastIndexOf('/');
                const QByteArray base = original.mid(slash + 1);
                if (!base.isEmpty())
                    return filepath::pathFromBytes(base);
            }
        }
    }
    return filepath::pathFromBytes(fileName);
}

FolderBase::FolderBase(Role role, QByteArray path) : m_role(role), m_path(std::move(path)) {}

bool FolderBase::writable() const
{
    if (m_writable < 0)
        m_writable = !m_path.isEmpty() && ::access(m_path.constData(), W_OK) == 0 ? 1 : 0;
    return m_writable == 1;
}

QByteArray FolderBase::itemPath(const ItemIdList *item) const
{
    if (idlist::isEmpty(item))
        return m_role == Role::Computer || m_role == Role::Network ? QByteArray() : m_path;
    const std::uint8_t kind = itemKind(item);
    switch (ItemKind(kind)) {
    case ItemKind::FileSystem:
    case ItemKind::TrashEntry:
        return m_path.isEmpty() ? QByteArray() : filepath::join(m_path, itemName(item));
    case ItemKind::Home: return places::homeDir();
    case ItemKind::Volume: return itemName(item);
    case ItemKind::Computer:
    case ItemKind::Network:
    case ItemKind::Trash: return {};
    }
    return {};
}

QString FolderBase::itemDisplayName(const ItemIdList *item) const
{
    if (idlist::isEmpty(item)) {
        switch (m_role) {
        case Role::Desktop: return QStringLiteral("桌面");
        case Role::Computer: return QStringLiteral("计算机");
        case Role::Network: return QStringLiteral("网络");
        case Role::Trash: return QStringLiteral("回收站");
        case Role::Plain: {
            const qsizetype slash = m_path.lastIndexOf('/');
            return m_path == "/" ? QStringLiteral("/") : filepath::pathFromBytes(m_path.mid(slash + 1));
        }
        }
    }
    switch (ItemKind(itemKind(item))) {
    case ItemKind::FileSystem: return filepath::pathFromBytes(itemName(item));
    case ItemKind::TrashEntry: return trashEntryName(itemName(item));
    case ItemKind::Home: return QStringLiteral("主文件夹");
    case ItemKind::Computer: return QStringLiteral("计算机");
    case ItemKind::Network: return QStringLiteral("网络");
    case ItemKind::Trash: return QStringLiteral("回收站");
    case ItemKind::Volume: return volumeName(itemName(item));
    }
    return {};
}

std::shared_ptr<FolderBase> FolderBase::bindItem(const ItemIdList *item) const
{
    switch (ItemKind(itemKind(item))) {
    case ItemKind::FileSystem:
    case ItemKind::TrashEntry:
    case ItemKind::Home:
    case ItemKind::Volume: {
        const QByteArray path = itemPath(item);
        if (path.isEmpty())
            return {};
        // The enumeration already knows a folder; anything else is asked once.
        if (itemHint(item) != HintFolder && !isDirectory(path))
            return {};
        return std::make_shared<FolderBase>(Role::Plain, path);
    }
    case ItemKind::Computer: return std::make_shared<FolderBase>(Role::Computer, QByteArray());
    case ItemKind::Network: return std::make_shared<FolderBase>(Role::Network, QByteArray());
    case ItemKind::Trash: return std::make_shared<FolderBase>(Role::Trash, places::trashFilesDir());
    }
    return {};
}

bool FolderBase::resolveParent(const ItemIdList *pidl, std::shared_ptr<FolderBase> &folder,
                               IdListPtr &last)
{
    folder = shared_from_this();
    const ItemIdList *p = pidl;
    while (p && idlist::itemSize(p) != 0 && idlist::itemSize(idlist::next(p)) != 0) {
        IdListPtr first(idlist::firstItem(p));
        folder = folder->bindItem(first.get());
        if (!folder)
            return false;
        p = idlist::next(p);
    }
    last.reset(idlist::copy(p));
    return last != nullptr;
}

HRESULT FolderBase::ParseDisplayName(HWND, const QString &name, std::uint32_t *eaten,
                                     IdListPtr &pidl, std::uint32_t *attributes)
{
    pidl.reset();
    if (m_role != Role::Desktop || name.isEmpty() || !QDir::isAbsolutePath(name))
        return E_INVALIDARG;
    const QByteArray path = filepath::pathToBytes(QDir::cleanPath(name));
    struct stat st {};
    if (!statPath(path, st))
        return E_NOT_FOUND;
    pidl = idListForPath(path, S_ISDIR(st.st_mode));
    if (!pidl)
        return E_OUTOFMEMORY;
    if (eaten)
        *eaten = std::uint32_t(name.size());
    if (attributes) {
        const ItemIdList *item = pidl.get();
        GetAttributesOf(1, &item, attributes);
    }
    return S_OK;
}

IdListPtr idListForPath(const QByteArray &absolutePath, bool isFolder)
{
    if (!absolutePath.startsWith('/'))
        return {};
    const QByteArray desktop = places::desktopDir();
    const QByteArray home = places::homeDir();
    IdListPtr list(idlist::copy(nullptr));
    QByteArray rest;
    auto under = [&](const QByteArray &base) {
        if (absolutePath == base) {
            rest.clear();
            return true;
        }
        const QByteArray prefix = base.endsWith('/') ? base : base + '/';
        if (absolutePath.startsWith(prefix)) {
            rest = absolutePath.mid(prefix.size());
            return true;
        }
        return false;
    };
    auto append = [&](ItemIdList *item) {
        IdListPtr owned(item);
        if (!owned || !list)
            return false;
        list.reset(idlist::concatenate(list.get(), owned.get()));
        return list != nullptr;
    };
    if (under(desktop) && desktop != home) {
        // items directly under the desktop folder
    } else if (under(home)) {
        if (!append(makeItem(ItemKind::Home, {}, HintFolder)))
            return {};
    } else {
        under(QByteArrayLiteral("/"));
        if (!append(makeItem(ItemKind::Computer, {}, HintFolder))
            || !append(makeItem(ItemKind::Volume, QByteArrayLiteral("/"), HintFolder)))
            return {};
    }
    const QList<QByteArray> parts = rest.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i].isEmpty())
            continue;
        const bool lastPart = i == parts.size() - 1;
        const std::uint8_t hint = !lastPart || isFolder ? HintFolder : HintNotFolder;
        if (!append(makeItem(ItemKind::FileSystem, parts[i], hint)))
            return {};
    }
    return list;
}

HRESULT FolderBase::EnumObjects(HWND, std::uint32_t flags, std::shared_ptr<IEnumIDList> &enumerator)
{
    enumerator.reset();
    std::vector<IdListPtr> items;
    switch (m_role) {
    case Role::Desktop:
        if (flags & SHCONTF_FOLDERS) {
            for (ItemKind k : {ItemKind::Home, ItemKind::Computer, ItemKind::Network, ItemKind::Trash})
                items.emplace_back(makeItem(k, {}, HintFolder));
        }
        if (!listDirectory(m_path, flags, ItemKind::FileSystem, items))
            return E_FAIL;
        break;
    case Role::Plain:
        if (!listDirectory(m_path, flags, ItemKind::FileSystem, items))
            return E_FAIL;
        break;
    case Role::Trash:
        // No trash folder yet simply means an empty trash.
        if (isDirectory(m_path) && !listDirectory(m_path, flags, ItemKind::TrashEntry, items))
            return E_FAIL;
        break;
    case Role::Computer:
    case Role::Network:
        if (flags & SHCONTF_FOLDERS) {
            for (const places::Volume &v : places::volumes()) {
                if (v.network == (m_role == Role::Network))
                    items.emplace_back(makeItem(ItemKind::Volume, v.path, HintFolder));
            }
        }
        break;
    }
    enumerator = std::make_shared<ListEnumerator>(std::move(items));
    return S_OK;
}

HRESULT FolderBase::BindToObject(const ItemIdList *pidl, IID riid, std::shared_ptr<IUnknown> &out)
{
    out.reset();
    if (riid != IID::IShellFolder)
        return E_NOINTERFACE;
    if (idlist::isEmpty(pidl))
        return E_INVALIDARG;
    std::shared_ptr<FolderBase> folder = shared_from_this();
    for (const ItemIdList *p = pidl; idlist::itemSize(p) != 0; p = idlist::next(p)) {
        IdListPtr first(idlist::firstItem(p));
        folder = first ? folder->bindItem(first.get()) : nullptr;
        if (!folder)
            return E_FAIL;
    }
    out = folder;
    return S_OK;
}

HRESULT FolderBase::CompareIDs(std::intptr_t, const ItemIdList *a, const ItemIdList *b)
{
    const ItemIdList *p = a;
    const ItemIdList *q = b;
    while (true) {
        const bool endA = idlist::itemSize(p) == 0;
        const bool endB = idlist::itemSize(q) == 0;
        if (endA || endB)
            return MAKE_HRESULT_ORDER(endA == endB ? 0 : endA ? -1 : 1);
        const std::uint8_t ka = itemKind(p);
        const std::uint8_t kb = itemKind(q);
        int order = kindRank(ka) - kindRank(kb);
        if (order == 0 && ka == std::uint8_t(ItemKind::Volume) && kb == ka) {
            const QByteArray na = itemName(p);
            const QByteArray nb = itemName(q);
            order = (nb == "/") - (na == "/");
            if (order == 0)
                order = compareFileNames(na, nb);
        } else if (order == 0) {
            order = compareFileNames(itemName(p), itemName(q));
            if (order == 0)
                order = int(ka) - int(kb);
        }
        if (order != 0)
            return MAKE_HRESULT_ORDER(order);
        p = idlist::next(p);
        q = idlist::next(q);
    }
}

HRESULT FolderBase::CreateViewObject(HWND, IID, std::shared_ptr<IUnknown> &out)
{
    out.reset();
    return E_NOTIMPL;
}

std::uint32_t FolderBase::itemAttributes(const ItemIdList *item, std::uint32_t mask) const
{
    std::uint32_t a = 0;
    const std::uint8_t kind = itemKind(item);
    const bool self = idlist::isEmpty(item);
    const QByteArray path = itemPath(item);
    const bool virtualItem = path.isEmpty();
    bool folder = true;
    if (!self && isFileSystemKind(kind)) {
        const std::uint8_t hint = itemHint(item);
        folder = hint == HintFolder || (hint != HintNotFolder && isDirectory(path));
    }
    if (folder)
        a |= SFGAO_FOLDER;
    if (!virtualItem)
        a |= SFGAO_FILESYSTEM | SFGAO_CANCOPY;
    if ((mask & SFGAO_HASSUBFOLDER) && folder) {
        const bool network = kind == std::uint8_t(ItemKind::Network) || (self && m_role == Role::Network);
        if (network) {
            // 网络 lists network shares only; most machines have none mounted.
            const std::vector<places::Volume> volumes = places::volumes();
            if (std::any_of(volumes.begin(), volumes.end(),
                            [](const places::Volume &v) { return v.network; }))
                a |= SFGAO_HASSUBFOLDER;
        } else if (kind == std::uint8_t(ItemKind::Computer) || (self && m_role != Role::Plain)) {
            a |= SFGAO_HASSUBFOLDER;
        } else {
            const QByteArray dir = kind == std::uint8_t(ItemKind::Trash) ? places::trashFilesDir() : path;
            struct stat st {};
            // A directory's link count is 2 plus its subdirectories where the file
            // system keeps it so; a count below 2 says nothing, so answer yes.
            if (statPath(dir, st) && S_ISDIR(st.st_mode) && st.st_nlink != 2)
                a |= SFGAO_HASSUBFOLDER;
        }
    }
    const bool ownItem = !self && kind == std::uint8_t(ItemKind::FileSystem)
                         && (m_role == Role::Plain || m_role == Role::Desktop);
    if (ownItem && (mask & (SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE)) && writable())
        a |= SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE;
    // Entries of the trash and mount points take nothing in; the folders below them do.
    const bool dropTarget = folder && !virtualItem && kind != std::uint8_t(ItemKind::TrashEntry)
                            && kind != std::uint8_t(ItemKind::Volume) && m_role != Role::Trash
                            && !(self && (m_role == Role::Computer || m_role == Role::Network));
    if (dropTarget)
        a |= SFGAO_DROPTARGET;
    if (!self && itemName(item).startsWith('.') && isFileSystemKind(kind))
        a |= SFGAO_HIDDEN;
    return a & mask;
}

HRESULT FolderBase::GetAttributesOf(std::uint32_t count, const ItemIdList *const *items,
                                    std::uint32_t *inOut)
{
    if (!inOut)
        return E_INVALIDARG;
    const std::uint32_t mask = *inOut;
    std::uint32_t result = mask;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::shared_ptr<FolderBase> folder;
        IdListPtr last;
        if (!resolveParent(items[i], folder, last)) {
            result = 0;
            break;
        }
        result &= folder->itemAttributes(last.get(), mask);
    }
    *inOut = count ? result : 0;
    return S_OK;
}

HRESULT FolderBase::GetUIObjectOf(HWND, std::uint32_t count, const ItemIdList *const *items,
                                  IID riid, std::shared_ptr<IUnknown> &out)
{
    out.reset();
    if (count != 1 || !items)
        return E_INVALIDARG;
    if (riid == IID::IShellFolder)
        return BindToObject(items[0], riid, out);
    std::shared_ptr<FolderBase> folder;
    IdListPtr last;
    if (!resolveParent(items[0], folder, last))
        return E_FAIL;
    out = makeContextMenu(folder, std::move(last));
    return out ? S_OK : E_OUTOFMEMORY;
}

HRESULT FolderBase::GetDisplayNameOf(const ItemIdList *pidl, std::uint32_t flags, STRRET &name)
{
    name = STRRET();
    std::shared_ptr<FolderBase> folder;
    IdListPtr last;
    if (!resolveParent(pidl, folder, last))
        return E_FAIL;
    const ItemIdList *item = last.get();
    const bool parsing = flags & SHGDN_FORPARSING;
    const bool inFolder = flags & SHGDN_INFOLDER;
    const std::uint8_t kind = itemKind(item);
    if (parsing && !inFolder) {
        if (kind == std::uint8_t(ItemKind::Computer)
            || (idlist::isEmpty(item) && folder->m_role == Role::Computer)) {
            name.uType = STRRET::CSTR;
            name.cStr = kComputerClsid;
            return S_OK;
        }
        if (kind == std::uint8_t(ItemKind::Network)
            || (idlist::isEmpty(item) && folder->m_role == Role::Network)) {
            name.uType = STRRET::CSTR;
            name.cStr = kNetworkClsid;
            return S_OK;
        }
        if (kind == std::uint8_t(ItemKind::Trash)
            || (idlist::isEmpty(item) && folder->m_role == Role::Trash)) {
            name.uType = STRRET::CSTR;
            name.cStr = kTrashClsid;
            return S_OK;
        }
        name.uType = STRRET::CSTR;
        name.cStr = folder->itemPath(item);
        return S_OK;
    }
    if (kind == std::uint8_t(ItemKind::FileSystem)) {
        if (idlist::count(pidl) == 1) {
            // The name's bytes as they sit in the item asked about.
            name.uType = STRRET::OFFSET;
            name.uOffset = kItemNameOffset;
        } else {
            // An offset would point into the first item of the list, not the last.
            name.uType = STRRET::CSTR;
            name.cStr = itemName(item);
        }
        return S_OK;
    }
    name.uType = STRRET::WSTR;
    name.hasWide = true;
    name.pOleStr = folder->itemDisplayName(item);
    return S_OK;
}

HRESULT FolderBase::SetNameOf(HWND, const ItemIdList *pidl, const QString &newName, std::uint32_t,
                              IdListPtr *newPidl)
{
    if (newPidl)
        newPidl->reset();
    std::shared_ptr<FolderBase> folder;
    IdListPtr last;
    if (!resolveParent(pidl, folder, last))
        return E_FAIL;
    std::uint32_t attrs = SFGAO_CANRENAME;
    const ItemIdList *item = last.get();
    if (folder->itemAttributes(item, attrs) == 0)
        return E_ACCESSDENIED;
    const QByteArray encoded = filepath::pathToBytes(newName);
    if (newName.isEmpty() || encoded.isEmpty() || newName == QLatin1String(".")
        || newName == QLatin1String("..") || encoded.contains('/') || encoded.contains('\0')
        || encoded.size() > 255)
        return E_INVALIDARG;
    const QByteArray oldName = itemName(item);
    if (oldName != encoded) {
        // Never replaces anything: an existing name fails with EEXIST.
        if (::renameat2(AT_FDCWD, folder->itemPath(item).constData(), AT_FDCWD,
                        filepath::join(folder->m_path, encoded).constData(), RENAME_NOREPLACE) != 0)
            return errno == EEXIST ? E_FILE_EXISTS : E_FAIL;
    }
    if (newPidl) {
        IdListPtr renamed(makeItem(ItemKind::FileSystem, encoded, itemHint(item)));
        if (!renamed)
            return E_OUTOFMEMORY;
        // A multi-level list keeps its leading items.
        IdListPtr head(idlist::parentOf(pidl));
        newPidl->reset(idlist::concatenate(head.get(), renamed.get()));
    }
    return S_OK;
}

std::shared_ptr<IShellFolder> SHGetDesktopFolder()
{
    static std::shared_ptr<IShellFolder> desktop =
        std::make_shared<FolderBase>(FolderBase::Role::Desktop, places::desktopDir());
    return desktop;
}

} // namespace shell
