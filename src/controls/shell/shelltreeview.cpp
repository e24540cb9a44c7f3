#include "controls/shell/shelltreeview.h"
#include "common/filepath.h"

#include "controls/busycursor.h"
#include "controls/seams.h"
#include "shell/icons.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QStyledItemDelegate>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

using namespace shell;

namespace {

constexpr int kNodeType = QTreeWidgetItem::UserType + 1;

// One batched update of the widget (nests).
class UpdateBatch {
public:
    explicit UpdateBatch(QWidget *w) : m_widget(w), m_wasEnabled(w->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~UpdateBatch() { m_widget->setUpdatesEnabled(m_wasEnabled); }
    UpdateBatch(const UpdateBatch &) = delete;
    UpdateBatch &operator=(const UpdateBatch &) = delete;

private:
    QWidget *m_widget;
    bool m_wasEnabled;
};

int depthOf(const QTreeWidgetItem *item)
{
    int d = 0;
    for (const QTreeWidgetItem *p = item ? item->parent() : nullptr; p; p = p->parent())
        ++d;
    return d;
}

// The next node in depth-first order.
QTreeWidgetItem *nextNode(QTreeWidgetItem *item, QTreeWidget *tree)
{
    if (item->childCount() > 0)
        return item->child(0);
    for (QTreeWidgetItem *p = item; p; p = p->parent()) {
        QTreeWidgetItem *parent = p->parent();
        const int index = parent ? parent->indexOfChild(p) : tree->indexOfTopLevelItem(p);
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        if (index + 1 < count)
            return parent ? parent->child(index + 1) : tree->topLevelItem(index + 1);
    }
    return nullptr;
}

bool isAncestorOrSelf(const QTreeWidgetItem *ancestor, const QTreeWidgetItem *item)
{
    for (const QTreeWidgetItem *p = item; p; p = p->parent())
        if (p == ancestor)
            return true;
    return false;
}

} // namespace

// A node: owns its folder object. Children go first, since they point at it.
class TShellTreeView::Node : public QTreeWidgetItem {
public:
    explicit Node(std::unique_ptr<TShellFolder> f) : QTreeWidgetItem(kNodeType), folder(std::move(f)) {}
    ~Node() override
    {
        // Leave the view while still a whole Node: its selection signals may look at us.
        if (QTreeWidgetItem *p = parent())
            p->removeChild(this);
        else if (QTreeWidget *view = treeWidget())
            view->takeTopLevelItem(view->indexOfTopLevelItem(this));
        for (QTreeWidgetItem *child : takeChildren())
            std::unique_ptr<QTreeWidgetItem> owned(child);
        folder.reset();
    }
    std::unique_ptr<TShellFolder> folder;
    int reading = 0; // the job reading its children, 0 for none
    int image = 0;
    int selected = 0;
    int overlay = -1;
};

class TShellTreeView::Host final : public SeamVerbHost {
public:
    explicit Host(TShellTreeView *tree) : SeamVerbHost(tree), m_tree(tree) {}
    void folderCreated(const QString &path) override { m_tree->newFolderCreated(path); }

private:
    TShellTreeView *m_tree;
};

// Finished label edits go to Rename instead of into the item; they are handled
// after the editor has closed, since a rename may rebuild the node's subtree.
class TShellTreeView::LabelDelegate final : public QStyledItemDelegate {
public:
    explicit LabelDelegate(TShellTreeView *tree) : QStyledItemDelegate(tree), m_tree(tree) {}
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        const auto *edit = qobject_cast<QLineEdit *>(editor);
        if (!edit)
            return;
        const QPersistentModelIndex where(index);
        const QString text = edit->text();
        QPointer<TShellTreeView> tree(m_tree);
        QMetaObject::invokeMethod(
            m_tree,
            [tree, where, text] {
                if (tree && where.isValid())
                    tree->labelEdited(tree->itemFromIndex(where), text);
            },
            Qt::QueuedConnection);
    }

private:
    TShellTreeView *m_tree;
};

TShellTreeView::TShellTreeView(QWidget *parent) : QTreeWidget(parent), m_host(std::make_unique<Host>(this))
{
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setItemDelegate(new LabelDelegate(this));
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QTreeWidget::itemExpanded, this, &TShellTreeView::onItemExpanded);
    connect(this, &QTreeWidget::currentItemChanged, this, &TShellTreeView::onCurrentItemChanged);
}

