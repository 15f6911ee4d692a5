#include "TestSupport.h"

#include "base/Vector.h"

#include <algorithm>
#include <iterator>
#include <vector>

class VectorTest : public CModuleTest
{
};

namespace
{
struct CIdEntry
{
    unsigned Id;
    CWideString Text;
};

int CompareById(const CIdEntry& a, const CIdEntry& b)
{
    return a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0);
}

std::vector<int> Values(const CValueVector<int>& vector)
{
    std::vector<int> values;
    for (int i = 0; i < vector.Count(); i++)
        values.push_back(vector[i]);
    return values;
}
} // namespace

TEST_F(VectorTest, CapacityRunsOneByOneToEightThenByEightsThenByQuarters)
{
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 24, 32, 40, 48, 56, 64, 80, 100, 125, 156, 195};
    CValueVector<int> vector;
    EXPECT_EQ(0, vector.Capacity());
    std::vector<int> seen;
    for (int i = 0; i < 160; i++)
    {
        EXPECT_EQ(i, vector.Add(i));
        if (seen.empty() || seen.back() != vector.Capacity())
            seen.push_back(vector.Capacity());
    }
    EXPECT_EQ(std::vector<int>(std::begin(expected), std::end(expected)), seen);
    EXPECT_EQ(160, vector.Count());
}

TEST_F(VectorTest, RemoveCutsItsCountAtTheEnd)
{
    const struct
    {
        int Index;
        int Count;
        std::vector<int> Expected;
    } cases[] = {
        {2, 10, {0, 1}}, {5, 1, {0, 1, 2, 3, 4}}, {1, 2, {0, 3, 4}},
        {0, 5, {}},      {3, 0, {0, 1, 2, 3, 4}}, {3, -1, {0, 1, 2, 3, 4}},
    };
    for (const auto& c : cases)
    {
        CValueVector<int> vector;
        for (int i = 0; i < 5; i++)
            vector.Add(i);
        vector.Remove(c.Index, c.Count);
        EXPECT_EQ(c.Expected, Values(vector)) << c.Index << ", " << c.Count;
        EXPECT_EQ(5, vector.Capacity());
    }
}

TEST_F(VectorTest, OwningVectorDestroysItsObjectsAndKeepsTheBlockOnClear)
{
    const long before = AllocHooks::LiveBlocks();
    {
        COwningVector<CWideString> names;
        for (int i = 0; i < 3; i++)
            names.Add(CWideString(L"name"));
        // The slot block, three objects and their three buffers.
        EXPECT_EQ(before + 7, AllocHooks::LiveBlocks());
        names.Remove(0, 1);
        EXPECT_EQ(before + 5, AllocHooks::LiveBlocks());
        names.Clear();
        EXPECT_EQ(before + 1, AllocHooks::LiveBlocks());
        EXPECT_EQ(3, names.Capacity());
        names.Add(CWideString(L"again"));
        EXPECT_EQ(CWideString(L"again"), names[0]);
        names.ClearAndRelease();
        EXPECT_EQ(before, AllocHooks::LiveBlocks());
        EXPECT_EQ(0, names.Capacity());
    }
    EXPECT_EQ(before, AllocHooks::LiveBlocks());
}

TEST_F(VectorTest, SortOrdersByUnsignedId)
{
    const struct
    {
        std::vector<unsigned> Ids;
        std::vector<unsigned> Expected;
    } cases[] = {
        {{3, 1, 2}, {1, 2, 3}},
        {{0x80000001u, 1}, {1, 0x80000001u}},
        {{0x02000005u, 0x01000010u, 0xFFFFFFFFu, 0, 0x01000002u},
         {0, 0x01000002u, 0x01000010u, 0x02000005u, 0xFFFFFFFFu}},
        {{5, 5, 1, 5}, {1, 5, 5, 5}},
        {{7}, {7}},
        {{}, {}},
    };
    for (const auto& c : cases)
    {
        COwningVector<CIdEntry> entries;
        for (unsigned id : c.Ids)
            entries.Add(CIdEntry{id, CWideString(L"text")});
        entries.SortBy(CompareById);
        std::vector<unsigned> sorted;
        for (int i = 0; i < entries.Count(); i++)
            sorted.push_back(entries[i].Id);
        EXPECT_EQ(c.Expected, sorted);
    }
}

TEST_F(VectorTest, SortOfManyValuesMatchesTheOrder)
{
    CValueVector<int> vector;
    std::vector<int> expected;
    unsigned seed = 12345;
    for (int i = 0; i < 1000; i++)
    {
        seed = seed * 1103515245u + 12345u;
        const int value = static_cast<int>((seed >> 8) % 500);
        vector.Add(value);
        expected.push_back(value);
    }
    vector.SortBy([](int a, int b) { return a - b; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Values(vector));
}

TEST_F(VectorTest, ImpossibleSizesThrowTheirCodes)
{
    const struct
    {
        int Slots;
        int Code;
    } cases[] = {
        {static_cast<int>(0x80000000u), 0x100EC1},
        {-1, 0x100EC1},
        {0x40000000, 0x100EC2}, // 2^30 slots of 4 bytes do not fit 32 bits
    };
    for (const auto& c : cases)
    {
        CValueVector<int> vector;
        vector.Add(7);
        try
        {
            vector.Reserve(c.Slots);
            ADD_FAILURE() << "no exception for " << c.Slots;
        }
        catch (int code)
        {
            EXPECT_EQ(c.Code, code);
        }
        EXPECT_EQ(1, vector.Count());
        EXPECT_EQ(7, vector[0]);
    }
}

TEST_F(VectorTest, FailedGrowthLeavesTheVectorAsItWas)
{
    CValueVector<int> vector;
    for (int i = 0; i < 8; i++)
        vector.Add(i);
    AllocHooks::FailNth(1);
    EXPECT_THROW(vector.Add(8), CNewException);
    AllocHooks::FailNth(0);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}), Values(vector));
    EXPECT_EQ(8, vector.Capacity());
}

TEST_F(VectorTest, OwningAddWhoseCopyThrowsFreesTheNewBlock)
{
    // Allocations of Add with room left: 1 the object's block, 2 the copied string's buffer.
    for (long failing = 1; failing <= 2; failing++)
    {
        COwningVector<CWideString> names;
        names.Reserve(4);
        names.Add(CWideString(L"first"));
        const CWideString second(L"second");
        const long before = AllocHooks::LiveBlocks();
        AllocHooks::FailNth(failing);
        EXPECT_THROW(names.Add(second), CNewException);
        AllocHooks::FailNth(0);
        EXPECT_EQ(before, AllocHooks::LiveBlocks()) << "failing allocation " << failing;
        ASSERT_EQ(1, names.Count());
        EXPECT_EQ(CWideString(L"first"), names[0]);
    }
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
        ASSERT_EQ(1, target.Count());
        EXPECT_EQ(CWideString(L"old"), target[0]);
    }
    target = source;
    source.Clear();
    ASSERT_EQ(2, target.Count());
    EXPECT_EQ(CWideString(L"b"), target[1]);

    CValueVector<int> values;
    values.Add(5);
    values.Add(6);
    CValueVector<int> copy(values);
    values[0] = 9;
    EXPECT_EQ((std::vector<int>{5, 6}), Values(copy));
}
