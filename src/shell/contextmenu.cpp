#include "shell/contextmenu.h"
#include "common/filepath.h"

#include "shell/fileops.h"
#include "shell/folders.h"
#include "shell/places.h"

#include <QClipboard>
#include <sys/stat.h>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

namespace shell {
namespace {

struct VerbInfo {
    const char *verb;
    const char *label;
};

const VerbInfo kVerbs[VerbCount] = {
    {"open", "打开"},       {"cut", "剪切"},          {"copy", "复制"},
    {"paste", "粘贴"},      {"delete", "删除"},       {"rename", "重命名"},
    {"newfolder", "新建文件夹"}, {"copypath", "复制路径"}, {"properties", "属性"},
};

QClipboard *clipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                        : nullptr;
}

class ShellContextMenu final : public IContextMenu2 {
public:
    ShellContextMenu(std::shared_ptr<FolderBase> folder, IdListPtr item)
        : m_folder(std::move(folder)), m_item(std::move(item))
    {
    }

    HRESULT QueryContextMenu(PopupMenu &menu, unsigned indexMenu, unsigned idCmdFirst,
                             unsigned idCmdLast, std::uint32_t flags) override
    {
        std::vector<PopupMenu::Entry> entries;
        auto add = [&](MenuVerb v, bool enabled = true) {
            if (idCmdFirst + v <= idCmdLast)
                entries.push_back({idCmdFirst + v, QString::fromUtf8(kVerbs[v].label), enabled});
        };
        auto separator = [&] {
            if (!entries.empty() && entries.back().id != 0)
                entries.push_back({0, {}, true});
        };
        if (available(VerbOpen))
            add(VerbOpen);
        separator();
        if (available(VerbCut))
            add(VerbCut);
        if (available(VerbCopy))
            add(VerbCopy);
        if (available(VerbPaste))
            add(VerbPaste, clipboardHasFiles());
        separator();
        if (available(VerbDelete))
            add(VerbDelete);
        if (available(VerbRename) && (flags & CMF_CANRENAME))
            add(VerbRename);
        if (available(VerbNewFolder))
            add(VerbNewFolder);
        separator();
        if (available(VerbCopyPath))
            add(VerbCopyPath);
        add(VerbProperties);
        if (!entries.empty() && entries.back().id == 0)
            entries.pop_back();
        const std::size_t at = std::min<std::size_t>(indexMenu, menu.entries.size());
        menu.entries.insert(menu.entries.begin() + std::ptrdiff_t(at), entries.begin(), entries.end());
        return HRESULT(VerbCount);
    }

    HRESULT GetCommandString(unsigned idCmd, std::uint32_t, QByteArray &name) override
    {
        if (idCmd >= VerbCount)
            return E_INVALIDARG;
        name = kVerbs[idCmd].verb;
        return S_OK;
    }

    HRESULT InvokeCommand(const CMINVOKECOMMANDINFO &info) override
    {
        if (info.verb < 0 || info.verb >= int(VerbCount))
            return E_INVALIDARG;
        const auto verb = MenuVerb(info.verb);
        if (!available(verb))
            return E_ACCESSDENIED;
        IVerbHost *host = info.host;
        switch (verb) {
        case VerbOpen: {
            const QByteArray dir = openPath();
            if (!host || !host->openUrl(fileops::fileUrl(dir))) {
                if (host)
                    host->showError(QStringLiteral("无法打开“%1”。").arg(filepath::pathFromBytes(dir)));
                return E_FAIL;
            }
            return S_OK;
        }
        case VerbCut:
        case VerbCopy: {
            QClipboard *cb = clipboard();
            if (!cb)
                return E_FAIL;
            cb->setMimeData(fileops::clipboardData({path()}, verb == VerbCut).release());
            return S_OK;
        }
        case VerbPaste: return paste(host);
        case VerbDelete: {
            if (!host)
                return E_FAIL;
            const QString name = m_folder->itemDisplayName(m_item.get());
            if (!host->confirm(QStringLiteral("确实要把“%1”移到回收站吗？").arg(name)))
                return E_ABORT;
            QString why;
            // Our own move: QFile::moveToTrash moves the item into ./files of the working
            // directory when the trash folder cannot be made.
            if (!fileops::moveToTrash(path(), why)) {
                host->showError(QStringLiteral("无法把“%1”移到回收站：%2").arg(name, why));
                return E_FAIL;
            }
            return S_OK;
        }
        case VerbRename:
            // Renaming is label editing in the tree; the tree's verb hook takes it.
            return E_NOTIMPL;
        case VerbNewFolder: {
            if (!host)
                return E_FAIL;
            QString error;
            const QByteArray created = fileops::createNewFolder(path(), error);
            if (created.isEmpty()) {
                host->showError(error);
                return E_FAIL;
            }
            host->folderCreated(filepath::pathFromBytes(created));
            return S_OK;
        }
        case VerbCopyPath: {
            QClipboard *cb = clipboard();
            if (!cb)
                return E_FAIL;
            cb->setText(filepath::pathFromBytes(path()));
            return S_OK;
        }
        case VerbProperties: {
            if (!host)
                return E_FAIL;
            const QString name = m_folder->itemDisplayName(m_item.get());
            host->setBusy(true);
            FolderProperties props;
            const QByteArray p = path();
            if (!p.isEmpty()) {
                props = fileops::folderProperties(p, name);
            } else {
                props.name = name;
                std::shared_ptr<IEnumIDList> e;
                std::shared_ptr<IUnknown> bound;
                if (SUCCEEDED(m_folder->BindToObject(m_item.get(), IID::IShellFolder, bound)) && bound) {
                    auto f = std::static_pointer_cast<FolderBase>(bound);
                    if (SUCCEEDED(f->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, e)) && e) {
                        std::vector<IdListPtr> items;
                        while (e->Next(256, items) == S_OK) {
                        }
                        props.items = qint64(items.size());
                    }
                }
            }
            host->setBusy(false);
            host->showProperties(props);
            return S_OK;
        }
        case VerbCount: break;
        }
        return E_INVALIDARG;
    }

