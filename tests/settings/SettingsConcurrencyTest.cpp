#include "RegistryTestSupport.h"

namespace
{
class SettingsConcurrencyTest : public CSettingsRegistryTest
{
};

// Two lists of different lengths, each saved with a format record whose level is the list's
// length: a reader that saw a half-rewritten sub-key would get something equal to neither.
void SaveList(int which)
{
    const std::vector<std::wstring> lists[] = {{L"C:\\A0", L"C:\\A1", L"C:\\A2"},
                                               {L"D:\\B0", L"D:\\B1", L"D:\\B2", L"D:\\B3", L"D:\\B4", L"D:\\B5"}};
    CExtractSettings extract;
    FillList(extract.PathHistory, lists[which]);
    SaveExtractSettings(extract);
    CCompressSettings compress;
    FillList(compress.ArcHistory, lists[which]);
    compress.FormatOptions.Add(FormatRecord(which ? "b" : "a", L"", static_cast<DWORD>(lists[which].size())));
    SaveCompressSettings(compress);
}

std::pair<std::wstring, std::wstring> ReadBoth()
{
    return {ReadAndDescribe(ReadExtractSettings), ReadAndDescribe(ReadCompressSettings)};
}

TEST_F(SettingsConcurrencyTest, ReadersNeverSeeAHalfRewrittenListAndNothingDeadlocks)
{
    std::pair<std::wstring, std::wstring> whole[2];
    for (const int which : {1, 0})
    {
        SaveList(which);
        whole[which] = ReadBoth();
    }
    volatile LONG reads = 0, tornReads = 0;
    const auto saveAndRead = [&](int thread)
    {
        for (int i = 0; i < 40; i++)
        {
            if (thread % 2 == 0)
                SaveList((i + thread) & 1);
            const auto read = ReadBoth();
            InterlockedIncrement(&reads);
            // Extraction and compression are two saves: each is whole on its own.
            if ((read.first != whole[0].first && read.first != whole[1].first) ||
                (read.second != whole[0].second && read.second != whole[1].second))
                InterlockedIncrement(&tornReads);
        }
    };
    ASSERT_TRUE(RunOnThreads(6, 120000, saveAndRead)) << "threads did not finish: deadlock";
    EXPECT_EQ(6 * 40, reads);
    EXPECT_EQ(0, tornReads);
}

// Fails each allocation of `operation` in turn until it runs through; returns the failed runs.
// After each failure nothing has leaked and the settings lock is free for another thread.
int FailEachAllocation(const std::function<void()>& operation)
{
    int failures = 0;
    for (long n = 1; n < 1000; n++, failures++)
    {
        const long liveBefore = AllocHooks::LiveBlocks();
        AllocHooks::FailNth(n);
        bool threw = false;
        try
        {
            operation();
        }
        catch (CNewException&)
        {
            threw = true;
        }
        const bool pending = AllocHooks::FailurePending();
        AllocHooks::FailNth(0);
        EXPECT_EQ(liveBefore, AllocHooks::LiveBlocks()) << "allocation " << n;
        if (!threw)
        {
            EXPECT_TRUE(pending) << "allocation " << n << " failed without an exception";
            break;
        }
        EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { ReadCascadedMenu(); })) << "the settings lock stayed taken";
    }
    return failures;
}

TEST_F(SettingsConcurrencyTest, ExhaustedMemoryDuringReadsAndSavesPropagatesAndReleasesTheLock)
{
    CAllSettings all;
    // The saves come first: the last, undisturbed run of each stores what the reads then read.
    const struct
    {
        const char* Name;
        std::function<void()> Operation;
        int MoreFailuresThan;
    } operations[] = {
        {"save compress", [&] { SaveCompressSettings(all.Compress); }, 3},
        {"save extract", [&] { SaveExtractSettings(all.Extract); }, 1},
        {"save work folder", [&] { SaveWorkFolderSettings(all.Work); }, -1},
        {"read compress", [] { ReadAndDescribe(ReadCompressSettings); }, 5},
        {"read extract", [] { ReadAndDescribe(ReadExtractSettings); }, 2},
        {"read work folder", [] { ReadAndDescribe(ReadWorkFolderSettings); }, 0},
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        for (const auto& operation : operations)
        {
            SCOPED_TRACE(testing::Message() << operation.Name << " wide " << wide);
            EXPECT_GT(FailEachAllocation(operation.Operation), operation.MoreFailuresThan);
        }
    }
    EXPECT_EQ(Describe(all.Compress), ReadAndDescribe(ReadCompressSettings));
    EXPECT_EQ(Describe(all.Extract), ReadAndDescribe(ReadExtractSettings));
    EXPECT_EQ(Describe(all.Work), ReadAndDescribe(ReadWorkFolderSettings));
}
} // namespace
