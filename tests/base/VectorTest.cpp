#include "BaseTest.h"

#include "base/Vector.h"

#include <algorithm>
#include <vector>

using VectorTest = CModuleTest;

namespace
{
struct CIdEntry
{
    unsigned Id;
    CWideString Text;
};

template <typename T, typename TVector> std::vector<T> Contents(const TVector& vector)
{
    std::vector<T> values;
    for (int i = 0; i < vector.Count(); i++)
        values.push_back(vector[i]);
    return values;
}
} // namespace

TEST_F(VectorTest, CapacityRunsOneByOneToEightThenByEightsThenByQuarters)
{
    CValueVector<int> vector;
    std::vector<int> seen = {vector.Capacity()};
    for (int i = 0; i < 160; i++)
    {
        EXPECT_EQ(i, vector.Add(i));
        if (seen.back() != vector.Capacity())
            seen.push_back(vector.Capacity());
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 24, 32, 40, 48, 56, 64, 80, 100, 125, 156, 195}), seen);

    // Remove cuts its count at the end and keeps the block.
    const std::tuple<int, int, std::vector<int>> removals[] = {{2, 10, {0, 1}},         {5, 1, {0, 1, 2, 3, 4}},
                                                               {1, 2, {0, 3, 4}},       {0, 5, {}},
                                                               {3, 0, {0, 1, 2, 3, 4}}, {3, -1, {0, 1, 2, 3, 4}}};
    for (const auto& [index, count, expected] : removals)
    {
        CValueVector<int> five;
        for (int i = 0; i < 5; i++)
            five.Add(i);
        five.Remove(index, count);
        EXPECT_EQ(expected, Contents<int>(five)) << index << ", " << count;
        EXPECT_EQ(5, five.Capacity());
    }
}

TEST_F(VectorTest, OwningVectorDestroysItsObjectsAndKeepsTheBlockOnClear)
{
    const long before = AllocHooks::LiveBlocks();
    COwningVector<CWideString> names;
    for (int i = 0; i < 3; i++)
        names.Add(CWideString(L"name"));
    EXPECT_EQ(before + 7, AllocHooks::LiveBlocks()); // the slot block, three objects, three buffers
    names.Remove(0, 1);
    EXPECT_EQ(before + 5, AllocHooks::LiveBlocks());
    names.Clear();
    EXPECT_EQ(before + 1, AllocHooks::LiveBlocks());
    EXPECT_EQ(3, names.Capacity());
    names.Add(CWideString(L"again"));
    names.ClearAndRelease();
    EXPECT_EQ(before, AllocHooks::LiveBlocks());
    EXPECT_EQ(0, names.Capacity());
}

TEST_F(VectorTest, SortOrdersByUnsignedId)
{
    const std::pair<std::vector<unsigned>, std::vector<unsigned>> cases[] = {
        {{3, 1, 2}, {1, 2, 3}},
        {{0x80000001u, 1}, {1, 0x80000001u}},
        {{0x02000005u, 0x01000010u, 0xFFFFFFFFu, 0, 0x01000002u},
         {0, 0x01000002u, 0x01000010u, 0x02000005u, 0xFFFFFFFFu}},
        {{5, 5, 1, 5}, {1, 5, 5, 5}},
        {{7}, {7}},
        {{}, {}},
    };
    for (const auto& [ids, expected] : cases)
    {
        COwningVector<CIdEntry> entries;
        for (unsigned id : ids)
            entries.Add(CIdEntry{id, CWideString(L"text")});
        entries.Sort([](const CIdEntry& a, const CIdEntry& b) { return a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0); });
        std::vector<unsigned> sorted;
        for (int i = 0; i < entries.Count(); i++)
            sorted.push_back(entries[i].Id);
        EXPECT_EQ(expected, sorted);
    }

    // Many values with repeats, against the library's sort.
    CValueVector<int> vector;
    std::vector<int> expected;
    for (unsigned i = 0, seed = 12345; i < 1000; i++)
    {
        seed = seed * 1103515245u + 12345u;
        expected.push_back(static_cast<int>((seed >> 8) % 500));
        vector.Add(expected.back());
    }
    vector.Sort([](int a, int b) { return a - b; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Contents<int>(vector));

#ifdef _WIN64
    // Pointer slots move whole: pointers that differ only above 4 GB keep their own halves.
    CValueVector<const void*> pointers;
    const UINT_PTR values[] = {0x300000001, 0x100000002, 0x200000000, 0x100000001};
    for (UINT_PTR value : values)
        pointers.Add(reinterpret_cast<const void*>(value));
    pointers.Sort([](const void* a, const void* b) { return a < b ? -1 : (a > b ? 1 : 0); });
    EXPECT_EQ((std::vector<const void*>{reinterpret_cast<const void*>(0x100000001),
                                        reinterpret_cast<const void*>(0x100000002),
                                        reinterpret_cast<const void*>(0x200000000),
                                        reinterpret_cast<const void*>(0x300000001)}),
              Contents<const void*>(pointers));
#endif
}

