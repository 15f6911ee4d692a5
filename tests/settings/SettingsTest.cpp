#include "RegistryTestSupport.h"

#include "settings/Settings.h"

#include <string>
#include <vector>

namespace
{
const std::wstring kExtraction = std::wstring(kSettingsRoot) + L"\\Extraction";
const std::wstring kCompression = std::wstring(kSettingsRoot) + L"\\Compression";
const std::wstring kOptions = std::wstring(kSettingsRoot) + L"\\Options";

class SettingsTest : public CSettingsRegistryTest
{
};

std::vector<std::wstring> ToStd(const COwningVector<CWideString>& list)
{
    std::vector<std::wstring> result;
    for (int i = 0; i < list.Count(); i++)
        result.emplace_back(list[i].Ptr());
    return result;
}

void FillList(COwningVector<CWideString>& list, const std::vector<std::wstring>& entries)
{
    list.Clear();
    for (const std::wstring& entry : entries)
        list.Add(CWideString(entry.c_str()));
}

TEST_F(SettingsTest, EverythingHasItsDefaultWithoutAnyStoredKey)
{
    ASSERT_FALSE(RawRegistry::KeyExists(HKEY_CURRENT_USER, kSettingsRoot));

    CExtractSettings extract;
    extract.ExtractMode = 2;
    extract.OverwriteMode = 3;
    extract.ShowPassword = true;
    extract.PathHistory.Add(CWideString(L"stale"));
    ReadExtractSettings(extract);
    EXPECT_EQ(1u, extract.ExtractMode);
    EXPECT_EQ(0u, extract.OverwriteMode);
    EXPECT_FALSE(extract.ShowPassword);
    EXPECT_EQ(0, extract.PathHistory.Count());

    CCompressSettings compress;
    compress.Level = 9;
    compress.Archiver = L"zip";
    compress.ShowPassword = compress.EncryptHeaders = true;
    compress.ArcHistory.Add(CWideString(L"stale"));
    compress.FormatOptions.Add(CFormatOptions());
    ReadCompressSettings(compress);
    EXPECT_EQ(5u, compress.Level);
    EXPECT_EQ(CWideString(L"VNTX"), compress.Archiver);
    EXPECT_FALSE(compress.ShowPassword);
    EXPECT_FALSE(compress.EncryptHeaders);
    EXPECT_EQ(0, compress.ArcHistory.Count());
    EXPECT_EQ(0, compress.FormatOptions.Count());

    CWorkFolderSettings work;
    work.WorkDirType = WorkDirSpecified;
    work.WorkDirPath = L"C:\\stale";
    work.TempRemovableOnly = false;
    ReadWorkFolderSettings(work);
    EXPECT_EQ(static_cast<DWORD>(WorkDirSystemTemp), work.WorkDirType);
    EXPECT_TRUE(work.WorkDirPath.IsEmpty());
    EXPECT_TRUE(work.TempRemovableOnly);

    EXPECT_TRUE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_FALSE(ReadContextMenuFlags(flags));
    EXPECT_EQ(0x3F37u, kDefaultContextMenuFlags);

    // Reading never creates anything.
    EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CURRENT_USER, kSettingsRoot));
}

TEST_F(SettingsTest, ExtractNumbersOutsideTheirRangesKeepTheDefaults)
{
    const struct
    {
        DWORD StoredExtract, StoredOverwrite, ExpectedExtract, ExpectedOverwrite;
    } cases[] = {
        {0, 0, 0, 0}, {2, 4, 2, 4}, {3, 5, 1, 0}, {0xFFFFFFFF, 0xFFFFFFFF, 1, 0}, {0x80000001, 0x80000001, 1, 0},
    };
    for (const auto& c : cases)
    {
        RawRegistry::SetNumber(HKEY_CURRENT_USER, kExtraction, L"ExtarctMode", c.StoredExtract);
        RawRegistry::SetNumber(HKEY_CURRENT_USER, kExtraction, L"OverwriteMode", c.StoredOverwrite);
        CExtractSettings settings;
        ReadExtractSettings(settings);
        EXPECT_EQ(c.ExpectedExtract, settings.ExtractMode) << "stored " << c.StoredExtract;
        EXPECT_EQ(c.ExpectedOverwrite, settings.OverwriteMode) << "stored " << c.StoredOverwrite;
    }
}

