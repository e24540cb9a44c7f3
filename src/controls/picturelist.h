#pragma once
// PictureList: an ordered list of equally sized pictures (120 × 120 thumbnails),
// addressed by index like the picture lists of the original toolkit. One list can
// be shown by several views at once (the frame list and the export dialog share
// one); views listen to `changed`. GUI-thread object; the pictures are QImages,
// so workers may produce them.

#include <QImage>
#include <QObject>
#include <QSize>

#include <vector>

class PictureList : public QObject {
    Q_OBJECT
public:
    explicit PictureList(QSize size = QSize(120, 120), QObject *parent = nullptr);

    QSize pictureSize() const { return m_size; }
    int count() const { return int(m_images.size()); }
    // The picture at `index`, or a null image when out of range.
    QImage image(int index) const;

    // Appends a copy of `picture` (scaled to the list's size if it differs) and
    // returns its index.
    int add(const QImage &picture);
    void clear();

signals:
    // Emitted after every add or clear. `index` is the new picture's index, -1 on clear.
    void changed(int index);

private:
    QSize m_size;
    std::vector<QImage> m_images;
};
