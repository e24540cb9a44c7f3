#pragma once
// TShellTreeView: the folder tree of the namespace (src/shell), rooted at the
// desktop by default. It fills itself lazily as nodes are expanded, shows the
// namespace's icons, offers the item context menu on a right click, renames
// folders when a label is edited, and reports selection changes (OnChange).
// Every node owns its TShellFolder.
//
// Construction order: the constructor only sets the defaults and builds no
// root. The owner sets the properties, connects OnChange, and then calls
// Loaded(), which builds the root node, expands and selects it and so raises
// OnChange once for it. (If Loaded() was never called, the first showEvent calls
// it.) Later changes of Root or ObjectTypes rebuild at once. The main window:
//
//     tree = new TShellTreeView(panel);
//     tree->setRoot(QStringLiteral("rfDesktop"));  // the default
//     tree->setObjectTypes(shell::otFolders);     // the default
//     tree->setUseShellImages(true);              // the default
//     tree->setAutoRefresh(false);                // the default
//     tree->setShowRoot(false);                   // the default
//     tree->setRightClickSelect(true);            // the default
//     tree->setIndent(19);
//     tree->setCursor(Qt::ArrowCursor);           // plus a white Base colour, width 248
//     connect(tree, &TShellTreeView::OnChange, this, ...);
//     tree->Loaded();                             // root built, OnChange raised once
//
// SelectedFolderPath() is then the desktop folder's path. At exit, after the
// tree is gone, shell::releaseDesktopShellFolder() frees the desktop folder object.
//
// Reading a folder may take long (a network mount), so with a job runner set
// (setJobRunner) an expanded node's children are read by a job: meanwhile the
// node keeps its expander and the busy cursor shows; the children appear when
// the job answers, and an answer for a node that has gone is dropped. Without a
// runner, and where the tree must find a child at once (selectFolderPath, a
// refresh keeping the expanded nodes), the children are read in place.
//
// Failures ("Error setting path: ...", "Rename to %s failed") are caught in the
// tree's own handlers and shown through seams::showError; none leaves the tree.
// GUI thread only (the reading jobs use nothing but their own folder interface).

#include "controls/busycursor.h"
#include "controls/shell/itemcontextmenu.h"
#include "core/jobs.h"
#include "shell/shellfolder.h"

#include <QPersistentModelIndex>
#include <QTreeWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QFileSystemWatcher;

class TShellTreeView : public QTreeWidget, public ICommandVerbHook {
    Q_OBJECT
public:
    // The hooks. OnAddFolder may refuse a child (CanAdd starts true), OnExpanding
    // may refuse an expansion, OnEdited may change the text of a finished label edit.
    using TAddFolderEvent = std::function<void(TShellTreeView *sender, shell::TShellFolder *folder, bool &canAdd)>;
    using TExpandingEvent = std::function<void(TShellTreeView *sender, QTreeWidgetItem *node, bool &allowExpansion)>;
    using TEditedEvent = std::function<void(TShellTreeView *sender, QTreeWidgetItem *node, QString &text)>;

    explicit TShellTreeView(QWidget *parent = nullptr);
    ~TShellTreeView() override;

    // Ends the loading of the settings and builds the root (see above).
    void Loaded();
    bool IsLoading() const { return m_loading; }

    // A root name (rfDesktop, any letter case) or the absolute path of a folder.
    // Rebuilds the tree when loaded; on failure the previous root stays, an error
    // box is shown and false is returned.
    QString Root() const { return m_root; }
    bool setRoot(const QString &root);
    shell::TShellObjectTypes ObjectTypes() const { return m_objectTypes; }
    void setObjectTypes(shell::TShellObjectTypes types);
    bool UseShellImages() const { return m_useShellImages; }
    void setUseShellImages(bool on);
    bool AutoRefresh() const { return m_autoRefresh; }
    void setAutoRefresh(bool on);
    bool AutoContextMenus() const { return m_autoContextMenus; }
    void setAutoContextMenus(bool on) { m_autoContextMenus = on; }
    bool RightClickSelect() const { return m_rightClickSelect; }
    void setRightClickSelect(bool on) { m_rightClickSelect = on; }
    bool ShowRoot() const { return rootIsDecorated(); }
    void setShowRoot(bool on) { setRootIsDecorated(on); }
    int Indent() const { return indentation(); }
    void setIndent(int pixels) { setIndentation(pixels); }

    void setOnAddFolder(TAddFolderEvent handler) { m_onAddFolder = std::move(handler); }
    void setOnExpanding(TExpandingEvent handler) { m_onExpanding = std::move(handler); }
    void setOnEdited(TEditedEvent handler) { m_onEdited = std::move(handler); }