TEST_F(SettingsTest, ExtractSettingsAreSavedWithTheStoredNamesAndTypes)
{
    CExtractSettings settings;
    settings.ExtractMode = 2;
    settings.OverwriteMode = 4;
    settings.ShowPassword = true;
    FillList(settings.PathHistory, {L"C:\\Out", L"D:\\\u00C9t\u00E9"});
    SaveExtractSettings(settings);

    EXPECT_EQ((std::vector<std::wstring>{L"ExtarctMode", L"OverwriteMode", L"ShowPassword"}),
              RawRegistry::ValueNames(HKEY_CURRENT_USER, kExtraction));
    const struct
    {
        const wchar_t* Name;
        DWORD Value;
    } numbers[] = {{L"ExtarctMode", 2}, {L"OverwriteMode", 4}, {L"ShowPassword", 1}};
    for (const auto& n : numbers)
    {
        const RawRegistry::CValue value = RawRegistry::GetValue(HKEY_CURRENT_USER, kExtraction, n.Name);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.Type);
        EXPECT_EQ(DwordBytes(n.Value), value.Data);
    }
    const std::wstring history = kExtraction + L"\\PathHistory";
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1"}), RawRegistry::ValueNames(HKEY_CURRENT_USER, history));
    EXPECT_EQ(WideTextBytes(L"D:\\\u00C9t\u00E9"), RawRegistry::GetValue(HKEY_CURRENT_USER, history, L"1").Data);

    CExtractSettings read;
    ReadExtractSettings(read);
    EXPECT_EQ(2u, read.ExtractMode);
    EXPECT_EQ(4u, read.OverwriteMode);
    EXPECT_TRUE(read.ShowPassword);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Out", L"D:\\\u00C9t\u00E9"}), ToStd(read.PathHistory));
}

TEST_F(SettingsTest, HistoryStopsAtTheFirstGapAndTheNextSaveDropsWhatFollowsIt)
{
    const std::wstring history = kExtraction + L"\\PathHistory";
    RawRegistry::SetText(HKEY_CURRENT_USER, history, L"0", L"C:\\First");
    RawRegistry::SetText(HKEY_CURRENT_USER, history, L"1", L"C:\\Second");
    RawRegistry::SetText(HKEY_CURRENT_USER, history, L"3", L"C:\\Fourth");
    // A leading zero is another name, not index 2.
    RawRegistry::SetText(HKEY_CURRENT_USER, history, L"02", L"C:\\Zero");

    CExtractSettings settings;
    ReadExtractSettings(settings);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\First", L"C:\\Second"}), ToStd(settings.PathHistory));

    SaveExtractSettings(settings);
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"1"}), RawRegistry::ValueNames(HKEY_CURRENT_USER, history));
}

TEST_F(SettingsTest, HistoriesBeyondTenEntriesUseDecimalNames)
{
    CCompressSettings settings;
    std::vector<std::wstring> entries;
    for (int i = 0; i < 12; i++)
        entries.push_back(L"archive" + std::to_wstring(i) + L".vntx");
    FillList(settings.ArcHistory, entries);
    SaveCompressSettings(settings);
    const std::vector<std::wstring> names = RawRegistry::ValueNames(HKEY_CURRENT_USER, kCompression + L"\\ArcHistory");
    ASSERT_EQ(12u, names.size());
    EXPECT_EQ(L"10", names[2]); // sorted as text: 0, 1, 10, 11, 2, ...
    EXPECT_EQ(WideTextBytes(L"archive11.vntx"),
              RawRegistry::GetValue(HKEY_CURRENT_USER, kCompression + L"\\ArcHistory", L"11").Data);

    CCompressSettings read;
    ReadCompressSettings(read);
    EXPECT_EQ(entries, ToStd(read.ArcHistory));
}

