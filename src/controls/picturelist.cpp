#include "controls/picturelist.h"

PictureList::PictureList(QSize size, QObject *parent) : QObject(parent), m_size(size) {}

QImage PictureList::image(int index) const
{
    if (index < 0 || index >= count())
        return {};
    if (m_source)
        return m_source->picture(index);
    return m_images[size_t(index)];
}

void PictureList::setSource(PictureSource *source)
{
    m_source = source;
    m_images.clear();
    emit changed(-1);
}

int PictureList::add(const QImage &picture)
{
    QImage copy = picture;
    if (!copy.isNull() && copy.size() != m_size)
        copy = copy.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_images.push_back(copy);
    const int index = count() - 1;
    emit changed(index);
    return index;
}

void PictureList::clear()
{
    m_images.clear();
    emit changed(-1);
}