// A folder's children as read: their ids, and for each whether it has
// subfolders (the one question about a child that reads the file system).
struct TShellTreeView::ChildList {
    bool read = false;
    std::vector<IdListPtr> ids;
    std::vector<bool> hasSubfolders;
};

TShellTreeView::ChildList TShellTreeView::readChildren(IShellFolder &folder, std::uint32_t flags,
                                                       bool askSubfolders)
{
    ChildList out;
    std::shared_ptr<IEnumIDList> e;
    if (FAILED(folder.EnumObjects(nullptr, flags, e)) || !e)
        return out;
    while (e->Next(256, out.ids) == S_OK) {
    }
    if (askSubfolders) {
        out.hasSubfolders.reserve(out.ids.size());
        for (const IdListPtr &id : out.ids) {
            std::uint32_t mask = SFGAO_HASSUBFOLDER;
            const ItemIdList *item = id.get();
            folder.GetAttributesOf(1, &item, &mask);
            out.hasSubfolders.push_back(mask & SFGAO_HASSUBFOLDER);
        }
    }
    out.read = true;
    return out;
}

TShellTreeView::~TShellTreeView()
{
    setJobRunner(nullptr);
    m_watcher.reset();
    // Nodes (and their folder objects) before the root folder object.
    m_updating = true;
    clear();
}

TShellFolder *TShellTreeView::Folder(const QTreeWidgetItem *node)
{
    return node && node->type() == kNodeType ? static_cast<const Node *>(node)->folder.get() : nullptr;
}

int TShellTreeView::ImageIndex(const QTreeWidgetItem *node)
{
    return node && node->type() == kNodeType ? static_cast<const Node *>(node)->image : -1;
}

int TShellTreeView::SelectedIndex(const QTreeWidgetItem *node)
{
    return node && node->type() == kNodeType ? static_cast<const Node *>(node)->selected : -1;
}

shell::IVerbHost *TShellTreeView::VerbHost() { return m_host.get(); }

void TShellTreeView::reportError(const QString &text) { seams::showError(this, text); }

void TShellTreeView::setJobRunner(JobRunner *runner)
{
    if (runner == m_runner)
        return;
    if (m_runner) {
        // Jobs post to this tree: none may still be running when it goes.
        m_readingCancelled->store(true);
        m_runner->cancelQueued();
        m_runner->waitForRunning();
        m_readingCancelled = std::make_shared<std::atomic_bool>(false);
    }
    dropReadings();
    m_runner = runner;
}

void TShellTreeView::dropReadings()
{
    m_readings.clear();
    m_readingBusy.reset();
}

// ---- settings -------------------------------------------------------------

void TShellTreeView::Loaded()
{
    if (!m_loading)
        return;
    m_loading = false;
    rebuild();
    if (m_autoRefresh)
        rebuildWatcher();
}

void TShellTreeView::showEvent(QShowEvent *event)
{
    QTreeWidget::showEvent(event);
    if (m_loading)
        Loaded();
}

void TShellTreeView::rebuild()
{
    try {
        CreateRoot();
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

bool TShellTreeView::setRoot(const QString &root)
{
    if (root == m_root)
        return true;
    m_previousRoot = m_root;
    m_root = root;
    if (m_loading || m_updating)
        return true;
    rebuild();
    return m_root == root;
}

void TShellTreeView::setObjectTypes(TShellObjectTypes types)
{
    if (types == m_objectTypes)
        return;
    m_objectTypes = types;
    if (!m_loading && !m_updating) {
        m_previousRoot = m_root;
        rebuild();
    }
}

void TShellTreeView::setUseShellImages(bool on)
{
    if (on == m_useShellImages)
        return;
    m_useShellImages = on;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        auto *n = static_cast<Node *>(*it);
        n->setIcon(0, on ? shellIcon(n == currentItem() ? n->selected : n->image) : QIcon());
    }
}

void TShellTreeView::setAutoRefresh(bool on)
{
    m_autoRefresh = on;
    rebuildWatcher();
}

void TShellTreeView::rebuildWatcher()
{
    m_watcher.reset();
    if (!m_autoRefresh || m_loading)
        return;
    const TShellFolder *watched = m_nodeToMonitor ? Folder(m_nodeToMonitor) : m_rootFolder.get();
    const QString path = watched ? watched->PathText() : QString();
    if (!QDir::isAbsolutePath(path))
        return;
    m_watcher = std::make_unique<QFileSystemWatcher>();
    m_watcher->addPath(path);
    // Queued: the refresh replaces this watcher, which must not die inside its own signal.
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this,
            [this] {
                if (currentItem())
                    RefreshNode(currentItem());
            },
            Qt::QueuedConnection);
}