TEST_F(SettingsTest, AFormatKeyWithOnlyALevelReadsAndSavesBackOnlyTheLevel)
{
    const std::wstring zip = kCompression + L"\\Options\\zip";
    RawRegistry::SetNumber(HKEY_CURRENT_USER, zip, L"Level", 9);

    CCompressSettings settings;
    ReadCompressSettings(settings);
    ASSERT_EQ(1, settings.FormatOptions.Count());
    const CFormatOptions& record = settings.FormatOptions[0];
    EXPECT_EQ(CNarrowString("zip"), record.FormatName);
    EXPECT_TRUE(record.Options.IsEmpty());
    EXPECT_TRUE(record.Method.IsEmpty());
    EXPECT_TRUE(record.EncryptionMethod.IsEmpty());
    EXPECT_EQ(9u, record.Level);
    EXPECT_EQ(NotSet, record.Dictionary);
    EXPECT_EQ(NotSet, record.Order);
    EXPECT_EQ(NotSet, record.BlockSize);
    EXPECT_EQ(NotSet, record.NumThreads);

    SaveCompressSettings(settings);
    EXPECT_EQ(std::vector<std::wstring>{L"Level"}, RawRegistry::ValueNames(HKEY_CURRENT_USER, zip));
    EXPECT_EQ(DwordBytes(9), RawRegistry::GetValue(HKEY_CURRENT_USER, zip, L"Level").Data);
}

TEST_F(SettingsTest, FormatRecordsRoundTripAndReplaceTheWholeTree)
{
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kCompression + L"\\Options\\old\\nested", L"Level", 1);

    CCompressSettings settings;
    settings.Level = 100;
    settings.Archiver = L"zip";
    settings.ShowPassword = true;
    CFormatOptions vntx;
    vntx.FormatName = "VNTX";
    vntx.Options = L"x=9";
    vntx.Method = L"LZMA2";
    vntx.EncryptionMethod = L"AES256";
    vntx.Level = 7;
    vntx.Dictionary = 1 << 24;
    vntx.Order = 32;
    vntx.BlockSize = 0;
    vntx.NumThreads = 2;
    settings.FormatOptions.Add(vntx);
    CFormatOptions tar;
    tar.FormatName = "tar";
    tar.Method = L"GNU";
    settings.FormatOptions.Add(tar);
    // Neither an empty name nor a nested path can be read back as one record.
    CFormatOptions unnamed;
    unnamed.Level = 3;
    settings.FormatOptions.Add(unnamed);
    CFormatOptions nested;
    nested.FormatName = "a\\b";
    nested.Level = 4;
    settings.FormatOptions.Add(nested);
    SaveCompressSettings(settings);

    const std::wstring options = kCompression + L"\\Options";
    EXPECT_EQ((std::vector<std::wstring>{L"VNTX", L"tar"}), RawRegistry::SubKeyNames(HKEY_CURRENT_USER, options));
    EXPECT_EQ(std::vector<std::wstring>{}, RawRegistry::ValueNames(HKEY_CURRENT_USER, options));
    EXPECT_EQ(std::vector<std::wstring>{L"Method"}, RawRegistry::ValueNames(HKEY_CURRENT_USER, options + L"\\tar"));
    const RawRegistry::CValue method = RawRegistry::GetValue(HKEY_CURRENT_USER, options + L"\\VNTX", L"Method");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), method.Type);
    EXPECT_EQ(WideTextBytes(L"LZMA2"), method.Data);
    const RawRegistry::CValue archiver = RawRegistry::GetValue(HKEY_CURRENT_USER, kCompression, L"Archiver");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), archiver.Type);
    EXPECT_EQ(WideTextBytes(L"zip"), archiver.Data);

    CCompressSettings read;
    ReadCompressSettings(read);
    EXPECT_EQ(100u, read.Level) << "no range check on the level";
    EXPECT_EQ(CWideString(L"zip"), read.Archiver);
    EXPECT_TRUE(read.ShowPassword);
    EXPECT_FALSE(read.EncryptHeaders);
    ASSERT_EQ(2, read.FormatOptions.Count());
    const int v = read.FormatOptions[0].FormatName == "VNTX" ? 0 : 1;
    const CFormatOptions& back = read.FormatOptions[v];
    EXPECT_EQ(CWideString(L"x=9"), back.Options);
    EXPECT_EQ(CWideString(L"LZMA2"), back.Method);
    EXPECT_EQ(CWideString(L"AES256"), back.EncryptionMethod);
    const DWORD numbers[] = {back.Level, back.Dictionary, back.Order, back.BlockSize, back.NumThreads};
    const DWORD expected[] = {7, 1 << 24, 32, 0, 2};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(expected[i], numbers[i]) << i;
    EXPECT_EQ(CWideString(L"GNU"), read.FormatOptions[1 - v].Method);
    EXPECT_EQ(NotSet, read.FormatOptions[1 - v].Level);
}

