#include "app/catalogueorder.h"

#include <QFile>
#include <QLocale>

CatalogueOrder::CatalogueOrder() : m_collator(QLocale(QLocale::Chinese, QLocale::China))
{
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

bool CatalogueOrder::operator()(const QString &a, const QString &b) const
{
    const int c = m_collator.compare(a, b);
    if (c != 0)
        return c < 0;
    return QFile::encodeName(a) < QFile::encodeName(b);
}