TEST_F(VectorTest, ImpossibleSizesAndFailedAllocationsLeaveTheVectorAsItWas)
{
    // 2^31 slots and more are too large; 2^30 slots of 4 bytes do not fit 32 bits.
    const std::pair<int, int> sizes[] = {
        {static_cast<int>(0x80000000u), 0x100EC1}, {-1, 0x100EC1}, {0x40000000, 0x100EC2}};
    CValueVector<int> values;
    values.Add(7);
    for (const auto& size : sizes)
        EXPECT_EQ(size.second, ThrownCode([&] { values.Reserve(size.first); })) << size.first;
    for (int i = 1; i < 8; i++)
        values.Add(i);
    AllocHooks::FailNth(1);
    EXPECT_THROW(values.Add(8), CNewException);
    AllocHooks::FailNth(0);
    EXPECT_EQ((std::vector<int>{7, 1, 2, 3, 4, 5, 6, 7}), Contents<int>(values));
    EXPECT_EQ(8, values.Capacity());

    // An owning Add with room left allocates 1 the object's block, 2 the copied string's buffer:
    // a failure at either frees what the Add took.
    const CWideString second(L"second");
    for (long failing = 1; failing <= 2; failing++)
    {
        COwningVector<CWideString> names;
        names.Reserve(4);
        names.Add(CWideString(L"first"));
        const long before = AllocHooks::LiveBlocks();
        AllocHooks::FailNth(failing);
        EXPECT_THROW(names.Add(second), CNewException);
        AllocHooks::FailNth(0);
        EXPECT_EQ(before, AllocHooks::LiveBlocks()) << "failing allocation " << failing;
        EXPECT_EQ(std::vector<CWideString>{L"first"}, Contents<CWideString>(names));
    }
}

TEST_F(VectorTest, ReservingBelowTheCountAndRemovingFromAnEmptyVectorLoseNothing)
{
    COwningVector<CWideString> names;
    for (const wchar_t* name : {L"a", L"b", L"c"})
        names.Add(CWideString(name));
    names.Reserve(1);
    EXPECT_EQ(3, names.Capacity());
    EXPECT_EQ((std::vector<CWideString>{L"a", L"b", L"c"}), Contents<CWideString>(names));
    names.Clear();
    names.RemoveLast();
    names.Remove(-1, 1);
    EXPECT_EQ(0, names.Count());
}

TEST_F(VectorTest, CopiesAreDeepAndAFailedCopyLeavesTheTargetAsItWas)
{
    COwningVector<CWideString> source;
    source.Add(CWideString(L"a"));
    source.Add(CWideString(L"b"));
    COwningVector<CWideString> target;
    target.Add(CWideString(L"old"));
    for (long failing = 1; failing <= 5; failing++)
    {
        AllocHooks::FailNth(failing);
        EXPECT_THROW(target = source, CNewException) << failing;
        AllocHooks::FailNth(0);
        EXPECT_EQ(std::vector<CWideString>{L"old"}, Contents<CWideString>(target));
    }
    target = source;
    source.Clear();
    EXPECT_EQ((std::vector<CWideString>{L"a", L"b"}), Contents<CWideString>(target));
}
