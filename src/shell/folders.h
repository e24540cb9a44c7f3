#pragma once
// The folder objects behind the namespace's interfaces: the desktop, ordinary
// file-system folders, 回收站 (the freedesktop trash) and the volume lists of
// 计算机 and 网络. Internal to the shell library (tests may use it).

#include "shell/shellapi.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace shell {

class FolderBase : public IShellFolder, public std::enable_shared_from_this<FolderBase> {
public:
    enum class Role { Desktop, Plain, Trash, Computer, Network };
    FolderBase(Role role, QByteArray path);

    Role role() const { return m_role; }
    // The folder's own directory (empty for 计算机 and 网络).
    const QByteArray &path() const { return m_path; }

    // Absolute path of a one-item list inside this folder (empty item: the folder
    // itself); empty for virtual items.
    QByteArray itemPath(const ItemIdList *item) const;
    // Readable name of a one-item list.
    QString itemDisplayName(const ItemIdList *item) const;
    // Binds a multi-level list to the folder holding its last item and returns that
    // folder and a copy of the last item; false when a step cannot be bound.
    bool resolveParent(const ItemIdList *pidl, std::shared_ptr<FolderBase> &folder,
                       IdListPtr &last);

    HRESULT ParseDisplayName(HWND hwnd, const QString &name, std::uint32_t *eaten,
                             IdListPtr &pidl, std::uint32_t *attributes) override;
    HRESULT EnumObjects(HWND hwnd, std::uint32_t flags,
                        std::shared_ptr<IEnumIDList> &enumerator) override;
    HRESULT BindToObject(const ItemIdList *pidl, IID riid, std::shared_ptr<IUnknown> &out) override;
    HRESULT CompareIDs(std::intptr_t lParam, const ItemIdList *a, const ItemIdList *b) override;
    HRESULT CreateViewObject(HWND hwnd, IID riid, std::shared_ptr<IUnknown> &out) override;
    HRESULT GetAttributesOf(std::uint32_t count, const ItemIdList *const *items,
                            std::uint32_t *inOut) override;
    HRESULT GetUIObjectOf(HWND hwnd, std::uint32_t count, const ItemIdList *const *items, IID riid,
                          std::shared_ptr<IUnknown> &out) override;
    HRESULT GetDisplayNameOf(const ItemIdList *pidl, std::uint32_t flags, STRRET &name) override;
    HRESULT SetNameOf(HWND hwnd, const ItemIdList *pidl, const QString &newName,
                      std::uint32_t flags, IdListPtr *newPidl) override;

private:
    std::shared_ptr<FolderBase> bindItem(const ItemIdList *item) const;
    std::uint32_t itemAttributes(const ItemIdList *item, std::uint32_t mask) const;
    bool writable() const;

    Role m_role;
    QByteArray m_path;
    mutable int m_writable = -1;  // access(W_OK) of m_path, asked once
};

// The id list of an absolute folder path as the desktop names it (under the
// desktop folder, under 主文件夹, else under 计算机 / "/"). Null when the path is
// not absolute.
IdListPtr idListForPath(const QByteArray &absolutePath, bool isFolder);

// The name shown for a trash entry (the original name from its .trashinfo).
QString trashEntryName(const QByteArray &fileName);

} // namespace shell
