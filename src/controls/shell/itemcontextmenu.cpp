#include "controls/shell/itemcontextmenu.h"

#include "controls/seams.h"
#include "controls/shell/propertiesdialog.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

using namespace shell;

bool SeamVerbHost::confirm(const QString &text)
{
    return seams::showMessage(m_owner, text, QStringLiteral("确认"), seams::MsgIcon::Question,
                              seams::MsgButtons::YesNo)
           == seams::MsgResult::Yes;
}

void SeamVerbHost::showError(const QString &text) { seams::showError(m_owner, text); }

bool SeamVerbHost::openUrl(const QUrl &url) { return seams::urlOpener().open(url); }

void SeamVerbHost::showProperties(const FolderProperties &properties)
{
    TShellPropertiesDialog dialog(properties, m_owner);
    seams::execModal(&dialog);
}

void SeamVerbHost::folderCreated(const QString &) {}

void SeamVerbHost::setBusy(bool busy)
{
    if (busy) {
        if (m_busy++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0 && --m_busy == 0) {
        QApplication::restoreOverrideCursor();
    }
}

namespace shellmenu {
namespace {

class RealTracker final : public MenuTracker {
public:
    unsigned track(QWidget *owner, const PopupMenu &menu, const QPoint &globalPos) override
    {
        QMenu popup(owner);
        for (const PopupMenu::Entry &e : menu.entries) {
            if (e.id == 0) {
                popup.addSeparator();
                continue;
            }
            QAction *a = popup.addAction(e.text);
            a->setData(e.id);
            a->setEnabled(e.enabled);
        }
        const QAction *chosen = popup.exec(globalPos);
        return chosen ? chosen->data().toUInt() : 0;
    }
};

RealTracker g_realTracker;
MenuTracker *g_tracker = &g_realTracker;
std::shared_ptr<IContextMenu2> g_tracked;

} // namespace

MenuTracker &menuTracker() { return *g_tracker; }
void setMenuTracker(MenuTracker *tracker) { g_tracker = tracker ? tracker : &g_realTracker; }
std::shared_ptr<IContextMenu2> trackedMenu() { return g_tracked; }

} // namespace shellmenu

namespace {

// Runs a chosen command: the hook first, then the verb itself, then the hook again.
void runCommand(QWidget *control, IContextMenu &menu, unsigned chosen);

std::shared_ptr<IContextMenu> itemMenu(QWidget *control, TShellFolder *folder)
{
    if (!folder || !control)
        return {};
    const std::shared_ptr<IShellFolder> parent = folder->ParentInterface();
    if (!parent)
        return {};
    const ItemIdList *item = folder->LocalId();
    std::shared_ptr<IUnknown> unknown;
    if (FAILED(parent->GetUIObjectOf(control, 1, &item, IID::IContextMenu, unknown)))
        return {};
    return std::dynamic_pointer_cast<IContextMenu>(unknown);
}

} // namespace

void ShowItemContextMenu(QWidget *control, TShellFolder *folder, const QPoint &clientPos)
{
    const std::shared_ptr<IContextMenu> menu = itemMenu(control, folder);
    if (!menu)
        return;
    const QPoint globalPos = control->mapToGlobal(clientPos);
    PopupMenu popup;
    menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_EXPLORE | CMF_CANRENAME);
    unsigned chosen = 0;
    {
        // Held while the menu is up, released on every path.
        struct Slot {
            explicit Slot(std::shared_ptr<IContextMenu2> m) { shellmenu::g_tracked = std::move(m); }
            ~Slot() { shellmenu::g_tracked.reset(); }
        } slot(std::dynamic_pointer_cast<IContextMenu2>(menu));
        chosen = shellmenu::menuTracker().track(control, popup, globalPos);
    }
    if (chosen != 0)
        runCommand(control, *menu, chosen);
}

bool InvokeItemVerb(QWidget *control, TShellFolder *folder, const QString &verb)
{
    const std::shared_ptr<IContextMenu> menu = itemMenu(control, folder);
    if (!menu)
        return false;
    PopupMenu popup;
    menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_EXPLORE | CMF_CANRENAME);
    for (const PopupMenu::Entry &e : popup.entries) {
        QByteArray name;
        if (e.id == 0 || !e.enabled || FAILED(menu->GetCommandString(e.id - 1, GCS_VERBA, name)))
            continue;
        if (QString::fromLatin1(name).compare(verb, Qt::CaseInsensitive) == 0) {
            runCommand(control, *menu, e.id);
            return true;
        }
    }
    return false;
}

namespace {

void runCommand(QWidget *control, IContextMenu &menu, unsigned chosen)
{
    QByteArray verbBytes;
    menu.GetCommandString(chosen - 1, GCS_VERBA, verbBytes);
    const QString verb = QString::fromLatin1(verbBytes);
    auto *hook = dynamic_cast<ICommandVerbHook *>(control);
    bool handled = false;
    if (hook)
        hook->ExecuteVerb(verb, handled);
    HRESULT hr = S_OK;
    if (!handled) {
        SeamVerbHost fallback(control);
        CMINVOKECOMMANDINFO info;
        info.hwnd = control;
        info.host = hook && hook->VerbHost() ? hook->VerbHost() : &fallback;
        info.verb = int(chosen - 1);
        info.nShow = 1;
        hr = menu.InvokeCommand(info);
    }
    if (hook)
        hook->VerbCompleted(verb, handled || SUCCEEDED(hr));
}

} // namespace
