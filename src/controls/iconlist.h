#pragma once
// IconListView: a list in large-icon mode whose items carry a caption, sub-items
// and an index into a PictureList, as the list views of the original toolkit
// did. The catalogue, the frame list and the export dialog's list are all of
// this kind. The pictures are not copied: the view draws them from the
// PictureList it is given, which may be shared with other views.

#include <QAbstractListModel>
#include <QListView>
#include <QPointer>
#include <QStringList>

#include <vector>

#include "controls/picturelist.h"

struct IconItem {
    QString caption;
    QStringList subItems;
    int imageIndex = 0;
};

class IconListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit IconListModel(QObject *parent = nullptr);

    void setPictureList(PictureList *pictures);
    PictureList *pictureList() const { return m_pictures; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    int count() const { return int(m_items.size()); }
    const IconItem &item(int row) const { return m_items[size_t(row)]; }
    // Appends an item and returns its row.
    int append(const IconItem &item);
    // Appends many items at once (one insertion for the views).
    void append(std::vector<IconItem> items);
    void clear();
    void setImageIndex(int row, int imageIndex);
    // Sets sub-item `n`, adding empty sub-items before it where missing.
    void setSubItem(int row, int n, const QString &text);

private:
    void pictureChanged(int index);

    std::vector<IconItem> m_items;
    QPointer<PictureList> m_pictures;
};

class IconDelegate;

class IconListView : public QListView {
    Q_OBJECT
public:
    explicit IconListView(QWidget *parent = nullptr);

    IconListModel *items() const { return m_model; }
    void setPictureList(PictureList *pictures) { m_model->setPictureList(pictures); }

    // Rows of the selected items in ascending order.
    QList<int> selectedRows() const;
    // The selected row with the lowest index, or -1.
    int selectedRow() const;
    void selectRow(int row);

    // Lines of caption below each picture (2 unless set); longer captions are elided.
    int captionLines() const;
    void setCaptionLines(int lines);

signals:
    // A double-click anywhere in the list, on an item or on empty space.
    void doubleClickedAnywhere();
    // The left button went down on an item that was already selected before the press.
    void selectedItemPressedAgain(int row);
    // Enter or Return was pressed; `row` is the current item's row, or -1.
    void enterPressed(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    IconListModel *m_model;
    IconDelegate *m_delegate;
};
