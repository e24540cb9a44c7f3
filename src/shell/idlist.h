#pragma once
// Item identifier lists: a run of items, each starting with a 16-bit
// little-endian size that counts the size field itself, ended by a 16-bit
// zero. The empty list (the terminator alone) names the desktop. Every list
// made here is allocated and freed through the task allocator below.
//
// What an item holds after its size field is this namespace's own:
//   [size lo][size hi][kind][hint][name bytes, as the file system has them]
// so names that are not valid UTF-8 survive unchanged.
//
// Threads: the functions are reentrant; the allocator must be swapped only
// while no other thread uses it (tests do it in initTestCase).

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace shell {

using ItemIdList = std::uint8_t;  // first byte of a list; lists are handled by pointer

// The task allocator every id list goes through.
class IMalloc {
public:
    virtual ~IMalloc() = default;
    virtual void *Alloc(std::size_t bytes) = 0;  // may return null
    virtual void Free(void *block) = 0;          // accepts null
};

// The process-wide task allocator. Never null.
IMalloc &SHGetMalloc();
// Replaces the allocator (tests); nullptr restores the real one. The caller keeps ownership.
void setTaskAllocator(IMalloc *allocator);

namespace idlist {

// n bytes from the task allocator, zero-filled; null when the allocator fails.
ItemIdList *allocate(std::size_t bytes);
// The item that follows `item` (item address plus its size).
const ItemIdList *next(const ItemIdList *item);
ItemIdList *next(ItemIdList *item);
// 0 for null; otherwise the sum of the item sizes plus 2 for the terminator.
std::size_t size(const ItemIdList *list);
// A copy; null when the allocation fails. A null list is copied as the empty list.
ItemIdList *copy(const ItemIdList *list);
// a without its terminator, then b with it. A null a or b counts as the empty list.
ItemIdList *concatenate(const ItemIdList *a, const ItemIdList *b);
void free(ItemIdList *list);

// Number of items (0 for null or empty).
int count(const ItemIdList *list);
// Size field of the first item (0 at the terminator or for null).
std::uint16_t itemSize(const ItemIdList *item);
bool isEmpty(const ItemIdList *list);  // null or terminator only
// A copy of the last item alone / of everything but the last item.
ItemIdList *lastItem(const ItemIdList *list);
ItemIdList *parentOf(const ItemIdList *list);
// A copy of the first item alone.
ItemIdList *firstItem(const ItemIdList *list);
// Byte-wise equality of two lists (null equals empty).
bool equal(const ItemIdList *a, const ItemIdList *b);
// True when `prefix`'s items are the first items of `list`.
bool startsWith(const ItemIdList *list, const ItemIdList *prefix);

} // namespace idlist

struct IdListDeleter {
    void operator()(ItemIdList *list) const { idlist::free(list); }
};
// Owning handle of a list made by the functions above.
using IdListPtr = std::unique_ptr<ItemIdList, IdListDeleter>;

inline IdListPtr copyId(const ItemIdList *list) { return IdListPtr(idlist::copy(list)); }
inline IdListPtr concatId(const ItemIdList *a, const ItemIdList *b)
{
    return IdListPtr(idlist::concatenate(a, b));
}

// Kinds of item this namespace knows.
enum class ItemKind : std::uint8_t {
    FileSystem = 1,  // a file or folder in a real folder; name = its file name
    Home = 2,        // 主文件夹 under the desktop
    Computer = 3,    // 计算机
    Network = 4,     // 网络
    Trash = 5,       // 回收站
    Volume = 6,      // a mount point under 计算机 or 网络; name = its absolute path
    TrashEntry = 7,  // an entry of 回收站; name = its file name in the trash's files folder
};

// Hint byte: what the enumeration learnt about the entry (0 = nothing).
enum ItemHint : std::uint8_t { HintNone = 0, HintFolder = 1, HintNotFolder = 2 };

// A one-item list for (kind, hint, name); null when the name is too long or allocation fails.
ItemIdList *makeItem(ItemKind kind, QByteArray name, std::uint8_t hint = HintNone);
// Kind, hint and name of the first item of a list (kind 0 for null, empty or malformed).
std::uint8_t itemKind(const ItemIdList *item);
std::uint8_t itemHint(const ItemIdList *item);
QByteArray itemName(const ItemIdList *item);
// Offset of the name bytes inside an item.
constexpr int kItemNameOffset = 4;

} // namespace shell
