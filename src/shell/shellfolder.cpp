#include "shell/shellfolder.h"
#include "common/filepath.h"

#include "shell/folders.h"
#include "shell/icons.h"
#include "shell/places.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cstring>

namespace shell {

std::uint32_t enumerationFlags(TShellObjectTypes types)
{
    std::uint32_t flags = 0;
    if (types & otFolders)
        flags |= SHCONTF_FOLDERS;
    if (types & otNonFolders)
        flags |= SHCONTF_NONFOLDERS;
    if (types & otHidden)
        flags |= SHCONTF_INCLUDEHIDDEN;
    return flags;
}

// ---- names ---------------------------------------------------------------

namespace {

// Steps 2 and 3 of ItemName: the name result as text, "?digit" names cleaned.
QString nameText(IShellFolder &folder, const ItemIdList *pidl, std::uint32_t flags)
{
    STRRET name;
    QString text;
    if (SUCCEEDED(folder.GetDisplayNameOf(pidl, flags, name))) {
        switch (name.uType) {
        case STRRET::WSTR:
            text = name.hasWide ? name.pOleStr : QString();
            break;
        case STRRET::OFFSET: {
            const int cb = idlist::itemSize(pidl);
            if (int(name.uOffset) < cb)
                text = filepath::pathFromBytes(QByteArray(reinterpret_cast<const char *>(pidl) + name.uOffset,
                                                    cb - int(name.uOffset)));
            break;
        }
        case STRRET::CSTR: {
            const qsizetype zero = name.cStr.indexOf('\0');
            text = filepath::pathFromBytes(zero < 0 ? name.cStr : name.cStr.left(zero));
            break;
        }
        default: break;
        }
    }
    if (text.size() > 1 && text[0] == QLatin1Char('?') && text[1] >= QLatin1Char('0')
        && text[1] <= QLatin1Char('9'))
        text.remove(QLatin1Char('?'));
    return text;
}

} // namespace

QString ItemName(const std::shared_ptr<IShellFolder> &folder, const ItemIdList *pidl,
                 std::uint32_t flags)
{
    if (!folder)
        return QStringLiteral("parentfolder = nil");
    QString text = nameText(*folder, pidl, flags);
    // A class identifier is a virtual folder's parsing name: ask once more for its normal name.
    if (text.startsWith(QLatin1String("::{")))
        text = nameText(*folder, pidl, SHGDN_NORMAL);
    return text;
}

// ---- icons ---------------------------------------------------------------

int SystemIconIndex(const ItemIdList *fullId, bool large, bool open)
{
    Q_UNUSED(large);  // one list; the tree draws it at its own size
    const ItemIdList *last = nullptr;
    for (const ItemIdList *p = fullId; idlist::itemSize(p) != 0; p = idlist::next(p))
        last = p;
    if (!last)
        return IconDesktop;
    switch (ItemKind(itemKind(last))) {
    case ItemKind::Home: return IconHome;
    case ItemKind::Computer: return IconComputer;
    case ItemKind::Network: return IconNetwork;
    case ItemKind::Trash: return IconTrash;
    case ItemKind::Volume: return IconDrive;
    case ItemKind::FileSystem:
    case ItemKind::TrashEntry: {
        bool folder = itemHint(last) == HintFolder;
        if (itemHint(last) == HintNone) {
            std::uint32_t mask = SFGAO_FOLDER;
            SHGetDesktopFolder()->GetAttributesOf(1, &fullId, &mask);
            folder = mask & SFGAO_FOLDER;
        }
        if (!folder)
            return IconFile;
        return open ? IconFolderOpen : IconFolder;
    }
    }
    return IconFile;
}

// ---- TShellFolder --------------------------------------------------------

TShellFolder::TShellFolder(TShellFolder *parent, std::shared_ptr<IShellFolder> folderInterface,
                           const ItemIdList *localId)
    : m_localId(idlist::copy(localId)), m_folder(std::move(folderInterface))
{
    if (parent) {
        m_parent = parent;
        m_fullId.reset(idlist::concatenate(parent->FullId(), m_localId.get()));
    } else {
        // The desktop is the empty list, so FullId is LocalId; while the desktop
        // object itself is being made it has no parent.
        m_parent = DesktopShellFolder();
        m_fullId.reset(idlist::copy(m_localId.get()));
    }
    for (TShellFolder *p = parent ? parent->m_parent : nullptr; p; p = p->m_parent)
        ++m_depth;
}

std::shared_ptr<IShellFolder> TShellFolder::ParentInterface() const
{
    return m_parent ? m_parent->m_folder : SHGetDesktopFolder();
}

QString TShellFolder::DisplayText() const { return ItemName(ParentInterface(), LocalId(), SHGDN_INFOLDER); }

QString TShellFolder::PathText() const { return ItemName(SHGetDesktopFolder(), FullId(), SHGDN_FORPARSING); }

std::uint32_t TShellFolder::Attributes(std::uint32_t mask) const
{
    // The result code is not examined: the answer is the mask as the call leaves it.
    const std::shared_ptr<IShellFolder> parent = ParentInterface();
    if (!parent)
        return 0;
    const ItemIdList *item = LocalId();
    parent->GetAttributesOf(1, &item, &mask);
    return mask;
}

bool TShellFolder::IsFolderItem() const { return Attributes(SFGAO_FOLDER) & SFGAO_FOLDER; }
bool TShellFolder::HasSubfolders() const { return Attributes(SFGAO_HASSUBFOLDER) & SFGAO_HASSUBFOLDER; }
bool TShellFolder::IsShared() const { return Attributes(SFGAO_DISPLAYATTRMASK) & SFGAO_SHARE; }
bool TShellFolder::CanRename() const { return Attributes(SFGAO_CAPABILITYMASK) & SFGAO_CANRENAME; }

bool TShellFolder::Rename(const QString &newName)
{
    if (!CanRename())
        return false;
    IdListPtr renamed;
    const std::shared_ptr<IShellFolder> parent = ParentInterface();
    if (!parent || FAILED(parent->SetNameOf(nullptr, LocalId(), newName, 0, &renamed)) || !renamed)
        throw ShellError(QStringLiteral("Rename to %1 failed").arg(newName));
    m_localId = std::move(renamed);
    if (m_parent)
        m_fullId.reset(idlist::concatenate(m_parent->FullId(), m_localId.get()));
    else
        m_fullId.reset(idlist::copy(m_localId.get()));
    // The old interface still names the old place; bind the item under its new name.
    if (m_folder) {
        if (auto rebound = BindChildFolder(parent, m_localId.get(), nullptr))
            m_folder = std::move(rebound);
    }
    return true;
}

// ---- binding -------------------------------------------------------------

std::shared_ptr<IShellFolder> BindChildFolder(const std::shared_ptr<IShellFolder> &parent,
                                              const ItemIdList *child, HWND hwnd)
{
    std::shared_ptr<IUnknown> out;
    if (parent) {
        if (FAILED(parent->BindToObject(child, IID::IShellFolder, out)) || !out) {
            out.reset();
            if (FAILED(parent->GetUIObjectOf(hwnd, 1, &child, IID::IShellFolder, out)) || !out) {
                out.reset();
                parent->CreateViewObject(hwnd, IID::IShellFolder, out);
            }
        }
    }
    if (!out)
        SHGetDesktopFolder()->BindToObject(child, IID::IShellFolder, out);
    return std::dynamic_pointer_cast<IShellFolder>(out);
}

// ---- roots ---------------------------------------------------------------

namespace {

QByteArray standardDir(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return path.isEmpty() ? QByteArray() : filepath::pathToBytes(QDir::cleanPath(path));
}

QByteArray homeSub(const char *sub) { return places::homeDir() + sub; }

struct RootEntry {
    TRootFolder root;
    const char *name;
    int csidl;
    // The place on this machine; empty when there is none. Null for the
    // namespace's own places (desktop, 计算机, 网络, 回收站).
    QByteArray (*place)();
};

// The one table of root names and what each is on Linux.
const RootEntry kRoots[] = {
    {rfDesktop, "rfDesktop", 0x00, nullptr},
    {rfMyComputer, "rfMyComputer", 0x11, nullptr},
    {rfNetwork, "rfNetwork", 0x12, nullptr},
    {rfRecycleBin, "rfRecycleBin", 0x0A, nullptr},
    {rfAppData, "rfAppData", 0x1A, [] { return standardDir(QStandardPaths::GenericDataLocation); }},
    {rfCommonDesktopDirectory, "rfCommonDesktopDirectory", 0x19, [] { return QByteArray(); }},
    {rfCommonPrograms, "rfCommonPrograms", 0x17, [] { return QByteArray("/usr/share/applications"); }},
    {rfCommonStartMenu, "rfCommonStartMenu", 0x16, [] { return QByteArray(); }},
    {rfCommonStartup, "rfCommonStartup", 0x18, [] { return QByteArray("/etc/xdg/autostart"); }},
    {rfControlPanel, "rfControlPanel", 0x03, [] { return QByteArray(); }},
    {rfDesktopDirectory, "rfDesktopDirectory", 0x10, [] { return standardDir(QStandardPaths::DesktopLocation); }},
    {rfFavorites, "rfFavorites", 0x06, [] { return QByteArray(); }},
    {rfFonts, "rfFonts", 0x14, [] { return standardDir(QStandardPaths::FontsLocation); }},
    {rfInternet, "rfInternet", 0x01, [] { return QByteArray(); }},
    {rfPersonal, "rfPersonal", 0x05, [] { return standardDir(QStandardPaths::DocumentsLocation); }},
    {rfPrinters, "rfPrinters", 0x04, [] { return QByteArray(); }},
    {rfPrintHood, "rfPrintHood", 0x1B, [] { return QByteArray(); }},
    {rfPrograms, "rfPrograms", 0x02, [] { return standardDir(QStandardPaths::ApplicationsLocation); }},
    {rfRecent, "rfRecent", 0x08, [] { return QByteArray(); }},
    {rfSendTo, "rfSendTo", 0x09, [] { return QByteArray(); }},
    {rfStartMenu, "rfStartMenu", 0x0B, [] { return QByteArray(); }},
    {rfStartup, "rfStartup", 0x07, [] {
         const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
         return config.isEmpty() ? homeSub("/.config/autostart")
                                 : filepath::pathToBytes(QDir::cleanPath(config + QStringLiteral("/autostart")));
     }},
    {rfTemplates, "rfTemplates", 0x15, [] { return places::xdgUserDir("TEMPLATES"); }},
};

} // namespace

bool rootFolderFromName(const QString &text, TRootFolder &root)
{
    for (const RootEntry &e : kRoots) {
        if (text.compare(QLatin1String(e.name), Qt::CaseInsensitive) == 0) {
            root = e.root;
            return true;
        }
    }
    return false;
}

QString rootFolderName(TRootFolder root)
{
    for (const RootEntry &e : kRoots) {
        if (e.root == root)
            return QLatin1String(e.name);
    }
    return {};
}

HRESULT SHGetSpecialFolderLocation(TRootFolder root, IdListPtr &pidl)
{
    pidl.reset();
    switch (root) {
    case rfDesktop: pidl.reset(idlist::copy(nullptr)); break;
    case rfMyComputer: pidl.reset(makeItem(ItemKind::Computer, {}, HintFolder)); break;
    case rfNetwork: pidl.reset(makeItem(ItemKind::Network, {}, HintFolder)); break;
    case rfRecycleBin: pidl.reset(makeItem(ItemKind::Trash, {}, HintFolder)); break;
    default:
        for (const RootEntry &e : kRoots) {
            if (e.root != root || !e.place)
                continue;
            const QByteArray path = e.place();
            struct stat st {};
            if (path.startsWith('/') && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                pidl = idListForPath(path, true);
        }
        break;
    }
    return pidl ? S_OK : E_FAIL;
}

void OpenRootFolder(std::unique_ptr<TShellFolder> &rootObject, const QString &previousRoot,
                    QString &rootText)
{
    const std::shared_ptr<IShellFolder> desktop = SHGetDesktopFolder();
    IdListPtr pidl;
    HRESULT hr = E_FAIL;
    TRootFolder root;
    if (rootFolderFromName(rootText, root)) {
        hr = SHGetSpecialFolderLocation(root, pidl);
    } else if (!rootText.isEmpty()) {
        std::uint32_t eaten = 0;
        std::uint32_t attributes = SFGAO_FOLDER;
        hr = desktop->ParseDisplayName(nullptr, rootText, &eaten, pidl, &attributes);
        // A root is a folder: a file or anything else that names no folder fails.
        if (SUCCEEDED(hr) && !(attributes & SFGAO_FOLDER))
            hr = E_INVALIDARG;
    }
    if (FAILED(hr) || !pidl) {
        const QString failed = rootText;
        rootText = previousRoot;
        throw ShellError(QStringLiteral("Error setting path: \"%1\"").arg(failed));
    }
    std::shared_ptr<IShellFolder> folder = idlist::isEmpty(pidl.get())
                                               ? desktop
                                               : BindChildFolder(desktop, pidl.get(), nullptr);
    if (!folder)
        folder = desktop;
    rootObject = std::make_unique<TShellFolder>(DesktopShellFolder(), folder, pidl.get());
}

// ---- the desktop folder object -----------------------------------------

namespace {
std::unique_ptr<TShellFolder> g_desktop;
bool g_makingDesktop = false;
} // namespace

TShellFolder *DesktopShellFolder()
{
    if (!g_desktop && !g_makingDesktop) {
        g_makingDesktop = true;
        IdListPtr location;
        if (SUCCEEDED(SHGetSpecialFolderLocation(rfDesktop, location)))
            g_desktop = std::make_unique<TShellFolder>(nullptr, SHGetDesktopFolder(), location.get());
        g_makingDesktop = false;
    }
    return g_desktop.get();
}

void releaseDesktopShellFolder() { g_desktop.reset(); }

} // namespace shell