// ---- building -------------------------------------------------------------

void TShellTreeView::CreateRoot()
{
    QString error;
    try {
        OpenRootFolder(m_rootFolder, m_previousRoot, m_root);
    } catch (const ShellError &e) {
        error = e.message();
        // A root that fails before any root was built (set while loading) would
        // leave the tree empty: fall back to the root named before it.
        if (!m_rootFolder && !m_root.isEmpty()) {
            try {
                const QString fallback = m_root;
                OpenRootFolder(m_rootFolder, fallback, m_root);
            } catch (const ShellError &) {
                // The first failure is the one reported.
            }
        }
    }
    if (m_rootFolder) {
        m_loadingRoot = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } reset{m_loadingRoot};
        {
            ++m_suppressChange;
            UpdateBatch batch(this);
            clear();
            --m_suppressChange;
        }
        m_changeMissed = false;
        auto *node = new Node(std::make_unique<TShellFolder>(nullptr, m_rootFolder->FolderInterface(),
                                                             m_rootFolder->FullId()));
        TShellFolder *f = node->folder.get();
        node->setText(0, filepath::displayPath(ItemName(SHGetDesktopFolder(), f->FullId(), SHGDN_NORMAL)));
        setNodeLook(node);
        node->setChildIndicatorPolicy(f->HasSubfolders() ? QTreeWidgetItem::ShowIndicator
                                                         : QTreeWidgetItem::DontShowIndicator);
        ++m_suppressChange;
        addTopLevelItem(node);
        --m_suppressChange;
        m_changeMissed = false;
        expandItem(node);
        if (currentItem() == node)
            onCurrentItemChanged(node, nullptr);
        else
            setCurrentItem(node);
    }
    if (!error.isEmpty())
        throw ShellError(error);
}

void TShellTreeView::setNodeLook(Node *node)
{
    TShellFolder *f = node->folder.get();
    if (m_useShellImages) {
        node->image = SystemIconIndex(f->FullId(), false, false);
        node->selected = SystemIconIndex(f->FullId(), false, true);
        if (node->selected == 0)
            node->selected = node->image;
        node->setIcon(0, shellIcon(node == currentItem() ? node->selected : node->image));
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (f->CanRename())
        flags |= Qt::ItemIsEditable;
    node->setFlags(flags);
}

TShellTreeView::Node *TShellTreeView::InitNode(Node *parent, const ItemIdList *id, int hasSubfolders)
{
    TShellFolder *parentFolder = parent->folder.get();
    auto iface = BindChildFolder(parentFolder->FolderInterface(), id, this);
    auto node = std::make_unique<Node>(std::make_unique<TShellFolder>(parentFolder, iface, id));
    TShellFolder *f = node->folder.get();
    node->setText(0, filepath::displayPath(f->DisplayText()));
    setNodeLook(node.get());
    bool hasChildren = hasSubfolders < 0 ? f->HasSubfolders() : hasSubfolders > 0;
    if (f->IsShared())
        node->overlay = 0;
    if ((m_objectTypes & otNonFolders) && iface) {
        // Files count as children here, so look for one.
        std::shared_ptr<IEnumIDList> e;
        std::vector<IdListPtr> first;
        hasChildren = SUCCEEDED(iface->EnumObjects(this, enumerationFlags(m_objectTypes), e)) && e
                      && e->Next(1, first) == S_OK;
    }
    node->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicator);
    if (m_onAddFolder) {
        bool canAdd = true;
        m_onAddFolder(this, f, canAdd);
        if (!canAdd)
            return nullptr;
    }
    return node.release();
}