    // The PathText of the selected node's folder: a file-system path for a real
    // folder, the display name for a virtual one; empty when nothing is selected.
    QString SelectedFolderPath() const;
    // The folder object a node owns (null for null).
    static shell::TShellFolder *Folder(const QTreeWidgetItem *node);
    shell::TShellFolder *RootFolder() const { return m_rootFolder.get(); }

    // Rebuilds one node's subtree, keeping expansion, selection and the top node.
    void RefreshNode(QTreeWidgetItem *node);
    // Reads the selected node's subfolders again, so that folders made or removed
    // by other programs appear or vanish; keeps expansion, selection and the top
    // node. The selected folder stays the same, so OnChange is not raised.
    void refreshSelectedFolder();
    // Expands the tree from its root down to the folder at `path` (absolute) and
    // selects it, raising OnChange when the selection moves. False, leaving the
    // selection alone, when the folder lies outside the root or a step cannot be shown.
    bool selectFolderPath(const QString &path);
    // The first node from `start` on (within its subtree) whose FullId equals `id`.
    QTreeWidgetItem *FindNodeById(const shell::ItemIdList *id, QTreeWidgetItem *start) const;
    // Icon indexes of a node (into shell/icons.h's list).
    static int ImageIndex(const QTreeWidgetItem *node);
    static int SelectedIndex(const QTreeWidgetItem *node);
    // Where children are read from now on (not owned; it must outlive the tree or
    // be replaced first). Null reads in place. Replacing it drops the answers
    // still awaited.
    void setJobRunner(JobRunner *runner);
    // Some node's children are being read by a job.
    bool isReading() const { return !m_readings.empty(); }
    // Whether a node label is being edited right now.
    bool isEditingLabel() const { return state() == QAbstractItemView::EditingState; }

    // ICommandVerbHook
    void ExecuteVerb(const QString &verb, bool &handled) override;
    void VerbCompleted(const QString &verb, bool success) override;
    shell::IVerbHost *VerbHost() override;

signals:
    // The selection changed (also for the root node when the tree is built).
    void OnChange(QTreeWidgetItem *node);

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    class Node;
    class Host;
    class LabelDelegate;
    friend class LabelDelegate;

    void CreateRoot();
    void rebuild();
    struct ChildList;
    // Reads a folder's children; any thread (it asks nothing but the folder
    // interface, which changes no state for these questions).
    static ChildList readChildren(shell::IShellFolder &folder, std::uint32_t flags, bool askSubfolders);
    void PopulateNode(QTreeWidgetItem *node);
    void addChildNodes(Node *parent, const ChildList &children);
    void childrenRead(int reading, const ChildList &children);
    void dropReadings();
    Node *InitNode(Node *parent, const shell::ItemIdList *id, int hasSubfolders = -1);
    void setNodeLook(Node *node);
    void onItemExpanded(QTreeWidgetItem *item);
    void onCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void rebuildSubtree(QTreeWidgetItem *node, const shell::ItemIdList *oldFullId);
    void labelEdited(QTreeWidgetItem *node, const QString &text);
    void deleteNode(QTreeWidgetItem *node);
    void pruneVanished();
    void newFolderCreated(const QString &path);
    void rebuildWatcher();
    void reportError(const QString &text);

    QString m_root = QStringLiteral("rfDesktop");
    QString m_previousRoot;
    shell::TShellObjectTypes m_objectTypes = shell::otFolders;
    bool m_useShellImages = true;
    bool m_autoRefresh = false;
    bool m_autoContextMenus = true;
    bool m_rightClickSelect = true;
    bool m_loading = true;
    bool m_updating = false;
    bool m_loadingRoot = false;
    int m_suppressChange = 0;
    bool m_changeMissed = false;
    QTreeWidgetItem *m_nodeToMonitor = nullptr;
    QPersistentModelIndex m_openIcon;  // the node showing its open icon
    std::unique_ptr<shell::TShellFolder> m_rootFolder;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<Host> m_host;
    TAddFolderEvent m_onAddFolder;
    TExpandingEvent m_onExpanding;
    TEditedEvent m_onEdited;
    // Child reading: the runner, the nodes whose children a job reads (by the
    // reading's number), the busy cursor shown meanwhile, and the depth of the
    // callers that need the children at once.
    JobRunner *m_runner = nullptr;
    CancelFlag m_readingCancelled = std::make_shared<std::atomic_bool>(false);
    int m_lastReading = 0;
    std::map<int, QPersistentModelIndex> m_readings;
    std::unique_ptr<BusyCursor> m_readingBusy;
    int m_readInPlace = 0;
};