TEST_F(SettingsTest, WorkFolderSettingsFollowTheStoredValues)
{
    struct CCase
    {
        bool HasType;
        DWORD Type;
        const wchar_t* Path; // null: no value
        int Removable;       // -1: no value
        DWORD ExpectedType;
        const wchar_t* ExpectedPath;
        bool ExpectedRemovable;
    };
    const CCase cases[] = {
        {true, 2, L"D:\\Work", 0, 2, L"D:\\Work", false},
        {true, 1, L"D:\\Work", 1, 1, L"D:\\Work", true},
        {true, 3, L"D:\\Work", 0, 0, L"D:\\Work", false},
        {true, 0xFFFFFFFF, nullptr, -1, 0, L"", true},
        // A specified folder without a stored path falls back to the system's temporary folder.
        {true, 2, nullptr, 0, 0, L"", false},
        {true, 2, L"", 0, 2, L"", false},
        // Without a type the other two values are not read at all.
        {false, 0, L"D:\\Work", 0, 0, L"", true},
    };
    for (const CCase& c : cases)
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        RawRegistry::CreateKey(HKEY_CURRENT_USER, kOptions);
        if (c.HasType)
            RawRegistry::SetNumber(HKEY_CURRENT_USER, kOptions, L"WorkDirType", c.Type);
        if (c.Path != nullptr)
            RawRegistry::SetText(HKEY_CURRENT_USER, kOptions, L"WorkDirPath", c.Path);
        if (c.Removable >= 0)
            RawRegistry::SetNumber(HKEY_CURRENT_USER, kOptions, L"TempRemovableOnly", c.Removable);
        CWorkFolderSettings settings;
        ReadWorkFolderSettings(settings);
        EXPECT_EQ(c.ExpectedType, settings.WorkDirType) << "type " << c.Type << " path " << (c.Path != nullptr);
        EXPECT_EQ(CWideString(c.ExpectedPath), settings.WorkDirPath);
        EXPECT_EQ(c.ExpectedRemovable, settings.TempRemovableOnly);
    }
}

