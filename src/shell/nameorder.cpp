#include "shell/nameorder.h"
#include "common/filepath.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <vector>

namespace shell {

namespace {

QCollator &collator()
{
    // zh_CN: numeric mode is ignored by the C locale, and Chinese names sort by pinyin.
    thread_local QCollator c = [] {
        QCollator made{QLocale(QLocale::Chinese, QLocale::China)};
        made.setNumericMode(true);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return c;
}

// Between names the collator calls equal ("Foo"/"foo", "a01"/"a1"): their bytes.
int compareBytes(const QByteArray &a, const QByteArray &b)
{
    const int bytes = std::memcmp(a.constData(), b.constData(), std::size_t(std::min(a.size(), b.size())));
    if (bytes != 0)
        return bytes;
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

} // namespace

int compareFileNames(const QByteArray &a, const QByteArray &b)
{
    if (a == b)
        return 0;
    const int order = collator().compare(filepath::pathFromBytes(a), filepath::pathFromBytes(b));
    if (order != 0)
        return order;
    // Names the collator calls equal are still different items.
    return compareBytes(a, b);
}

void sortFileNames(QStringList &names)
{
    struct Keyed {
        QCollatorSortKey key;
        QByteArray bytes;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    for (const QString &name : names) {
        QByteArray bytes = filepath::pathToBytes(name);
        keyed.push_back({collator().sortKey(filepath::pathFromBytes(bytes)), std::move(bytes), name});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : compareBytes(a.bytes, b.bytes) < 0;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[size_t(i)].name);
}

bool fileNameLess(const QString &a, const QString &b)
{
    return compareFileNames(filepath::pathToBytes(a), filepath::pathToBytes(b)) < 0;
}

} // namespace shell
