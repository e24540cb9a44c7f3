#pragma once
// PictureList: an ordered list of equally sized pictures (120 × 120 thumbnails),
// addressed by index like the picture lists of the original toolkit. One list can
// be shown by several views at once (the frame list and the export dialog share
// one); views listen to `changed`. GUI-thread object; the pictures are QImages,
// so workers may produce them.
//
// A list may also show pictures it does not hold: given a PictureSource, it
// answers count and image from the source (which may make pictures on demand
// and answer a null image meanwhile), and the source's owner calls
// sourceChanged when a picture arrives.

#include <QImage>
#include <QObject>
#include <QSize>

#include <vector>

class PictureSource {
public:
    virtual ~PictureSource() = default;
    virtual int pictureCount() const = 0;
    // The picture at `index`, or a null image while it is not there (yet).
    virtual QImage picture(int index) = 0;
};

class PictureList : public QObject {
    Q_OBJECT
public:
    explicit PictureList(QSize size, QObject *parent = nullptr);

    QSize pictureSize() const { return m_size; }
    int count() const { return m_source ? m_source->pictureCount() : int(m_images.size()); }
    // The picture at `index`, or a null image when out of range.
    QImage image(int index) const;

    // Appends a copy of `picture` (scaled to the list's size if it differs) and
    // returns its index.
    int add(const QImage &picture);
    void clear();

    // Shows the pictures of `source` (not owned; null to hold pictures again).
    // Held pictures are dropped either way.
    void setSource(PictureSource *source);
    PictureSource *source() const { return m_source; }
    // The source's picture at `index` arrived or changed (-1: all of them).
    void sourceChanged(int index) { emit changed(index); }

signals:
    // Emitted after every add or clear. `index` is the new picture's index, -1 on clear.
    void changed(int index);

private:
    QSize m_size;
    std::vector<QImage> m_images;
    PictureSource *m_source = nullptr;
};
