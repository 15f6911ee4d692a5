#include "RegistryTestSupport.h"

namespace
{
const std::wstring kExtraction = std::wstring(kSettingsRoot) + L"\\Extraction";
const std::wstring kCompression = std::wstring(kSettingsRoot) + L"\\Compression";
const std::wstring kFormats = kCompression + L"\\Options";
const std::wstring kOptions = std::wstring(kSettingsRoot) + L"\\Options";

class SettingsTest : public CSettingsRegistryTest
{
};

TEST_F(SettingsTest, EverythingHasItsDefaultWithoutAnyStoredKey)
{
    // Records that hold other values first: each read starts from the defaults.
    CAllSettings all;
    ReadExtractSettings(all.Extract);
    EXPECT_EQ(L"1 0 0 []", Describe(all.Extract));
    ReadCompressSettings(all.Compress);
    EXPECT_EQ(L"5 'VNTX' 0 0 []", Describe(all.Compress));
    ReadWorkFolderSettings(all.Work);
    EXPECT_EQ(L"0 '' 1", Describe(all.Work));
    EXPECT_TRUE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_FALSE(ReadContextMenuFlags(flags));
    EXPECT_EQ(0x3F37u, kDefaultContextMenuFlags);
    EXPECT_FALSE(KeyExists(kSettingsRoot)) << "reading created a key";
}

// Histories beyond ten entries use decimal names; the format records replace the whole stored tree.
TEST_F(SettingsTest, SettingsAreSavedUnderTheStoredNamesAndReadBack)
{
    SetRaw(kFormats + L"\\old\\nested", L"Level", Dword(1));
    CAllSettings all;
    // Neither an empty name nor a nested path can be read back as one record.
    CCompressSettings withUnreadable = all.Compress;
    for (const char* name : {"", "a\\b"})
        withUnreadable.FormatOptions.Add(FormatRecord(name, L"LZMA2", 7));
    SaveExtractSettings(all.Extract);
    SaveCompressSettings(withUnreadable);
    SaveWorkFolderSettings(all.Work);
    SaveContextMenuFlags(0xFFFFFFFF); // unassigned bits are kept
    SaveCascadedMenu(false);

    EXPECT_EQ((CValues{{L"ExtarctMode", Dword(2)}, {L"OverwriteMode", Dword(4)}, {L"ShowPassword", Dword(1)}}),
              RawValues(kExtraction));
    EXPECT_EQ((CValues{{L"0", Text(L"C:\\Out")}, {L"1", Text(L"D:\\\u00C9t\u00E9")}}),
              RawValues(kExtraction + L"\\PathHistory"));
    EXPECT_EQ((CValues{{L"Level", Dword(100)},
                       {L"Archiver", Text(L"zip")},
                       {L"ShowPassword", Dword(1)},
                       {L"EncryptHeaders", Dword(1)}}),
              RawValues(kCompression));
    const CValues arcHistory = RawValues(kCompression + L"\\ArcHistory");
    EXPECT_EQ(12u, arcHistory.size());
    EXPECT_EQ(Text(L"a11.vntx"), arcHistory.at(L"11"));
    EXPECT_EQ((std::vector<std::wstring>{L"VNTX", L"tar"}), RawSubKeys(kFormats));
    EXPECT_EQ(CValues{}, RawValues(kFormats));
    EXPECT_EQ((CValues{{L"Options", Text(L"x=9")},
                       {L"Method", Text(L"LZMA2")},
                       {L"EncryptionMethod", Text(L"AES256")},
                       {L"Level", Dword(7)},
                       {L"Dictionary", Dword(1 << 24)},
                       {L"Order", Dword(32)},
                       {L"BlockSize", Dword(0)},
                       {L"NumThreads", Dword(2)}}),
              RawValues(kFormats + L"\\VNTX"));
    EXPECT_EQ((CValues{{L"Method", Text(L"GNU")}}), RawValues(kFormats + L"\\tar"));
    EXPECT_EQ((CValues{{L"WorkDirType", Dword(2)},
                       {L"WorkDirPath", Text(L"D:\\Work")},
                       {L"TempRemovableOnly", Dword(0)},
                       {L"ContextMenu", Dword(0xFFFFFFFF)},
                       {L"CascadedMenu", Dword(0)}}),
              RawValues(kOptions));

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
        SetRaw(kExtraction, L"ExtarctMode", Dword(c[0]));
        SetRaw(kExtraction, L"OverwriteMode", Dword(c[0]));
        EXPECT_EQ(std::to_wstring(c[1]) + L" " + std::to_wstring(c[2]) + L" 0 []",
                  ReadAndDescribe(ReadExtractSettings));
    }
}

