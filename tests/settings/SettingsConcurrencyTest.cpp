#include "RegistryTestSupport.h"

#include "settings/Settings.h"

#include <string>
#include <vector>

namespace
{
class SettingsConcurrencyTest : public CSettingsRegistryTest
{
};

// Two lists of different lengths: a reader that saw a half-rewritten sub-key would get a list
// equal to neither.
const std::vector<std::wstring> kListA = {L"C:\\A0", L"C:\\A1", L"C:\\A2"};
const std::vector<std::wstring> kListB = {L"D:\\B0", L"D:\\B1", L"D:\\B2", L"D:\\B3", L"D:\\B4", L"D:\\B5"};

struct CSharedRun
{
    volatile LONG TornReads = 0;
    volatile LONG Reads = 0;
};

bool IsOneOfTheSavedLists(const COwningVector<CWideString>& list)
{
    for (const std::vector<std::wstring>* expected : {&kListA, &kListB})
    {
        if (list.Count() != static_cast<int>(expected->size()))
            continue;
        bool same = true;
        for (int i = 0; i < list.Count(); i++)
            same = same && list[i] == (*expected)[i].c_str();
        if (same)
            return true;
    }
    return false;
}

void SaveAndReadRepeatedly(int threadIndex, void* context)
{
    CSharedRun& run = *static_cast<CSharedRun*>(context);
    for (int i = 0; i < 40; i++)
    {
        const std::vector<std::wstring>& list = ((i + threadIndex) & 1) ? kListB : kListA;
        if (threadIndex % 2 == 0)
        {
            CExtractSettings extract;
            for (const std::wstring& entry : list)
                extract.PathHistory.Add(CWideString(entry.c_str()));
            SaveExtractSettings(extract);
            CCompressSettings compress;
            for (const std::wstring& entry : list)
                compress.ArcHistory.Add(CWideString(entry.c_str()));
            CFormatOptions format;
            format.FormatName = list.size() == kListA.size() ? "a" : "b";
            format.Level = static_cast<DWORD>(list.size());
            compress.FormatOptions.Add(format);
            SaveCompressSettings(compress);
        }
        CExtractSettings extract;
        ReadExtractSettings(extract);
        CCompressSettings compress;
        ReadCompressSettings(compress);
        InterlockedIncrement(&run.Reads);
        const bool formatWhole = compress.FormatOptions.Count() == 1 &&
                                 compress.FormatOptions[0].Level ==
                                     (compress.FormatOptions[0].FormatName == "a" ? kListA.size() : kListB.size());
        if (!IsOneOfTheSavedLists(extract.PathHistory) || !IsOneOfTheSavedLists(compress.ArcHistory) || !formatWhole)
            InterlockedIncrement(&run.TornReads);
    }
}

TEST_F(SettingsConcurrencyTest, ReadersNeverSeeAHalfRewrittenListAndNothingDeadlocks)
{
    CExtractSettings first;
    for (const std::wstring& entry : kListA)
        first.PathHistory.Add(CWideString(entry.c_str()));
    SaveExtractSettings(first);
    CCompressSettings compress;
    for (const std::wstring& entry : kListA)
        compress.ArcHistory.Add(CWideString(entry.c_str()));
    CFormatOptions format;
    format.FormatName = "a";
    format.Level = static_cast<DWORD>(kListA.size());
    compress.FormatOptions.Add(format);
    SaveCompressSettings(compress);

    CSharedRun run;
    ASSERT_TRUE(RunOnThreads(6, 120000, SaveAndReadRepeatedly, &run)) << "threads did not finish: deadlock";
    EXPECT_EQ(6 * 40, static_cast<LONG>(run.Reads));
    EXPECT_EQ(0, static_cast<LONG>(run.TornReads));
}

void ReadMenuSettings(int, void* context)
{
    DWORD flags = 0;
    *static_cast<bool*>(context) = ReadCascadedMenu() && !ReadContextMenuFlags(flags);
    CWorkFolderSettings work;
    ReadWorkFolderSettings(work);
    SaveCascadedMenu(true);
}

// The lock must be free again after an exception left the operation: another thread gets it.
void ExpectLockIsFree()
{
    bool read = false;
    EXPECT_TRUE(RunOnThreads(1, 10000, ReadMenuSettings, &read)) << "the settings lock stayed taken";
    EXPECT_TRUE(read);
}

void StoreEverything()
{
    CExtractSettings extract;
    extract.PathHistory.Add(CWideString(L"C:\\Out"));
    extract.PathHistory.Add(CWideString(L"C:\\Out2"));
    SaveExtractSettings(extract);
    CCompressSettings compress;
    compress.ArcHistory.Add(CWideString(L"a.vntx"));
    CFormatOptions format;
    format.FormatName = "VNTX";
    format.Method = L"LZMA2";
    format.Level = 9;
    compress.FormatOptions.Add(format);
    compress.FormatOptions.Add(format);
    compress.FormatOptions[1].FormatName = "zip";
    SaveCompressSettings(compress);
    CWorkFolderSettings work;
    work.WorkDirType = WorkDirSpecified;
    work.WorkDirPath = L"C:\\Work";
    SaveWorkFolderSettings(work);
}

// Fails each allocation of `operation` in turn, until it runs through without a failure.
template <typename TOperation> int FailEachAllocation(TOperation operation)
{
    int failures = 0;
    for (long n = 1; n < 1000; n++)
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
        failures++;
        ExpectLockIsFree();
    }
    return failures;
}

TEST_F(SettingsConcurrencyTest, ExhaustedMemoryDuringReadsPropagatesAndReleasesTheLock)
{
    StoreEverything();
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        EXPECT_GT(FailEachAllocation(
                      []
                      {
                          CCompressSettings settings;
                          ReadCompressSettings(settings);
                      }),
                  5);
        EXPECT_GT(FailEachAllocation(
                      []
                      {
                          CExtractSettings settings;
                          ReadExtractSettings(settings);
                      }),
                  2);
        EXPECT_GT(FailEachAllocation(
                      []
                      {
                          CWorkFolderSettings settings;
                          ReadWorkFolderSettings(settings);
                      }),
                  0);
    }
}

TEST_F(SettingsConcurrencyTest, ExhaustedMemoryDuringSavesPropagatesAndReleasesTheLock)
{
    CCompressSettings compress;
    compress.ArcHistory.Add(CWideString(L"a.vntx"));
    compress.ArcHistory.Add(CWideString(L"b.vntx"));
    CFormatOptions format;
    format.FormatName = "VNTX";
    format.Options = L"x=9";
    compress.FormatOptions.Add(format);
    CExtractSettings extract;
    extract.PathHistory.Add(CWideString(L"C:\\Out"));
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        EXPECT_GT(FailEachAllocation([&] { SaveCompressSettings(compress); }), 3);
        EXPECT_GT(FailEachAllocation([&] { SaveExtractSettings(extract); }), 1);
    }
    // The last, undisturbed saves stored everything.
    CCompressSettings read;
    ReadCompressSettings(read);
    ASSERT_EQ(2, read.ArcHistory.Count());
    EXPECT_EQ(CWideString(L"b.vntx"), read.ArcHistory[1]);
    ASSERT_EQ(1, read.FormatOptions.Count());
    EXPECT_EQ(CWideString(L"x=9"), read.FormatOptions[0].Options);
}
} // namespace
