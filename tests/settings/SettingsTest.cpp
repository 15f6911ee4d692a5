#include "TestSupport.h"

#include "settings/Settings.h"

#include <algorithm>
#include <sstream>

namespace
{
const HKEY kUser = HKEY_CURRENT_USER;
const std::wstring kExtraction = std::wstring(kSettingsRoot) + L"\\Extraction";
const std::wstring kCompression = std::wstring(kSettingsRoot) + L"\\Compression";
const std::wstring kFormats = kCompression + L"\\Options";
const std::wstring kOptions = std::wstring(kSettingsRoot) + L"\\Options";

void FillList(COwningVector<CWideString>& list, const std::vector<std::wstring>& entries)
{
    list.Clear();
    for (const std::wstring& entry : entries)
        list.Add(CWideString(entry.c_str()));
}

std::wostream& operator<<(std::wostream& text, const COwningVector<CWideString>& list)
{
    text << L'[';
    for (int i = 0; i < list.Count(); i++)
        text << (i ? L", " : L"") << list[i].Ptr();
    return text << L']';
}

// One line per record for exact comparisons: numbers in decimal (NotSet is -1), texts in quotes,
// lists in brackets, format records in braces sorted by name.
std::wstring Describe(const CExtractSettings& s)
{
    std::wostringstream text;
    text << s.ExtractMode << L' ' << s.OverwriteMode << L' ' << s.ShowPassword << L' ' << s.PathHistory;
    return text.str();
}

std::wstring Describe(const CCompressSettings& s)
{
    std::wostringstream text;
    text << s.Level << L" '" << s.Archiver.Ptr() << L"' " << s.ShowPassword << L' ' << s.EncryptHeaders << L' '
         << s.ArcHistory;
    std::vector<std::wstring> records;
    for (int i = 0; i < s.FormatOptions.Count(); i++)
    {
        const CFormatOptions& f = s.FormatOptions[i];
        std::wostringstream record;
        record << L" {" << f.FormatName.Ptr() << L" '" << f.Options.Ptr() << L"' '" << f.Method.Ptr() << L"' '"
               << f.EncryptionMethod.Ptr() << L"' " << static_cast<int>(f.Level) << L' '
               << static_cast<int>(f.Dictionary) << L' ' << static_cast<int>(f.Order) << L' '
               << static_cast<int>(f.BlockSize) << L' ' << static_cast<int>(f.NumThreads) << L'}';
        records.push_back(record.str());
    }
    std::sort(records.begin(), records.end());
    for (const std::wstring& record : records)
        text << record;
    return text.str();
}

std::wstring Describe(const CWorkFolderSettings& s)
{
    std::wostringstream text;
    text << s.WorkDirType << L" '" << s.WorkDirPath.Ptr() << L"' " << s.TempRemovableOnly;
    return text.str();
}

template <typename TSettings> std::wstring ReadAndDescribe(void (*read)(TSettings&))
{
    TSettings settings;
    read(settings);
    return Describe(settings);
}

// Every field away from its default: twelve archive names, two format records; texts within the
// ANSI code page.
struct CAllSettings
{
    CAllSettings()
    {
        Extract.ExtractMode = 2;
        Extract.OverwriteMode = 4;
        Extract.ShowPassword = true;
        FillList(Extract.PathHistory, {L"C:\\Out", L"D:\\\u00C9t\u00E9"});
        Compress.Level = 100;
        Compress.Archiver = L"zip";
        Compress.ShowPassword = Compress.EncryptHeaders = true;
        for (int i = 0; i < 12; i++)
            Compress.ArcHistory.Add(CWideString((L"a" + std::to_wstring(i) + L".vntx").c_str()));
        Compress.FormatOptions.Add({"VNTX", L"x=9", L"LZMA2", L"AES256", 7, 1 << 24, 32, 0, 2});
        Compress.FormatOptions.Add({"tar", L"", L"GNU", L""});
        Work.WorkDirType = WorkDirSpecified;
        Work.WorkDirPath = L"D:\\Work";
        Work.TempRemovableOnly = false;
    }
    CExtractSettings Extract;
    CCompressSettings Compress;
    CWorkFolderSettings Work;
};

using SettingsTest = CSettingsRegistryTest;

// Into records that hold other values: each read starts over from what a new record holds.
TEST_F(SettingsTest, ReadsWithoutAStoredKeyGiveTheDefaultsAndCreateNothing)
{
    CAllSettings all;
    ReadExtractSettings(all.Extract);
    EXPECT_EQ(Describe(CExtractSettings()), Describe(all.Extract));
    ReadCompressSettings(all.Compress);
    EXPECT_EQ(Describe(CCompressSettings()), Describe(all.Compress));
    ReadWorkFolderSettings(all.Work);
    EXPECT_EQ(Describe(CWorkFolderSettings()), Describe(all.Work));
    EXPECT_TRUE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_FALSE(ReadContextMenuFlags(flags));
    EXPECT_FALSE(RegistryKeyExists(kUser, kSettingsRoot)) << "reading created a key";
}

// Histories beyond ten entries use decimal names; the format records replace the whole stored tree.
TEST_F(SettingsTest, SettingsAreSavedUnderTheStoredNamesAndReadBack)
{
    SetRaw(kUser, kFormats + L"\\old\\nested", L"Level", Dword(1));
    CAllSettings all;
    // Neither an empty name nor a nested path can be read back as one record.
    CCompressSettings withUnreadable = all.Compress;
    for (const char* name : {"", "a\\b"})
        withUnreadable.FormatOptions.Add({name, L"", L"LZMA2", L"", 7});
    SaveExtractSettings(all.Extract);
    SaveCompressSettings(withUnreadable);
    SaveWorkFolderSettings(all.Work);
    SaveContextMenuFlags(0xFFFFFFFF); // unassigned bits are kept
    SaveCascadedMenu(false);

    EXPECT_EQ((CValues{{L"ExtarctMode", Dword(2)}, {L"OverwriteMode", Dword(4)}, {L"ShowPassword", Dword(1)}}),
              RawValues(kUser, kExtraction));
    EXPECT_EQ((CValues{{L"0", Text(L"C:\\Out")}, {L"1", Text(L"D:\\\u00C9t\u00E9")}}),
              RawValues(kUser, kExtraction + L"\\PathHistory"));
    EXPECT_EQ((CValues{{L"Level", Dword(100)},
                       {L"Archiver", Text(L"zip")},
                       {L"ShowPassword", Dword(1)},
                       {L"EncryptHeaders", Dword(1)}}),
              RawValues(kUser, kCompression));
    const CValues arcHistory = RawValues(kUser, kCompression + L"\\ArcHistory");
    EXPECT_EQ(12u, arcHistory.size());
    EXPECT_EQ(Text(L"a11.vntx"), arcHistory.at(L"11"));
    EXPECT_EQ((std::vector<std::wstring>{L"VNTX", L"tar"}), RawSubKeys(kUser, kFormats));
    EXPECT_EQ(CValues{}, RawValues(kUser, kFormats));
    EXPECT_EQ((CValues{{L"Options", Text(L"x=9")},
                       {L"Method", Text(L"LZMA2")},
                       {L"EncryptionMethod", Text(L"AES256")},
                       {L"Level", Dword(7)},
                       {L"Dictionary", Dword(1 << 24)},
                       {L"Order", Dword(32)},
                       {L"BlockSize", Dword(0)},
                       {L"NumThreads", Dword(2)}}),
              RawValues(kUser, kFormats + L"\\VNTX"));
    EXPECT_EQ((CValues{{L"Method", Text(L"GNU")}}), RawValues(kUser, kFormats + L"\\tar"));
    EXPECT_EQ((CValues{{L"WorkDirType", Dword(2)},
                       {L"WorkDirPath", Text(L"D:\\Work")},
                       {L"TempRemovableOnly", Dword(0)},
                       {L"ContextMenu", Dword(0xFFFFFFFF)},
                       {L"CascadedMenu", Dword(0)}}),
              RawValues(kUser, kOptions));

    EXPECT_EQ(Describe(all.Extract), ReadAndDescribe(ReadExtractSettings));
    EXPECT_EQ(Describe(all.Compress), ReadAndDescribe(ReadCompressSettings)) << "level 100 is kept";
    EXPECT_EQ(Describe(all.Work), ReadAndDescribe(ReadWorkFolderSettings));
    EXPECT_FALSE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_TRUE(ReadContextMenuFlags(flags));
    EXPECT_EQ(0xFFFFFFFFu, flags);
}

TEST_F(SettingsTest, ExtractNumbersOutsideTheirRangesKeepTheDefaults)
{
    const DWORD cases[][3] = {// stored in both, ExtractMode read, OverwriteMode read
                              {0, 0, 0}, {2, 2, 2},          {3, 1, 3},         {4, 1, 4},
                              {5, 1, 0}, {0xFFFFFFFF, 1, 0}, {0x80000001, 1, 0}};
    for (const auto& c : cases)
    {
        SetRaw(kUser, kExtraction, L"ExtarctMode", Dword(c[0]));
        SetRaw(kUser, kExtraction, L"OverwriteMode", Dword(c[0]));
        EXPECT_EQ(std::to_wstring(c[1]) + L" " + std::to_wstring(c[2]) + L" 0 []",
                  ReadAndDescribe(ReadExtractSettings));
    }
}

TEST_F(SettingsTest, HistoryStopsAtTheFirstGapAndTheNextSaveDropsWhatFollowsIt)
{
    const std::wstring history = kExtraction + L"\\PathHistory";
    // "02" has a leading zero: another name, not index 2.
    for (const wchar_t* name : {L"0", L"1", L"3", L"02"})
        SetRaw(kUser, history, name, Text(std::wstring(L"C:\\") + name));
    CExtractSettings settings;
    ReadExtractSettings(settings);
    EXPECT_EQ(L"1 0 0 [C:\\0, C:\\1]", Describe(settings));
    SaveExtractSettings(settings);
    EXPECT_EQ((CValues{{L"0", Text(L"C:\\0")}, {L"1", Text(L"C:\\1")}}), RawValues(kUser, history));
}

TEST_F(SettingsTest, AFormatKeyWithOnlyALevelReadsAndSavesBackOnlyTheLevel)
{
    SetRaw(kUser, kFormats + L"\\zip", L"Level", Dword(9));
    CCompressSettings settings;
    ReadCompressSettings(settings);
    EXPECT_EQ(Describe(CCompressSettings()) + L" {zip '' '' '' 9 -1 -1 -1 -1}", Describe(settings));
    SaveCompressSettings(settings);
    EXPECT_EQ((CValues{{L"Level", Dword(9)}}), RawValues(kUser, kFormats + L"\\zip"));
}

TEST_F(SettingsTest, WorkFolderSettingsFollowTheStoredValues)
{
    const struct
    {
        CStored Type, Path, Removable;
        const wchar_t* Expected;
    } cases[] = {
        {Dword(2), Text(L"D:\\Work"), Dword(0), L"2 'D:\\Work' 0"},
        {Dword(1), Text(L"D:\\Work"), Dword(1), L"1 'D:\\Work' 1"},
        {Dword(3), Text(L"D:\\Work"), Dword(0), L"0 'D:\\Work' 0"},
        {Dword(0xFFFFFFFF), kNoValue, kNoValue, L"0 '' 1"},
        // A specified folder without a stored path falls back to the system's temporary folder.
        {Dword(2), kNoValue, Dword(0), L"0 '' 0"},
        {Dword(2), Text(L""), Dword(0), L"2 '' 0"},
        // Without a type the other two values are not read at all.
        {kNoValue, Text(L"D:\\Work"), Dword(0), L"0 '' 1"},
    };
    for (const auto& c : cases)
    {
        DeleteRegistryTree(kUser, kSettingsRoot);
        SetRaw(kUser, kOptions, L"WorkDirType", c.Type);
        SetRaw(kUser, kOptions, L"WorkDirPath", c.Path);
        SetRaw(kUser, kOptions, L"TempRemovableOnly", c.Removable);
        EXPECT_EQ(c.Expected, ReadAndDescribe(ReadWorkFolderSettings));
    }
}

// A path keeps its wide characters; the archiver's name has always been stored in the ANSI
// character set. (How the ANSI path stores texts is the registry key's business.)
TEST_F(SettingsTest, TheArchiversNameAloneGoesThroughTheAnsiCharacterSet)
{
    const wchar_t mixed[] = L"C:\\\u4E2D\\\u00E9", ansi[] = L"C:\\_\\\u00E9";
    CAllSettings all;
    all.Work.WorkDirPath = mixed;
    all.Compress.Archiver = mixed;
    SaveWorkFolderSettings(all.Work);
    SaveCompressSettings(all.Compress);
    EXPECT_EQ(Text(mixed), RawValue(kUser, kOptions, L"WorkDirPath"));
    EXPECT_EQ(Text(ansi), RawValue(kUser, kCompression, L"Archiver"));
    ReadWorkFolderSettings(all.Work);
    EXPECT_EQ(CWideString(mixed), all.Work.WorkDirPath);
    ReadCompressSettings(all.Compress);
    EXPECT_EQ(CWideString(ansi), all.Compress.Archiver);
}

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
    compress.FormatOptions.Add({which ? "b" : "a", L"", L"", L"", static_cast<DWORD>(lists[which].size())});
    SaveCompressSettings(compress);
}

