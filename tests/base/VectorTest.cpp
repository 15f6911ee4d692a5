#include "BaseTest.h"

#include "base/Vector.h"

#include <algorithm>

using VectorTest = CModuleTest;

TEST_F(VectorTest, GrowsCopiesRemovesAndSortsWithinTheirLimits)
{
    const auto contents = [](const auto& vector)
    {
        std::vector<std::decay_t<decltype(vector[0])>> values;
        for (int i = 0; i < vector.Count(); i++)
            values.push_back(vector[i]);
        return values;
    };
    CValueVector<int> vector, five;
    std::vector<int> capacities;
    for (int count : {5, 8, 9, 64, 65})
    {
        for (int i = vector.Count(); i < count; i++)
            EXPECT_EQ(i, vector.Add(i));
        capacities.push_back(vector.Capacity());
        if (count == 5)
            five = vector;
    }
    EXPECT_EQ((std::vector<int>{5, 8, 16, 64, 80}), capacities);
    // {index, count, what is left}: cut at the end, nothing below 1 or outside; the block stays.
    const std::tuple<int, int, std::vector<int>> removals[] = {
        {2, 10, {0, 1}}, {1, 2, {0, 3, 4}}, {0, 5, {}}, {3, 0, {0, 1, 2, 3, 4}}, {-1, 1, {0, 1, 2, 3, 4}}};
    for (const auto& [index, count, expected] : removals)
    {
        CValueVector<int> cut(five);
        cut.Remove(index, count);
        EXPECT_EQ(std::make_pair(expected, 5), std::make_pair(contents(cut), cut.Capacity())) << index << count;
    }
    COwningVector<CWideString> names, copy;
    for (const wchar_t* name : {L"a", L"b", L"c"})
        names.Add(CWideString(name));
    names.Reserve(1); // never below the count
    copy = names;
    names.Clear();
    names.RemoveLast(); // on an empty vector
    names.Remove(-1, 1);
    EXPECT_EQ(std::make_pair(0, 3), std::make_pair(names.Count(), names.Capacity()));
    EXPECT_EQ((std::vector<CWideString>{L"a", L"b", L"c"}), contents(copy));
    vector.Clear();
    std::vector<int> expected;
    for (unsigned i = 0, seed = 12345; i < 1000; i++)
    {
        seed = seed * 1103515245u + 12345u;
        expected.push_back(static_cast<int>((seed >> 8) % 500));
        vector.Add(expected.back());
    }
    vector.Sort([](int a, int b) { return a - b; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, contents(vector));
#ifdef _WIN64
    // Pointers that differ only above 4 GB keep their own halves.
    CValueVector<UINT_PTR> pointers;
    for (UINT_PTR value : {0x300000001ull, 0x100000002ull, 0x200000000ull, 0x100000001ull})
        pointers.Add(value);
    pointers.Sort([](UINT_PTR a, UINT_PTR b) { return a < b ? -1 : (a > b ? 1 : 0); });
    EXPECT_EQ((std::vector<UINT_PTR>{0x100000001, 0x100000002, 0x200000000, 0x300000001}), contents(pointers));
#endif
    // 2^31 slots and more are too large; 2^30 slots of 4 bytes do not fit 32 bits. The vector stays.
    for (const auto& [size, code] : {std::make_pair(-1, 0x100EC1), {INT_MIN, 0x100EC1}, {0x40000000, 0x100EC2}})
        EXPECT_EQ(code, ThrownCode([&] { vector.Reserve(size); })) << size;
    EXPECT_EQ(expected, contents(vector));
}