void TShellTreeView::PopulateNode(QTreeWidgetItem *item)
{
    auto *parent = item && item->type() == kNodeType ? static_cast<Node *>(item) : nullptr;
    if (!parent || !parent->folder || !parent->folder->FolderInterface())
        return;
    const std::shared_ptr<IShellFolder> folder = parent->folder->FolderInterface();
    const std::uint32_t flags = enumerationFlags(m_objectTypes);
    // With files among the children, whether a child has any is its own listing:
    // InitNode asks that on this thread.
    const bool askSubfolders = !(m_objectTypes & otNonFolders);
    if (m_runner && m_readInPlace == 0) {
        if (m_readings.count(parent->reading))
            return; // already being read
        const Request request{++m_lastReading, m_readingCancelled};
        parent->reading = request.number;
        m_readings[request.number] = QPersistentModelIndex(indexFromItem(parent));
        if (!m_readingBusy)
            m_readingBusy = std::make_unique<BusyCursor>();
        TShellTreeView *self = this;
        // The tree waits for running jobs before it goes (setJobRunner), so `self`
        // outlives them; the job touches nothing but its own folder interface.
        m_runner->start([self, request, folder, flags, askSubfolders] {
            if (request.isCancelled())
                return;
            auto children = std::make_shared<ChildList>();
            try {
                *children = readChildren(*folder, flags, askSubfolders);
            } catch (const std::exception &) {
                // A folder that cannot be enumerated gets no children.
            }
            if (request.isCancelled())
                return;
            postTo(self, [self, request, children] { self->childrenRead(request.number, *children); });
        });
        return;
    }
    BusyCursor busy;
    ChildList children;
    try {
        children = readChildren(*folder, flags, askSubfolders);
    } catch (const std::exception &) {
        // A folder that cannot be enumerated gets no children.
        return;
    }
    // A job still reading this node answers too late.
    parent->reading = 0;
    addChildNodes(parent, children);
}

void TShellTreeView::addChildNodes(Node *parent, const ChildList &children)
{
    if (!children.read)
        return;
    UpdateBatch batch(this);
    const std::shared_ptr<IShellFolder> folder = parent->folder->FolderInterface();
    // Failures of the hooks from here on are the caller's to report.
    std::vector<std::unique_ptr<QTreeWidgetItem>> nodes;
    nodes.reserve(children.ids.size());
    for (std::size_t i = 0; i < children.ids.size(); ++i) {
        const int hasSubfolders = i < children.hasSubfolders.size() ? int(children.hasSubfolders[i]) : -1;
        if (Node *n = InitNode(parent, children.ids[i].get(), hasSubfolders))
            nodes.emplace_back(n);
    }
    std::stable_sort(nodes.begin(), nodes.end(), [&](const auto &a, const auto &b) {
        const auto *na = static_cast<const Node *>(a.get());
        const auto *nb = static_cast<const Node *>(b.get());
        return HRESULT_ORDER(folder->CompareIDs(0, na->folder->LocalId(), nb->folder->LocalId())) < 0;
    });
    QList<QTreeWidgetItem *> list;
    list.reserve(qsizetype(nodes.size()));
    for (auto &n : nodes)
        list.append(n.release());
    parent->addChildren(list);
}

