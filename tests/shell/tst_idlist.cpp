// Item identifier lists: layout, the six operations and their edge cases.
#include "shell/idlist.h"

#include <QtTest>

#include <cstring>

using namespace shell;

namespace {

// Fails every allocation after `allowed` successful ones.
class FailingMalloc final : public IMalloc {
public:
    int allowed = 0;
    void *Alloc(std::size_t bytes) override { return allowed-- > 0 ? std::malloc(bytes) : nullptr; }
    void Free(void *block) override { std::free(block); }
};

IdListPtr item(const char *name) { return IdListPtr(makeItem(ItemKind::FileSystem, name)); }
IdListPtr list2(const char *a, const char *b) { return concatId(item(a).get(), item(b).get()); }

} // namespace

class TestIdList : public QObject {
    Q_OBJECT
private slots:
    void sizeOfNullEmptyAndItems()
    {
        QCOMPARE(idlist::size(nullptr), std::size_t(0));
        IdListPtr empty(idlist::copy(nullptr));
        QVERIFY(empty);
        QCOMPARE(idlist::size(empty.get()), std::size_t(2));
        QVERIFY(idlist::isEmpty(empty.get()));
        IdListPtr one = item("abc");
        // size field (2) + kind + hint + 3 name bytes, then the terminator
        QCOMPARE(idlist::itemSize(one.get()), std::uint16_t(7));
        QCOMPARE(idlist::size(one.get()), std::size_t(9));
        QCOMPARE(one.get()[0], std::uint8_t(7));
        QCOMPARE(one.get()[1], std::uint8_t(0));
        QCOMPARE(one.get()[7], std::uint8_t(0));
        QCOMPARE(one.get()[8], std::uint8_t(0));
        IdListPtr two = list2("abc", "de");
        QCOMPARE(idlist::size(two.get()), std::size_t(7 + 6 + 2));
        QCOMPARE(idlist::count(two.get()), 2);
        QCOMPARE(idlist::next(two.get()), two.get() + 7);
        QCOMPARE(itemName(idlist::next(two.get())), QByteArray("de"));
    }

    void allocateZeroFills()
    {
        IdListPtr p(idlist::allocate(64));
        QVERIFY(p);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(p.get()[i], std::uint8_t(0));
    }

    void concatenate_data()
    {
        QTest::addColumn<int>("left");   // 0 null, 1 empty, 2 one item, 3 two items
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("items");
        QTest::newRow("null + L") << 0 << 3 << 2;
        QTest::newRow("empty + L") << 1 << 3 << 2;
        QTest::newRow("L + null") << 3 << 0 << 2;
        QTest::newRow("L + empty") << 3 << 1 << 2;
        QTest::newRow("null + null") << 0 << 0 << 0;
        QTest::newRow("A + B") << 2 << 3 << 3;
    }
    void concatenate()
    {
        QFETCH(int, left);
        QFETCH(int, right);
        QFETCH(int, items);
        auto make = [](int which) -> IdListPtr {
            switch (which) {
            case 1: return IdListPtr(idlist::copy(nullptr));
            case 2: return item("x");
            case 3: return list2("a", "b");
            default: return {};
            }
        };
        IdListPtr a = make(left);
        IdListPtr b = make(right);
        IdListPtr c = concatId(a.get(), b.get());
        QVERIFY(c);
        QCOMPARE(idlist::count(c.get()), items);
        QCOMPARE(idlist::size(c.get()), (a ? idlist::size(a.get()) - 2 : 0) + (b ? idlist::size(b.get()) : 2));
        // Always terminated, whatever was null.
        const std::size_t n = idlist::size(c.get());
        QCOMPARE(c.get()[n - 2], std::uint8_t(0));
        QCOMPARE(c.get()[n - 1], std::uint8_t(0));
        if (left == 1 || left == 0) {
            if (right == 3)
                QVERIFY(idlist::equal(c.get(), b.get()));
        }
        if (left == 2 && right == 3) {
            QCOMPARE(itemName(c.get()), QByteArray("x"));
            QCOMPARE(itemName(idlist::next(idlist::next(c.get()))), QByteArray("b"));
        }
    }

    void copyOfNullIsTheEmptyList()
    {
        IdListPtr c(idlist::copy(nullptr));
        QVERIFY(c);
        QCOMPARE(idlist::size(c.get()), std::size_t(2));
        IdListPtr l = list2("a", "b");
        IdListPtr d = copyId(l.get());
        QVERIFY(d.get() != l.get());
        QVERIFY(idlist::equal(d.get(), l.get()));
    }

    void failedAllocationYieldsNull()
    {
        IdListPtr l = list2("a", "b");
        FailingMalloc failing;
        setTaskAllocator(&failing);
        ItemIdList *copied = idlist::copy(l.get());
        ItemIdList *joined = idlist::concatenate(l.get(), l.get());
        ItemIdList *made = makeItem(ItemKind::FileSystem, "x");
        ItemIdList *raw = idlist::allocate(8);
        setTaskAllocator(nullptr);
        QVERIFY(!copied);
        QVERIFY(!joined);
        QVERIFY(!made);
        QVERIFY(!raw);
    }

    void partsAndPrefixes()
    {
        IdListPtr l = concatId(list2("a", "bb").get(), item("ccc").get());
        IdListPtr last(idlist::lastItem(l.get()));
        QCOMPARE(itemName(last.get()), QByteArray("ccc"));
        QCOMPARE(idlist::count(last.get()), 1);
        IdListPtr parent(idlist::parentOf(l.get()));
        QVERIFY(idlist::equal(parent.get(), list2("a", "bb").get()));
        QVERIFY(idlist::startsWith(l.get(), parent.get()));
        QVERIFY(idlist::startsWith(l.get(), nullptr));
        QVERIFY(!idlist::startsWith(parent.get(), l.get()));
        // "a" + "b" is a byte prefix of "a" + "bb" but not an item prefix.
        QVERIFY(!idlist::startsWith(l.get(), list2("a", "b").get()));
        IdListPtr emptyParent(idlist::parentOf(item("x").get()));
        QVERIFY(idlist::isEmpty(emptyParent.get()));
    }

    void namesKeepTheirBytes()
    {
        const QByteArray latin1("caf\xe9 \xff\x01", 7);  // not UTF-8
        IdListPtr p(makeItem(ItemKind::FileSystem, latin1, HintFolder));
        QCOMPARE(itemName(p.get()), latin1);
        QCOMPARE(itemKind(p.get()), std::uint8_t(ItemKind::FileSystem));
        QCOMPARE(itemHint(p.get()), std::uint8_t(HintFolder));
        QVERIFY(!makeItem(ItemKind::FileSystem, QByteArray(0x10000, 'a')));
    }

    void malformedSizeEndsTheList()
    {
        // A size field of 1 cannot advance; it must not loop or run off the end.
        std::uint8_t bad[6] = {1, 0, 9, 9, 0, 0};
        QCOMPARE(idlist::size(bad), std::size_t(2));
        QCOMPARE(idlist::count(bad), 0);
        QCOMPARE(itemKind(bad), std::uint8_t(0));
    }
};

QTEST_GUILESS_MAIN(TestIdList)
#include "tst_idlist.moc"
