#pragma once
// CatalogueOrder: the order of file names in the catalogue, the same as the folder
// tree's: letters compared case-insensitively, digit runs by value, in an explicit
// locale (the C locale would ignore the numeric mode); names the collation calls
// equal are ordered by their bytes, so only identical names compare equal.
// GUI thread only (QCollator is not shared between threads).

#include <QCollator>
#include <QString>

class CatalogueOrder {
public:
    CatalogueOrder();
    bool operator()(const QString &a, const QString &b) const;

private:
    QCollator m_collator;
};