TEST_F(SettingsTest, HistoryStopsAtTheFirstGapAndTheNextSaveDropsWhatFollowsIt)
{
    const std::wstring history = kExtraction + L"\\PathHistory";
    // "02" has a leading zero: another name, not index 2.
    for (const wchar_t* name : {L"0", L"1", L"3", L"02"})
        SetRaw(history, name, Text(std::wstring(L"C:\\") + name));
    CExtractSettings settings;
    ReadExtractSettings(settings);
    EXPECT_EQ(L"1 0 0 [C:\\0, C:\\1]", Describe(settings));
    SaveExtractSettings(settings);
    EXPECT_EQ((CValues{{L"0", Text(L"C:\\0")}, {L"1", Text(L"C:\\1")}}), RawValues(history));
}

TEST_F(SettingsTest, AFormatKeyWithOnlyALevelReadsAndSavesBackOnlyTheLevel)
{
    SetRaw(kFormats + L"\\zip", L"Level", Dword(9));
    CCompressSettings settings;
    ReadCompressSettings(settings);
    EXPECT_EQ(L"5 'VNTX' 0 0 [] {zip '' '' '' 9 -1 -1 -1 -1}", Describe(settings));
    SaveCompressSettings(settings);
    EXPECT_EQ((CValues{{L"Level", Dword(9)}}), RawValues(kFormats + L"\\zip"));
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
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        CreateRawKey(kOptions);
        SetRaw(kOptions, L"WorkDirType", c.Type);
        SetRaw(kOptions, L"WorkDirPath", c.Path);
        SetRaw(kOptions, L"TempRemovableOnly", c.Removable);
        EXPECT_EQ(c.Expected, ReadAndDescribe(ReadWorkFolderSettings));
    }
}

// A path keeps its wide characters where the platform has wide calls; the archiver's name has
// always been stored in the ANSI character set.
TEST_F(SettingsTest, TextsTravelInTheWidthTheyAreStoredIn)
{
    const wchar_t mixed[] = L"C:\\\u4E2D\\\u00E9", ansi[] = L"C:\\_\\\u00E9";
    for (const bool wide : {true, false})
    {
        SCOPED_TRACE(testing::Message() << "wide " << wide);
        CWidePathScope widePath(wide);
        CAllSettings all;
        all.Work.WorkDirPath = mixed;
        SaveWorkFolderSettings(all.Work);
        EXPECT_EQ(Text(wide ? mixed : ansi), RawValues(kOptions).at(L"WorkDirPath"));
        EXPECT_EQ(std::wstring(L"2 '") + (wide ? mixed : ansi) + L"' 0", ReadAndDescribe(ReadWorkFolderSettings));
        all.Compress.Archiver = mixed;
        SaveCompressSettings(all.Compress);
        EXPECT_EQ(Text(ansi), RawValues(kCompression).at(L"Archiver"));
        ReadCompressSettings(all.Compress);
        EXPECT_EQ(CWideString(ansi), all.Compress.Archiver);
    }
}

TEST_F(SettingsTest, ContextMenuMaskIsTakenFromAnyValueOfAtMostFourBytes)
{
    const struct
    {
        CStored Value;
        bool Result;
        DWORD Flags; // the starting value 0xFFFF0000 when the read fails
    } cases[] = {
        {Dword(0), true, 0},
        {Dword(0x37), true, 0x37},
        {{REG_BINARY, {0x34, 0x12, 0, 0}}, true, 0x1234},
        // Two stored bytes: the upper half is zero, not what the caller's variable held.
        {{REG_BINARY, {0x37, 0x3F}}, true, 0x3F37},
        {{REG_BINARY, {1, 2, 3, 4, 5}}, false, 0xFFFF0000},
        {kNoValue, false, 0xFFFF0000},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "type " << c.Value.first << " size " << c.Value.second.size());
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        SetRaw(kOptions, L"ContextMenu", c.Value);
        DWORD flags = 0xFFFF0000;
        EXPECT_EQ(c.Result, ReadContextMenuFlags(flags));
        EXPECT_EQ(c.Flags, flags);
    }
}

} // namespace