std::pair<std::wstring, std::wstring> ReadBoth()
{
    return {ReadAndDescribe(ReadExtractSettings), ReadAndDescribe(ReadCompressSettings)};
}

TEST_F(SettingsTest, ReadersNeverSeeAHalfRewrittenListAndNothingDeadlocks)
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

// Nothing reaches the extraction and compression settings from the module's entry points, and the
// work folder's only on the options page: each read and save is swept here. After each failure the
// exception has come through and nothing has leaked; after all of them the settings lock is free.
TEST_F(SettingsTest, ExhaustedMemoryDuringReadsAndSavesPropagatesAndReleasesTheLock)
{
    CAllSettings all;
    // The saves come first: the last, undisturbed run of each stores what the reads then read.
    const struct
    {
        const char* Name;
        std::function<void()> Operation;
    } operations[] = {
        {"save compress", [&] { SaveCompressSettings(all.Compress); }},
        {"save extract", [&] { SaveExtractSettings(all.Extract); }},
        {"save work folder", [&] { SaveWorkFolderSettings(all.Work); }},
        {"read compress", [] { ReadAndDescribe(ReadCompressSettings); }},
        {"read extract", [] { ReadAndDescribe(ReadExtractSettings); }},
        {"read work folder", [] { ReadAndDescribe(ReadWorkFolderSettings); }},
    };
    // The ANSI path converts every text on its way, with allocations of its own.
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        for (const auto& operation : operations)
        {
            SCOPED_TRACE(testing::Message() << operation.Name << " wide " << wide);
            EXPECT_GT(ForEachAllocationFailure(operation.Operation), 0);
            // A run that left the lock taken would keep it for good: another thread would wait.
            EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { ReadCascadedMenu(); })) << "the settings lock stayed taken";
        }
    }
    EXPECT_EQ(Describe(all.Compress), ReadAndDescribe(ReadCompressSettings));
    EXPECT_EQ(Describe(all.Extract), ReadAndDescribe(ReadExtractSettings));
    EXPECT_EQ(Describe(all.Work), ReadAndDescribe(ReadWorkFolderSettings));
}
} // namespace