    HRESULT HandleMenuMsg(unsigned, std::uintptr_t, std::intptr_t) override { return S_OK; }

private:
    QByteArray path() const { return m_folder->itemPath(m_item.get()); }

    // 回收站 opens as its files folder; every other virtual item has nothing to open.
    QByteArray openPath() const
    {
        if (itemKind(m_item.get()) == std::uint8_t(ItemKind::Trash)) {
            const QByteArray files = places::trashFilesDir();
            struct stat st {};
            return ::stat(files.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? files : QByteArray();
        }
        return path();
    }

    std::uint32_t attributes(std::uint32_t mask) const
    {
        const ItemIdList *item = m_item.get();
        m_folder->GetAttributesOf(1, &item, &mask);
        return mask;
    }

    bool available(MenuVerb verb) const
    {
        switch (verb) {
        case VerbOpen: return !openPath().isEmpty() && (attributes(SFGAO_FOLDER) & SFGAO_FOLDER);
        case VerbCut: return attributes(SFGAO_CANMOVE) != 0;
        case VerbCopy: return attributes(SFGAO_CANCOPY) != 0;
        case VerbPaste:
        case VerbNewFolder: return attributes(SFGAO_DROPTARGET) != 0;
        case VerbDelete: return attributes(SFGAO_CANDELETE) != 0;
        case VerbRename: return attributes(SFGAO_CANRENAME) != 0;
        case VerbCopyPath: return !path().isEmpty();
        case VerbProperties: return true;
        case VerbCount: break;
        }
        return false;
    }

    static bool clipboardHasFiles()
    {
        QClipboard *cb = clipboard();
        QList<QByteArray> paths;
        bool cut = false;
        return cb && fileops::readClipboard(cb->mimeData(), paths, cut);
    }

    HRESULT paste(IVerbHost *host)
    {
        QClipboard *cb = clipboard();
        QList<QByteArray> sources;
        bool cut = false;
        if (!cb || !fileops::readClipboard(cb->mimeData(), sources, cut))
            return E_FAIL;
        if (host)
            host->setBusy(true);
        const fileops::PasteResult r = fileops::paste(sources, cut, path());
        if (host)
            host->setBusy(false);
        // What was cut and moved is gone from its place; a second paste would find nothing.
        if (cut && r.ok())
            cb->clear();
        if (!r.ok()) {
            if (host)
                host->showError(QStringLiteral("粘贴时出错：\n") + r.errors.join(QLatin1Char('\n')));
            return r.done > 0 ? S_FALSE : E_FAIL;
        }
        return S_OK;
    }

    std::shared_ptr<FolderBase> m_folder;
    IdListPtr m_item;
};

} // namespace

const char *verbString(MenuVerb verb) { return verb < VerbCount ? kVerbs[verb].verb : ""; }

std::shared_ptr<IContextMenu2> makeContextMenu(std::shared_ptr<FolderBase> folder, IdListPtr item)
{
    if (!folder || !item)
        return {};
    return std::make_shared<ShellContextMenu>(std::move(folder), std::move(item));
}

} // namespace shell
