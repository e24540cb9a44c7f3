#include "shell/nameorder.h"
#include "common/filepath.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cstring>

namespace shell {

int compareFileNames(const QByteArray &a, const QByteArray &b)
{
    // zh_CN: numeric mode is ignored by the C locale, and Chinese names sort by pinyin.
    thread_local QCollator collator = [] {
        QCollator c{QLocale(QLocale::Chinese, QLocale::China)};
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    if (a == b)
        return 0;
    const int order = collator.compare(filepath::pathFromBytes(a), filepath::pathFromBytes(b));
    if (order != 0)
        return order;
    // Names the collator calls equal ("Foo"/"foo", "a01"/"a1") are still different items.
    const int bytes = std::memcmp(a.constData(), b.constData(), std::size_t(std::min(a.size(), b.size())));
    if (bytes != 0)
        return bytes;
    return a.size() < b.size() ? -1 : 1;
}

bool fileNameLess(const QString &a, const QString &b)
{
    return compareFileNames(filepath::pathToBytes(a), filepath::pathToBytes(b)) < 0;
}

} // namespace shell
