#pragma once
// The namespace layer's interfaces: folders (IShellFolder), their enumerations
// (IEnumIDList) and context menus (IContextMenu, IContextMenu2), held by
// std::shared_ptr instead of reference counts. Results are HRESULT-style codes:
// 0 (S_OK) and 1 (S_FALSE) succeed, negative values fail.
//
// Threads: every object here is used on the GUI thread only. Names in the
// returned texts are QStrings; raw file names stay bytes inside id lists.

#include "shell/idlist.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <vector>

class QObject;

namespace shell {

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = std::int32_t(0x80004001u);
constexpr HRESULT E_NOINTERFACE = std::int32_t(0x80004002u);
constexpr HRESULT E_ABORT = std::int32_t(0x80004004u);
constexpr HRESULT E_FAIL = std::int32_t(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = std::int32_t(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = std::int32_t(0x80070057u);
constexpr HRESULT E_ACCESSDENIED = std::int32_t(0x80070005u);
constexpr HRESULT E_FILE_EXISTS = std::int32_t(0x80070050u);
constexpr HRESULT E_NOT_FOUND = std::int32_t(0x80070002u);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }
// A success code carrying a 16-bit value (CompareIDs' order).
inline HRESULT MAKE_HRESULT_ORDER(int order)
{
    return HRESULT(std::uint16_t(std::int16_t(order < 0 ? -1 : order > 0 ? 1 : 0)));
}
inline int HRESULT_ORDER(HRESULT hr) { return std::int16_t(std::uint16_t(hr & 0xFFFF)); }

// Window handle stand-in: the owner of any user interaction (may be null).
using HWND = QObject *;

// Enumeration flags (EnumObjects).
enum : std::uint32_t {
    SHCONTF_FOLDERS = 0x20,
    SHCONTF_NONFOLDERS = 0x40,
    SHCONTF_INCLUDEHIDDEN = 0x80,
};

// Display name flags (GetDisplayNameOf).
enum : std::uint32_t {
    SHGDN_NORMAL = 0,
    SHGDN_INFOLDER = 1,
    SHGDN_FORPARSING = 0x8000,
};

// Attribute bits (GetAttributesOf).
enum : std::uint32_t {
    SFGAO_CANCOPY = 0x1,
    SFGAO_CANMOVE = 0x2,
    SFGAO_CANRENAME = 0x10,
    SFGAO_CANDELETE = 0x20,
    SFGAO_DROPTARGET = 0x100,
    SFGAO_CAPABILITYMASK = 0x177,
    SFGAO_SHARE = 0x00020000,
    SFGAO_HIDDEN = 0x00080000,
    SFGAO_DISPLAYATTRMASK = 0x000F0000,
    SFGAO_FILESYSTEM = 0x40000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_HASSUBFOLDER = 0x80000000,
};

// A name result: a wide string (0), an offset into the id list asked about
// (1) or a narrow string (2).
struct STRRET {
    enum Kind : std::uint32_t { WSTR = 0, OFFSET = 1, CSTR = 2 };
    std::uint32_t uType = WSTR;
    bool hasWide = false;      // kind 0: an absent wide string reads as ""
    QString pOleStr;           // kind 0
    std::uint32_t uOffset = 0; // kind 1
    QByteArray cStr;           // kind 2 (file-system bytes, local 8-bit)
};

// Interface identifiers for BindToObject / GetUIObjectOf / CreateViewObject.
enum class IID { IShellFolder, IContextMenu };

class IUnknown {
public:
    virtual ~IUnknown() = default;
};

class IEnumIDList : public IUnknown {
public:
    // Up to `celt` next items, each a new list owned by the caller. S_FALSE when fewer.
    virtual HRESULT Next(std::uint32_t celt, std::vector<IdListPtr> &items) = 0;
    virtual HRESULT Skip(std::uint32_t celt) = 0;
    virtual HRESULT Reset() = 0;
};

class IShellFolder : public IUnknown {
public:
    virtual HRESULT ParseDisplayName(HWND hwnd, const QString &name, std::uint32_t *eaten,
                                     IdListPtr &pidl, std::uint32_t *attributes) = 0;
    virtual HRESULT EnumObjects(HWND hwnd, std::uint32_t flags,
                                std::shared_ptr<IEnumIDList> &enumerator) = 0;
    // Binds to a (multi-level) relative list; only IID::IShellFolder is offered.
    virtual HRESULT BindToObject(const ItemIdList *pidl, IID riid,
                                 std::shared_ptr<IUnknown> &out) = 0;
    // Low 16 bits of a success code: signed order of the two lists (column 0: names).
    virtual HRESULT CompareIDs(std::intptr_t lParam, const ItemIdList *a,
                               const ItemIdList *b) = 0;
    virtual HRESULT CreateViewObject(HWND hwnd, IID riid, std::shared_ptr<IUnknown> &out) = 0;
    // `inOut` goes in as the request mask and comes back with the bits that hold
    // for all items.
    virtual HRESULT GetAttributesOf(std::uint32_t count, const ItemIdList *const *items,
                                    std::uint32_t *inOut) = 0;
    virtual HRESULT GetUIObjectOf(HWND hwnd, std::uint32_t count, const ItemIdList *const *items,
                                  IID riid, std::shared_ptr<IUnknown> &out) = 0;
    virtual HRESULT GetDisplayNameOf(const ItemIdList *pidl, std::uint32_t flags,
                                     STRRET &name) = 0;
    virtual HRESULT SetNameOf(HWND hwnd, const ItemIdList *pidl, const QString &newName,
                              std::uint32_t flags, IdListPtr *newPidl) = 0;
};

// What the properties sheet of a folder shows.
struct FolderProperties {
    QString name;
    QString path;
    qint64 items = 0;     // entries directly inside
    qint64 files = 0;     // regular files anywhere below
    qint64 folders = 0;   // folders anywhere below
    qint64 bytes = 0;     // sizes of those files
    bool complete = true; // false when the count stopped early (too many entries)
    QString modified;     // local time, "yyyy-MM-dd HH:mm:ss"
};

// What a context menu needs from its owner window: confirmations, errors,
// opening a folder in the file manager, the properties sheet and editing the
// label of a folder just created. The folder tree implements it with its seams.
class IVerbHost {
public:
    virtual ~IVerbHost() = default;
    virtual bool confirm(const QString &text) = 0;
    virtual void showError(const QString &text) = 0;
    virtual bool openUrl(const QUrl &url) = 0;
    virtual void showProperties(const FolderProperties &properties) = 0;
    virtual void folderCreated(const QString &path) = 0;
    virtual void setBusy(bool busy) = 0;
};

// A pop-up menu as a plain list; the folder tree turns it into a QMenu.
struct PopupMenu {
    struct Entry {
        unsigned id = 0;  // 0 for a separator
        QString text;
        bool enabled = true;
    };
    std::vector<Entry> entries;
};

enum : std::uint32_t {
    CMF_NORMAL = 0,
    CMF_EXPLORE = 0x4,
    CMF_CANRENAME = 0x10,
    GCS_VERBA = 0,
};

struct CMINVOKECOMMANDINFO {
    std::uint32_t cbSize = 36;
    std::uint32_t fMask = 0;
    HWND hwnd = nullptr;
    IVerbHost *host = nullptr;  // the owner's services; verbs that need one fail without it
    int verb = 0;               // command offset (the chosen id minus the first id)
    int nShow = 1;
};

class IContextMenu : public IUnknown {
public:
    // Adds the commands (ids idCmdFirst..idCmdLast); the code's value is the count added.
    virtual HRESULT QueryContextMenu(PopupMenu &menu, unsigned indexMenu, unsigned idCmdFirst,
                                     unsigned idCmdLast, std::uint32_t flags) = 0;
    virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO &info) = 0;
    virtual HRESULT GetCommandString(unsigned idCmd, std::uint32_t type, QByteArray &name) = 0;
};

class IContextMenu2 : public IContextMenu {
public:
    // Owner-draw and menu messages while the menu is tracked; ours draws nothing itself.
    virtual HRESULT HandleMenuMsg(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// The desktop's folder interface (process-wide, made on first use).
std::shared_ptr<IShellFolder> SHGetDesktopFolder();

// Directory listings the namespace makes (tests count them); the callback gets
// the folder's path, on the thread that lists (a reading job of the tree).
// nullptr removes it. Set it while no folder is being read.
using ListingObserver = void (*)(const QByteArray &path);
void setListingObserver(ListingObserver observer);

} // namespace shell
