#pragma once
// The shell context menu of one folder object, shown as a QMenu, and the
// owner services its verbs use (boxes, errors, opening in the file manager,
// the properties dialog) routed through the program's seams. The menu's
// showing is itself a seam (MenuTracker) so that tests can pick an entry.
// GUI thread only.

#include "shell/shellapi.h"
#include "shell/shellfolder.h"

#include <QPoint>
#include <QString>

#include <memory>

class QWidget;

// The command verb hook a control may offer: `ExecuteVerb` before a chosen verb
// runs (it may take it over by setting `handled`), `VerbCompleted` after it.
class ICommandVerbHook {
public:
    virtual ~ICommandVerbHook() = default;
    virtual void ExecuteVerb(const QString &verb, bool &handled) = 0;
    virtual void VerbCompleted(const QString &verb, bool success) = 0;
    // The services the verbs use; null for the default ones.
    virtual shell::IVerbHost *VerbHost() { return nullptr; }
};

// Owner services through the seams, owned by `owner` for its boxes.
class SeamVerbHost : public shell::IVerbHost {
public:
    explicit SeamVerbHost(QWidget *owner) : m_owner(owner) {}
    bool confirm(const QString &text) override;
    void showError(const QString &text) override;
    bool openUrl(const QUrl &url) override;
    void showProperties(const shell::FolderProperties &properties) override;
    void folderCreated(const QString &path) override;
    void setBusy(bool busy) override;

protected:
    QWidget *m_owner;
    int m_busy = 0;
};

namespace shellmenu {

// Shows a pop-up menu at a screen point and returns the chosen entry's id (0: none).
class MenuTracker {
public:
    virtual ~MenuTracker() = default;
    virtual unsigned track(QWidget *owner, const shell::PopupMenu &menu, const QPoint &globalPos) = 0;
};
MenuTracker &menuTracker();
// nullptr restores the real tracker (QMenu::exec). The caller keeps ownership.
void setMenuTracker(MenuTracker *tracker);

// The menu being tracked right now (null when none), for owner-draw messages.
std::shared_ptr<shell::IContextMenu2> trackedMenu();

} // namespace shellmenu

// Shows the item's context menu at `clientPos` of `control` and runs the chosen
// command (through the control's ICommandVerbHook when it offers one). Failures
// of the verbs are shown by the verbs themselves; nothing is thrown.
void ShowItemContextMenu(QWidget *control, shell::TShellFolder *folder, const QPoint &clientPos);

// Runs one verb of the item's menu ("delete", "copy", ...) as if it had been chosen
// from it; false when the menu does not offer it for this item.
bool InvokeItemVerb(QWidget *control, shell::TShellFolder *folder, const QString &verb);
