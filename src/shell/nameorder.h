#pragma once
// The order of file names shared by the folder tree, the catalogue and the
// command line's thumbnails: case-insensitive, numbers by value ("img2" before
// "img10"), collated in an explicit locale (zh_CN, so Chinese names sort by
// pinyin; the C locale would ignore the numeric mode), and the names' bytes
// deciding between names the collator calls equal, so that 0 means the same
// name. Any thread (each thread keeps its own collator).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace shell {

// <0, 0 or >0 for two names as the file system has them.
int compareFileNames(const QByteArray &a, const QByteArray &b);

// Whether `a` sorts before `b`; for std::sort over names held as text.
bool fileNameLess(const QString &a, const QString &b);

// Sorts `names` into fileNameLess's order. Each name's collation key is made
// once, so a folder of 50,000 names sorts in a fraction of the time that
// comparing the names pair by pair takes.
void sortFileNames(QStringList &names);

} // namespace shell
