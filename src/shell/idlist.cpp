#include "shell/idlist.h"

#include <cstdlib>
#include <cstring>

namespace shell {
namespace {

class SystemMalloc final : public IMalloc {
public:
    void *Alloc(std::size_t bytes) override { return std::malloc(bytes ? bytes : 1); }
    void Free(void *block) override { std::free(block); }
};

SystemMalloc g_systemMalloc;
IMalloc *g_malloc = &g_systemMalloc;

const std::uint8_t kEmpty[2] = {0, 0};

} // namespace

IMalloc &SHGetMalloc() { return *g_malloc; }
void setTaskAllocator(IMalloc *allocator) { g_malloc = allocator ? allocator : &g_systemMalloc; }

namespace idlist {

std::uint16_t itemSize(const ItemIdList *item)
{
    if (!item)
        return 0;
    const auto cb = static_cast<std::uint16_t>(item[0] | (item[1] << 8));
    // A size below 2 cannot advance; it ends the list like the terminator.
    return cb < 2 ? 0 : cb;
}

ItemIdList *allocate(std::size_t bytes)
{
    auto *p = static_cast<ItemIdList *>(SHGetMalloc().Alloc(bytes));
    if (p)
        std::memset(p, 0, bytes);
    return p;
}

const ItemIdList *next(const ItemIdList *item) { return item + itemSize(item); }
ItemIdList *next(ItemIdList *item) { return item + itemSize(item); }

std::size_t size(const ItemIdList *list)
{
    if (!list)
        return 0;
    std::size_t total = 2;
    for (const ItemIdList *p = list; itemSize(p) != 0; p = next(p))
        total += itemSize(p);
    return total;
}

ItemIdList *copy(const ItemIdList *list)
{
    if (!list)
        list = kEmpty;
    const std::size_t n = size(list);
    ItemIdList *p = allocate(n);
    if (p)
        std::memcpy(p, list, n - 2);  // the terminator is already zero
    return p;
}

ItemIdList *concatenate(const ItemIdList *a, const ItemIdList *b)
{
    if (!a)
        a = kEmpty;
    if (!b)
        b = kEmpty;
    const std::size_t na = size(a) - 2;
    const std::size_t nb = size(b);
    ItemIdList *p = allocate(na + nb);
    if (!p)
        return nullptr;
    std::memcpy(p, a, na);
    std::memcpy(p + na, b, nb - 2);
    return p;
}

void free(ItemIdList *list) { SHGetMalloc().Free(list); }

int count(const ItemIdList *list)
{
    int n = 0;
    for (const ItemIdList *p = list; p && itemSize(p) != 0; p = next(p))
        ++n;
    return n;
}

bool isEmpty(const ItemIdList *list) { return itemSize(list) == 0; }

ItemIdList *firstItem(const ItemIdList *list)
{
    const std::uint16_t cb = itemSize(list);
    ItemIdList *p = allocate(std::size_t(cb) + 2);
    if (p && cb)
        std::memcpy(p, list, cb);
    return p;
}

ItemIdList *lastItem(const ItemIdList *list)
{
    const ItemIdList *last = list;
    for (const ItemIdList *p = list; itemSize(p) != 0; p = next(p))
        last = p;
    return firstItem(last);
}

ItemIdList *parentOf(const ItemIdList *list)
{
    std::size_t keep = 0;
    const ItemIdList *p = list;
    for (; itemSize(p) != 0 && itemSize(next(p)) != 0; p = next(p))
        keep += itemSize(p);
    ItemIdList *out = allocate(keep + 2);
    if (out && keep)
        std::memcpy(out, list, keep);
    return out;
}

bool equal(const ItemIdList *a, const ItemIdList *b)
{
    if (!a)
        a = kEmpty;
    if (!b)
        b = kEmpty;
    const std::size_t na = size(a);
    return na == size(b) && std::memcmp(a, b, na) == 0;
}

bool startsWith(const ItemIdList *list, const ItemIdList *prefix)
{
    if (!list)
        list = kEmpty;
    const std::size_t np = size(prefix ? prefix : kEmpty) - 2;
    if (np == 0)
        return true;
    // Walk item by item so that a prefix never ends inside an item.
    std::size_t covered = 0;
    for (const ItemIdList *p = list; itemSize(p) != 0 && covered < np; p = next(p))
        covered += itemSize(p);
    return covered == np && std::memcmp(list, prefix, np) == 0;
}

} // namespace idlist

ItemIdList *makeItem(ItemKind kind, QByteArray name, std::uint8_t hint)
{
    const qsizetype cb = kItemNameOffset + name.size();
    if (cb > 0xFFFF)
        return nullptr;
    ItemIdList *p = idlist::allocate(std::size_t(cb) + 2);
    if (!p)
        return nullptr;
    p[0] = std::uint8_t(cb & 0xFF);
    p[1] = std::uint8_t(cb >> 8);
    p[2] = std::uint8_t(kind);
    p[3] = hint;
    if (!name.isEmpty())
        std::memcpy(p + kItemNameOffset, name.constData(), std::size_t(name.size()));
    return p;
}

std::uint8_t itemKind(const ItemIdList *item)
{
    return idlist::itemSize(item) >= kItemNameOffset ? item[2] : 0;
}

std::uint8_t itemHint(const ItemIdList *item)
{
    return idlist::itemSize(item) >= kItemNameOffset ? item[3] : 0;
}

QByteArray itemName(const ItemIdList *item)
{
    const std::uint16_t cb = idlist::itemSize(item);
    if (cb <= kItemNameOffset)
        return {};
    return QByteArray(reinterpret_cast<const char *>(item + kItemNameOffset), cb - kItemNameOffset);
}

} // namespace shell