void TShellTreeView::childrenRead(int reading, const ChildList &children)
{
    const auto it = m_readings.find(reading);
    if (it == m_readings.end())
        return; // dropped when the runner was replaced
    const QPersistentModelIndex where = it->second;
    m_readings.erase(it);
    if (m_readings.empty())
        m_readingBusy.reset();
    // The node may have gone (a refresh, a deletion) or been read in place since.
    QTreeWidgetItem *item = where.isValid() ? itemFromIndex(where) : nullptr;
    if (!item || item->type() != kNodeType || static_cast<Node *>(item)->reading != reading)
        return;
    auto *node = static_cast<Node *>(item);
    node->reading = 0;
    try {
        if (node->childCount() == 0)
            addChildNodes(node, children);
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    node->setChildIndicatorPolicy(node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                         : QTreeWidgetItem::DontShowIndicator);
    if (node->childCount() == 0)
        collapseItem(node);
}

void TShellTreeView::onItemExpanded(QTreeWidgetItem *item)
{
    try {
        bool allow = true;
        if (m_onExpanding)
            m_onExpanding(this, item, allow);
        TShellFolder *f = Folder(item);
        if (allow && f) {
            if (f->IsFolderItem()) {
                if (item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator && item->childCount() == 0)
                    PopulateNode(item);
            } else {
                seams::urlOpener().open(QUrl::fromLocalFile(f->PathText()));
            }
        }
        // Children being read: the expander stays until the job answers.
        if (allow && item->type() == kNodeType && m_readings.count(static_cast<Node *>(item)->reading))
            return;
        item->setChildIndicatorPolicy(item->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                             : QTreeWidgetItem::DontShowIndicator);
        if (!allow || item->childCount() == 0)
            collapseItem(item);
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

// ---- selection ------------------------------------------------------------

void TShellTreeView::onCurrentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    if (m_useShellImages) {
        // The open icon moves to the current node.
        if (QTreeWidgetItem *old = itemFromIndex(m_openIcon); old && old->type() == kNodeType)
            old->setIcon(0, shellIcon(static_cast<Node *>(old)->image));
        if (current && current->type() == kNodeType)
            current->setIcon(0, shellIcon(static_cast<Node *>(current)->selected));
        m_openIcon = QPersistentModelIndex(indexFromItem(current));
    }
    if (m_suppressChange > 0 || m_updating) {
        m_changeMissed = true;
        return;
    }
    if (current) {
        const bool remembered = m_autoRefresh;
        setAutoRefresh(false);
        m_nodeToMonitor = current;
        setAutoRefresh(remembered);
        m_nodeToMonitor = nullptr;
    }
    emit OnChange(current);
}

QString TShellTreeView::SelectedFolderPath() const
{
    const TShellFolder *f = Folder(currentItem());
    return f ? f->PathText() : QString();
}

// ---- refresh --------------------------------------------------------------

QTreeWidgetItem *TShellTreeView::FindNodeById(const ItemIdList *id, QTreeWidgetItem *start) const
{
    if (!start)
        return nullptr;
    const std::shared_ptr<IShellFolder> desktop = SHGetDesktopFolder();
    const int startDepth = depthOf(start);
    auto *self = const_cast<TShellTreeView *>(this);
    for (QTreeWidgetItem *n = start; n; n = nextNode(n, self)) {
        if (n != start && depthOf(n) <= startDepth)
            break;
        const TShellFolder *f = Folder(n);
        if (f && HRESULT_ORDER(desktop->CompareIDs(0, f->FullId(), id)) == 0)
            return n;
    }
    return nullptr;
}

void TShellTreeView::RefreshNode(QTreeWidgetItem *node)
{
    try {
        rebuildSubtree(node, nullptr);
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

void TShellTreeView::rebuildSubtree(QTreeWidgetItem *item, const ItemIdList *oldFullId)
{
    auto *x = item && item->type() == kNodeType ? static_cast<Node *>(item) : nullptr;
    if (!x || !x->folder || !x->folder->FolderInterface())
        return;
    BusyCursor busy;
    // The old subtree's expanded nodes and selection are found again in the new
    // one, so their children are needed at once.
    ++m_readInPlace;
    struct InPlace {
        int &depth;
        ~InPlace() { --depth; }
    } inPlace{m_readInPlace};
    // Ids below X are rebased from its old FullId (a rename) onto its current one.
    const IdListPtr oldPrefix = copyId(oldFullId ? oldFullId : x->folder->FullId());
    auto rebase = [&](const ItemIdList *id) {
        if (!idlist::startsWith(id, oldPrefix.get()))
            return copyId(id);
        return concatId(x->folder->FullId(), id + idlist::size(oldPrefix.get()) - 2);
    };
    auto idOf = [&](QTreeWidgetItem *n) -> IdListPtr {
        const TShellFolder *f = Folder(n);
        if (!f)
            return {};
        const TShellFolder *p = f->ParentFolder();
        IdListPtr full = concatId(p ? p->FullId() : nullptr, f->LocalId());
        return rebase(full.get());
    };
    const IdListPtr topId = idOf(itemAt(1, 1));
    const IdListPtr selectedId = idOf(currentItem());

    UpdateBatch batch(this);
    ++m_suppressChange;
    struct Unsuppress {
        int &count;
        ~Unsuppress() { --count; }
    } unsuppress{m_suppressChange};

    QTreeWidgetItem *parentItem = x->parent();
    auto *parentNode = parentItem && parentItem->type() == kNodeType ? static_cast<Node *>(parentItem) : nullptr;
    auto *y = new Node(std::make_unique<TShellFolder>(parentNode ? parentNode->folder.get() : nullptr,
                                                      x->folder->FolderInterface(), x->folder->LocalId()));
    if (parentItem)
        parentItem->insertChild(parentItem->indexOfChild(x), y);
    else
        insertTopLevelItem(indexOfTopLevelItem(x), y);
    PopulateNode(y);
    TShellFolder *yf = y->folder.get();
    setNodeLook(y);
    y->setChildIndicatorPolicy(yf->HasSubfolders() || y->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                                         : QTreeWidgetItem::DontShowIndicator);
    y->setText(0, parentItem ? filepath::displayPath(yf->DisplayText()) : x->text(0));

    // Expanded nodes of the old subtree, parents before children.
    std::vector<IdListPtr> expanded;
    const int xDepth = depthOf(x);
    for (QTreeWidgetItem *n = x; n; n = nextNode(n, this)) {
        if (n != x && depthOf(n) <= xDepth)
            break;
        if (n->isExpanded())
            expanded.push_back(idOf(n));
    }
    for (const IdListPtr &id : expanded)
        if (QTreeWidgetItem *match = FindNodeById(id.get(), y))
            expandItem(match);

    std::unique_ptr<QTreeWidgetItem>(x).reset();

    if (selectedId)
        if (QTreeWidgetItem *sel = FindNodeById(selectedId.get(), topLevelItem(0)))
            setCurrentItem(sel);
    if (topId)
        if (QTreeWidgetItem *top = FindNodeById(topId.get(), topLevelItem(0)))
            scrollToItem(top, QAbstractItemView::PositionAtTop);

    if (m_suppressChange == 1 && m_changeMissed) {
        m_changeMissed = false;
        --m_suppressChange;
        onCurrentItemChanged(currentItem(), nullptr);
        ++m_suppressChange;
    }
}

void TShellTreeView::refreshSelectedFolder()
{
    QTreeWidgetItem *node = currentItem();
    if (!node)
        return;
    // The rebuilt node takes the selection back; that is no change of folder.
    ++m_suppressChange;
    RefreshNode(node);
    --m_suppressChange;
    m_changeMissed = false;
}

bool TShellTreeView::selectFolderPath(const QString &path)
{
    QTreeWidgetItem *node = topLevelItem(0);
    const TShellFolder *rootFolder = Folder(node);
    if (!rootFolder)
        return false;
    // Each step needs the children of the one before at once.
    ++m_readInPlace;
    struct InPlace {
        int &depth;
        ~InPlace() { --depth; }
    } inPlace{m_readInPlace};
    try {
        IdListPtr target;
        if (FAILED(SHGetDesktopFolder()->ParseDisplayName(nullptr, path, nullptr, target, nullptr))
            || !target || !idlist::startsWith(target.get(), rootFolder->FullId()))
            return false;
        // One step per item below the root: expand, then find the child of that id.
        IdListPtr reached = copyId(rootFolder->FullId());
        const ItemIdList *rest = target.get() + idlist::size(reached.get()) - 2;
        const std::shared_ptr<IShellFolder> desktop = SHGetDesktopFolder();
        for (; idlist::itemSize(rest) != 0; rest = idlist::next(rest)) {
            const IdListPtr item(idlist::firstItem(rest));
            reached = concatId(reached.get(), item.get());
            if (!reached)
                return false;
            if (!node->isExpanded())
                expandItem(node);
            else if (node->childCount() == 0)
                PopulateNode(node); // its job has not answered yet
            QTreeWidgetItem *child = nullptr;
            for (int i = 0; i < node->childCount() && !child; ++i) {
                const TShellFolder *f = Folder(node->child(i));
                if (f && HRESULT_ORDER(desktop->CompareIDs(0, f->FullId(), reached.get())) == 0)
                    child = node->child(i);
            }
            if (!child)
                return false;
            node = child;
        }
        setCurrentItem(node);
        scrollToItem(node);
        return true;
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

// ---- verbs, editing, deletion ----------------------------------------------

void TShellTreeView::ExecuteVerb(const QString &verb, bool &handled)
{
    if (verb.compare(QLatin1String("rename"), Qt::CaseInsensitive) == 0) {
        if (QTreeWidgetItem *node = currentItem()) {
            scrollToItem(node);
            editItem(node, 0);
        }
        handled = true;
    }
    // "open": the working directory is left alone (worker threads share it).
}

void TShellTreeView::VerbCompleted(const QString &verb, bool success)
{
    QTreeWidgetItem *node = currentItem();
    if (!success || !node)
        return;
    if (verb.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0) {
        const QString path = SelectedFolderPath();
        struct stat st {};
        if (QDir::isAbsolutePath(path) && ::lstat(filepath::pathToBytes(path).constData(), &st) != 0)
            deleteNode(node);
    } else if (verb.compare(QLatin1String("paste"), Qt::CaseInsensitive) == 0) {
        RefreshNode(node);
        // A cut moved folders away from where other nodes still show them.
        pruneVanished();
    }
}

void TShellTreeView::deleteNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    std::unique_ptr<QTreeWidgetItem>(node).reset();
}

void TShellTreeView::pruneVanished()
{
    std::vector<QTreeWidgetItem *> gone;
    std::vector<QTreeWidgetItem *> pending;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        pending.push_back(topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem *n = pending.back();
        pending.pop_back();
        const TShellFolder *f = Folder(n);
        const QString path = f ? f->PathText() : QString();
        struct stat st {};
        if (n->parent() && QDir::isAbsolutePath(path) && ::lstat(filepath::pathToBytes(path).constData(), &st) != 0) {
            gone.push_back(n);  // its subtree goes with it
            continue;
        }
        for (int i = n->childCount() - 1; i >= 0; --i)
            pending.push_back(n->child(i));
    }
    for (QTreeWidgetItem *n : gone)
        deleteNode(n);
}

void TShellTreeView::labelEdited(QTreeWidgetItem *item, const QString &text)
{
    TShellFolder *f = Folder(item);
    if (!f)
        return;
    try {
        QString name = text;
        if (m_onEdited)
            m_onEdited(this, item, name);
        if (name == item->text(0))
            return;
        const bool selectionBelow = isAncestorOrSelf(item, currentItem());
        const IdListPtr oldFullId = copyId(f->FullId());
        if (!f->Rename(name))
            return;
        item->setText(0, name);
        if (item->childCount() > 0) {
            // Descendants still carry the old path: rebuild them under the new one.
            rebuildSubtree(item, oldFullId.get());
        } else if (selectionBelow) {
            emit OnChange(currentItem());
        }
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

void TShellTreeView::newFolderCreated(const QString &path)
{
    QTreeWidgetItem *node = currentItem();
    if (!node)
        return;
    RefreshNode(node);
    node = currentItem();
    if (!node)
        return;
    if (node->childIndicatorPolicy() != QTreeWidgetItem::ShowIndicator)
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    expandItem(node);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem *child = node->child(i);
        if (Folder(child) && Folder(child)->PathText() == path) {
            setCurrentItem(child);
            scrollToItem(child);
            editItem(child, 0);
            return;
        }
    }
}

// ---- input ------------------------------------------------------------------

void TShellTreeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && !m_rightClickSelect) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

QItemSelectionModel::SelectionFlags TShellTreeView::selectionCommand(const QModelIndex &index,
                                                                     const QEvent *event) const
{
    // The picked folder stays selected: a click on empty space or a Ctrl+click
    // would otherwise leave no node selected while the folder is still in use.
    const QItemSelectionModel::SelectionFlags command = QTreeWidget::selectionCommand(index, event);
    if (!index.isValid() || (command & QItemSelectionModel::Deselect))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void TShellTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_autoContextMenus) {
        QTreeWidget::contextMenuEvent(event);
        return;
    }
    QTreeWidgetItem *node = currentItem();
    if (!node)
        return;
    QPoint pos = mapFromGlobal(event->globalPos());
    if (event->reason() != QContextMenuEvent::Mouse)
        pos = viewport()->mapTo(this, visualItemRect(node).center());
    try {
        ShowItemContextMenu(this, Folder(node), pos);
    } catch (const ShellError &e) {
        reportError(e.message());
    } catch (const std::exception &e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    event->accept();
}

void TShellTreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier && currentItem()) {
        const QPoint local = visualItemRect(currentItem()).center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, local, viewport()->mapToGlobal(local));
        contextMenuEvent(&menuEvent);
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && currentItem()
        && !isEditingLabel()) {
        try {
            InvokeItemVerb(this, Folder(currentItem()), QStringLiteral("delete"));
        } catch (const std::exception &e) {
            reportError(QString::fromLocal8Bit(e.what()));
        }
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
