#pragma once
// TShellFolder: one item of the namespace, named by its id lists, answering
// the folder tree's questions (names, path text, attributes, icon, children,
// renaming). Also ItemName, SystemIconIndex, BindChildFolder, the root names
// and OpenRootFolder, and the process-wide desktop folder object.
//
// Ownership: a TShellFolder owns its two lists and shares its folder
// interface; it never owns its ParentFolder (the tree's node above it does,
// or it is the desktop folder object, which lives until releaseDesktopShellFolder).
// Threads: GUI thread only.

#include "shell/idlist.h"
#include "shell/nameorder.h"
#include "shell/shellapi.h"

#include <QString>

#include <memory>
#include <stdexcept>

namespace shell {

// Failures of the namespace that reach the user ("Error setting path: ...",
// "Rename to %s failed"). Handlers catch it and show its text.
class ShellError : public std::runtime_error {
public:
    explicit ShellError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Which items an enumeration yields (otFolders 0x20, otNonFolders 0x40, otHidden 0x80).
enum TShellObjectType : unsigned { otFolders = 1, otNonFolders = 2, otHidden = 4 };
using TShellObjectTypes = unsigned;
std::uint32_t enumerationFlags(TShellObjectTypes types);

class TShellFolder {
public:
    // Takes a share of `folderInterface` and a copy of `localId`. With no parent the
    // desktop folder object becomes ParentFolder and FullId equals LocalId.
    TShellFolder(TShellFolder *parent, std::shared_ptr<IShellFolder> folderInterface,
                 const ItemIdList *localId);
    ~TShellFolder() = default;
    TShellFolder(const TShellFolder &) = delete;
    TShellFolder &operator=(const TShellFolder &) = delete;

    const ItemIdList *LocalId() const { return m_localId.get(); }
    const ItemIdList *FullId() const { return m_fullId.get(); }
    TShellFolder *ParentFolder() const { return m_parent; }
    const std::shared_ptr<IShellFolder> &FolderInterface() const { return m_folder; }
    int Depth() const { return m_depth; }

    // The ParentFolder's interface, or the desktop's when there is no ParentFolder.
    std::shared_ptr<IShellFolder> ParentInterface() const;

    QString DisplayText() const;
    QString PathText() const;
    bool IsFolderItem() const;
    bool HasSubfolders() const;
    bool IsShared() const;
    bool CanRename() const;
    // Renames through the parent folder. False when the item cannot be renamed;
    // throws ShellError("Rename to %s failed") when the folder refuses.
    bool Rename(const QString &newName);

    // Any attribute bits (the request mask as it comes back).
    std::uint32_t Attributes(std::uint32_t mask) const;

private:
    IdListPtr m_localId;
    IdListPtr m_fullId;
    TShellFolder *m_parent = nullptr;
    std::shared_ptr<IShellFolder> m_folder;
    int m_depth = 0;
};

// The text of a shell name (the four steps: missing folder, name kinds,
// the "?digit" rule and the "::{" rule).
QString ItemName(const std::shared_ptr<IShellFolder> &folder, const ItemIdList *pidl,
                 std::uint32_t flags);

// Index into the icon list of shell/icons.h for the item a full list names.
int SystemIconIndex(const ItemIdList *fullId, bool large, bool open);

// The child's folder interface (BindToObject, then GetUIObjectOf and
// CreateViewObject, then from the desktop); may be null.
std::shared_ptr<IShellFolder> BindChildFolder(const std::shared_ptr<IShellFolder> &parent,
                                              const ItemIdList *child, HWND hwnd);

// Root names, matched ignoring letter case. Each maps to a place of this
// machine; a name without one fails as an unknown root.
enum TRootFolder {
    rfDesktop, rfMyComputer, rfNetwork, rfRecycleBin, rfAppData, rfCommonDesktopDirectory,
    rfCommonPrograms, rfCommonStartMenu, rfCommonStartup, rfControlPanel, rfDesktopDirectory,
    rfFavorites, rfFonts, rfInternet, rfPersonal, rfPrinters, rfPrintHood, rfPrograms, rfRecent,
    rfSendTo, rfStartMenu, rfStartup, rfTemplates,
};
// The root for a name (any letter case); false when the text is no root name.
bool rootFolderFromName(const QString &text, TRootFolder &root);
QString rootFolderName(TRootFolder root);
// The id list of a special place; E_FAIL when it has none on this machine.
HRESULT SHGetSpecialFolderLocation(TRootFolder root, IdListPtr &pidl);

// Replaces `rootObject` with the folder object for `rootText` (a root name or the
// absolute path of an existing folder). On failure `rootText` is set back to
// `previousRoot`, `rootObject` is kept and ShellError("Error setting path: \"%s\"")
// is thrown.
void OpenRootFolder(std::unique_ptr<TShellFolder> &rootObject, const QString &previousRoot,
                    QString &rootText);

// The process-wide desktop folder object (made on first use) and its release at exit.
TShellFolder *DesktopShellFolder();
void releaseDesktopShellFolder();


} // namespace shell
