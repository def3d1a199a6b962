// The slot pool against a trivial model: the slots live at any time and
// the bytes written to each, over a random walk of allocations and
// releases long enough to fill several blocks, small and large.

#include "xqwidgets/slotpool.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace xqwidgets;

class TestSlotPool : public QObject
{
    Q_OBJECT

private slots:
    void walkAgainstModel();
};

namespace
{

template <size_t Size, size_t Align> void walk(quint32 seed)
{
    SlotPool<Size, Align> pool;
    struct Live {
        unsigned char* p;
        unsigned char fill;
    };
    std::vector<Live> live;
    // Released slots, the last released last: the next allocation reuses it.
    std::vector<unsigned char*> released;
    QRandomGenerator random(seed);
    auto intact = [&](const Live& l) {
        for (size_t k = 0; k < Size; ++k) {
            if (l.p[k] != l.fill)
                return false;
        }
        return true;
    };
    // Grows to tens of thousands of slots (past the small blocks), shrinks
    // to none (the pool lets its blocks go) and grows again.
    const int phases[] = {60000, 0, 20000, 5000, 30000, 0};
    int steps = 0;
    for (int target : phases) {
        while (int(live.size()) != target) {
            const bool grow =
                int(live.size()) < target ? random.bounded(4) != 0 : random.bounded(4) == 0;
            if (grow || live.empty()) {
                auto* p = static_cast<unsigned char*>(pool.allocate());
                QVERIFY(reinterpret_cast<std::uintptr_t>(p) % Align == 0);
                if (!released.empty()) {
                    QCOMPARE(p, released.back());
                    released.pop_back();
                }
                const auto fill = static_cast<unsigned char>(random.bounded(256));
                std::memset(p, fill, Size);
                live.push_back({p, fill});
            } else {
                const size_t i = random.bounded(quint32(live.size()));
                QVERIFY(intact(live[i]));
                pool.release(live[i].p);
                released.push_back(live[i].p);
                live[i] = live.back();
                live.pop_back();
                if (live.empty())
                    released.clear(); // the blocks went with the last slot
            }
            // Now and then every live slot still holds what was written to
            // it: no two slots overlap and no link of the free list was
            // written into a live one.
            if (++steps % 20000 == 0) {
                for (const Live& l : live)
                    QVERIFY(intact(l));
            }
        }
    }
}

} // namespace

void TestSlotPool::walkAgainstModel()
{
    // A slot smaller than the free list's link, an odd size, and a size
    // with a wide alignment.
    walk<1, 1>(1);
    walk<24, 8>(2);
    walk<40, 16>(3);
}

QTEST_GUILESS_MAIN(TestSlotPool)
#include "tst_slotpool.moc"