TEST_F(SettingsTest, WorkFolderPathsTravelInBothWidths)
{
    const struct
    {
        bool Wide;
        const wchar_t* Path;
        const wchar_t* Stored;
    } cases[] = {
        {true, L"C:\\\u4E2D\\\u00E9", L"C:\\\u4E2D\\\u00E9"},
        // Windows 98 stores through the ANSI code page: what it cannot hold becomes "_".
        {false, L"C:\\\u4E2D\\\u00E9", L"C:\\_\\\u00E9"},
        {true, L"", L""},
    };
    for (const auto& c : cases)
    {
        CWidePathScope widePath(c.Wide);
        CWorkFolderSettings settings;
        settings.WorkDirType = WorkDirSpecified;
        settings.WorkDirPath = c.Path;
        settings.TempRemovableOnly = false;
        SaveWorkFolderSettings(settings);
        const RawRegistry::CValue path = RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"WorkDirPath");
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), path.Type);
        EXPECT_EQ(WideTextBytes(c.Stored), path.Data) << "wide " << c.Wide;
        EXPECT_EQ(DwordBytes(2), RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"WorkDirType").Data);
        EXPECT_EQ(DwordBytes(0), RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"TempRemovableOnly").Data);

        CWorkFolderSettings read;
        ReadWorkFolderSettings(read);
        EXPECT_EQ(CWideString(c.Stored), read.WorkDirPath);
        EXPECT_EQ(2u, read.WorkDirType);
        EXPECT_FALSE(read.TempRemovableOnly);
    }
}

TEST_F(SettingsTest, ContextMenuMaskIsTakenFromAnyValueOfAtMostFourBytes)
{
    struct CCase
    {
        DWORD Type;
        std::vector<BYTE> Data; // empty with Type 0: no value
        bool Result;
        DWORD Flags; // checked only when Result
    };
    const CCase cases[] = {
        {REG_DWORD, DwordBytes(0), true, 0},
        {REG_DWORD, DwordBytes(0x37), true, 0x37},
        {REG_BINARY, DwordBytes(0x1234), true, 0x1234},
        // Two stored bytes: the upper half is zero, not what the caller's variable held.
        {REG_BINARY, {0x37, 0x3F}, true, 0x3F37},
        {REG_BINARY, {1, 2, 3, 4, 5}, false, 0},
        {0, {}, false, 0},
    };
    for (const CCase& c : cases)
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        RawRegistry::CreateKey(HKEY_CURRENT_USER, kOptions);
        if (c.Type != 0)
            RawRegistry::SetBytes(HKEY_CURRENT_USER, kOptions, L"ContextMenu", c.Type, c.Data.data(),
                                  static_cast<DWORD>(c.Data.size()));
        DWORD flags = 0xFFFF0000;
        EXPECT_EQ(c.Result, ReadContextMenuFlags(flags)) << "type " << c.Type << " size " << c.Data.size();
        if (c.Result)
        {
            EXPECT_EQ(c.Flags, flags) << "type " << c.Type << " size " << c.Data.size();
        }
    }
}

TEST_F(SettingsTest, MenuSettingsAreSavedAsNumbers)
{
    SaveContextMenuFlags(0xFFFFFFFF);
    SaveCascadedMenu(false);
    RawRegistry::CValue mask = RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"ContextMenu");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), mask.Type);
    EXPECT_EQ(DwordBytes(0xFFFFFFFF), mask.Data) << "unassigned bits are kept";
    EXPECT_EQ(DwordBytes(0), RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"CascadedMenu").Data);
    EXPECT_FALSE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_TRUE(ReadContextMenuFlags(flags));
    EXPECT_EQ(0xFFFFFFFFu, flags);

    SaveCascadedMenu(true);
    EXPECT_EQ(DwordBytes(1), RawRegistry::GetValue(HKEY_CURRENT_USER, kOptions, L"CascadedMenu").Data);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kOptions, L"CascadedMenu", 0x100);
    EXPECT_TRUE(ReadCascadedMenu());
}

TEST_F(SettingsTest, ArchiverNameIsStoredInTheAnsiCharacterSet)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        CCompressSettings settings;
        settings.Archiver = L"V\u00E9\u4E2D";
        SaveCompressSettings(settings);
        EXPECT_EQ(WideTextBytes(L"V\u00E9_"), RawRegistry::GetValue(HKEY_CURRENT_USER, kCompression, L"Archiver").Data);
        CCompressSettings read;
        ReadCompressSettings(read);
        EXPECT_EQ(CWideString(L"V\u00E9_"), read.Archiver);
    }
}
} // namespace
