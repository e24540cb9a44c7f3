#include "controls/iconlist.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace {

constexpr int kCellWidth = 128;
// Catalogue captions are file names and may take two lines; a list can ask for fewer.
constexpr int kDefaultCaptionLines = 2;

} // namespace

// The size of the pictures the item's list shows (none without a picture list).
QSize pictureSize(const QModelIndex &index)
{
    const auto *model = qobject_cast<const IconListModel *>(index.model());
    const PictureList *pictures = model ? model->pictureList() : nullptr;
    return pictures ? pictures->pictureSize() : QSize(0, 0);
}

// Paints an item the way large icons look: the picture centred at the top and
// the caption, wrapped to at most `captionLines` lines, below it; a selected item gets a
// highlighted caption and a tinted picture.
class IconDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    int captionLines = kDefaultCaptionLines;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(kCellWidth,
                     pictureSize(index).height() + 8 + captionLines * option.fontMetrics.height() + 4);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        const QRect cell = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const bool active = option.state & QStyle::State_Active;
        const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;

        const QSize side = pictureSize(index);
        const QRect pic(cell.x() + (cell.width() - side.width()) / 2, cell.y() + 2, side.width(),
                        side.height());
        const QImage image = index.data(Qt::DecorationRole).value<QImage>();
        if (!image.isNull())
            painter->drawImage(pic, image);
        if (selected) {
            QColor tint = option.palette.color(group, QPalette::Highlight);
            tint.setAlpha(70);
            painter->fillRect(pic, tint);
        }

        const QString caption = index.data(Qt::DisplayRole).toString();
        const QFontMetrics fm = option.fontMetrics;
        const int textWidth = cell.width() - 6;
        // Lay the caption out in up to two lines, eliding the last one.
        QStringList lines;
        QTextLayout layout(caption, option.font);
        // File names rarely have blanks: break anywhere rather than overflow the cell.
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(wrap);
        layout.beginLayout();
        for (int n = 0; n < captionLines; ++n) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(textWidth);
            QString part = caption.mid(line.textStart(), line.textLength());
            if (n == captionLines - 1 && line.textStart() + line.textLength() < caption.size())
                part = fm.elidedText(caption.mid(line.textStart()), Qt::ElideRight, textWidth);
            lines << part.trimmed();
        }
        layout.endLayout();
        int w = 0;
        for (const QString &l : lines)
            w = std::max(w, fm.horizontalAdvance(l));
        const int h = int(lines.size()) * fm.height();
        const QRect textRect(cell.x() + (cell.width() - w) / 2 - 2, pic.bottom() + 5, w + 4, h + 2);
        if (selected) {
            painter->fillRect(textRect, option.palette.color(group, QPalette::Highlight));
            painter->setPen(option.palette.color(group, QPalette::HighlightedText));
        } else {
            painter->setPen(option.palette.color(group, QPalette::Text));
        }
        int y = textRect.y() + 1;
        for (const QString &l : lines) {
            painter->drawText(QRect(textRect.x(), y, textRect.width(), fm.height()),
                              Qt::AlignHCenter | Qt::AlignVCenter, l);
            y += fm.height();
        }
        // The current item shows a dotted frame even when it is not selected, so that
        // moving with Ctrl+arrows in a multiple-selection list stays visible.
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(option.palette.color(group, selected ? QPalette::HighlightedText
                                                                       : QPalette::Text),
                                 1, Qt::DotLine));
            painter->drawRect(textRect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }
};

IconListModel::IconListModel(QObject *parent) : QAbstractListModel(parent) {}

void IconListModel::setPictureList(PictureList *pictures)
{
    if (m_pictures)
        disconnect(m_pictures, nullptr, this, nullptr);
    m_pictures = pictures;
    if (m_pictures)
        connect(m_pictures, &PictureList::changed, this, &IconListModel::pictureChanged);
    if (!m_items.empty())
        emit dataChanged(index(0), index(count() - 1), {Qt::DecorationRole});
}

int IconListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant IconListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const IconItem &it = m_items[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return it.caption;
    case Qt::DecorationRole:
        return m_pictures ? m_pictures->image(it.imageIndex) : QImage();
    default:
        return {};
    }
}

int IconListModel::append(const IconItem &item)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_items.push_back(item);
    endInsertRows();
    return row;
}

void IconListModel::clear()
{
    beginResetModel();
    m_items.clear();
    endResetModel();
}

void IconListModel::setImageIndex(int row, int imageIndex)
{
    if (row < 0 || row >= count())
        return;
    m_items[size_t(row)].imageIndex = imageIndex;
    emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

void IconListModel::setSubItem(int row, int n, const QString &text)
{
    if (row < 0 || row >= count() || n < 0)
        return;
    QStringList &subs = m_items[size_t(row)].subItems;
    while (subs.size() <= n)
        subs << QString();
    subs[n] = text;
}

void IconListModel::append(std::vector<IconItem> items)
{
    if (items.empty())
        return;
    const int row = count();
    beginInsertRows(QModelIndex(), row, row + int(items.size()) - 1);
    m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                   std::make_move_iterator(items.end()));
    endInsertRows();
}

void IconListModel::pictureChanged(int pictureIndex)
{
    if (m_items.empty())
        return;
    if (pictureIndex < 0) {
        emit dataChanged(index(0), index(count() - 1), {Qt::DecorationRole});
        return;
    }
    // A new picture is normally shown by the item of the same row (frames) or of
    // the row before (the catalogue, whose index 0 is the placeholder shared by
    // all items). Scanning every item on each add would make filling a list of
    // n items cost n²; items pointing elsewhere get repainted by setImageIndex.
    if (pictureIndex == 0) {
        emit dataChanged(index(0), index(count() - 1), {Qt::DecorationRole});
        return;
    }
    for (int row : {pictureIndex - 1, pictureIndex})
        if (row >= 0 && row < count() && m_items[size_t(row)].imageIndex == pictureIndex)
            emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

IconListView::IconListView(QWidget *parent) : QListView(parent), m_model(new IconListModel(this))
{
    setModel(m_model);
    m_delegate = new IconDelegate(this);
    setItemDelegate(m_delegate);
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setFlow(QListView::LeftToRight);
    setUniformItemSizes(true);
    setSpacing(2);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setLayoutMode(QListView::Batched);
    setBatchSize(500);
}

QList<int> IconListView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &i : selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

int IconListView::selectedRow() const
{
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void IconListView::selectRow(int row)
{
    if (row < 0 || row >= m_model->count())
        return;
    const QModelIndex i = m_model->index(row);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    scrollTo(i);
}

void IconListView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex i = indexAt(event->position().toPoint());
    const bool wasSelected = i.isValid() && selectionModel() && selectionModel()->isSelected(i);
    QListView::mousePressEvent(event);
    if (wasSelected && event->button() == Qt::LeftButton)
        emit selectedItemPressedAgain(i.row());
}

int IconListView::captionLines() const
{
    return m_delegate->captionLines;
}

void IconListView::setCaptionLines(int lines)
{
    lines = std::max(1, lines);
    if (lines == m_delegate->captionLines)
        return;
    m_delegate->captionLines = lines;
    // Uniform item sizes keep the first cell's size until the layout is redone.
    scheduleDelayedItemsLayout();
}

void IconListView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        emit enterPressed(currentIndex().isValid() ? currentIndex().row() : -1);
        return;
    }
    QListView::keyPressEvent(event);
}

void IconListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}
